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
    UncertaintyInputs inputs = context.uncertainty;
    // A noise source's data file gives the ENR's uncertainty per frequency; it stands in for
    // the one global limit where it does.
    if (const std::optional<double> u = context.enr.uncertaintyAt(e.enrHz))
        inputs.enrUncertaintyDb = *u;
    StepConfidence c;
    c.uncertainty = ComputeUncertainty(e.levels, e.roomTemperatureK, enrDb, inputs);

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

/// The limits of error of a step evaluated through its bench. The cascade's noise figure
/// (loss before, DUT and loss after) has the designed model's uncertainty; the DUT's own noise
/// temperature is the cascade's less the losses' over Lb, so in dB its sensitivity to the
/// cascade's is F_cascade / (Lb·F_DUT), which scales every term alike.
UncertaintyResult BenchUncertainty(const BenchStepResult &r, double lossBeforeDb, const UncertaintyInputs &inputs)
{
    UncertaintyResult u;
    if (!r.ok() || !(r.cascadeGain > 0))
        return u;
    const double f12 = r.systemNoiseFactor;
    const double f2 = r.analyserNoiseFactor;
    const double fCascade = f12 - (f2 - 1.0) / r.cascadeGain;
    u = ComputeUncertainty(ToDb(f12), ToDb(f2), ToDb(r.cascadeGain), inputs);
    if (!u.valid)
        return u;
    const double scale = fCascade / (FromDb(lossBeforeDb) * r.noiseFactor);
    if (!std::isfinite(scale) || !(scale > 0))
        return UncertaintyResult();
    u.nf1Db = r.noiseFigureDb;
    u.gainDb = r.gainDb;
    u.uncertaintyDb *= scale;
    u.s12 *= scale;
    u.s2 *= scale;
    u.sGain *= scale;
    u.sEnr *= scale;
    return u;
}

/// EvaluateLevels through the bench of `context`: both sources' ENRs where their noise
/// entered, the losses where they sit, the DUT's own figures.
void EvaluateThroughBench(StepEvaluation &e, const EvaluationContext &context)
{
    const BenchSetup &b = context.bench;
    e.corrected = true;
    e.calibrationEnr = context.calibrationSource().lookup(e.tuneHz);
    bool outsideBefore = false;
    bool outsideAfter = false;
    e.lossBeforeDb = b.lossBefore.lossDbAt(e.enrHz, &outsideBefore);
    e.lossAfterDb = b.lossAfter.lossDbAt(e.tuneHz, &outsideAfter);
    e.lossOutsideTable = outsideBefore || outsideAfter;

    StepBench bench;
    bench.roomTemperatureK = e.roomTemperatureK;
    bench.measEnrDb = ToDb(e.enr);
    bench.calEnrDb = ToDb(e.calibrationEnr);
    bench.lossBeforeDb = e.lossBeforeDb;
    bench.lossBeforeK = b.lossBefore.temperatureAt(e.roomTemperatureK);
    bench.lossAfterDb = e.lossAfterDb;
    bench.lossAfterK = b.lossAfter.temperatureAt(e.roomTemperatureK);
    if (b.isConverter())
        bench.imageRejectionDb = b.imageRejectionDb;
    const BenchStepResult r = CorrectStep(e.levels, bench);
    e.benchStatus = r.status;
    e.failed = r.status == BenchStepStatus::NoYFactor || r.status == BenchStepStatus::NoGain
               || r.status == BenchStepStatus::NotFinite;
    e.gainDb = e.failed ? 0 : r.gainDb;
    e.noiseFigureDb = r.ok() ? r.noiseFigureDb : -1;

    UncertaintyInputs inputs = context.uncertainty;
    if (const std::optional<double> u = context.enr.uncertaintyAt(e.enrHz))
        inputs.enrUncertaintyDb = *u;
    e.confidence.uncertainty = BenchUncertainty(r, e.lossBeforeDb, inputs);

    GuidelineInputs g;
    g.levels = e.levels;
    g.roomTemperatureK = e.roomTemperatureK;
    g.enrDb = bench.measEnrDb;
    g.refLevelDbm = context.refLevelDbm;
    g.frequencyHz = e.enrHz;
    g.tableMode = context.enr.isTable() && EnrTableRangeHz(context.enr.rows, g.tableLowHz, g.tableHighHz);
    g.lossBeforeDb = e.lossBeforeDb;
    g.lossOutsideTable = e.lossOutsideTable;
    if (r.cascadeGain > 0 && std::isfinite(r.cascadeGain))
        g.systemNoise = SystemNoise{true, r.systemNoiseFactor, r.analyserNoiseFactor, r.cascadeGain};
    else
        g.systemNoise = SystemNoise{};
    e.confidence.findings = CheckGuidelines(g);
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
    e.tuneHz = IfFrequencyHz(context.bench.dutType, context.bench.loHz, enrHz);
    e.levels = levelsDbm;
    e.enr = context.enr.lookup(enrHz);
    e.roomTemperatureK = context.roomTemperatureK;
    if (context.corrects()) {
        EvaluateThroughBench(e, context);
        if (outcome) {
            outcome->failed = e.failed;
            outcome->hasGain = !e.failed;
            outcome->gainDb = e.gainDb;
            outcome->noiseFigureDb = e.noiseFigureDb;
        }
        return e;
    }
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
