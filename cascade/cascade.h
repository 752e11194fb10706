#pragma once
// The cascade calculator: up to five two-port stages in series, each with its noise figure,
// gain and output IP3, combined stage by stage from the first ticked stage on (gain sum, output
// IP3 referred through the input, Friis). Widget-free and in numbers only: the calculator page
// reads the fields into the stages, shows the stages and totals left here and draws the
// diagram from them.
//
// Stages are numbered 1 to 5 as on the page; arrays are indexed by stage - 1.

#include <array>
#include <cstddef>

constexpr int kCascadeStageCount = 5;
/// Entry rows of a stage: noise factor, noise figure [dB], gain [dB], IP3out [dBm].
constexpr int kCascadeRowCount = 4;

enum CascadeRow : int {
    NoiseFactorRow = 1,
    NoiseFigureRow = 2,
    GainRow = 3,
    Ip3OutRow = 4,
};

/// One stage: its own figures as entered and the chain's totals up to its output, all in
/// decibel units. The noise factor is not stored; it is shown as 10^(NF/10).
struct CascadeStage
{
    double StageNoiseFigureDb = 0;
    double StageGainDb = 1;  ///< negative for a loss
    double StageIp3OutDbm = 12;
    double TotalNoiseFigureDb = 0;  ///< chain from FirstStage through this stage
    double TotalGainDb = 0;
    double TotalIp3OutDbm = 0;
};

/// A set of stage numbers 1 .. 5.
class StageSet
{
public:
    static StageSet all() { return StageSet(0x1F); }
    static StageSet none() { return StageSet(0); }

    bool contains(int stage) const { return valid(stage) && (m_bits & bit(stage)) != 0; }
    void insert(int stage)
    {
        if (valid(stage))
            m_bits |= bit(stage);
    }
    void remove(int stage)
    {
        if (valid(stage))
            m_bits &= ~bit(stage);
    }
    bool isEmpty() const { return m_bits == 0; }
    bool operator==(const StageSet &) const = default;

private:
    explicit StageSet(unsigned bits) : m_bits(bits) {}
    static bool valid(int stage) { return stage >= 1 && stage <= kCascadeStageCount; }
    static unsigned bit(int stage) { return 1u << (stage - 1); }
    unsigned m_bits;
};

/// The calculator state the main window owns; a default-constructed state is the initial one.
struct CascadeState
{
    std::array<CascadeStage, kCascadeStageCount> CascadeStages{};
    StageSet EnabledStages = StageSet::all();  ///< stages whose box is ticked
    int FirstStage = 1;  ///< lowest enabled stage; 1 when none is enabled
    int LastStage = 5;   ///< highest enabled stage; 5 when none is enabled

    CascadeStage &stage(int s) { return CascadeStages[std::size_t(s - 1)]; }
    const CascadeStage &stage(int s) const { return CascadeStages[std::size_t(s - 1)]; }
};

/// Stores a value that the operator left in the field at (stage, row): a noise factor (linear;
/// 0 or less stores 0 dB), a noise figure in dB, a gain in dB or an output IP3 in dBm. A place
/// outside the grid changes nothing.
void StoreStageValue(CascadeState &state, int stage, int row, double value);

/// Ticks or unticks a stage and updates FirstStage and LastStage.
void SetStageEnabled(CascadeState &state, int stage, bool ticked);

/// Computes the totals of every enabled stage, from FirstStage in ascending order skipping
/// unticked stages: gain, then output IP3 (the input-referred intercepts summed as
/// 1/IIP3 = Σ G_before/IIP3 and referred back to the output), then noise figure (Friis).
/// Totals of stages that are not enabled keep what they held. Nothing is computed when no
/// stage is enabled.
void ComputeCascade(CascadeState &state);
