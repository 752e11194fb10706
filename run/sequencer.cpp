#include "run/sequencer.h"

#include "analyser/command_channel.h"
#include "base/engvalue.h"
#include "base/errors.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>

/// What sets the calibration pass apart from the measurement pass. Both run the same states in
/// the same order and send the dialect's per-frequency dialogue for their kind; only what this
/// table names differs.
struct PassProfile
{
    int base;                        ///< number of the pass's start state; the others follow it
    PassKind kind;                   ///< what the dialect and the signals are told
    MeasurementRecord::Slots MeasurementRecord::*off;  ///< the levels with the noise source off
    MeasurementRecord::Slots MeasurementRecord::*on;   ///< ... and on
    bool stepOnEveryTick;            ///< the start sets TickDivider to 0
    bool evaluates;                  ///< the start clears the results; every frequency is evaluated
};

namespace {

/// The states of a pass, counted from its start state.
enum PassStep : int {
    PassStart,
    PassSweepTime,
    PassSourceOff,
    PassReadOff,
    PassSourceOn,
    PassReadOn,
    PassNext,
    kPassSteps,
};

static_assert(CalibrationSweepTime == int(CalibrationStart) + PassSweepTime
              && CalibrationNext == int(CalibrationStart) + PassNext);
static_assert(MeasurementSweepTime == int(MeasurementStart) + PassSweepTime
              && MeasurementNext == int(MeasurementStart) + PassNext);
static_assert(Sequencer::kStatesPerFrequency == PassNext - PassSourceOff + 1);

/// Noise source straight at the analyser: the analyser's own noise.
const PassProfile kCalibrationPass{
    .base = CalibrationStart,
    .kind = PassKind::Calibration,
    .off = &MeasurementRecord::N2off,
    .on = &MeasurementRecord::N2on,
    .stepOnEveryTick = true,
    .evaluates = false,
};

/// The DUT between noise source and analyser: every frequency gives a gain and a noise figure.
const PassProfile kMeasurementPass{
    .base = MeasurementStart,
    .kind = PassKind::Measurement,
    .off = &MeasurementRecord::N12off,
    .on = &MeasurementRecord::N12on,
    .stepOnEveryTick = false,
    .evaluates = true,
};

/// The pass a state belongs to, or nullptr.
const PassProfile *PassOf(int state)
{
    for (const PassProfile *pass : {&kCalibrationPass, &kMeasurementPass})
        if (state >= pass->base && state < pass->base + kPassSteps)
            return pass;
    return nullptr;
}

struct StateName
{
    int state;
    const char *name;
};

constexpr StateName kStateNames[] = {
    {StateIdle, "StateIdle"},
    {CalibrationStart, "CalibrationStart"},
    {CalibrationSweepTime, "CalibrationSweepTime"},
    {CalibrationSourceOff, "CalibrationSourceOff"},
    {CalibrationReadOff, "CalibrationReadOff"},
    {CalibrationSourceOn, "CalibrationSourceOn"},
    {CalibrationReadOn, "CalibrationReadOn"},
    {CalibrationNext, "CalibrationNext"},
    {MeasurementStart, "MeasurementStart"},
    {MeasurementSweepTime, "MeasurementSweepTime"},
    {MeasurementSourceOff, "MeasurementSourceOff"},
    {MeasurementReadOff, "MeasurementReadOff"},
    {MeasurementSourceOn, "MeasurementSourceOn"},
    {MeasurementReadOn, "MeasurementReadOn"},
    {MeasurementNext, "MeasurementNext"},
    {SearchStart, "SearchStart"},
    {SearchWait, "SearchWait"},
};

Sequencer::Clock MonotonicClock()
{
    QElapsedTimer since;
    since.start();
    return [since] { return since.elapsed(); };
}

class TickGuard
{
public:
    explicit TickGuard(bool &flag) : m_flag(flag) { m_flag = true; }
    ~TickGuard() { m_flag = false; }
    TickGuard(const TickGuard &) = delete;
    TickGuard &operator=(const TickGuard &) = delete;

private:
    bool &m_flag;
};

}  // namespace

QString SequencerStateName(int state)
{
    for (const StateName &s : kStateNames)
        if (s.state == state)
            return QString::fromLatin1(s.name);
    return QStringLiteral("unknown state %1").arg(state);
}

Sequencer::Sequencer(MeasurementRecord &record, CommandChannel &channel, const AnalyserDialect &dialect, Clock clockMs)
    : m_record(record), m_channel(channel), m_dialect(dialect),
      m_clockMs(clockMs ? std::move(clockMs) : MonotonicClock())
{
}

void Sequencer::SetIdle()
{
    SequencerState = StateIdle;
    SequencerRunning = false;
    CancelRequested = false;
    TickDivider = 1;
    TickCountdown = 1;
    RestartCountdown = false;
    TimeoutArmed = false;
    TimeoutStop = false;
    TimeoutCountdown = 100;
    TimeoutReload = 100;
}

void Sequencer::StartSearch()
{
    SequencerState = SearchStart;
    TickDivider = 1;
    RestartCountdown = false;
    TickCountdown = TickDivider;
    SequencerRunning = true;
}

void Sequencer::StartCalibration(const PassInputs &inputs)
{
    m_inputs = inputs;
    SequencerState = CalibrationStart;
    SequencerRunning = true;
    TickDivider = 1;
    RestartCountdown = true;
}

void Sequencer::StartMeasurement(const PassInputs &inputs)
{
    m_inputs = inputs;
    SequencerState = MeasurementStart;
    TickCountdown = TickDivider;
    SequencerRunning = true;
    RestartCountdown = true;
}

void Sequencer::ArmTimeout(int ms)
{
    TimeoutCountdown = ms;
    TimeoutArmed = true;
    TimeoutStop = false;
    m_timeoutCountedAtMs = m_clockMs();
}

bool Sequencer::NeedsTicks() const
{
    return SequencerRunning || TimeoutArmed || CancelRequested;
}

void Sequencer::Tick()
{
    // Idle, a tick has nothing to do; returning here keeps even the countdowns still, so a
    // stopped timer and a running one look the same.
    if (m_inTick || !NeedsTicks())
        return;
    TickGuard guard(m_inTick);
    m_lastTickMs = m_clockMs();

    if (CancelRequested) {
        CancelRequested = false;
        SequencerRunning = false;
        SequencerState = StateIdle;
    }
    if (RestartCountdown) {
        TickCountdown = TickDivider;
        RestartCountdown = false;
    }
    if (TimeoutArmed) {
        // The time-out counts the clock, not ticks: the timer's real rate is the platform's,
        // and an analyser on a slow line needs its seconds whatever that rate is.
        const qint64 now = m_clockMs();
        const qint64 elapsed = std::max<qint64>(0, now - m_timeoutCountedAtMs);
        m_timeoutCountedAtMs = now;
        TimeoutCountdown = int(std::max<qint64>(0, TimeoutCountdown - elapsed));
        if (TimeoutCountdown == 0) {
            TimeoutArmed = false;
            TimeoutCountdown = TimeoutReload;
        }
        if (TimeoutStop)
            TimeoutArmed = false;
    }
    if (TickCountdown != 0) {
        --TickCountdown;
        return;
    }
    TickCountdown = TickDivider;
    if (SequencerRunning)
        Step();
}

void Sequencer::Step()
{
    ++m_executedSteps;
    if (const PassProfile *pass = PassOf(SequencerState)) {
        StepPass(*pass, SequencerState - pass->base);
        return;
    }
    switch (SequencerState) {
    case StateIdle:
        break;
    case SearchStart:
    case SearchWait:
        StepSearch();
        break;
    default:
        SequencerState = StateIdle;
        break;
    }
}

void Sequencer::StepPass(const PassProfile &pass, int offset)
{
    SweepPlan &plan = m_record.SweepPlan;
    QByteArray reply;
    double level = 0;

    switch (offset) {
    case PassStart:
        StartPass(pass);
        break;
    case PassSweepTime:
        TakeSweepTime(pass);
        break;
    case PassSourceOff:
        SourceOffAndSettle(pass);
        break;
    case PassReadOff:
    case PassReadOn: {
        // The settling sweeps have ended (the answer to the settling query); the averaged
        // reading follows.
        if (!TakeAnswer(pass, reply))
            break;
        SendReading();
        (m_record.*(offset == PassReadOff ? pass.off : pass.on))[plan.StepIndex] = 0;
        SequencerState = pass.base + offset + 1;
        break;
    }
    case PassSourceOn:
        if (!TakeReading(pass, level))
            break;
        (m_record.*pass.off)[plan.StepIndex] = level;
        emit levelRead(pass.kind, SourceState::Off, plan.StepIndex, level);
        Send(m_dialect.SourceOnAndSettle(pass.kind));
        Await(m_dialect.SettlingSweepCount());
        SequencerState = pass.base + PassReadOn;
        break;
    case PassNext:
        if (!TakeReading(pass, level))
            break;
        (m_record.*pass.on)[plan.StepIndex] = level;
        emit levelRead(pass.kind, SourceState::On, plan.StepIndex, level);
        emit stepCompleted(pass.kind, plan.StepIndex);
        NextFrequency(pass);
        break;
    default:
        break;
    }
}

void Sequencer::StartPass(const PassProfile &pass)
{
    SweepPlan &plan = m_record.SweepPlan;
    if (pass.evaluates) {
        for (int i = 0; i <= plan.Steps && i <= kMaxStepSlot; ++i) {
            m_record.NoiseFigureDb[i] = 0;
            m_record.GainDb[i] = 1;
        }
    }
    emit passStarted(pass.kind, plan.Steps);
    plan.StepIndex = 0;
    QByteArray stale;
    ReadReply(stale);  // a reply left over from a cancelled pass must not end a wait
    m_sweepTimeS = 0;
    if (pass.stepOnEveryTick)
        TickDivider = 0;
    SequencerState = pass.base + PassSweepTime;
    Send(m_dialect.SweepTimeQuery());
    Await(0);
}

void Sequencer::TakeSweepTime(const PassProfile &pass)
{
    QByteArray reply;
    if (!TakeAnswer(pass, reply))
        return;
    // The bounds of the pass's answers allow for the sweeps at this time; a time that is no
    // number allows for none.
    try {
        const double s = m_dialect.ParseSweepTime(reply);
        m_sweepTimeS = std::isfinite(s) ? std::clamp(s, 0.0, 1e6) : 0.0;
    } catch (const EConvertError &) {
        m_sweepTimeS = 0;
    }
    SequencerState = pass.base + PassSourceOff;
    emit sweepTimeRead(pass.kind, QString::fromLatin1(reply));
}

void Sequencer::SourceOffAndSettle(const PassProfile &pass)
{
    const double f = Frequency();
    Send(m_dialect.SourceOffAndSettle(pass.kind, f));
    Await(m_dialect.SettlingSweepCount());
    SequencerState = pass.base + PassReadOff;
    emit frequencyStarted(pass.kind, m_record.SweepPlan.StepIndex, f);
}

double Sequencer::Frequency() const
{
    return m_record.SweepPlan.tuneHz(m_record.SweepPlan.StepIndex);
}

void Sequencer::Send(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines)
        Send(line);
}

void Sequencer::Send(const QByteArray &line)
{
    m_lastCommand = line;
    m_channel.SendCommand(line, 0);
}

bool Sequencer::ReadReply(QByteArray &reply)
{
    return m_channel.ReadReply(reply);
}

void Sequencer::SendReading()
{
    Send(m_dialect.Reading(m_inputs.averageText));
    // The averaging count as the analyser reads it: its leading number, at least one sweep.
    Await(std::max(1, LeadingInteger(m_inputs.averageText)));
}

void Sequencer::Await(int sweeps)
{
    m_waitStartMs = m_clockMs();
    m_waitBoundMs = qint64(m_channel.ReplyTimeoutMs) + qint64(std::ceil(double(sweeps) * m_sweepTimeS * 1000.0));
}

bool Sequencer::TakeAnswer(const PassProfile &pass, QByteArray &reply)
{
    if (ReadReply(reply))
        return true;
    if (m_clockMs() - m_waitStartMs > m_waitBoundMs)
        FailPass(pass.kind, PassFailure::NoAnswer, NoAnswerText(m_dialect.DeviceName(), m_lastCommand));
    return false;
}

void Sequencer::FailPass(PassKind pass, PassFailure why, const QString &message)
{
    // A hang-up or "Cancel" while the message of a reading was open may have ended it already.
    if (!SequencerRunning || !PassOf(SequencerState))
        return;
    SequencerState = StateIdle;
    SequencerRunning = false;
    emit passFailed(pass, why, message);
}

void Sequencer::LineLost()
{
    if (!SequencerRunning)
        return;
    if (const PassProfile *pass = PassOf(SequencerState)) {
        FailPass(pass->kind, PassFailure::HungUp, QString());
    } else if (SequencerState == SearchStart || SequencerState == SearchWait) {
        TimeoutArmed = false;
        SequencerState = StateIdle;
        SequencerRunning = false;
        emit searchEnded(false, {});
    }
}

bool Sequencer::TakeReading(const PassProfile &pass, double &levelDbm)
{
    QByteArray reply;
    if (!TakeAnswer(pass, reply))
        return false;
    try {
        levelDbm = m_dialect.ParseReading(reply);
    } catch (const EConvertError &e) {
        // The operator reads the conversion's message first; the pass then ends, keeping what
        // it has measured.
        emit readingRefused(e.message());
        FailPass(pass.kind, PassFailure::NoNumber, e.message());
        return false;
    }
    return true;
}

void Sequencer::NextFrequency(const PassProfile &pass)
{
    SweepPlan &plan = m_record.SweepPlan;
    ++plan.StepIndex;
    // The record has step slots 0..99; a plan never has more than 99 steps, but a pass must
    // not write past its slots whatever the plan says.
    if (plan.StepIndex > plan.Steps || plan.StepIndex > kMaxStepSlot)
        EndPass(pass);
    else
        SequencerState = pass.base + PassSourceOff;
}

void Sequencer::EndPass(const PassProfile &pass)
{
    SequencerState = StateIdle;
    SequencerRunning = false;
    emit passEnded(pass.kind);
}

void Sequencer::StepSearch()
{
    QByteArray reply;
    if (SequencerState == SearchStart) {
        ArmTimeout(kSearchTimeoutMs);
        ReadReply(reply);
        Send(m_dialect.Identify());
        SequencerState = SearchWait;
        emit searchStarted();
        return;
    }
    if (!TimeoutArmed) {
        // The owner stops the timer and closes the port; the sequencer falls idle so that no
        // later tick reports the failure again.
        SequencerState = StateIdle;
        SequencerRunning = false;
        emit searchEnded(false, {});
    } else if (ReadReply(reply)) {
        // The time-out has done its work; leaving it armed would keep the ticks coming for nothing.
        TimeoutArmed = false;
        SequencerState = StateIdle;
        SequencerRunning = false;
        emit searchEnded(true, reply);
    }
}
