#pragma once
// The behaviour of the page "Options": the sweep plan, connecting and disconnecting the
// analyser, the set-up and the starts of the calibration and measurement passes. The
// connection itself is the window's AnalyserLink.

#include "run/calibration_state.h"
#include "run/sweep_plan.h"

#include <QByteArray>
#include <QChar>
#include <QObject>
#include <QString>

#include <functional>

class AnalyserLink;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class RadioGroup;
enum class PassKind;
struct EnrSource;
struct MeasurementHeader;
struct MeasurementRecord;
struct PassInputs;

/// The controls of the page "Options", with the "Measure" of the Graphic page and the hidden
/// command line and its log.
struct OptionsControls
{
    QGroupBox *gb_com = nullptr;
    QComboBox *cb_Device = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QComboBox *cb_rbw = nullptr;
    QComboBox *cb_vbw = nullptr;
    QComboBox *cb_RFAtt = nullptr;
    QLineEdit *e_Range = nullptr;
    QLineEdit *e_RefLvl = nullptr;
    QCheckBox *cb_RefLvlAuto = nullptr;
    QComboBox *cb_Average = nullptr;
    QLineEdit *e_Sweep = nullptr;
    RadioGroup *rg_Sweep = nullptr;
    QLineEdit *e_Start = nullptr;
    QLineEdit *e_Stop = nullptr;
    QLineEdit *e_Single = nullptr;
    QSpinBox *se_steps = nullptr;
    QComboBox *cb_COM = nullptr;
    QComboBox *cb_Baud = nullptr;
    QComboBox *cb_Bits = nullptr;
    QComboBox *cb_Handshake = nullptr;
    QComboBox *cb_Parity = nullptr;
    QComboBox *cb_StopBits = nullptr;
    QLineEdit *e_Host = nullptr;
    QLineEdit *e_TcpPort = nullptr;
    QComboBox *cb_LanProtocol = nullptr;
    QLineEdit *e_LanDevice = nullptr;
    QComboBox *cb_GpibAdapter = nullptr;
    QSpinBox *se_GpibAddress = nullptr;
    QLineEdit *e_GpibPort = nullptr;
    QPushButton *b_connect = nullptr;
    QPushButton *b_Start = nullptr;
    QPushButton *b_Measure = nullptr;
    QPushButton *b_Measure2 = nullptr;
    QLabel *l_Calibrated = nullptr;
    QLineEdit *e_command = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
};

class OptionsPage : public QObject
{
    Q_OBJECT

public:
    /// `calibrationSource` tells the noise source the bench names for the calibration.
    OptionsPage(const OptionsControls &controls, ::MeasurementRecord &record, AnalyserLink &link,
                std::function<int()> calibrationSource);
    ~OptionsPage() override;
    OptionsPage(const OptionsPage &) = delete;
    OptionsPage &operator=(const OptionsPage &) = delete;

    /// Start-up: the serial ports present go into the port list.
    void ListPorts();

    void MakeSweepPlan();
    void rg_SweepClick();
    void cb_RefLvlAutoClick();
    void b_connectClick();
    void DisconnectAtClose();
    void e_commandKeyPress(QChar &key);
    bool InitialiseAnalyser();
    void b_StartClick();
    void b_MeasureClick();

    /// What the last completed calibration pass covered; "Measure" refuses to pair its levels
    /// with a plan or settings that differ.
    CalibrationState Calibration;
    /// A calibration pass has run to its end: it holds for the plan and settings its set-up sent.
    void CalibrationCompleted();
    /// The page's sweep fields and the analyser settings as the set-up would send them now.
    SweepInputs sweepInputs() const;
    SetupSettings setupSettings(double startHz) const;
    /// What a pass takes from the page as it starts: the averaging and the Single mode.
    PassInputs passInputs() const;

    /// The ENR in use, as the Noise Source page publishes it: a measurement's header names its
    /// source.
    void setEnrSource(const EnrSource &source);
    /// A measurement file was loaded: its start, stop and step count in the sweep fields.
    void showLoadedPlan(const MeasurementHeader &header);
    /// The analyser's sweep time of a calibration pass, in e_Sweep.
    void showSweepTime(const QString &sweepTime);
    /// A pass ran to its end: a calibration holds, and "Measure" may start.
    void passCompleted(PassKind pass);
    /// The search for the analyser ended: found, the passes may start; not found, the settings
    /// are free again.
    void searchEnded(bool found, const QByteArray &identification);
    /// Puts `calibration` in force and names it in l_Calibrated.
    void setCalibration(const CalibrationState &calibration);

signals:
    /// A text for the status bar.
    void status(const QString &text);
    /// "Sweep" or "Single" chosen: the graph has no use in Single mode.
    void sweepModeChanged(bool single);
    /// A pass is planned over steps 0 .. `lastStep`; `fromFirst` selects step 0.
    void stepsPlanned(int lastStep, bool fromFirst);
    /// A calibration pass started: the graph shows its empty frame.
    void calibrationStarted();
    /// A measurement pass is about to start: the evaluations of the last one are forgotten.
    void measurementStarting();
    /// The connection was lost: nothing runs any more and the window takes input again.
    void connectionDropped();

private:
    /// A converter's plan from the sweep fields that crosses the LO or gives an IF at or below
    /// 0 Hz: says which step and returns true.
    bool RefuseUntunablePlan();
    /// No connection: the settings free, the button reads "Connect".
    void ConnectButtonIdle();
    OptionsControls c;
    ::MeasurementRecord &m_record;
    AnalyserLink &m_link;
    std::function<int()> m_calibrationSource;
    int m_enrMode = 0;  ///< the item of rg_ENR in use
    /// The plan and settings of the last set-up, for the calibration pass that follows it.
    bool m_setUpSingle = false;
    SweepPlan m_setUpPlan;
    SetupSettings m_setUpSettings;
};
