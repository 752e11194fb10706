// The page "Options": the sweep plan, the connection to the analyser and the starts of both
// passes.
#include "app/options_page.h"

#include "analyser/analyser_setup.h"
#include "analyser/connection.h"
#include "analyser/tcp_transport.h"
#include "app/core/dialogs.h"
#include "app/guarded.h"
#include "app/widgets.h"
#include "base/engvalue.h"
#include "results/graph.h"
#include "run/analyser_link.h"
#include "noise/enr_source.h"
#include "noise/measurement_record.h"
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
    explicit CommandLineKeys(OptionsPage *page) : QObject(page), m_page(page) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        QChar ch(u'\r');
        Guarded([&] { m_page->e_commandKeyPress(ch); });
        return ch.isNull();
    }

private:
    OptionsPage *m_page;
};

}  // namespace

OptionsPage::OptionsPage(const OptionsControls &controls, ::MeasurementRecord &record, AnalyserLink &link,
                         std::function<int()> calibrationSource)
    : c(controls), m_record(record), m_link(link), m_calibrationSource(std::move(calibrationSource))
{
    connect(&link, &AnalyserLink::connectionLost, this, [this] {
        // Nothing can reach the analyser any more: the window shows the disconnected state,
        // as after Disconnect, with the news of the loss in the status bar.
        m_link.close();
        setCalibration(CalibrationState());
        c.b_Start->setEnabled(false);
        c.b_Measure->setEnabled(false);
        c.b_Measure2->setEnabled(false);
        ConnectButtonIdle();
        emit connectionDropped();
        emit status(c.cb_Device->currentText() + QStringLiteral(" connection lost"));
    });
    connect(&link, &AnalyserLink::connectFailed, this, [this](const QString &message) {
        emit status(message);
        ConnectButtonIdle();
    });
    connect(&link, &AnalyserLink::connected, this, [this] {
        emit status(QStringLiteral("Searching for ") + c.cb_Device->currentText() + QStringLiteral(" ..."));
        c.b_connect->setText(QStringLiteral("Connect"));
        c.b_connect->setEnabled(false);
    });
    connect(&link, &AnalyserLink::noAnswer, this,
                     [](const QString &message) { ShowMessage(MsgType::Error, MsgButtons::Ok, message); });
    c.e_command->installEventFilter(new CommandLineKeys(this));
}

OptionsPage::~OptionsPage() = default;

void OptionsPage::ListPorts()
{
    QStringList ports;
    TPiloComPort::EnumComPorts(ports);
    c.cb_COM->addItems(ports);
    if (!ports.isEmpty())
        c.cb_COM->setCurrentIndex(0);
}

// ---- Sweep plan -------------------------------------------------------------------------------

SweepInputs OptionsPage::sweepInputs() const
{
    return {IsSingleMode(c.rg_Sweep), c.e_Start->text(), c.e_Stop->text(), c.e_Single->text(), c.se_steps->value()};
}

void OptionsPage::MakeSweepPlan()
{
    ::MakeSweepPlan(m_record.SweepPlan, sweepInputs());
}

void OptionsPage::rg_SweepClick()
{
    const bool single = IsSingleMode(c.rg_Sweep);
    c.e_Start->setEnabled(!single);
    c.e_Stop->setEnabled(!single);
    c.se_steps->setEnabled(!single);
    c.e_Single->setEnabled(single);
    emit sweepModeChanged(single);
    MakeSweepPlan();
}

void OptionsPage::cb_RefLvlAutoClick()
{
    // The set-up sends the text of the field whether the box is checked or not.
    c.e_RefLvl->setEnabled(!c.cb_RefLvlAuto->isChecked());
}

// ---- Connect, search, disconnect ------------------------------------------------------------

void OptionsPage::b_connectClick()
{
    AnalyserLink &link = m_link;
    const bool vxi11 = c.ComboBox1->currentIndex() == 1 && c.cb_LanProtocol->currentIndex() == 1;
    const bool gpibLan = c.ComboBox1->currentIndex() == 2 && c.cb_GpibAdapter->currentIndex() == 1;
    if (!link.isOpen() && c.ComboBox1->currentIndex() == 1 && !vxi11) {
        const QString host = c.e_Host->text().trimmed();
        const int port = c.e_TcpPort->text().toInt();
        c.gb_com->setEnabled(false);
        // The connection is made in the background; until it stands, the button abandons it.
        emit status(QStringLiteral("Connecting to %1:%2 ...").arg(host, c.e_TcpPort->text()));
        c.b_connect->setText(QStringLiteral("Disconnect"));
        c.b_connect->setEnabled(true);
        if (port < 1 || port > 65535) {
            emit status(CannotConnectText(host, 0, QStringLiteral("no TCP port from 1 to 65535"))
                                .replace(QStringLiteral(":0:"), u':' + c.e_TcpPort->text() + u':'));
            ConnectButtonIdle();
            return;
        }
        link.openTcp(host, quint16(port));
        return;
    }
    if (!link.isOpen() && (vxi11 || gpibLan)) {
        // The link or the adapter is reached in the background; until then the button abandons it.
        const QString host = c.e_Host->text().trimmed();
        c.gb_com->setEnabled(false);
        c.b_connect->setText(QStringLiteral("Disconnect"));
        c.b_connect->setEnabled(true);
        if (vxi11) {
            const QString device = c.e_LanDevice->text().trimmed().isEmpty() ? QStringLiteral("inst0")
                                                                             : c.e_LanDevice->text().trimmed();
            emit status(QStringLiteral("Connecting to %1 (VXI-11 %2) ...").arg(host, device));
            link.openVxi11(host, device);
            return;
        }
        const int port = c.e_GpibPort->text().toInt();
        emit status(QStringLiteral("Connecting to %1:%2 ...").arg(host, c.e_GpibPort->text()));
        if (port < 1 || port > 65535) {
            emit status(CannotConnectText(host, 0, QStringLiteral("no TCP port from 1 to 65535"))
                                .replace(QStringLiteral(":0:"), u':' + c.e_GpibPort->text() + u':'));
            ConnectButtonIdle();
            return;
        }
        link.openGpibTcp(host, quint16(port), c.se_GpibAddress->value());
        return;
    }
    if (!link.isOpen() && c.ComboBox1->currentIndex() == 2) {
        // Until the adapter has answered and is set up, the button abandons it; the search
        // that follows runs as on the serial line. A port that cannot be opened says so at once.
        c.gb_com->setEnabled(false);
        emit status(QStringLiteral("Connecting to the GPIB adapter on COM%1 ...").arg(c.cb_COM->currentText()));
        c.b_connect->setText(QStringLiteral("Disconnect"));
        c.b_connect->setEnabled(true);
        link.openGpibSerial({c.cb_COM->currentText(), c.cb_Baud->currentText(), c.cb_Bits->currentText(),
                             c.cb_Handshake->currentIndex(), c.cb_Parity->currentIndex(),
                             c.cb_StopBits->currentIndex()},
                            c.se_GpibAddress->value());
        return;
    }
    if (!link.isOpen()) {
        c.gb_com->setEnabled(false);
        emit status(QStringLiteral("Searching for ") + c.cb_Device->currentText() + QStringLiteral(" ..."));
        c.b_connect->setEnabled(false);
        // A port that cannot be opened says so at once (connectFailed) and frees the settings.
        link.openSerial({c.cb_COM->currentText(), c.cb_Baud->currentText(), c.cb_Bits->currentText(),
                         c.cb_Handshake->currentIndex(), c.cb_Parity->currentIndex(),
                         c.cb_StopBits->currentIndex()});
        return;
    }

    link.close();
    // The analyser has its own settings back: no calibration holds any more.
    setCalibration(CalibrationState());
    c.b_Start->setEnabled(false);
    c.b_Measure->setEnabled(false);
    c.b_Measure2->setEnabled(false);
    ConnectButtonIdle();
    emit status(c.cb_Device->currentText() + QStringLiteral(" closed..."));
}

void OptionsPage::ConnectButtonIdle()
{
    c.gb_com->setEnabled(true);
    c.b_connect->setText(QStringLiteral("Connect"));
    c.b_connect->setEnabled(true);
}

void OptionsPage::DisconnectAtClose()
{
    if (m_link.isOpen())
        b_connectClick();
}

void OptionsPage::e_commandKeyPress(QChar &key)
{
    if (key != u'\r')
        return;
    if (c.b_Start->isEnabled())
        m_link.sendLine(CommandText(c.e_command->text()));
    key = QChar();
}

// ---- Analyser set-up and the passes -----------------------------------------------------------

bool OptionsPage::InitialiseAnalyser()
{
    if (!m_link.isOpen())
        return false;
    MakeSweepPlan();
    emit status(QStringLiteral("Initialize ") + c.cb_Device->currentText() + QStringLiteral(" ..."));

    const SetupSettings settings = setupSettings(m_record.SweepPlan.Start);
    // From here the analyser takes new settings: an earlier calibration no longer matches it,
    // whatever becomes of this one, and until this one completes it counts as cancelled.
    setCalibration(StartedCalibration());
    m_setUpSingle = IsSingleMode(c.rg_Sweep);
    m_setUpPlan = m_record.SweepPlan;
    m_setUpSettings = settings;

    if (!m_link.setUp(settings))
        return false;
    m_record.SweepPlan.StepIndex = 0;
    return true;
}

SetupSettings OptionsPage::setupSettings(double startHz) const
{
    SetupSettings settings;
    settings.startHz = startHz;
    settings.vbwText = c.cb_vbw->currentText();
    settings.vbwIndex = c.cb_vbw->currentIndex();
    settings.rbwText = c.cb_rbw->currentText();
    settings.averageText = c.cb_Average->currentText();
    settings.rfAttText = c.cb_RFAtt->currentText();
    settings.refLevelText = c.e_RefLvl->text();
    settings.rangeText = c.e_Range->text();
    return settings;
}

PassInputs OptionsPage::passInputs() const
{
    return {c.cb_Average->currentText(), IsSingleMode(c.rg_Sweep)};
}

void OptionsPage::showLoadedPlan(const MeasurementHeader &h)
{
    c.e_Start->setText(FormatValue(0, fvPrefix | fvHz, h.StartSingle));
    c.e_Stop->setText(FormatValue(0, fvPrefix | fvHz, h.StopSingle));
    c.se_steps->setValue(h.StepsCount);
}

void OptionsPage::setEnrSource(const EnrSource &source)
{
    m_enrMode = source.mode;
}

void OptionsPage::showSweepTime(const QString &sweepTime)
{
    c.e_Sweep->setText(sweepTime + QStringLiteral(" s"));
}

void OptionsPage::passCompleted(PassKind pass)
{
    if (pass == PassKind::Calibration)
        CalibrationCompleted();
    c.b_Measure->setEnabled(true);
    c.b_Measure2->setEnabled(true);
}

void OptionsPage::searchEnded(bool found, const QByteArray &identification)
{
    if (!found) {
        // The link has closed the line already.
        c.gb_com->setEnabled(true);
        emit status(QStringLiteral("Could not open ") + c.cb_Device->currentText() + QStringLiteral(" !"));
        c.b_connect->setEnabled(true);
        return;
    }
    c.b_Start->setEnabled(true);
    c.b_connect->setText(QStringLiteral("Disconnect"));
    c.b_connect->setEnabled(true);
    emit status(QStringLiteral("Device: ") + QString::fromLatin1(identification));
}

void OptionsPage::CalibrationCompleted()
{
    setCalibration(CompletedCalibration(m_setUpSingle, m_setUpPlan, m_setUpSettings, QDateTime::currentDateTime(),
                                        m_calibrationSource()));
}

void OptionsPage::setCalibration(const CalibrationState &calibration)
{
    Calibration = calibration;
    c.l_Calibrated->setText(CalibratedText(Calibration));
}

bool OptionsPage::RefuseUntunablePlan()
{
    // An amplifier is tuned to the plan itself, as designed.
    if (m_record.SweepPlan.Conversion == DutType::Amplifier)
        return false;
    SweepPlan wanted;
    ::MakeSweepPlan(wanted, sweepInputs());
    wanted.Conversion = m_record.SweepPlan.Conversion;
    wanted.LoHz = m_record.SweepPlan.LoHz;
    const IfPlan ifs = PlanIfsOf(wanted);
    if (ifs.ok())
        return false;
    ShowMessage(MsgType::Error, MsgButtons::Ok, ifs.refusal);
    return true;
}

void OptionsPage::b_StartClick()
{
    // A converter's plan whose IFs cannot be measured is refused before anything is sent.
    if (RefuseUntunablePlan())
        return;
    c.Memo1->clear();
    if (!InitialiseAnalyser()) {
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, QStringLiteral("Error on opening!"));
        return;
    }
    if (ShowMessage(MsgType::Information, MsgButtons::OkCancel, QStringLiteral("Connect Noise Source direct at FSP !"))
        != MsgResult::Ok) {
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, QStringLiteral("Error on opening!"));
        return;
    }
    m_link.startCalibration(passInputs());
    emit stepsPlanned(IsSingleMode(c.rg_Sweep) ? 0 : c.se_steps->value(), /*fromFirst*/ true);
    emit status(ShortestDecimal(ParseValue(c.e_Start->text())));
    emit calibrationStarted();
}

void OptionsPage::b_MeasureClick()
{
    if (RefuseUntunablePlan())
        return;
    // The levels of the calibration are taken per frequency and depend on the analyser's
    // settings: a measurement with another plan or other settings would pair each step with
    // the calibration of a different one.
    SweepPlan wanted;
    ::MakeSweepPlan(wanted, sweepInputs());
    // The bench tunes the analyser to what the DUT makes of each frequency.
    wanted.Conversion = m_record.SweepPlan.Conversion;
    wanted.LoHz = m_record.SweepPlan.LoHz;
    const CalibrationItem differs = CalibrationDifference(Calibration, IsSingleMode(c.rg_Sweep), wanted,
                                                          setupSettings(wanted.Start), m_calibrationSource());
    if (differs != CalibrationItem::None) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, CalibrationRefusalText(differs));
        return;
    }
    c.Memo1->clear();
    if (ShowMessage(MsgType::Information, MsgButtons::OkCancel, QStringLiteral("Connect DUT between Noise Source and FSP !"))
        != MsgResult::Ok)
        return;
    emit measurementStarting();
    m_link.startMeasurement(passInputs());
    emit status(ShortestDecimal(ParseValue(c.e_Start->text())));

    ::MeasurementHeader &h = m_record.MeasurementHeader;
    // A typed bandwidth that is none of the list's items has no list position.
    h.RbwIndex = ItemIndex(c.cb_rbw);
    h.VbwIndex = c.cb_vbw->currentIndex();
    h.AverageIndex = c.cb_Average->currentIndex();
    h.EnrSource = m_enrMode;
    MakeSweepPlan();
    const ::SweepPlan &plan = m_record.SweepPlan;
    h.StepsCount = plan.Steps;
    h.StartSingle = float(plan.Start);
    h.StopSingle = float(plan.Stop);
    emit stepsPlanned(IsSingleMode(c.rg_Sweep) ? 1 : c.se_steps->value(), /*fromFirst*/ false);
}
