#pragma once
// Rules of good Y-factor practice, checked for one step: each finding names what is wrong and
// says what to change. Plain arithmetic on numbers; no widgets, safe from any thread.

#include "noise/enr_lookup.h"
#include "noise/uncertainty.h"

#include <QList>
#include <QString>
#include <optional>

/// Below this Y-factor, dB, the on and off readings lie so close that the analyser's reading
/// error dominates the noise figure.
inline constexpr double kMinYFactorDb = 1.8;
/// Above this share of the system's excess noise the second-stage correction dominates.
inline constexpr double kMaxAnalyserShare = 0.5;
/// Levels closer than this to the reference level, dB, risk the analyser's compression.
inline constexpr double kMinHeadroomDb = 10.0;

enum class GuidelineKind {
    LowCalibrationYFactor,   ///< N2on/N2off below kMinYFactorDb
    LowMeasurementYFactor,   ///< N12on/N12off below kMinYFactorDb
    AnalyserNoiseDominates,  ///< ((F2 − 1)/G1)/(F12 − 1) above kMaxAnalyserShare
    NearReferenceLevel,      ///< a level less than kMinHeadroomDb below the reference level
    EnrExtrapolated,         ///< table mode, frequency outside the table's rows
    LossExtrapolated,        ///< a loss table does not reach the step's frequency
};

struct GuidelineFinding
{
    GuidelineKind kind;
    QString text;  ///< one sentence: what was found and what to change
};

/// Everything the checks look at for one step.
struct GuidelineInputs
{
    StepLevels levels;           ///< the step's four marker levels, dBm
    double roomTemperatureK = 290;  ///< the source's cold temperature
    double enrDb = 0;               ///< the ENR used at this step
    double refLevelDbm = 0;         ///< the analyser's reference level (e_RefLvl, in dBm)
    double frequencyHz = 0;         ///< the step's frequency
    bool tableMode = false;         ///< the ENR comes from a table rather than one constant
    double tableLowHz = 0;          ///< lowest frequency of the table's rows
    double tableHighHz = 0;         ///< highest frequency of the table's rows
    /// A loss between the noise source and the DUT, dB: the ENR the DUT sees is this much lower.
    double lossBeforeDb = 0;
    bool lossOutsideTable = false;  ///< a loss table's end value stands in for this step
    /// The noise of a step evaluated through a bench (the cascade and the analyser as the
    /// correction derived them); nothing: derived from the levels with `enrDb`.
    std::optional<SystemNoise> systemNoise;
};

/// The findings for one step, in the order of GuidelineKind; empty when all is well.
QList<GuidelineFinding> CheckGuidelines(const GuidelineInputs &inputs);

/// The analyser's share of the system's excess noise, ((F2 − 1)/G1)/(F12 − 1); NaN when the
/// step has no meaningful system noise.
double AnalyserNoiseShare(const SystemNoise &noise);

/// The lowest and highest frequencies, Hz, among the rows whose frequency cell holds a number
/// (the rows are GHz text, as the grid shows them). False when no row holds one.
bool EnrTableRangeHz(const EnrRows &rows, double &lowHz, double &highHz);
