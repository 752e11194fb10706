#pragma once
// The physics of the simulated bench: a noise source (cold at the bench temperature, hot
// ENR·T0 above it), optionally a DUT, and the analyser's own noise, seen through the
// analyser's resolution bandwidth.
//
//   DUT out: P = k·B·(Tsource + Ta)
//   DUT in:  P = k·B·(G·(Tsource + Td) + Ta)
//
// with Tsource = Tcold + ENR·T0 (source on) or Tcold (off), Ta = T0·(Fa − 1) the analyser's
// and Td = T0·(Fd − 1) the DUT's noise temperature, G the DUT's gain. The Y-factor evaluation
// of these four powers gives back exactly the DUT's gain and noise figure.

#include "simulator/sim_options.h"

constexpr double kBoltzmann = 1.380649e-23; ///< J/K
constexpr double kReferenceTempK = 290.0;   ///< T0 of the noise-figure definition

class BenchModel
{
public:
    explicit BenchModel(const SimOptions &options);

    /// ENR of the noise source at `freqHz`, in dB.
    double enrDb(double freqHz) const;
    /// DUT gain at `freqHz`, in dB.
    double dutGainDb(double freqHz) const;
    /// DUT noise figure at `freqHz`, in dB; a line falling below 0 dB stays at 0 dB.
    double dutNfDb(double freqHz) const;

    /// The noise power the analyser measures, in dBm (10·log10(P / 1 mW)).
    double levelDbm(double freqHz, double rbwHz, bool sourceOn, bool dutIn) const;

    /// The program's default ENR table, interpolated linearly in dB over frequency between the
    /// two rows around `freqHz` and extrapolated along the first or last two rows outside it.
    static double defaultTableEnrDb(double freqHz);

private:
    const SimOptions &m_options;
};
