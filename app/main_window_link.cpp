// The analyser link of the main window: the serial port, the command channel, connecting and
// searching for the analyser, disconnecting, and the analyser set-up.
#include "app/main_window.h"

#include "analyser/analyser_setup.h"
#include "analyser/commands.h"
#include "analyser/connection.h"
#include "app/progress_form.h"
#include "serial/piloport.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

namespace {

/// Hands the Enter key of the hidden command line to e_commandKeyPress; other keys reach the
/// field unchanged.
class CommandLineKeys : public QObject
{
public:
    explicit CommandLineKeys(TForm1 *form) : QObject(form), m_form(form) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        QChar ch(u'\r');
        TForm1::guarded([&] { m_form->e_commandKeyPress(ch); });
        return ch.isNull();
    }

private:
    TForm1 *m_form;
};

}  // namespace

// ---- Serial port and command channel ----------------------------------------------------------

void TForm1::CreateSerialPort()
{
    if (!Pilo) {
        Pilo = new TPiloComPort(this);
        Pilo->setObjectName(QStringLiteral("Pilo"));
        // One analyser reply line per delivery.
        Pilo->setLineEnd(QByteArrayLiteral("\r\n"));
        Pilo->setLineMode(true);
        Pilo->FlowCtrl().setRxDtrControl(dtrDisable);
        Pilo->FlowCtrl().setRxRtsControl(rtsHandshake);
        Pilo->OnDataAvailable = [this](TPiloComPort *sender) { PiloDataAvailable(sender); };
        Pilo->OnHangUp = [this](TPiloComPort *) { PiloHangUp(); };
        m_commandPort = std::make_unique<PiloCommandPort>(Pilo);
        Channel.setPort(m_commandPort.get());
        Channel.OnNoAnswer = [](const QString &message) { ShowMessage(MsgType::Error, MsgButtons::Ok, message); };
        e_command->installEventFilter(new CommandLineKeys(this));
    }
    QStringList ports;
    TPiloComPort::EnumComPorts(ports);
    cb_COM->addItems(ports);
    if (!ports.isEmpty())
        cb_COM->setCurrentIndex(0);
}

bool TForm1::SendCommand(const QByteArray &command, int wait)
{
    return Channel.SendCommand(command, wait);
}

bool TForm1::ReadReply(QByteArray &text)
{
    return Channel.ReadReply(text);
}

void TForm1::PiloDataAvailable(TPiloComPort *Sender)
{
    QByteArray line;
    Sender->ReadStr(line);
    Channel.PiloDataAvailable(line);
}

void TForm1::PiloHangUp()
{
    // The port stays open until Disconnect; nothing more can be sent or received, so a wait
    // ends now and a pass waits until "Cancel".
    setStatusText(cb_Device->currentText() + QStringLiteral(" connection lost"));
    Channel.WakeWaiting();
}

void TForm1::e_commandKeyPress(QChar &key)
{
    if (key != u'\r')
        return;
    if (b_Start->isEnabled() && Pilo && Pilo->Active())
        Pilo->WriteStr(CommandText(e_command->text()) + QByteArrayLiteral("\r\n"));
    key = QChar();
}

void TForm1::SetMainWindowEnabled(bool enabled)
{
    // The progress window is a child window of this one: disabling the window itself would
    // disable "Cancel" too, so the window's contents and menu are disabled instead.
    centralWidget()->setEnabled(enabled);
    menuBar()->setEnabled(enabled);
}

bool TForm1::MainWindowEnabled() const
{
    return centralWidget()->isEnabled() && menuBar()->isEnabled();
}

// ---- Connect, search, disconnect ------------------------------------------------------------

void TForm1::b_connectClick()
{
    if (!Pilo->Active()) {
        ApplyLineChoice(*Pilo, {cb_COM->currentText(), cb_Baud->currentText(), cb_Bits->currentText(),
                                cb_Handshake->currentIndex(), cb_Parity->currentIndex(),
                                cb_StopBits->currentIndex()});
        gb_com->setEnabled(false);
        // A port that cannot be opened shows up as the search's time-out: nothing can be sent.
        Pilo->Open();
        Sequencer.StartSearch();
        Timer1->setInterval(1);
        Timer1->start();
        setStatusText(QStringLiteral("Searching for ") + cb_Device->currentText() + QStringLiteral(" ..."));
        b_connect->setEnabled(false);
        return;
    }

    // A restore that gets no answer is reported by the channel; the port is closed all the same.
    if (StateSaved)
        SendCommand(Cmd::RestoreState, 1);
    Pilo->Close();
    StateSaved = false;
    // The timer runs for as long as the connection; a pass left running (its progress window
    // closed by the title bar) ends with it.
    Timer1->stop();
    Sequencer.SequencerRunning = false;
    Sequencer.SequencerState = StateIdle;
    gb_com->setEnabled(true);
    b_Start->setEnabled(false);
    b_Measure->setEnabled(false);
    b_Measure2->setEnabled(false);
    b_connect->setText(QStringLiteral("Connect"));
    b_connect->setEnabled(true);
    setStatusText(cb_Device->currentText() + QStringLiteral(" closed..."));
}

void TForm1::DisconnectAtClose()
{
    if (Pilo && Pilo->Active())
        b_connectClick();
}

// ---- Analyser set-up ------------------------------------------------------------------------

bool TForm1::InitialiseAnalyser()
{
    if (!Pilo || !Pilo->Active())
        return false;
    MakeSweepPlan();
    setStatusText(QStringLiteral("Initialize ") + cb_Device->currentText() + QStringLiteral(" ..."));

    SetupSettings settings;
    settings.startHz = MeasurementRecord.SweepPlan.Start;
    settings.vbwText = cb_vbw->currentText();
    settings.vbwIndex = cb_vbw->currentIndex();
    settings.rbwText = cb_rbw->currentText();
    settings.averageText = cb_Average->currentText();
    settings.rfAttText = cb_RFAtt->currentText();
    settings.refLevelText = e_RefLvl->text();
    settings.rangeText = e_Range->text();

    if (!RunSetup(Channel, settings, StateSaved))
        return false;
    MeasurementRecord.SweepPlan.StepIndex = 0;
    return true;
}
