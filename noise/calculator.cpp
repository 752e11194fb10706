#include "noise/calculator.h"

#include "base/engvalue.h"
#include "base/errors.h"
#include "noise/yfactor.h"

#include <algorithm>
#include <cmath>

namespace {

/// Factor and dB of one result, two blanks before the parenthesis: the factor's text carries
/// the trailing blank that FormatValue writes for any option.
QString FactorAndDb(double valueDb)
{
    return FormatValue(2, fvFromDb, valueDb) + QStringLiteral(" (") + FormatValue(2, fvDb, valueDb)
           + QStringLiteral(")");
}

bool IsStepSlot(int step)
{
    return step >= 0 && step < kRecordSlots;
}

}  // namespace

PointLevels StepLevels(const MeasurementRecord &record, int step)
{
    // The step display writes each number into its field and the calculation parses the field
    // back, so the result sees the numbers as rounded to the fields' texts.
    const size_t i = size_t(std::clamp(step, 0, kMaxStepSlot));
    const auto level = [](double dbm) { return ParseValue(FormatValue(6, 0, dbm) + QStringLiteral(" dB")); };
    return {level(record.N2off[i]), level(record.N2on[i]), level(record.N12off[i]), level(record.N12on[i]),
            ParseValue(FormatValue(2, fvPrefix | fvHz, record.SweepPlan.StepFrequency(int(i))))};
}

CalculationResult CalculatePointFromFields(const CalculatorFields &fields,
                                           const EnrLookupFunction &lookupEnr,
                                           MeasurementRecord &record, int selectedStep,
                                           const StatusFunction &showStatus)
{
    const QString asDb = QStringLiteral(" dB");  // a bare dBm number reads as milliwatts
    PointLevels levels;
    levels.n2off = ParseValue(fields.n2off + asDb);
    levels.n2on = ParseValue(fields.n2on + asDb);
    levels.n12off = ParseValue(fields.n12off + asDb);
    levels.n12on = ParseValue(fields.n12on + asDb);
    levels.frequencyHz = ParseValue(fields.frequency);
    return CalculateFromLevels(levels, lookupEnr, [&] { return ParseValue(fields.temperature); }, record,
                               selectedStep, showStatus);
}

CalculationResult CalculateFromLevels(const PointLevels &levels, const EnrLookupFunction &lookupEnr,
                                      const std::function<double()> &roomTemperatureK,
                                      MeasurementRecord &record, int selectedStep,
                                      const StatusFunction &showStatus)
{
    CalculationResult result;
    record.N2off[CalcSlot] = levels.n2off;
    record.N2on[CalcSlot] = levels.n2on;
    record.N12off[CalcSlot] = levels.n12off;
    record.N12on[CalcSlot] = levels.n12on;

    record.Enr = lookupEnr(levels.frequencyHz);

    result.statusText = QStringLiteral("For calculation used ENR: ")
                        + FormatValue(2, fvToDb | fvDb, record.Enr);
    if (showStatus)
        showStatus(result.statusText);

    record.T0 = kT0Kelvin;
    record.RoomTemperature = roomTemperatureK();

    try {
        const double n2off = record.N2off[CalcSlot];
        const double n2on = record.N2on[CalcSlot];
        const double n12off = record.N12off[CalcSlot];
        const double n12on = record.N12on[CalcSlot];
        record.GainDb[CalcSlot] = ToDb(LinearGain(n2off, n2on, n12off, n12on));

        if (!(record.Enr > 0) || !std::isfinite(record.Enr))
            throw EMathError(QStringLiteral("Invalid floating point operation"));
        record.NoiseFigureDb[CalcSlot] = YFactorNoiseFigure(
            n2off, n2on, n12off, n12on, record.RoomTemperature, 10.0 * std::log10(record.Enr));
    } catch (const EMathError &) {
        result.failed = true;
        return result;
    }

    const double gainDb = record.GainDb[CalcSlot];
    result.gainText = QStringLiteral("Gain: ") + FactorAndDb(gainDb);
    if (IsStepSlot(selectedStep))
        record.GainDb[size_t(selectedStep)] = gainDb;

    const double noiseFigureDb = record.NoiseFigureDb[CalcSlot];
    if (noiseFigureDb >= 0) {
        result.noiseFigureText = QStringLiteral("F: ") + FactorAndDb(noiseFigureDb);
        if (IsStepSlot(selectedStep))
            record.NoiseFigureDb[size_t(selectedStep)] = noiseFigureDb;
    } else {
        result.noiseFigureText = QStringLiteral("F: Error");
    }
    return result;
}

double StepEvaluation::noiseFactor() const
{
    return std::pow(10.0, noiseFigureDb / 10.0);
}

double StepEvaluation::noiseTemperatureK() const
{
    return (noiseFactor() - 1.0) * kT0Kelvin;
}

StepEvaluation EvaluateStep(const MeasurementRecord &record, int step, const EnrLookupFunction &lookupEnr,
                            double roomTemperatureK)
{
    MeasurementRecord scratch = record;
    const int i = std::clamp(step, 0, kMaxStepSlot);
    const PointLevels levels = StepLevels(record, i);
    StepEvaluation e;
    e.frequencyHz = levels.frequencyHz;
    const size_t s = size_t(i);
    const auto shown = [](double dbm) { return ParseValue(FormatValue(6, 0, dbm) + QStringLiteral(" Hz")); };
    e.n2offDbm = shown(record.N2off[s]);
    e.n2onDbm = shown(record.N2on[s]);
    e.n12offDbm = shown(record.N12off[s]);
    e.n12onDbm = shown(record.N12on[s]);
    e.roomTemperatureK = roomTemperatureK;
    // A step keeps an older noise figure when its own cannot be computed; that must not pass
    // for this evaluation's result.
    scratch.NoiseFigureDb[s] = -1;
    const CalculationResult r = CalculateFromLevels(levels, lookupEnr, [=] { return roomTemperatureK; },
                                                    scratch, i);
    e.enr = scratch.Enr;
    e.statusText = r.statusText;
    e.failed = r.failed;
    if (!r.failed) {
        e.gainDb = scratch.GainDb[s];
        e.noiseFigureDb = scratch.NoiseFigureDb[s];
    }
    return e;
}
