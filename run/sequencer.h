#pragma once
// The calibration and measurement sequencer, and the analyser search of the connect button:
// one state machine that advances one state per step on the ticks of the main window's 1 ms
// timer. Each state sends its commands without waiting and, where it needs an answer, polls
// for it on later steps, so the user-interface thread is never blocked during a pass. The two
// passes run the same seven states, numbered from 1 and from 256; what differs between them is
// one profile per pass.
//
// This object holds the sequencer's variables and makes every decision. It talks to the line
// through the command channel (sending without waiting, taking the one reply slot), asks the
// analyser's dialect for every line, and tells what happens through value-typed signals that
// the link passes on to its owner; tests drive it tick by tick without a window. Everything
// runs on the user-interface thread, and every signal is delivered directly: a slot that opens
// a message box holds the step until it is closed, and ticks meanwhile do nothing.

#include "analyser/analyser_dialect.h"
#include "noise/measurement_record.h"

#include <QByteArray>
#include <QObject>
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

/// The noise source's state for a reading.
enum class SourceState { Off, On };

/// Why a pass ended before its last frequency, other than "Cancel".
enum class PassFailure {
    NoAnswer,  ///< an awaited answer did not come within its bound
    NoNumber,  ///< a reading was no number (told first by readingRefused)
    HungUp,    ///< the other end of the line went away
};

/// What a pass takes from its starter: the averaging count's text as the analyser gets it
/// (cb_Average) and whether the plan is a single frequency (rg_Sweep on "Single").
struct PassInputs
{
    QString averageText = QStringLiteral("10");
    bool single = false;
};

/// What sets the calibration pass apart from the measurement pass (defined with the states).
struct PassProfile;

class CommandChannel;

class Sequencer : public QObject
{
    Q_OBJECT

public:
    /// A monotonic clock in milliseconds; only differences between its readings count.
    using Clock = std::function<qint64()>;

    /// How long the search waits for any answer to the identification, in milliseconds of the clock.
    static constexpr int kSearchTimeoutMs = 5000;
    /// States a frequency takes in a pass (source off ... next frequency).
    static constexpr int kStatesPerFrequency = 5;

    /// `record`, `channel` and `dialect` must outlive the sequencer. Without a clock the
    /// sequencer uses the system's monotonic one.
    Sequencer(MeasurementRecord &record, CommandChannel &channel, const AnalyserDialect &dialect, Clock clockMs = {});

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
    void StartCalibration(const PassInputs &inputs);
    /// "Measure" after the operator's OK: state 256.
    void StartMeasurement(const PassInputs &inputs);
    /// The other end of the line went away: a pass ends as "Cancel" ends it (told by
    /// passFailed), a search ends unanswered.
    void LineLost();
    /// The bound of the awaited answer now, in milliseconds of the clock from its command: the
    /// channel's bound of a waiting command (10 s) plus the sweeps asked for times the sweep
    /// time the analyser reported.
    qint64 AnswerBoundMs() const { return m_waitBoundMs; }

    /// The inputs of the pass that runs or ran last.
    const PassInputs &Inputs() const { return m_inputs; }

    /// Arms the time-out: it runs out `ms` milliseconds of the clock from now, however many or
    /// few ticks arrive meanwhile.
    void ArmTimeout(int ms);

    /// One tick of Timer1: cancel, countdown reload, time-out, then at most one step.
    /// A tick that arrives while a step is still running (a message box of that step serving
    /// events) does nothing, and so does a tick while NeedsTicks() is false.
    void Tick();

    /// True once a millisecond of the clock has passed since the last tick began: a reply that
    /// arrives then may be taken by a tick at once, so that the sequencer advances once a
    /// millisecond however late the timer's own ticks come.
    bool TickDue() const { return m_clockMs() - m_lastTickMs >= 1; }

    /// True while a tick can change anything: a pass or the search runs, the time-out is armed,
    /// or a "Cancel" waits to be taken. While it is false the timer may stop; starting a pass or
    /// the search makes it true again.
    bool NeedsTicks() const;

    /// The last line sent; in a pass, the one whose answer it waits for.
    const QByteArray &LastCommand() const { return m_lastCommand; }

    /// Steps executed since construction (for the benchmark's figures).
    quint64 ExecutedSteps() const { return m_executedSteps; }

signals:
    /// The search has sent its identification query.
    void searchStarted();
    /// The search has ended: the analyser's identification, or no answer within the time-out.
    void searchEnded(bool found, const QByteArray &identification);
    /// A pass has started over steps 0 to `steps` (the measurement has cleared its results).
    void passStarted(PassKind pass, int steps);
    /// The analyser's sweep time, as received.
    void sweepTimeRead(PassKind pass, const QString &sweepTime);
    /// The pass has tuned the analyser to `hz` for step `step`.
    void frequencyStarted(PassKind pass, int step, double hz);
    /// A reading of step `step` with the noise source off or on, stored in the record.
    void levelRead(PassKind pass, SourceState source, int step, double levelDbm);
    /// Both readings of step `step` are in; the measurement pass evaluates the step on it.
    void stepCompleted(PassKind pass, int step);
    /// The pass ran through its last frequency.
    void passEnded(PassKind pass);
    /// A reading that is no number: the message of the conversion. The pass then ends.
    void readingRefused(const QString &message);
    /// The pass has ended before its last frequency, as "Cancel" ends it: idle, nothing more
    /// sent, the record keeps what was measured. With NoAnswer the message names the command:
    /// "FSP does not answer: CALC:MARK1:Y?"; with NoNumber it is the conversion's.
    void passFailed(PassKind pass, PassFailure why, const QString &message);

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
    bool TakeReading(const PassProfile &pass, double &levelDbm);
    void Send(const QList<QByteArray> &lines);
    void Send(const QByteArray &line);
    /// Starts the bound of the answer to the last line sent, which asks for `sweeps` sweeps.
    void Await(int sweeps);
    /// Takes the awaited answer; false while there is none, and the pass ends once its bound
    /// has passed.
    bool TakeAnswer(const PassProfile &pass, QByteArray &reply);
    void FailPass(PassKind pass, PassFailure why, const QString &message);
    bool ReadReply(QByteArray &reply);
    void NextFrequency(const PassProfile &pass);
    void EndPass(const PassProfile &pass);
    void StepSearch();

    MeasurementRecord &m_record;
    CommandChannel &m_channel;
    const AnalyserDialect &m_dialect;
    PassInputs m_inputs;
    QByteArray m_lastCommand;
    Clock m_clockMs;
    qint64 m_timeoutCountedAtMs = 0;   ///< clock reading the time-out was last counted at
    qint64 m_lastTickMs = 0;           ///< clock reading at the start of the last tick
    bool m_inTick = false;
    double m_sweepTimeS = 0;           ///< the sweep time the analyser reported for this pass
    qint64 m_waitStartMs = 0;          ///< clock reading when the awaited command went out
    qint64 m_waitBoundMs = 0;          ///< how long its answer may take
    quint64 m_executedSteps = 0;
};
