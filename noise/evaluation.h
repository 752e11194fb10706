#pragma once
// One step's evaluation as a pure function: the step's four levels, the frequency its ENR is
// looked up at and the measurement's context go in; gain, noise figure, uncertainty and the
// findings of the guidelines come out. Nothing is stored and nothing is shown: the record's
// wrappers (noise/calculator.h), the step display, the CSV writer, the report and the command
// line all build on it, so every place that shows a step's result shows the same numbers.
// Plain arithmetic on values; no widgets, safe from any thread.

#include "noise/bench_correction.h"
#include "noise/bench_setup.h"
#include "noise/enr_source.h"
#include "noise/guidelines.h"
#include "noise/step_levels.h"
#include "noise/uncertainty.h"
#include "noise/yfactor.h"

#include <QList>
#include <QString>
#include <limits>
#include <optional>

/// The circumstances a step is evaluated in: everything besides its own levels and frequency.
struct EvaluationContext
{
    EnrSource enr;                        ///< the noise source's ENR
    double roomTemperatureK = kT0Kelvin;  ///< the source's cold temperature, kelvin
    UncertaintyInputs uncertainty;        ///< the limits of error the uncertainty is built from
    /// The analyser's reference level, dBm, for the headroom check; +∞ when it is not known.
    double refLevelDbm = std::numeric_limits<double>::infinity();

    /// The bench around the DUT: losses before and after it with their physical temperatures,
    /// the DUT's kind with a converter's LO and image rejection. At its defaults (nothing
    /// between source, DUT and analyser, an amplifier) it corrects nothing.
    BenchSetup bench;
    /// The calibration's own noise source, looked up at the IF where its noise entered the
    /// analyser; nothing: the measurement's source.
    std::optional<EnrSource> calibrationEnr;

    /// True when the bench's corrections take part: a step is then evaluated through them.
    bool corrects() const { return !bench.isDefault() || calibrationEnr.has_value(); }
    /// The calibration's source: its own, or the measurement's.
    const EnrSource &calibrationSource() const { return calibrationEnr ? *calibrationEnr : enr; }
};

/// One step's uncertainty and the rules of good practice it breaks.
struct StepConfidence
{
    UncertaintyResult uncertainty;
    QList<GuidelineFinding> findings;
};

/// The Y-factor arithmetic of four linear levels (mW). `failed` marks an arithmetic failure
/// (a division by zero, an overflow, an ENR that is not positive); the gain may have been
/// computed before the failure and is then kept in `gainDb` with `hasGain` set.
struct YFactorOutcome
{
    bool failed = false;
    bool hasGain = false;
    double gainDb = 0;
    double noiseFigureDb = -1;  ///< negative: no noise figure could be computed
};
YFactorOutcome EvaluateYFactor(const StepLevels &levelsMw, double enr, double roomTemperatureK);

/// One step's result.
struct StepEvaluation
{
    double enrHz = 0;          ///< the frequency the ENR was looked up at
    double tuneHz = 0;         ///< the frequency the analyser was tuned to (a converter's IF)
    StepLevels levels;         ///< the four levels evaluated, dBm
    double enr = 0;            ///< linear ENR used
    double roomTemperatureK = 0;
    bool failed = false;       ///< an arithmetic failure: no gain and no noise figure
    double gainDb = 0;
    double noiseFigureDb = -1;  ///< negative: no noise figure could be computed
    StepConfidence confidence;
    /// The bench's corrections, when the context has any: the linear ENR of the calibration's
    /// source at the IF, the losses where they sit, whether a loss table misses the step, and
    /// what the correction found (a noise factor below 1 leaves the noise figure at -1).
    bool corrected = false;
    double calibrationEnr = 0;
    double lossBeforeDb = 0;
    double lossAfterDb = 0;
    bool lossOutsideTable = false;
    BenchStepStatus benchStatus = BenchStepStatus::Ok;

    bool hasNoiseFigure() const { return !failed && noiseFigureDb >= 0; }
    /// Noise factor (linear) and noise temperature (K, against 290 K) of the noise figure.
    double noiseFactor() const;
    double noiseTemperatureK() const;
    /// Y-factors in dB: without the DUT (N2on/N2off) and with it (N12on/N12off).
    double calibrationYDb() const { return levels.n2on - levels.n2off; }
    double dutYDb() const { return levels.n12on - levels.n12off; }
};

/// The evaluation of a step's levels (dBm) with the ENR looked up at `enrHz`. A failure of the
/// lookup propagates (EConvertError, EMathError); an arithmetic failure is reported as
/// `failed`. With a bench that corrects, the analyser's frequency is the IF of `enrHz`, the
/// calibration's ENR is looked up there, and gain and noise figure are the DUT's own. The levels are taken as linear powers exactly as ParseValue reads "<dBm> dB".
/// `outcome`, when given, receives the Y-factor arithmetic as it ended (with a gain computed
/// before a failure).
StepEvaluation EvaluateLevels(const StepLevels &levelsDbm, double enrHz, const EvaluationContext &context,
                              YFactorOutcome *outcome = nullptr);

/// "For calculation used ENR: 5.52 dB": the status text of a calculation with the linear `enr`.
QString EnrStatusText(double enr);
/// "Gain: 130.11  (21.14 dB)" and "F: 1.53  (1.84 dB)" (or "F: Error" for a negative noise
/// figure), as the calculator shows a result.
QString CalculatorGainText(double gainDb);
QString CalculatorNoiseFigureText(double noiseFigureDb);
