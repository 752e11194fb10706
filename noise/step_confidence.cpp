#include "noise/step_confidence.h"

#include "noise/yfactor.h"

#include <algorithm>
#include <cmath>
#include <limits>

QString GuidelineText(const QList<GuidelineFinding> &findings)
{
    QStringList sentences;
    for (const GuidelineFinding &f : findings)
        sentences << f.text;
    return sentences.join(u' ');
}

QString GuidelineShortText(GuidelineKind kind)
{
    switch (kind) {
    case GuidelineKind::LowCalibrationYFactor: return QStringLiteral("low Y-factor");
    case GuidelineKind::LowMeasurementYFactor: return QStringLiteral("low DUT Y-factor");
    case GuidelineKind::AnalyserNoiseDominates: return QStringLiteral("analyser dominates");
    case GuidelineKind::NearReferenceLevel: return QStringLiteral("near reference level");
    case GuidelineKind::EnrExtrapolated: return QStringLiteral("ENR extrapolated");
    case GuidelineKind::LossExtrapolated: return QStringLiteral("loss table extrapolated");
    }
    return {};
}

QString GuidelineSummary(const QList<GuidelineFinding> &findings)
{
    if (findings.isEmpty())
        return {};
    QStringList names;
    for (const GuidelineFinding &f : findings)
        names << GuidelineShortText(f.kind);
    return QStringLiteral("%1 guideline %2: %3")
        .arg(findings.size())
        .arg(findings.size() == 1 ? QStringLiteral("note") : QStringLiteral("notes"), names.join(QStringLiteral(", ")));
}

UncertaintyResult CalculatorUncertainty(const MeasurementRecord &record, const UncertaintyInputs &inputs)
{
    const StepLevels levels{ToDb(record.N2off[CalcSlot]), ToDb(record.N2on[CalcSlot]),
                               ToDb(record.N12off[CalcSlot]), ToDb(record.N12on[CalcSlot])};
    // ToDb gives 0 for a level or ENR that is not positive; the result is then invalid or
    // meaningless, as the calculation's own.
    if (record.Enr <= 0 || record.N2off[CalcSlot] <= 0 || record.N2on[CalcSlot] <= 0
        || record.N12off[CalcSlot] <= 0 || record.N12on[CalcSlot] <= 0)
        return {};
    return ComputeUncertainty(levels, record.RoomTemperature, ToDb(record.Enr), inputs);
}

void SweepConfidence::reset()
{
    assessed.fill(false);
    steps.fill(StepConfidence());
    uncertaintyDb.fill(std::numeric_limits<double>::quiet_NaN());
    outsideGuidelines.fill(false);
}

void SweepConfidence::store(int step, const StepConfidence &confidence)
{
    if (step < 0 || step >= kRecordSlots)
        return;
    const size_t i = size_t(step);
    assessed[i] = true;
    steps[i] = confidence;
    uncertaintyDb[i] = confidence.uncertainty.valid ? confidence.uncertainty.uncertaintyDb
                                                    : std::numeric_limits<double>::quiet_NaN();
    outsideGuidelines[i] = !confidence.findings.isEmpty();
}

double SweepConfidence::largestUncertaintyDb(int lastStep, int *atStep) const
{
    double largest = std::numeric_limits<double>::quiet_NaN();
    int at = -1;
    for (int i = 0; i <= std::clamp(lastStep, 0, kMaxStepSlot); ++i) {
        const double u = uncertaintyDb[size_t(i)];
        if (assessed[size_t(i)] && std::isfinite(u) && (at < 0 || u > largest)) {
            largest = u;
            at = i;
        }
    }
    if (atStep)
        *atStep = at;
    return largest;
}

bool SweepConfidence::anyOutsideGuidelines(int lastStep) const
{
    for (int i = 0; i <= std::clamp(lastStep, 0, kMaxStepSlot); ++i) {
        if (assessed[size_t(i)] && outsideGuidelines[size_t(i)])
            return true;
    }
    return false;
}

void AssessSweep(SweepConfidence &confidence, const MeasurementRecord &record,
                 const EvaluationContext &context, bool onlyAssessed)
{
    const int steps = std::clamp(int(record.SweepPlan.Steps), 0, kMaxStepSlot);
    for (int i = 0; i <= steps; ++i) {
        if (onlyAssessed && !confidence.assessed[size_t(i)])
            continue;
        try {
            confidence.store(i, EvaluateStep(record, i, context).confidence);
        } catch (...) {
            // A level or an ENR cell that does not convert: the step display reports it when
            // the step is shown; here the step simply has no assessment.
            confidence.assessed[size_t(i)] = false;
        }
    }
}
