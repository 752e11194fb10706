#pragma once
// The calibration and measurement sequencer, and the analyser search of the connect button:
// one state machine that advances one state per step on the ticks of the main window's 1 ms
// timer. Each state sends its commands without waiting and, where it needs an answer, polls
// for it on later steps, so the user-interface thread is never blocked during a pass. The two
// passes run the same seven states, numbered from 1 and from 256; what differs between them is
// one profile per pass.
//
// This object holds the sequencer's variables and makes every decision; the window's side
// (the command channel, the controls, the progress window) is reached through SequencerHost,
// so tests drive it tick by tick without a window. Everything runs on the user-interface thread.

#include "noise/measurement_record.h"
#include "run/page.h"

#include <QByteArray>
#include <QString>

#include <functional>

/// State numbers of the sequencer.
enum SequencerStateId : int {
    StateIdle = 0,
    CalibrationStart = 1,
    CalibrationSweepTime = 2,     ///< wait for the sweep time
    CalibrationSourceOff = 3,     ///< source off, marker, settling sweeps
    CalibrationReadOff = 4,       ///< wait for settling (source off), start the reading
    CalibrationSourceOn = 5,      ///< wait for the reading (source off), source on, settle
    CalibrationReadOn = 6,        ///< wait for settling (source on), start the reading
    CalibrationNext = 7,          ///< wait for the reading (source on), next frequency
    MeasurementStart = 256,
    MeasurementSweepTime = 257,
    MeasurementSourceOff = 258,
    MeasurementReadOff = 259,
    MeasurementSourceOn = 260,
    MeasurementReadOn = 261,
    MeasurementNext = 262,        ///< ... evaluate the step, next frequency
    SearchStart = 512,
    SearchWait = 513,
};

/// The name of a state number ("CalibrationSourceOn"), or "unknown state <n>".
QString SequencerStateName(int state);

/// The level fields of the calculator page that the passes write.
enum class LevelField { N2off, N2on, N12off, N12on };

/// The window's side of the sequencer.
class SequencerHost
{
public:
    virtual ~SequencerHost() = default;

    // ---- Command channel (never waits) ----
    virtual void SendCommand(const QByteArray &command) = 0;
    virtual bool ReadReply(QByteArray &reply) = 0;

    // ---- What the states read from the "Options" page ----
    virtual QString AverageText() const = 0;  ///< text of cb_Average
    virtual bool SingleMode() const = 0;      ///< rg_Sweep on "Single"

    // ---- Effects on the window ----
    virtual void SetMainWindowEnabled(bool enabled) = 0;
    virtual void ShowPage(Page page) = 0;
    virtual void SetStatusText(const QString &text) = 0;
    virtual void SetSweepTimeText(const QString &text) = 0;  ///< e_Sweep
    virtual void SetLevelText(LevelField field, const QString &text) = 0;
    /// Captions and shows the progress window: `caption`, step label "Step", info text `info`,
    /// shown step number 1, bar from 0 to `steps` at 0, centred on the desktop, not modal.
    virtual void ProgressOpen(const QString &caption, const QString &info, int steps) = 0;
    virtual void ProgressInfo(const QString &info) = 0;
    /// The shown step number and the bar position.
    virtual void ProgressStep(int step) = 0;
    virtual void ProgressClose() = 0;
    /// A pass ran through its last frequency: both "Measure" buttons enabled, and after a
    /// measurement pass also "Save as ...".
    virtual void PassCompleted(bool measurementPass) = 0;
    /// Sets the step selector to `index` and runs the step display, which evaluates the step.
    virtual void ShowStep(int index) = 0;
    /// Redraws the graph with no step selected.
    virtual void RecomputeResults() = 0;
    /// Shows an error to the operator (a modal box; the sequencer ignores ticks meanwhile).
    virtual void ShowError(const QString &message) = 0;

    // ---- Analyser search ----
    /// No answer within the time-out: close the port, stop the timer, settings group and
    /// connect button enabled, "Could not open FSP !", window enabled.
    virtual void SearchFailed() = 0;
    /// The analyser answered: "Calibration" enabled, "Disconnect", "Device: " + reply, window
    /// enabled.
    virtual void SearchSucceeded(const QByteArray &reply) = 0;
};

/// What sets the calibration pass apart from the measurement pass (defined with the states).
struct PassProfile;

class Sequencer
{
public:
    /// A monotonic clock in milliseconds; only differences between its readings count.
    using Clock = std::function<qint64()>;

    /// How long the search waits for any answer to "*idn?", in milliseconds of the clock.
    static constexpr int kSearchTimeoutMs = 5000;
    /// States a frequency takes in a pass (source off ... next frequency).
    static constexpr int kStatesPerFrequency = 5;

    /// `record` must outlive the sequencer. Without a clock the sequencer uses the system's
    /// monotonic one.
    explicit Sequencer(MeasurementRecord &record, Clock clockMs = {});
    Sequencer(const Sequencer &) = delete;
    Sequencer &operator=(const Sequencer &) = delete;

    void setHost(SequencerHost *host) { m_host = host; }

    // ---- The sequencer's variables ----
    int SequencerState = StateIdle;
    bool SequencerRunning = false;
    bool CancelRequested = false;  ///< set by the progress window's "Cancel"
    int TickDivider = 1;           ///< ticks skipped between two steps
    int TickCountdown = 1;         ///< ticks left before the next step
    bool RestartCountdown = false; ///< reload TickCountdown from TickDivider at the next tick
    bool TimeoutArmed = false;     ///< the search's reply time-out is counting
    bool TimeoutStop = false;      ///< disarm the time-out at the next tick
    int TimeoutCountdown = 100;    ///< milliseconds of the clock left, as of the last tick
    int TimeoutReload = 100;       ///< TimeoutCountdown once a time-out has run out

    /// The variables' initial values: idle, nothing counting.
    void SetIdle();
    /// The connect button's start of the search: state 512, a step on every second tick.
    void StartSearch();
    /// "Calibration" after the set-up and the operator's OK: state 1.
    void StartCalibration();
    /// "Measure" after the operator's OK: state 256.
    void StartMeasurement();

    /// Arms the time-out: it runs out `ms` milliseconds of the clock from now, however many or
    /// few ticks arrive meanwhile.
    void ArmTimeout(int ms);

    /// One tick of Timer1: cancel, countdown reload, time-out, then at most one step.
    /// A tick that arrives while a step is still running (a message box of that step serving
    /// events) does nothing, and so does a tick while NeedsTicks() is false.
    void Tick();

    /// True while a tick can change anything: a pass or the search runs, the time-out is armed,
    /// or a "Cancel" waits to be taken. While it is false the timer may stop; starting a pass or
    /// the search makes it true again.
    bool NeedsTicks() const;

    /// Steps executed since construction (for the benchmark's figures).
    quint64 ExecutedSteps() const { return m_executedSteps; }

private:
    void Step();
    void StepPass(const PassProfile &pass, int offset);
    void StartPass(const PassProfile &pass);
    void TakeSweepTime(const PassProfile &pass);
    void SourceOffAndSettle(const PassProfile &pass);
    /// The frequency the analyser is tuned to at the step in work.
    double Frequency() const;
    void SendSettle();
    void SendReading();
    bool TakeReading(double &levelDbm);
    void EvaluateStep();
    void NextFrequency(const PassProfile &pass);
    void EndPass(const PassProfile &pass);
    void StepSearch();

    MeasurementRecord &m_record;
    SequencerHost *m_host = nullptr;
    Clock m_clockMs;
    qint64 m_timeoutCountedAtMs = 0;   ///< clock reading the time-out was last counted at
    bool m_inTick = false;
    bool m_readingErrorShown = false;  ///< the conversion error of this wait has been shown
    bool m_stepErrorShown = false;     ///< an evaluation error of this pass has been shown
    quint64 m_executedSteps = 0;
};
