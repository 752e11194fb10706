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
//
// The bench around it: a loss L at physical temperature T passes Tin/L + T·(1 − 1/L); a loss
// before the DUT acts on the source's noise, one after it on the DUT's output. A converter at
// the marker frequency (its IF) sees the source at the RF of its signal band (LO + IF for a
// down-converter, IF − LO for an up-converter) and, with an image gain Gi relative to the
// signal band's G, at its image (LO − IF, or IF + LO):
//
//   DUT in:  P = k·B·(La(G·(Tin(RF) + Td) + G·Gi·(Tin(image) − T0)) + Ta)
//
// with Td the noise temperature of its single-sideband noise figure, taken at the RF, and La
// the loss after as above. Each noise source's ENR is taken where its noise enters: the
// measurement's at the RF and the image, the calibration's (its own with --cal-enr) at the
// marker frequency.

#include "simulator/sim_options.h"

constexpr double kBoltzmann = 1.380649e-23; ///< J/K
constexpr double kReferenceTempK = 290.0;   ///< T0 of the noise-figure definition

class BenchModel
{
public:
    explicit BenchModel(const SimOptions &options);

    /// ENR of the noise source at `freqHz`, in dB.
    double enrDb(double freqHz) const;
    /// ENR of the calibration's noise source at `freqHz`, in dB: its own or the measurement's.
    double calEnrDb(double freqHz) const;
    /// The RF of the signal band that a converter turns into `ifHz`; `ifHz` for an amplifier.
    double signalHz(double ifHz) const;
    /// The image frequency of `ifHz`; 0 when there is none (an amplifier, or below 0 Hz).
    double imageHz(double ifHz) const;
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
