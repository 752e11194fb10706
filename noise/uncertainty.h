#pragma once
// How far the DUT's noise figure of one step can be trusted. The corrected noise factor is
// F1 = F12 − (F2 − 1)/G1: F12 the system with the DUT, F2 the analyser alone (from the
// calibration), G1 the DUT's linear gain. Each input carries a limit of error in dB; the
// limits are carried to NF1 through the sensitivities ∂NF1/∂NFx (dB per dB) and added as a
// root sum of squares, which treats them as independent.
//
// Mismatch enters as the largest error that two reflections can make:
// M(a, b) = 20·log10(1 + |Γa|·|Γb|) dB with |Γ| = (VSWR − 1)/(VSWR + 1).
//
// Plain arithmetic on numbers; no widgets, no state, safe from any thread.

#include "noise/step_levels.h"

#include <QString>

/// The limits of error and the port matches the uncertainty is built from. The defaults suit a
/// general-purpose spectrum analyser and a coaxial noise source.
struct UncertaintyInputs
{
    double enrUncertaintyDb = 0.20;      ///< uENR, of the noise source's calibration
    double nfUncertaintyDb = 0.05;       ///< uNF, the analyser's noise-figure reading
    double gainUncertaintyDb = 0.15;     ///< uG, the analyser's gain reading
    double sourceVswr = 1.15;            ///< noise source output
    double dutInputVswr = 1.50;
    double dutOutputVswr = 1.50;
    double analyserInputVswr = 1.50;
};

/// The DUT's noise figure of one step and its uncertainty.
struct UncertaintyResult
{
    /// False when F1 ≤ 1 or a value is not finite: the DUT then seems to add no noise, the
    /// sensitivities run away and no figure below has a meaning.
    bool valid = false;
    double nf1Db = 0;            ///< DUT noise figure, dB
    double uncertaintyDb = 0;    ///< U, dB (a ± limit)
    double nf12Db = 0;           ///< system noise figure with the DUT, dB (as used)
    double nf2Db = 0;            ///< analyser noise figure from the calibration, dB
    double gainDb = 0;           ///< DUT gain, dB
    double s12 = 0;              ///< ∂NF1/∂NF12 = F12/F1
    double s2 = 0;               ///< ∂NF1/∂NF2 = −F2/(F1·G1), given as its magnitude
    double sGain = 0;            ///< ∂NF1/∂G1 = (F2 − 1)/(F1·G1)
    double sEnr = 0;             ///< ∂NF1/∂ENR = S12 − S2
    double deltaNf12Db = 0;      ///< limit on NF12: uNF with the source–DUT mismatch
    double deltaNf2Db = 0;       ///< limit on NF2: uNF with the source–analyser mismatch
    double deltaGainDb = 0;      ///< limit on G1: uG with all three mismatches
};

/// The three linear quantities the correction works on, derived from a step's levels.
struct SystemNoise
{
    bool valid = false;     ///< false when the levels give no noise temperature or no gain
    double f12 = 0;         ///< noise factor of DUT and analyser together
    double f2 = 0;          ///< noise factor of the analyser alone
    double g1 = 0;          ///< DUT's linear gain
};

/// |Γ| of a port from its VSWR.
double ReflectionFromVswr(double vswr);

/// M(a, b): the largest level error, dB, from the reflections of two ports facing each other.
double MismatchDb(double vswrA, double vswrB);

/// NF12, NF2 and G1 in dB to NF1 and its uncertainty.
UncertaintyResult ComputeUncertainty(double nf12Db, double nf2Db, double gainDb,
                                     const UncertaintyInputs &inputs);

/// F12, F2 and G1 of a step by the same Y-factor arithmetic as YFactorNoiseFigure: room
/// temperature in kelvin is the source's cold temperature, the ENR is in dB. Never throws; a
/// Y-factor of exactly 1 or levels whose gain is not positive give an invalid result.
SystemNoise DeriveSystemNoise(const StepLevels &levels, double roomTemperatureK, double enrDb);

/// The uncertainty of a step straight from its four levels. Never throws; see DeriveSystemNoise.
UncertaintyResult ComputeUncertainty(const StepLevels &levels, double roomTemperatureK,
                                     double enrDb, const UncertaintyInputs &inputs);

/// "±0.24 dB" (two decimals, "." whatever the locale), or "-" for an invalid result.
QString UncertaintyText(const UncertaintyResult &result);
