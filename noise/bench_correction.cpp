#include "noise/bench_correction.h"

#include "noise/yfactor.h"

#include <cmath>

namespace {

bool Finite(double x) { return std::isfinite(x); }

}  // namespace

double LossOutputTemperatureK(double inputK, double lossDb, double physicalK)
{
    const double l = FromDb(lossDb);
    return inputK / l + physicalK * (1.0 - 1.0 / l);
}

DutFigures DeembedLosses(double cascadeNoiseFactor, double cascadeGain, const StepBench &bench)
{
    const double lb = FromDb(bench.lossBeforeDb);
    const double la = FromDb(bench.lossAfterDb);
    DutFigures dut;
    dut.gain = cascadeGain * lb * la;
    const double te = (cascadeNoiseFactor - 1.0) * kT0Kelvin;
    const double teBefore = (lb - 1.0) * bench.lossBeforeK;
    const double teAfter = (la - 1.0) * bench.lossAfterK;
    // The loss after the DUT is referred to the cascade's input through the loss before and the DUT.
    const double teDut = (te - teBefore - teAfter * lb / dut.gain) / lb;
    dut.noiseFactor = 1.0 + teDut / kT0Kelvin;
    return dut;
}

double SidebandCorrectionDb(double imageRejectionDb)
{
    return 10.0 * std::log10(1.0 + 1.0 / FromDb(imageRejectionDb));
}

double EffectiveEnrDb(double enrDb, double lossBeforeDb)
{
    return enrDb - lossBeforeDb;
}

BenchStepResult CorrectStep(const StepLevels &levels, const StepBench &bench)
{
    BenchStepResult r;
    const double n2off = FromDb(levels.n2off);
    const double n2on = FromDb(levels.n2on);
    const double n12off = FromDb(levels.n12off);
    const double n12on = FromDb(levels.n12on);
    const double tc = bench.roomTemperatureK;
    const double enrCal = FromDb(bench.calEnrDb);
    const double enrMeas = FromDb(bench.measEnrDb);
    for (double x : {n2off, n2on, n12off, n12on, tc, enrCal, enrMeas, bench.lossBeforeDb,
                     bench.lossAfterDb, bench.lossBeforeK, bench.lossAfterK})
        if (!Finite(x))
            return r;
    if (n2off <= 0 || n12off <= 0 || enrCal <= 0 || enrMeas <= 0)
        return r;

    const double y2 = n2on / n2off;
    const double y12 = n12on / n12off;
    if (y2 == 1 || y12 == 1) {
        r.status = BenchStepStatus::NoYFactor;
        return r;
    }
    const double thCal = tc + enrCal * kT0Kelvin;
    const double thMeas = tc + enrMeas * kT0Kelvin;
    const double te2 = (thCal - y2 * tc) / (y2 - 1);
    const double te12 = (thMeas - y12 * tc) / (y12 - 1);
    const double dn2 = n2on - n2off;
    if (dn2 == 0 || !Finite(te2) || !Finite(te12)) {
        r.status = BenchStepStatus::NoYFactor;
        return r;
    }
    // kBG2 from the calibration; the cascade's gain is its excess over the measurement's excess.
    const double g = (n12on - n12off) / dn2 * (enrCal / enrMeas);
    r.cascadeGain = g;
    r.analyserNoiseFactor = 1.0 + te2 / kT0Kelvin;
    r.systemNoiseFactor = 1.0 + te12 / kT0Kelvin;
    if (!Finite(g)) {
        r.status = BenchStepStatus::NotFinite;
        return r;
    }
    if (g <= 0) {
        r.status = BenchStepStatus::NoGain;
        return r;
    }
    const double cascadeF = 1.0 + (te12 - te2 / g) / kT0Kelvin;
    DutFigures dut = DeembedLosses(cascadeF, g, bench);
    double f = dut.noiseFactor;
    double gainDb = 10.0 * std::log10(dut.gain);
    if (bench.imageRejectionDb) {
        // A double-sideband reading is referred to the signal band alone.
        const double c = SidebandCorrectionDb(*bench.imageRejectionDb);
        f *= FromDb(c);
        gainDb -= c;
    }
    if (!Finite(f) || !Finite(gainDb))
        return r;
    r.gainDb = gainDb;
    r.noiseFactor = f;
    if (f < 1) {
        r.status = BenchStepStatus::BelowOne;
        return r;
    }
    r.noiseFigureDb = 10.0 * std::log10(f);
    r.status = BenchStepStatus::Ok;
    return r;
}

QString BenchStepStatusText(BenchStepStatus status)
{
    switch (status) {
    case BenchStepStatus::Ok:
        return QString();
    case BenchStepStatus::NoYFactor:
        return QStringLiteral("no Y-factor: the noise source's on and off levels are equal");
    case BenchStepStatus::NoGain:
        return QStringLiteral("no gain: the DUT passes no more noise with the source on");
    case BenchStepStatus::BelowOne:
        return QStringLiteral("the DUT's noise figure comes out below 0 dB after the bench corrections: check the losses, their temperatures and the image rejection");
    case BenchStepStatus::NotFinite:
        break;
    }
    return QStringLiteral("the levels, ENR or bench settings give no finite result");
}
