#include "cascade/cascade.h"

#include "noise/yfactor.h"

void StoreStageValue(CascadeState &state, int stage, int row, double value)
{
    if (stage < 1 || stage > kCascadeStageCount)
        return;
    CascadeStage &st = state.stage(stage);
    switch (row) {
    case NoiseFactorRow:
        st.StageNoiseFigureDb = ToDb(value);  // a noise factor of 0 or less is 0 dB
        break;
    case NoiseFigureRow:
        st.StageNoiseFigureDb = value;
        break;
    case GainRow:
        st.StageGainDb = value;
        break;
    case Ip3OutRow:
        st.StageIp3OutDbm = value;
        break;
    default:
        break;
    }
}

void SetStageEnabled(CascadeState &state, int stage, bool ticked)
{
    state.EnabledStages.remove(stage);
    if (ticked)
        state.EnabledStages.insert(stage);
    state.FirstStage = 1;
    state.LastStage = kCascadeStageCount;
    for (int s = 1; s <= kCascadeStageCount; ++s) {
        if (state.EnabledStages.contains(s)) {
            state.FirstStage = s;
            break;
        }
    }
    for (int s = kCascadeStageCount; s >= 1; --s) {
        if (state.EnabledStages.contains(s)) {
            state.LastStage = s;
            break;
        }
    }
}

void ComputeCascade(CascadeState &state)
{
    const StageSet &on = state.EnabledStages;
    if (on.isEmpty())
        return;
    const int first = state.FirstStage;
    const int last = state.LastStage;

    // Pass 1: the gain of the chain up to each stage.
    double gainDb = 0;
    for (int s = first; s <= last; ++s) {
        if (!on.contains(s))
            continue;
        gainDb += state.stage(s).StageGainDb;
        state.stage(s).TotalGainDb = gainDb;
    }

    // Pass 2: each stage's input intercept, referred to the chain's input through the gain in
    // front of it, adds up as 1/IIP3_chain = Σ G_before / IIP3 in milliwatts; the chain's
    // output intercept is that times the chain's gain.
    double gainBeforeDb = 0;
    double inverseIip3 = 0;
    for (int s = first; s <= last; ++s) {
        if (!on.contains(s))
            continue;
        CascadeStage &st = state.stage(s);
        const double iip3Dbm = st.StageIp3OutDbm - st.StageGainDb;
        inverseIip3 += FromDb(gainBeforeDb - iip3Dbm);
        st.TotalIp3OutDbm = ToDb(1 / inverseIip3) + st.TotalGainDb;
        gainBeforeDb += st.StageGainDb;
    }

    // Pass 3: Friis. The first stage's noise figure is the chain's as it stands; each later
    // stage adds its excess noise divided by the gain in front of it.
    CascadeStage &head = state.stage(first);
    double noiseFactor = FromDb(head.StageNoiseFigureDb);
    head.TotalNoiseFigureDb = head.StageNoiseFigureDb;
    gainBeforeDb = head.StageGainDb;
    for (int s = first + 1; s <= last; ++s) {
        if (!on.contains(s))
            continue;
        CascadeStage &st = state.stage(s);
        noiseFactor += (FromDb(st.StageNoiseFigureDb) - 1) / FromDb(gainBeforeDb);
        st.TotalNoiseFigureDb = ToDb(noiseFactor);
        gainBeforeDb += st.StageGainDb;
    }
}
