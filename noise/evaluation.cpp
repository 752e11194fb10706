#include "noise/evaluation.h"

#include "base/engvalue.h"
#include "base/errors.h"

#include <cmath>

namespace {

/// Factor and dB of one result, two blanks before the parenthesis: the factor's text carries
/// the trailing blank that FormatValue writes for any option.
QString FactorAndDb(double valueDb)
{
    return FormatValue(2, fvFromDb, valueDb) + QStringLiteral(" (") + FormatValue(2, fvDb, valueDb)
           + QStringLiteral(")");
}

StepConfidence Assess(const StepEvaluation &e, const EvaluationContext &context)
{
    const double enrDb = ToDb(e.enr);
    StepConfidence c;
    c.uncertainty = ComputeUncertainty(e.levels, e.roomTemperatureK, enrDb, context.uncertainty);

    GuidelineInputs g;
    g.levels = e.levels;
    g.roomTemperatureK = e.roomTemperatureK;
    g.enrDb = enrDb;
    g.refLevelDbm = context.refLevelDbm;
    g.frequencyHz = e.enrHz;
    g.tableMode = context.enr.isTable() && EnrTableRangeHz(context.enr.rows, g.tableLowHz, g.tableHighHz);
    c.findings = CheckGuidelines(g);
    return c;
}

}  // namespace

YFactorOutcome EvaluateYFactor(const StepLevels &mw, double enr, double roomTemperatureK)
{
    YFactorOutcome o;
    try {
        o.gainDb = ToDb(LinearGain(mw.n2off, mw.n2on, mw.n12off, mw.n12on));
        o.hasGain = true;
        if (!(enr > 0) || !std::isfinite(enr))
            throw EMathError(QStringLiteral("Invalid floating point operation"));
        o.noiseFigureDb = YFactorNoiseFigure(mw.n2off, mw.n2on, mw.n12off, mw.n12on, roomTemperatureK,
                                             10.0 * std::log10(enr));
    } catch (const EMathError &) {
        o.failed = true;
        o.noiseFigureDb = -1;
    }
    return o;
}

double StepEvaluation::noiseFactor() const
{
    return std::pow(10.0, noiseFigureDb / 10.0);
}

double StepEvaluation::noiseTemperatureK() const
{
    return (noiseFactor() - 1.0) * kT0Kelvin;
}

StepEvaluation EvaluateLevels(const StepLevels &levelsDbm, double enrHz, const EvaluationContext &context,
                              YFactorOutcome *outcome)
{
    StepEvaluation e;
    e.enrHz = enrHz;
    e.levels = levelsDbm;
    e.enr = context.enr.lookup(enrHz);
    e.roomTemperatureK = context.roomTemperatureK;
    // FromDb is the very conversion ParseValue makes of "<dBm> dB", so a step evaluated here
    // and the same levels typed into the calculator give the same bits.
    const YFactorOutcome o = EvaluateYFactor(levelsDbm.map(FromDb), e.enr, e.roomTemperatureK);
    e.failed = o.failed;
    if (!o.failed) {
        e.gainDb = o.gainDb;
        // A step keeps no older noise figure: a negative one means none could be computed.
        e.noiseFigureDb = o.noiseFigureDb >= 0 ? o.noiseFigureDb : -1;
    }
    e.confidence = Assess(e, context);
    if (outcome)
        *outcome = o;
    return e;
}

QString EnrStatusText(double enr)
{
    return QStringLiteral("For calculation used ENR: ") + FormatValue(2, fvToDb | fvDb, enr);
}

QString CalculatorGainText(double gainDb)
{
    return QStringLiteral("Gain: ") + FactorAndDb(gainDb);
}

QString CalculatorNoiseFigureText(double noiseFigureDb)
{
    return noiseFigureDb >= 0 ? QStringLiteral("F: ") + FactorAndDb(noiseFigureDb) : QStringLiteral("F: Error");
}
