#include "simulator/bench_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct EnrRow
{
    double freqGhz;
    double enrDb;
};

// The rows the program starts its ENR tables with.
constexpr std::array<EnrRow, 20> kDefaultEnrTable{{
    {0.01, 6.12}, {0.1, 6.29}, {1.0, 5.89},  {2.0, 5.52},  {3.0, 5.27},
    {4.0, 5.20},  {5.0, 5.11}, {6.0, 5.08},  {7.0, 5.06},  {8.0, 5.20},
    {9.0, 5.42},  {10.0, 5.54}, {11.0, 5.92}, {12.0, 6.12}, {13.0, 6.20},
    {14.0, 6.38}, {15.0, 6.39}, {16.0, 6.88}, {17.0, 6.75}, {18.0, 6.75},
}};

double fromDb(double db)
{
    return std::pow(10.0, db / 10.0);
}

} // namespace

BenchModel::BenchModel(const SimOptions &options)
    : m_options(options)
{
}

double BenchModel::defaultTableEnrDb(double freqHz)
{
    // The same bracketing as the program's lookup: the last row at or below f and the first
    // row above it, so that the simulated source and the program agree on every frequency.
    const int n = int(kDefaultEnrTable.size());
    int lo = 0;
    int hi = 0;
    for (int r = 1; r <= n; ++r) {
        const double rowHz = kDefaultEnrTable[size_t(r - 1)].freqGhz * 1e9;
        if (freqHz >= rowHz)
            lo = r;
        if (freqHz < rowHz && hi == 0)
            hi = r;
    }
    if (lo == 0) {
        lo = 1;
        hi = 2;
    }
    if (hi == 0) {
        hi = lo;
        lo = lo - 1;
    }
    const EnrRow &a = kDefaultEnrTable[size_t(lo - 1)];
    const EnrRow &b = kDefaultEnrTable[size_t(hi - 1)];
    const double slopeDbPerHz = (b.enrDb - a.enrDb) / ((b.freqGhz - a.freqGhz) * 1e9);
    return a.enrDb + (freqHz - a.freqGhz * 1e9) * slopeDbPerHz;
}

double BenchModel::enrDb(double freqHz) const
{
    return m_options.enrFromTable ? defaultTableEnrDb(freqHz) : m_options.enrDb;
}

double BenchModel::calEnrDb(double freqHz) const
{
    if (!m_options.calSourceGiven)
        return enrDb(freqHz);
    return m_options.calEnrFromTable ? defaultTableEnrDb(freqHz) : m_options.calEnrDb;
}

double BenchModel::signalHz(double ifHz) const
{
    switch (m_options.dutKind) {
    case DutKind::Amplifier:
        break;
    case DutKind::Down:
        return m_options.loHz + ifHz;
    case DutKind::Up:
        return ifHz - m_options.loHz;
    }
    return ifHz;
}

double BenchModel::imageHz(double ifHz) const
{
    switch (m_options.dutKind) {
    case DutKind::Amplifier:
        break;
    case DutKind::Down:
        return std::max(0.0, m_options.loHz - ifHz);
    case DutKind::Up:
        return ifHz + m_options.loHz;
    }
    return 0;
}

double BenchModel::dutGainDb(double freqHz) const
{
    return m_options.dutGainDb + m_options.dutGainSlopeDbPerGhz * freqHz / 1e9;
}

double BenchModel::dutNfDb(double freqHz) const
{
    return std::max(0.0, m_options.dutNfDb + m_options.dutNfSlopeDbPerGhz * freqHz / 1e9);
}

namespace {

/// What leaves a loss at its physical temperature when `inputK` enters it.
double passLoss(double inputK, const SimLoss &loss, double benchK)
{
    const double l = fromDb(loss.db);
    const double physicalK = loss.kelvin < 0 ? benchK : loss.kelvin;
    return inputK / l + physicalK * (1.0 - 1.0 / l);
}

} // namespace

double BenchModel::levelDbm(double freqHz, double rbwHz, bool sourceOn, bool dutIn) const
{
    const double coldK = m_options.coldTempK;
    const double analyserK = kReferenceTempK * (fromDb(m_options.analyserNfDb) - 1.0);
    double noiseK = 0;
    if (!dutIn) {
        const double sourceK = sourceOn ? coldK + fromDb(calEnrDb(freqHz)) * kReferenceTempK : coldK;
        noiseK = sourceK + analyserK;
    } else {
        const double rfHz = signalHz(freqHz);
        const double sourceK = sourceOn ? coldK + fromDb(enrDb(rfHz)) * kReferenceTempK : coldK;
        const double gain = fromDb(dutGainDb(rfHz));
        const double dutK = kReferenceTempK * (fromDb(dutNfDb(rfHz)) - 1.0);
        double outK = gain * (passLoss(sourceK, m_options.lossBefore, coldK) + dutK);
        const double imgHz = imageHz(freqHz);
        if (m_options.imageGainGiven && imgHz > 0) {
            // The image band's noise enters as well; the single-sideband noise figure already
            // counts the DUT's own noise of both bands, so T0 of it comes off.
            const double imageK = sourceOn ? coldK + fromDb(enrDb(imgHz)) * kReferenceTempK : coldK;
            outK += gain * fromDb(m_options.imageGainDb) *
                    (passLoss(imageK, m_options.lossBefore, coldK) - kReferenceTempK);
        }
        noiseK = passLoss(outK, m_options.lossAfter, coldK) + analyserK;
    }
    const double powerW = kBoltzmann * rbwHz * noiseK;
    return 10.0 * std::log10(powerW / 1e-3);
}
