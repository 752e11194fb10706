#include "noise/calculator.h"

#include "base/engvalue.h"
#include "base/errors.h"
#include "noise/yfactor.h"

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

CalculationResult CalculatePointFromFields(const CalculatorFields &fields,
                                           const EnrLookupFunction &lookupEnr,
                                           MeasurementRecord &record, int selectedStep,
                                           const StatusFunction &showStatus)
{
    CalculationResult result;
    const QString asDb = QStringLiteral(" dB");  // a bare dBm number reads as milliwatts
    record.N2off[CalcSlot] = ParseValue(fields.n2off + asDb);
    record.N2on[CalcSlot] = ParseValue(fields.n2on + asDb);
    record.N12off[CalcSlot] = ParseValue(fields.n12off + asDb);
    record.N12on[CalcSlot] = ParseValue(fields.n12on + asDb);

    const double frequencyHz = ParseValue(fields.frequency);
    record.Enr = lookupEnr(frequencyHz);

    result.statusText = QStringLiteral("For calculation used ENR: ")
                        + FormatValue(2, fvToDb | fvDb, record.Enr);
    if (showStatus)
        showStatus(result.statusText);

    record.T0 = kT0Kelvin;
    record.RoomTemperature = ParseValue(fields.temperature);

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
