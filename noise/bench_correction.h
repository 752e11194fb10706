#pragma once
// The DUT's own noise factor and gain from a Y-factor measurement made through a bench: a loss
// before the DUT and a loss after it, each at its physical temperature, a calibration noise
// source that may differ from the measurement's (a converter's calibration runs at the IF, its
// measurement at the RF), and a converter's image band.
//
// The calibration (noise source straight at the analyser) gives the analyser's noise
// temperature Te2 and its gain-bandwidth kBG2 = ΔN2 / (ENRcal·T0). The measurement gives the
// cascade's system noise temperature Tsys and its gain G = ΔN12 / (kBG2·ENRmeas·T0); the
// analyser's share Te2/G comes off (second-stage correction), leaving the noise temperature of
// loss before, DUT and loss after together. A loss L at physical temperature T passes
// T_in/L + T·(1 − 1/L) and so has the noise temperature (L − 1)·T at its input; taking both
// losses off gives the DUT's own:
//
//   G_DUT  = G·Lb·La
//   Te_DUT = (Te − (Lb − 1)·Tb − (La − 1)·Ta·Lb/G_DUT) / Lb,   F_DUT = 1 + Te_DUT/T0
//
// A converter measured double sideband (the image band passes as much noise as the signal
// band, or IR dB less) is then corrected to single sideband:
//   NF_SSB = NF_DSB + 10·log10(1 + 1/IR),  G_SSB = G_DSB − 10·log10(1 + 1/IR).
//
// With no losses, one ENR and no image the result equals YFactorNoiseFigure and LinearGain's.
// Plain arithmetic; never throws.

#include "noise/step_levels.h"

#include <QString>
#include <optional>

/// The temperature in kelvin that leaves a loss of `lossDb` at physical temperature
/// `physicalK` when `inputK` enters it: T_in/L + T·(1 − 1/L).
double LossOutputTemperatureK(double inputK, double lossDb, double physicalK);

/// The bench of one step: everything besides the four levels.
struct StepBench
{
    double roomTemperatureK = 290;  ///< the noise sources' cold temperature
    double calEnrDb = 0;            ///< ENR of the calibration's source where it entered (the IF)
    double measEnrDb = 0;           ///< ENR of the measurement's source where it entered (the RF)
    double lossBeforeDb = 0;
    double lossBeforeK = 290;       ///< physical temperature of the loss before
    double lossAfterDb = 0;
    double lossAfterK = 290;
    std::optional<double> imageRejectionDb;  ///< converters measured with an image band; nothing: SSB
};

/// What a step's correction found.
enum class BenchStepStatus {
    Ok,
    NoYFactor,     ///< a Y-factor of exactly 1, or levels without a noise temperature
    NoGain,        ///< the gain is not positive
    BelowOne,      ///< the DUT's noise factor comes out below 1: the corrections do not fit
    NotFinite,     ///< a level, ENR, loss or temperature gave no finite number
};

struct BenchStepResult
{
    BenchStepStatus status = BenchStepStatus::NotFinite;
    double gainDb = 0;         ///< DUT gain after every correction (valid unless NoGain/NotFinite/NoYFactor)
    double noiseFactor = 0;    ///< DUT noise factor after every correction, linear
    double noiseFigureDb = 0;  ///< 10·log10(noiseFactor) when status is Ok
    double systemNoiseFactor = 0;  ///< F12: cascade and analyser together, as measured
    double analyserNoiseFactor = 0;  ///< F2: the analyser alone, from the calibration
    double cascadeGain = 0;    ///< G: loss before, DUT and loss after together, linear
    bool ok() const { return status == BenchStepStatus::Ok; }
};

/// The DUT's noise factor and gain from the four levels (dBm) and the step's bench.
BenchStepResult CorrectStep(const StepLevels &levels, const StepBench &bench);

/// The DUT's own figures from the cascade's (loss before, DUT, loss after: noise factor and
/// linear gain as a plain Y-factor measurement gives them): the core of CorrectStep, for a
/// calculator or a test. `noiseFactor` may come out below 1; the caller judges.
struct DutFigures
{
    double noiseFactor = 0;
    double gain = 0;  ///< linear
};
DutFigures DeembedLosses(double cascadeNoiseFactor, double cascadeGain, const StepBench &bench);

/// 10·log10(1 + 1/IR) for an image rejection of `imageRejectionDb`: what a double-sideband
/// reading adds to the noise figure and takes from the gain.
double SidebandCorrectionDb(double imageRejectionDb);

/// The ENR the DUT's input sees through a loss before it, dB: the hot and cold temperatures
/// both pass the loss, so the excess shrinks by L (the low-Y rule looks at this).
double EffectiveEnrDb(double enrDb, double lossBeforeDb);

/// "the noise figure comes out below 0 dB after the corrections" and its kin, for the step display.
QString BenchStepStatusText(BenchStepStatus status);
