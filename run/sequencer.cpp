#include "run/sequencer.h"

#include "analyser/commands.h"
#include "base/engvalue.h"
#include "base/errors.h"

namespace {

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

/// A frequency as the analyser takes it: shortest decimal text in Hz, no exponent.
QByteArray PlainHz(double hz)
{
    return ShortestDecimal(hz).toLatin1();
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

void Sequencer::Tick()
{
    if (m_inTick)
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
        if (TimeoutCountdown > 0) {
            --TimeoutCountdown;
        } else {
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

double Sequencer::Frequency() const
{
    return m_record.SweepPlan.StepFrequency(m_record.SweepPlan.StepIndex);
}

void Sequencer::SendSettle(const char *sourceCommand)
{
    m_host->SendCommand(sourceCommand);
    m_host->SendCommand(Cmd::SettlingSweeps);
    m_host->SendCommand(Cmd::SweepAndConfirm);
}

void Sequencer::SendReading()
{
    m_host->SendCommand(QByteArray(Cmd::SweepCountPrefix) + m_host->AverageText().toLatin1());
    m_host->SendCommand(Cmd::Sweep);
    m_host->SendCommand(Cmd::MarkerLevelQuery);
}

bool Sequencer::TakeReading(QByteArray &reply, double &levelDbm)
{
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

void Sequencer::NextFrequency(bool measurement)
{
    SweepPlan &plan = m_record.SweepPlan;
    ++plan.StepIndex;
    m_host->ProgressStep(plan.StepIndex);
    // The record has step slots 0..99; a plan never has more than 99 steps, but a pass must
    // not write past its slots whatever the plan says.
    if (plan.StepIndex > plan.Steps || plan.StepIndex > kMaxStepSlot)
        EndPass(measurement);
    else
        SequencerState = measurement ? MeasurementSourceOff : CalibrationSourceOff;
}

void Sequencer::EndPass(bool measurement)
{
    SequencerState = StateIdle;
    SequencerRunning = false;
    m_host->ProgressClose();
    if (!measurement)
        m_host->ShowPage(Page::Options);
    else
        m_host->ShowPage(m_host->SingleMode() ? Page::Calculator : Page::Graphic);
    m_host->PassCompleted(measurement);
}

void Sequencer::Step()
{
    ++m_executedSteps;
    SweepPlan &plan = m_record.SweepPlan;
    QByteArray reply;
    double level = 0;

    switch (SequencerState) {
    case StateIdle:
        break;

    // ---- Calibration pass: noise source straight at the analyser ----
    case CalibrationStart:
        m_host->ShowPage(Page::NoiseSource);
        m_host->SetMainWindowEnabled(false);
        m_host->ProgressOpen(QStringLiteral("... calibration in progress ..."), QStringLiteral("Frequency: - "),
                             plan.Steps);
        plan.StepIndex = 0;
        m_host->ReadReply(reply);  // a reply left over from a cancelled pass must not end a wait
        m_readingErrorShown = false;
        m_stepErrorShown = false;
        TickDivider = 0;
        SequencerState = CalibrationSweepTime;
        m_host->SendCommand(Cmd::SweepTimeQuery);
        break;
    case CalibrationSweepTime:
        if (!m_host->ReadReply(reply))
            break;
        m_host->SetStatusText(QString::fromLatin1(reply));
        m_host->SetSweepTimeText(QString::fromLatin1(reply) + QStringLiteral(" s"));
        SequencerState = CalibrationSourceOff;
        break;
    case CalibrationSourceOff: {
        const double f = Frequency();
        m_host->SendCommand(Cmd::NoiseSourceOff);
        m_host->SendCommand(Cmd::MarkerOn);
        m_host->SendCommand(QByteArray(Cmd::CentrePrefix) + PlainHz(f));
        m_host->SendCommand(QByteArray(Cmd::MarkerXPrefix) + PlainHz(f));
        m_host->SendCommand(Cmd::SettlingSweeps);
        m_host->SendCommand(Cmd::SweepAndConfirm);
        m_host->ProgressInfo(QStringLiteral("Frequency: ") + FormatValue(2, fvPrefix | fvHz, f));
        SequencerState = CalibrationReadOff;
        break;
    }
    case CalibrationReadOff:
        if (!m_host->ReadReply(reply))
            break;
        SendReading();
        m_record.N2off[plan.StepIndex] = 0;
        SequencerState = CalibrationSourceOn;
        break;
    case CalibrationSourceOn:
        if (!TakeReading(reply, level))
            break;
        m_record.N2off[plan.StepIndex] = level;
        m_host->SetLevelText(LevelField::N2off, FormatValue(3, fvDbm, level));
        SendSettle(Cmd::NoiseSourceOn);
        SequencerState = CalibrationReadOn;
        break;
    case CalibrationReadOn:
        if (!m_host->ReadReply(reply))
            break;
        SendReading();
        m_record.N2on[plan.StepIndex] = 0;
        SequencerState = CalibrationNext;
        break;
    case CalibrationNext:
        if (!TakeReading(reply, level))
            break;
        m_record.N2on[plan.StepIndex] = level;
        m_host->SetLevelText(LevelField::N2on, FormatValue(3, fvDbm, level));
        NextFrequency(false);
        break;

    // ---- Measurement pass: the DUT between noise source and analyser ----
    case MeasurementStart:
        m_host->SetMainWindowEnabled(false);
        m_host->ProgressOpen(QStringLiteral("... measure in progress ..."), QStringLiteral("Frequenz: - "),
                             plan.Steps);
        for (int i = 0; i <= plan.Steps && i <= kMaxStepSlot; ++i) {
            m_record.NoiseFigureDb[i] = 0;
            m_record.GainDb[i] = 1;
        }
        m_host->RecomputeResults();
        plan.StepIndex = 0;
        m_host->ReadReply(reply);
        m_readingErrorShown = false;
        m_stepErrorShown = false;
        SequencerState = MeasurementSweepTime;
        m_host->SendCommand(Cmd::SweepTimeQuery);
        break;
    case MeasurementSweepTime:
        if (!m_host->ReadReply(reply))
            break;
        m_host->SetStatusText(QString::fromLatin1(reply));
        if (!m_host->SingleMode())
            m_host->ShowPage(Page::Graphic);
        SequencerState = MeasurementSourceOff;
        break;
    case MeasurementSourceOff: {
        const double f = Frequency();
        m_host->SendCommand(Cmd::NoiseSourceOffWait);
        m_host->SendCommand(Cmd::MarkerOn);
        m_host->SendCommand(QByteArray(Cmd::CentrePrefix) + PlainHz(f));
        m_host->SendCommand(QByteArray(Cmd::MarkerXPrefix) + FormatValue(2, fvHz, f).toLatin1());
        m_host->ProgressInfo(QStringLiteral("Frequenz: ") + FormatValue(3, fvPrefix | fvHz, f));
        m_host->SendCommand(Cmd::SettlingSweeps);
        m_host->SendCommand(Cmd::SweepAndConfirm);
        SequencerState = MeasurementReadOff;
        break;
    }
    case MeasurementReadOff:
        if (!m_host->ReadReply(reply))
            break;
        SendReading();
        m_record.N12off[plan.StepIndex] = 0;
        SequencerState = MeasurementSourceOn;
        break;
    case MeasurementSourceOn:
        if (!TakeReading(reply, level))
            break;
        m_record.N12off[plan.StepIndex] = level;
        m_host->SetLevelText(LevelField::N12off, ShortestDecimal(level));
        SendSettle(Cmd::NoiseSourceOnWait);
        SequencerState = MeasurementReadOn;
        break;
    case MeasurementReadOn:
        if (!m_host->ReadReply(reply))
            break;
        SendReading();
        m_record.N12on[plan.StepIndex] = 0;
        SequencerState = MeasurementNext;
        break;
    case MeasurementNext:
        if (!TakeReading(reply, level))
            break;
        m_record.N12on[plan.StepIndex] = level;
        m_host->SetLevelText(LevelField::N12on, ShortestDecimal(level));
        try {
            m_host->ShowStep(plan.StepIndex);
        } catch (const std::exception &e) {
            // A step that cannot be evaluated keeps its start values; the pass goes on, and
            // the operator hears of it once, not at every frequency.
            if (!m_stepErrorShown) {
                m_stepErrorShown = true;
                const auto *appError = dynamic_cast<const AppError *>(&e);
                m_host->ShowError(appError ? appError->message() : QString::fromLocal8Bit(e.what()));
            }
        }
        NextFrequency(true);
        break;

    // ---- Analyser search of the connect button ----
    case SearchStart:
        m_host->SetMainWindowEnabled(false);
        TimeoutCountdown = kSearchTimeoutTicks;
        TimeoutArmed = true;
        TimeoutStop = false;
        m_host->ReadReply(reply);
        m_host->SendCommand(Cmd::Identify);
        SequencerState = SearchWait;
        break;
    case SearchWait:
        if (!TimeoutArmed) {
            // State and running flag stay: the stopped timer executes nothing, and the next
            // connect sets them anew.
            m_host->SearchFailed();
        } else if (m_host->ReadReply(reply)) {
            SequencerState = StateIdle;
            SequencerRunning = false;
            m_host->SearchSucceeded(reply);
        }
        break;

    default:
        SequencerState = StateIdle;
        break;
    }
}
