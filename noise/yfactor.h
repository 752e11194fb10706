#pragma once
// The Y-factor arithmetic: gain and noise figure of a device under test from four noise power
// levels (noise source off and on, measured once without the DUT and once with it), the excess
// noise ratio (ENR) of the source and the room temperature, corrected for the noise that the
// analyser itself adds (second-stage correction).
//
// Levels are linear powers (milliwatts, as ParseValue gives them from dBm). Floating point in
// C++ raises nothing, so LinearGain and YFactorNoiseFigure check their own divisions and
// results and throw EMathError ("Division by zero", "Floating point overflow", "Invalid floating
// point operation") where the arithmetic has no finite result.

/// Reference temperature of the noise-figure definition, kelvin.
constexpr double kT0Kelvin = 290.0;

/// 10·log10(x) for x > 0, 0 otherwise. Never throws.
double ToDb(double x);

/// 10^(x/10). Never throws; gives +inf above about 3082 dB.
double FromDb(double x);

/// (n12on − n12off) / (n2on − n2off): the noise power the source adds at the DUT's output over
/// the power it adds without the DUT, the DUT's available gain (linear, may be negative or 0).
/// Throws EMathError when the calibration levels are equal (division by zero) or the quotient
/// is not finite.
double LinearGain(double n2off, double n2on, double n12off, double n12on);

/// The hot temperature of the noise source in kelvin: ENR (in dB) times T0 above the room
/// temperature, which is the source's cold temperature. Throws EMathError when it is not finite.
double HotTemperatureK(double enrDb, double roomTemperatureK);

/// Noise temperature in kelvin of everything after the noise source, from its Y-factor (linear,
/// hot over cold power) and the source's hot and cold temperatures. A Y-factor of exactly 1
/// has no noise temperature; the caller decides what that means, here it throws EMathError.
double YFactorNoiseTemperatureK(double y, double tHotK, double tColdK);

/// Noise figure of the DUT in dB from the four linear levels, the room temperature in kelvin
/// (the cold temperature of the source) and the ENR in dB. Returns -1 when the noise figure
/// cannot be computed: a Y-factor of exactly 1, a gain of exactly 0, or a noise factor below 1.
/// Throws EMathError on a division by zero, an overflow or a result that is not a number.
double YFactorNoiseFigure(double n2off, double n2on, double n12off, double n12on,
                          double roomTemperatureK, double enrDb);
