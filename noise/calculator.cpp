#include "noise/calculator.h"

#include "base/engvalue.h"

#include <algorithm>

namespace {

bool IsStepSlot(int step)
{
    return step >= 0 && step < kRecordSlots;
}

void StoreCalculatorLevels(MeasurementRecord &record, const StepLevels &levelsMw)
{
    record.N2off[CalcSlot] = levelsMw.n2off;
    record.N2on[CalcSlot] = levelsMw.n2on;
    record.N12off[CalcSlot] = levelsMw.n12off;
    record.N12on[CalcSlot] = levelsMw.n12on;
}

/// Gain and noise figure into the calculator's slot and the selected step, as far as they
/// were computed. After an arithmetic failure only a gain computed before it is kept, in the
/// calculator's slot.
void StoreResults(MeasurementRecord &record, const YFactorOutcome &o, int selectedStep)
{
    if (o.hasGain)
        record.GainDb[CalcSlot] = o.gainDb;
    if (o.failed)
        return;
    record.NoiseFigureDb[CalcSlot] = o.noiseFigureDb;
    if (IsStepSlot(selectedStep)) {
        record.GainDb[size_t(selectedStep)] = o.gainDb;
        if (o.noiseFigureDb >= 0)
            record.NoiseFigureDb[size_t(selectedStep)] = o.noiseFigureDb;
    }
}

}  // namespace

StepLevels ShownStepLevels(const MeasurementRecord &record, int step)
{
    // The step display writes each number into its field and the calculation parses the field
    // back, so the result sees the numbers as rounded to the fields' texts.
    const size_t i = size_t(std::clamp(step, 0, kMaxStepSlot));
    const StepLevels stored{record.N2off[i], record.N2on[i], record.N12off[i], record.N12on[i]};
    return stored.map([](double dbm) {
        const QString shown = FormatValue(6, 0, dbm);
        // Read as the field is read: a power that overflows is refused here, in this order.
        ParseValue(shown + QStringLiteral(" dB"));
        return ParseValue(shown + QStringLiteral(" Hz"));  // the bare number, unchanged
    });
}

double ShownEnrHz(const MeasurementRecord &record, int step)
{
    const int i = std::clamp(step, 0, kMaxStepSlot);
    return ParseValue(FormatValue(2, fvPrefix | fvHz, record.SweepPlan.enrHz(i)));
}

StepEvaluation EvaluateStep(const MeasurementRecord &record, int step, const EvaluationContext &context)
{
    const StepLevels levels = ShownStepLevels(record, step);
    return EvaluateLevels(levels, ShownEnrHz(record, step), context);
}

StepEvaluation StoreStepEvaluation(MeasurementRecord &record, int step, int selectedStep,
                                   const EvaluationContext &context)
{
    const StepLevels levels = ShownStepLevels(record, step);
    const double enrHz = ShownEnrHz(record, step);
    StoreCalculatorLevels(record, levels.map(FromDb));
    YFactorOutcome o;
    const StepEvaluation e = EvaluateLevels(levels, enrHz, context, &o);
    record.Enr = e.enr;
    record.T0 = kT0Kelvin;
    record.RoomTemperature = e.roomTemperatureK;
    StoreResults(record, o, selectedStep);
    // A DUT whose noise factor comes out below 1 after the bench's corrections has no noise
    // figure: the step is marked so, never left with a figure of an earlier evaluation.
    if (e.corrected && e.benchStatus == BenchStepStatus::BelowOne && selectedStep >= 0 && selectedStep <= kMaxStepSlot)
        record.NoiseFigureDb[size_t(selectedStep)] = -1;
    return e;
}

CalculationResult CalculationResultOf(const StepEvaluation &e)
{
    CalculationResult r;
    r.statusText = EnrStatusText(e.enr);
    r.failed = e.failed;
    if (!e.failed) {
        r.gainText = CalculatorGainText(e.gainDb);
        r.noiseFigureText = CalculatorNoiseFigureText(e.noiseFigureDb);
    }
    return r;
}

CalculationResult CalculatePointFromFields(const CalculatorFields &fields, const EvaluationContext &context,
                                           MeasurementRecord &record, int selectedStep,
                                           const StatusFunction &showStatus)
{
    // A bare dBm number reads as milliwatts through the unit "dB".
    const StepLevels levelsMw = fields.levels.map([](const QString &text) { return ParseValue(text + QStringLiteral(" dB")); });
    const double frequencyHz = ParseValue(fields.frequency);
    StoreCalculatorLevels(record, levelsMw);

    record.Enr = context.enr.lookup(frequencyHz);
    CalculationResult result;
    result.statusText = EnrStatusText(record.Enr);
    if (showStatus)
        showStatus(result.statusText);

    record.T0 = kT0Kelvin;
    record.RoomTemperature = ParseValue(fields.temperature);

    const YFactorOutcome o = EvaluateYFactor(levelsMw, record.Enr, record.RoomTemperature);
    StoreResults(record, o, selectedStep);
    result.failed = o.failed;
    if (!o.failed) {
        result.gainText = CalculatorGainText(o.gainDb);
        result.noiseFigureText = CalculatorNoiseFigureText(o.noiseFigureDb);
    }
    return result;
}
