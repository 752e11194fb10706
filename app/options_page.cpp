// The page "Options": the sweep plan, the connection to the analyser and the starts of both
// passes.
#include "app/options_page.h"

#include "analyser/analyser_setup.h"
#include "analyser/connection.h"
#include "analyser/tcp_transport.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "base/engvalue.h"
#include "results/graph.h"
#include "run/analyser_link.h"
#include "app/page.h"
#include "run/sweep_plan.h"
#include "serial/piloport.h"

#include <QAction>
#include <QDateTime>
#include <QCheckBox>
#include <QLabel>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>

namespace {

bool IsSingleMode(const RadioGroup *mode)
{
    return mode->ItemIndex() == 1;
}

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

OptionsPage::OptionsPage(TForm1 &window) : w(window)
{
    AnalyserLink &link = *w.Link;
    QObject::connect(&link, &AnalyserLink::connectionLost, &w, [this] {
        // Nothing can reach the analyser any more: the window shows the disconnected state,
        // as after Disconnect, with the news of the loss in the status bar.
        w.Link->close();
        setCalibration(CalibrationState());
        w.b_Start->setEnabled(false);
        w.b_Measure->setEnabled(false);
        w.b_Measure2->setEnabled(false);
        ConnectButtonIdle();
        w.SetMainWindowEnabled(true);
        w.setStatusText(w.cb_Device->currentText() + QStringLiteral(" connection lost"));
    });
    QObject::connect(&link, &AnalyserLink::connectFailed, &w, [this](const QString &message) {
        w.setStatusText(message);
        ConnectButtonIdle();
    });
    QObject::connect(&link, &AnalyserLink::connected, &w, [this] {
        w.setStatusText(QStringLiteral("Searching for ") + w.cb_Device->currentText() + QStringLiteral(" ..."));
        w.b_connect->setText(QStringLiteral("Connect"));
        w.b_connect->setEnabled(false);
    });
    QObject::connect(&link, &AnalyserLink::noAnswer, &w,
                     [](const QString &message) { ShowMessage(MsgType::Error, MsgButtons::Ok, message); });
    w.e_command->installEventFilter(new CommandLineKeys(&w));
}

OptionsPage::~OptionsPage() = default;

void OptionsPage::ListPorts()
{
    QStringList ports;
    TPiloComPort::EnumComPorts(ports);
    w.cb_COM->addItems(ports);
    if (!ports.isEmpty())
        w.cb_COM->setCurrentIndex(0);
}

// ---- Sweep plan -------------------------------------------------------------------------------

SweepInputs OptionsPage::sweepInputs() const
{
    return {IsSingleMode(w.rg_Sweep), w.e_Start->text(), w.e_Stop->text(), w.e_Single->text(), w.se_steps->value()};
}

void OptionsPage::MakeSweepPlan()
{
    ::MakeSweepPlan(w.MeasurementRecord.SweepPlan, sweepInputs());
}

void OptionsPage::rg_SweepClick()
{
    const bool single = IsSingleMode(w.rg_Sweep);
    w.e_Start->setEnabled(!single);
    w.e_Stop->setEnabled(!single);
    w.se_steps->setEnabled(!single);
    w.e_Single->setEnabled(single);
    w.PageControl1->setTabEnabled(int(Page::Graphic), !single);
    MakeSweepPlan();
}

void OptionsPage::cb_RefLvlAutoClick()
{
    // The set-up sends the text of the field whether the box is checked or not.
    w.e_RefLvl->setEnabled(!w.cb_RefLvlAuto->isChecked());
}

// ---- Connect, search, disconnect ------------------------------------------------------------

void OptionsPage::b_connectClick()
{
    AnalyserLink &link = *w.Link;
    const bool vxi11 = w.ComboBox1->currentIndex() == 1 && w.cb_LanProtocol->currentIndex() == 1;
    const bool gpibLan = w.ComboBox1->currentIndex() == 2 && w.cb_GpibAdapter->currentIndex() == 1;
    if (!link.isOpen() && w.ComboBox1->currentIndex() == 1 && !vxi11) {
        const QString host = w.e_Host->text().trimmed();
        const int port = w.e_TcpPort->text().toInt();
        w.gb_com->setEnabled(false);
        // The connection is made in the background; until it stands, the button abandons it.
        w.setStatusText(QStringLiteral("Connecting to %1:%2 ...").arg(host, w.e_TcpPort->text()));
        w.b_connect->setText(QStringLiteral("Disconnect"));
        w.b_connect->setEnabled(true);
        if (port < 1 || port > 65535) {
            w.setStatusText(CannotConnectText(host, 0, QStringLiteral("no TCP port from 1 to 65535"))
                                .replace(QStringLiteral(":0:"), u':' + w.e_TcpPort->text() + u':'));
            ConnectButtonIdle();
            return;
        }
        link.openTcp(host, quint16(port));
        return;
    }
    if (!link.isOpen() && (vxi11 || gpibLan)) {
        // The link or the adapter is reached in the background; until then the button abandons it.
        const QString host = w.e_Host->text().trimmed();
        w.gb_com->setEnabled(false);
        w.b_connect->setText(QStringLiteral("Disconnect"));
        w.b_connect->setEnabled(true);
        if (vxi11) {
            const QString device = w.e_LanDevice->text().trimmed().isEmpty() ? QStringLiteral("inst0")
                                                                             : w.e_LanDevice->text().trimmed();
            w.setStatusText(QStringLiteral("Connecting to %1 (VXI-11 %2) ...").arg(host, device));
            link.openVxi11(host, device);
            return;
        }
        const int port = w.e_GpibPort->text().toInt();
        w.setStatusText(QStringLiteral("Connecting to %1:%2 ...").arg(host, w.e_GpibPort->text()));
        if (port < 1 || port > 65535) {
            w.setStatusText(CannotConnectText(host, 0, QStringLiteral("no TCP port from 1 to 65535"))
                                .replace(QStringLiteral(":0:"), u':' + w.e_GpibPort->text() + u':'));
            ConnectButtonIdle();
            return;
        }
        link.openGpibTcp(host, quint16(port), w.se_GpibAddress->value());
        return;
    }
    if (!link.isOpen() && w.ComboBox1->currentIndex() == 2) {
        // Until the adapter has answered and is set up, the button abandons it; the search
        // that follows runs as on the serial line. A port that cannot be opened says so at once.
        w.gb_com->setEnabled(false);
        w.setStatusText(QStringLiteral("Connecting to the GPIB adapter on COM%1 ...").arg(w.cb_COM->currentText()));
        w.b_connect->setText(QStringLiteral("Disconnect"));
        w.b_connect->setEnabled(true);
        link.openGpibSerial({w.cb_COM->currentText(), w.cb_Baud->currentText(), w.cb_Bits->currentText(),
                             w.cb_Handshake->currentIndex(), w.cb_Parity->currentIndex(),
                             w.cb_StopBits->currentIndex()},
                            w.se_GpibAddress->value());
        return;
    }
    if (!link.isOpen()) {
        w.gb_com->setEnabled(false);
        w.setStatusText(QStringLiteral("Searching for ") + w.cb_Device->currentText() + QStringLiteral(" ..."));
        w.b_connect->setEnabled(false);
        // A port that cannot be opened says so at once (connectFailed) and frees the settings.
        link.openSerial({w.cb_COM->currentText(), w.cb_Baud->currentText(), w.cb_Bits->currentText(),
                         w.cb_Handshake->currentIndex(), w.cb_Parity->currentIndex(),
                         w.cb_StopBits->currentIndex()});
        return;
    }

    link.close();
    // The analyser has its own settings back: no calibration holds any more.
    setCalibration(CalibrationState());
    w.b_Start->setEnabled(false);
    w.b_Measure->setEnabled(false);
    w.b_Measure2->setEnabled(false);
    ConnectButtonIdle();
    w.setStatusText(w.cb_Device->currentText() + QStringLiteral(" closed..."));
}

void OptionsPage::ConnectButtonIdle()
{
    w.gb_com->setEnabled(true);
    w.b_connect->setText(QStringLiteral("Connect"));
    w.b_connect->setEnabled(true);
}

void OptionsPage::DisconnectAtClose()
{
    if (w.Link->isOpen())
        b_connectClick();
}

void OptionsPage::e_commandKeyPress(QChar &key)
{
    if (key != u'\r')
        return;
    if (w.b_Start->isEnabled())
        w.Link->sendLine(CommandText(w.e_command->text()));
    key = QChar();
}

// ---- Analyser set-up and the passes -----------------------------------------------------------

bool OptionsPage::InitialiseAnalyser()
{
    if (!w.Link->isOpen())
        return false;
    MakeSweepPlan();
    w.setStatusText(QStringLiteral("Initialize ") + w.cb_Device->currentText() + QStringLiteral(" ..."));

    const SetupSettings settings = setupSettings(w.MeasurementRecord.SweepPlan.Start);
    // From here the analyser takes new settings: an earlier calibration no longer matches it,
    // whatever becomes of this one, and until this one completes it counts as cancelled.
    setCalibration(StartedCalibration());
    m_setUpSingle = IsSingleMode(w.rg_Sweep);
    m_setUpPlan = w.MeasurementRecord.SweepPlan;
    m_setUpSettings = settings;

    if (!w.Link->setUp(settings))
        return false;
    w.MeasurementRecord.SweepPlan.StepIndex = 0;
    return true;
}

SetupSettings OptionsPage::setupSettings(double startHz) const
{
    SetupSettings settings;
    settings.startHz = startHz;
    settings.vbwText = w.cb_vbw->currentText();
    settings.vbwIndex = w.cb_vbw->currentIndex();
    settings.rbwText = w.cb_rbw->currentText();
    settings.averageText = w.cb_Average->currentText();
    settings.rfAttText = w.cb_RFAtt->currentText();
    settings.refLevelText = w.e_RefLvl->text();
    settings.rangeText = w.e_Range->text();
    return settings;
}

PassInputs OptionsPage::passInputs() const
{
    return {w.cb_Average->currentText(), IsSingleMode(w.rg_Sweep)};
}

void OptionsPage::showLoadedPlan(const MeasurementHeader &h)
{
    w.e_Start->setText(FormatValue(0, fvPrefix | fvHz, h.StartSingle));
    w.e_Stop->setText(FormatValue(0, fvPrefix | fvHz, h.StopSingle));
    w.se_steps->setValue(h.StepsCount);
}

void OptionsPage::CalibrationCompleted()
{
    setCalibration(CompletedCalibration(m_setUpSingle, m_setUpPlan, m_setUpSettings, QDateTime::currentDateTime(),
                                        w.Bench.calSource));
}

void OptionsPage::setCalibration(const CalibrationState &calibration)
{
    Calibration = calibration;
    w.l_Calibrated->setText(CalibratedText(Calibration));
}

void OptionsPage::b_StartClick()
{
    w.Memo1->clear();
    if (!InitialiseAnalyser()) {
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, QStringLiteral("Error on opening!"));
        return;
    }
    if (ShowMessage(MsgType::Information, MsgButtons::OkCancel, QStringLiteral("Connect Noise Source direct at FSP !"))
        != MsgResult::Ok) {
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, QStringLiteral("Error on opening!"));
        return;
    }
    w.Link->startCalibration(passInputs());
    w.Graphic->planSteps(IsSingleMode(w.rg_Sweep) ? 0 : w.se_steps->value(), /*fromFirst*/ true);
    w.setStatusText(ShortestDecimal(ParseValue(w.e_Start->text())));
    w.DrawGraphFrame();
}

void OptionsPage::b_MeasureClick()
{
    // The levels of the calibration are taken per frequency and depend on the analyser's
    // settings: a measurement with another plan or other settings would pair each step with
    // the calibration of a different one.
    SweepPlan wanted;
    ::MakeSweepPlan(wanted, sweepInputs());
    // The bench tunes the analyser to what the DUT makes of each frequency.
    wanted.Conversion = w.MeasurementRecord.SweepPlan.Conversion;
    wanted.LoHz = w.MeasurementRecord.SweepPlan.LoHz;
    const CalibrationItem differs = CalibrationDifference(Calibration, IsSingleMode(w.rg_Sweep), wanted,
                                                          setupSettings(wanted.Start), w.Bench.calSource);
    if (differs != CalibrationItem::None) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, CalibrationRefusalText(differs));
        return;
    }
    w.Memo1->clear();
    if (ShowMessage(MsgType::Information, MsgButtons::OkCancel, QStringLiteral("Connect DUT between Noise Source and FSP !"))
        != MsgResult::Ok)
        return;
    w.ResetStepEvaluations();
    w.Link->startMeasurement(passInputs());
    w.setStatusText(ShortestDecimal(ParseValue(w.e_Start->text())));

    ::MeasurementHeader &h = w.MeasurementRecord.MeasurementHeader;
    // A typed bandwidth that is none of the list's items has no list position.
    h.RbwIndex = ItemIndex(w.cb_rbw);
    h.VbwIndex = w.cb_vbw->currentIndex();
    h.AverageIndex = w.cb_Average->currentIndex();
    h.EnrSource = w.rg_ENR->ItemIndex();
    MakeSweepPlan();
    const ::SweepPlan &plan = w.MeasurementRecord.SweepPlan;
    h.StepsCount = plan.Steps;
    h.StartSingle = float(plan.Start);
    h.StopSingle = float(plan.Stop);
    w.Graphic->planSteps(IsSingleMode(w.rg_Sweep) ? 1 : w.se_steps->value(), /*fromFirst*/ false);
}
