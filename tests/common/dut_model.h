#pragma once
// The device under test that analyser-sim puts on its bench with its default options: straight
// lines over frequency. Tests and the soak run compare measured results against it.

/// Gain of the simulated DUT in dB at `hz`.
inline double DutGainDb(double hz) { return 20.0 - 1.0 * hz / 1e9; }
/// Noise figure of the simulated DUT in dB at `hz`.
inline double DutNoiseFigureDb(double hz) { return 3.0 + 0.1 * hz / 1e9; }
