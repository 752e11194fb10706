#include "noise/uncertainty.h"

#include "base/engvalue.h"
#include "base/errors.h"
#include "noise/yfactor.h"

#include <cmath>

namespace {

/// The core on linear quantities, so that the dB entry point and the level entry point share
/// one set of formulas.
UncertaintyResult FromFactors(double f12, double f2, double g1, const UncertaintyInputs &in)
{
    UncertaintyResult r;
    r.nf12Db = 10.0 * std::log10(f12);
    r.nf2Db = 10.0 * std::log10(f2);
    r.gainDb = 10.0 * std::log10(g1);

    const double f1 = f12 - (f2 - 1.0) / g1;
    const bool finite = std::isfinite(f12) && std::isfinite(f2) && std::isfinite(g1);
    if (!finite || !(g1 > 0) || !std::isfinite(f1) || !(f1 > 1.0))
        return r;
    r.nf1Db = 10.0 * std::log10(f1);

    r.s12 = f12 / f1;
    r.s2 = f2 / (f1 * g1);
    r.sGain = (f2 - 1.0) / (f1 * g1);
    // The same ENR error moves both Y-factor readings, so its effects on F12 and F2 partly
    // cancel.
    r.sEnr = r.s12 - r.s2;

    const double mSourceDut = MismatchDb(in.sourceVswr, in.dutInputVswr);
    const double mSourceAnalyser = MismatchDb(in.sourceVswr, in.analyserInputVswr);
    const double mDutAnalyser = MismatchDb(in.dutOutputVswr, in.analyserInputVswr);
    const double uNf = in.nfUncertaintyDb;
    const double uG = in.gainUncertaintyDb;
    r.deltaNf12Db = std::sqrt(uNf * uNf + mSourceDut * mSourceDut);
    r.deltaNf2Db = std::sqrt(uNf * uNf + mSourceAnalyser * mSourceAnalyser);
    // The gain is a ratio of two passes with different ports on both sides of the DUT, so every
    // pair of ports that face each other in one of them adds its mismatch.
    r.deltaGainDb = std::sqrt(uG * uG + mSourceDut * mSourceDut + mDutAnalyser * mDutAnalyser
                              + mSourceAnalyser * mSourceAnalyser);

    const double a = r.s12 * r.deltaNf12Db;
    const double b = r.s2 * r.deltaNf2Db;
    const double c = r.sGain * r.deltaGainDb;
    const double d = r.sEnr * in.enrUncertaintyDb;
    r.uncertaintyDb = std::sqrt(a * a + b * b + c * c + d * d);
    r.valid = std::isfinite(r.uncertaintyDb) && std::isfinite(r.s12);
    return r;
}

}  // namespace

double ReflectionFromVswr(double vswr)
{
    return (vswr - 1.0) / (vswr + 1.0);
}

double MismatchDb(double vswrA, double vswrB)
{
    return 20.0 * std::log10(1.0 + ReflectionFromVswr(vswrA) * ReflectionFromVswr(vswrB));
}

UncertaintyResult ComputeUncertainty(double nf12Db, double nf2Db, double gainDb,
                                     const UncertaintyInputs &inputs)
{
    return FromFactors(FromDb(nf12Db), FromDb(nf2Db), FromDb(gainDb), inputs);
}

SystemNoise DeriveSystemNoise(const StepLevels &levels, double roomTemperatureK, double enrDb)
{
    SystemNoise s;
    try {
        const double tHot = HotTemperatureK(enrDb, roomTemperatureK);
        // A Y-factor in dB is the difference of the two levels.
        const double y2 = FromDb(levels.n2on - levels.n2off);
        const double y12 = FromDb(levels.n12on - levels.n12off);
        if (y2 == 1 || y12 == 1)
            return s;
        s.f2 = YFactorNoiseTemperatureK(y2, tHot, roomTemperatureK) / kT0Kelvin + 1.0;
        s.f12 = YFactorNoiseTemperatureK(y12, tHot, roomTemperatureK) / kT0Kelvin + 1.0;
        s.g1 = LinearGain(FromDb(levels.n2off), FromDb(levels.n2on), FromDb(levels.n12off),
                          FromDb(levels.n12on));
    } catch (const EMathError &) {
        return s;
    }
    s.valid = s.g1 > 0 && std::isfinite(s.f2) && std::isfinite(s.f12);
    return s;
}

UncertaintyResult ComputeUncertainty(const StepLevels &levels, double roomTemperatureK,
                                     double enrDb, const UncertaintyInputs &inputs)
{
    const SystemNoise s = DeriveSystemNoise(levels, roomTemperatureK, enrDb);
    if (!s.valid)
        return {};
    return FromFactors(s.f12, s.f2, s.g1, inputs);
}

QString UncertaintyText(const UncertaintyResult &result)
{
    if (!result.valid)
        return QStringLiteral("-");
    return QStringLiteral("±") + FormatValue(2, fvDb, result.uncertaintyDb);
}
