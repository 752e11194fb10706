#include "run/sequencer.h"

#include "analyser/commands.h"
#include "base/engvalue.h"
#include "base/errors.h"

#include <QElapsedTimer>

#include <algorithm>
#include <initializer_list>
#include <optional>

/// Where a pass keeps one of its two levels: the record's slots and the calculator's field.
struct PassLevel
{
    MeasurementRecord::Slots MeasurementRecord::*levels;
    LevelField field;
};

/// What sets the calibration pass apart from the measurement pass. Both run the same states in
/// the same order and send the same per-frequency dialogue; only what this table names differs.
struct PassProfile
{
    int base;                        ///< number of the pass's start state; the others follow it
    bool measurement;                ///< what the pass's completion reports
    const char *caption;             ///< of the progress window
    const char *infoPrefix;          ///< of the progress window's info text, before the frequency
    int infoDecimals;                ///< of the frequency in the info text
    const char *sourceOff;           ///< switches the noise source off
    const char *sourceOn;            ///< ... and on
    QByteArray (*markerPosition)(double hz);  ///< argument of "CALC:MARK1:X "
    QString (*levelText)(double levelDbm);    ///< a reading as its level field shows it
    PassLevel off;                   ///< the level with the noise source off
    PassLevel on;                    ///< ... and on
    std::optional<Page> startPage;   ///< shown as the pass starts
    bool stepOnEveryTick;            ///< the start sets TickDivider to 0
    bool showsSweepTime;             ///< e_Sweep shows the analyser's sweep time
    std::optional<Page> sweepModePage;  ///< shown in Sweep mode once the sweep time is in
    bool evaluates;                  ///< the start clears the results; every frequency is evaluated
    Page endPage;                    ///< shown at the end in Sweep mode
    Page endPageSingle;              ///< ... and in Single mode
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

/// A frequency as the analyser takes it: shortest decimal text in Hz, no exponent.
QByteArray PlainHz(double hz)
{
    return ShortestDecimal(hz).toLatin1();
}

/// Two decimals and the unit; from 1 GHz on the scientific form of the value text.
QByteArray HzWithDecimals(double hz)
{
    return FormatValue(2, fvHz, hz).toLatin1();
}

QString DbmText(double levelDbm)
{
    return FormatValue(3, fvDbm, levelDbm);
}

QString ShortestText(double levelDbm)
{
    return ShortestDecimal(levelDbm);
}

/// Noise source straight at the analyser: the analyser's own noise.
const PassProfile kCalibrationPass{
    .base = CalibrationStart,
    .measurement = false,
    .caption = "... calibration in progress ...",
    .infoPrefix = "Frequency: ",
    .infoDecimals = 2,
    .sourceOff = Cmd::NoiseSourceOff,
    .sourceOn = Cmd::NoiseSourceOn,
    .markerPosition = PlainHz,
    .levelText = DbmText,
    .off = {&MeasurementRecord::N2off, LevelField::N2off},
    .on = {&MeasurementRecord::N2on, LevelField::N2on},
    .startPage = Page::NoiseSource,
    .stepOnEveryTick = true,
    .showsSweepTime = true,
    .sweepModePage = std::nullopt,
    .evaluates = false,
    .endPage = Page::Options,
    .endPageSingle = Page::Options,
};

/// The DUT between noise source and analyser: every frequency gives a gain and a noise figure.
const PassProfile kMeasurementPass{
    .base = MeasurementStart,
    .measurement = true,
    .caption = "... measure in progress ...",
    .infoPrefix = "Frequenz: ",
    .infoDecimals = 3,
    .sourceOff = Cmd::NoiseSourceOffWait,
    .sourceOn = Cmd::NoiseSourceOnWait,
    .markerPosition = HzWithDecimals,
    .levelText = ShortestText,
    .off = {&MeasurementRecord::N12off, LevelField::N12off},
    .on = {&MeasurementRecord::N12on, LevelField::N12on},
    .startPage = std::nullopt,
    .stepOnEveryTick = false,
    .showsSweepTime = false,
    .sweepModePage = Page::Graphic,
    .evaluates = true,
    .endPage = Page::Graphic,
    .endPageSingle = Page::Calculator,
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

Sequencer::Sequencer(MeasurementRecord &record, Clock clockMs)
    : m_record(record), m_clockMs(clockMs ? std::move(clockMs) : MonotonicClock())
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

void Sequencer::StartCalibration()
{
    SequencerState = CalibrationStart;
    SequencerRunning = true;
    TickDivider = 1;
    RestartCountdown = true;
}

void Sequencer::StartMeasurement()
{
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
    if (SequencerRunning && m_host)
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
        // The settling sweeps have ended (the answer to *OPC?); the averaged reading follows.
        if (!m_host->ReadReply(reply))
            break;
        SendReading();
        const PassLevel &slot = offset == PassReadOff ? pass.off : pass.on;
        (m_record.*slot.levels)[plan.StepIndex] = 0;
        SequencerState = pass.base + offset + 1;
        break;
    }
    case PassSourceOn:
        if (!TakeReading(level))
            break;
        (m_record.*pass.off.levels)[plan.StepIndex] = level;
        m_host->SetLevelText(pass.off.field, pass.levelText(level));
        m_host->SendCommand(pass.sourceOn);
        SendSettle();
        SequencerState = pass.base + PassReadOn;
        break;
    case PassNext:
        if (!TakeReading(level))
            break;
        (m_record.*pass.on.levels)[plan.StepIndex] = level;
        m_host->SetLevelText(pass.on.field, pass.levelText(level));
        if (pass.evaluates)
            EvaluateStep();
        NextFrequency(pass);
        break;
    default:
        break;
    }
}

void Sequencer::StartPass(const PassProfile &pass)
{
    SweepPlan &plan = m_record.SweepPlan;
    if (pass.startPage)
        m_host->ShowPage(*pass.startPage);
    m_host->SetMainWindowEnabled(false);
    m_host->ProgressOpen(QString::fromLatin1(pass.caption), QString::fromLatin1(pass.infoPrefix) + QStringLiteral("- "),
                         plan.Steps);
    if (pass.evaluates) {
        for (int i = 0; i <= plan.Steps && i <= kMaxStepSlot; ++i) {
            m_record.NoiseFigureDb[i] = 0;
            m_record.GainDb[i] = 1;
        }
        m_host->RecomputeResults();
    }
    plan.StepIndex = 0;
    QByteArray stale;
    m_host->ReadReply(stale);  // a reply left over from a cancelled pass must not end a wait
    m_readingErrorShown = false;
    m_stepErrorShown = false;
    if (pass.stepOnEveryTick)
        TickDivider = 0;
    SequencerState = pass.base + PassSweepTime;
    m_host->SendCommand(Cmd::SweepTimeQuery);
}

void Sequencer::TakeSweepTime(const PassProfile &pass)
{
    QByteArray reply;
    if (!m_host->ReadReply(reply))
        return;
    m_host->SetStatusText(QString::fromLatin1(reply));
    if (pass.showsSweepTime)
        m_host->SetSweepTimeText(QString::fromLatin1(reply) + QStringLiteral(" s"));
    if (pass.sweepModePage && !m_host->SingleMode())
        m_host->ShowPage(*pass.sweepModePage);
    SequencerState = pass.base + PassSourceOff;
}

void Sequencer::SourceOffAndSettle(const PassProfile &pass)
{
    const double f = Frequency();
    m_host->SendCommand(pass.sourceOff);
    m_host->SendCommand(Cmd::MarkerOn);
    m_host->SendCommand(QByteArray(Cmd::CentrePrefix) + PlainHz(f));
    m_host->SendCommand(QByteArray(Cmd::MarkerXPrefix) + pass.markerPosition(f));
    m_host->ProgressInfo(QString::fromLatin1(pass.infoPrefix) + FormatValue(pass.infoDecimals, fvPrefix | fvHz, f));
    SendSettle();
    SequencerState = pass.base + PassReadOff;
}

double Sequencer::Frequency() const
{
    return m_record.SweepPlan.tuneHz(m_record.SweepPlan.StepIndex);
}

void Sequencer::SendSettle()
{
    m_host->SendCommand(Cmd::SettlingSweeps);
    m_host->SendCommand(Cmd::SweepAndConfirm);
}

void Sequencer::SendReading()
{
    m_host->SendCommand(QByteArray(Cmd::SweepCountPrefix) + m_host->AverageText().toLatin1());
    m_host->SendCommand(Cmd::Sweep);
    m_host->SendCommand(Cmd::MarkerLevelQuery);
}

bool Sequencer::TakeReading(double &levelDbm)
{
    QByteArray reply;
    if (!m_host->ReadReply(reply))
        return false;
    try {
        levelDbm = ReadReplyNumber(QString::fromLatin1(reply));
    } catch (const EConvertError &e) {
        // The reply has been taken; the state stays and waits for a further one. The error is
        // shown once per wait, not for every unreadable line.
        if (!m_readingErrorShown) {
            m_readingErrorShown = true;
            m_host->ShowError(e.message());
        }
        return false;
    }
    m_readingErrorShown = false;
    return true;
}

void Sequencer::EvaluateStep()
{
    try {
        m_host->ShowStep(m_record.SweepPlan.StepIndex);
    } catch (const std::exception &e) {
        // A step that cannot be evaluated keeps its start values; the pass goes on, and the
        // operator hears of it once, not at every frequency.
        if (!m_stepErrorShown) {
            m_stepErrorShown = true;
            const auto *appError = dynamic_cast<const AppError *>(&e);
            m_host->ShowError(appError ? appError->message() : QString::fromLocal8Bit(e.what()));
        }
    }
}

void Sequencer::NextFrequency(const PassProfile &pass)
{
    SweepPlan &plan = m_record.SweepPlan;
    ++plan.StepIndex;
    m_host->ProgressStep(plan.StepIndex);
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
    m_host->ProgressClose();
    m_host->ShowPage(m_host->SingleMode() ? pass.endPageSingle : pass.endPage);
    m_host->PassCompleted(pass.measurement);
}

void Sequencer::StepSearch()
{
    QByteArray reply;
    if (SequencerState == SearchStart) {
        m_host->SetMainWindowEnabled(false);
        ArmTimeout(kSearchTimeoutMs);
        m_host->ReadReply(reply);
        m_host->SendCommand(Cmd::Identify);
        SequencerState = SearchWait;
        return;
    }
    if (!TimeoutArmed) {
        // The window stops the timer and closes the port; the sequencer falls idle so that no
        // later tick reports the failure again.
        SequencerState = StateIdle;
        SequencerRunning = false;
        m_host->SearchFailed();
    } else if (m_host->ReadReply(reply)) {
        // The time-out has done its work; leaving it armed would keep the ticks coming for nothing.
        TimeoutArmed = false;
        SequencerState = StateIdle;
        SequencerRunning = false;
        m_host->SearchSucceeded(reply);
    }
}
