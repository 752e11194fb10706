#pragma once
// How far each step of a sweep can be trusted: the uncertainty of its noise figure and the
// rules of good practice it breaks, as the step's evaluation (noise/evaluation.h) gives them,
// kept per step for the graph's error bars and marks and the report. Plain arithmetic on
// numbers and a record; no widgets.

#include "noise/calculator.h"
#include "noise/guidelines.h"
#include "noise/measurement_record.h"
#include "noise/uncertainty.h"

#include <QList>
#include <QString>
#include <array>

/// The findings' sentences, one after the other; empty when there are none.
QString GuidelineText(const QList<GuidelineFinding> &findings);

/// A few words naming a finding of `kind`: "low Y-factor", "analyser dominates".
QString GuidelineShortText(GuidelineKind kind);

/// One line that fits under the graph: "2 guideline notes: low Y-factor, analyser dominates",
/// "1 guideline note: ENR extrapolated"; empty when there are none. The sentences go into the
/// tooltip.
QString GuidelineSummary(const QList<GuidelineFinding> &findings);

/// The uncertainty of the calculator's own slot (slot 100: linear levels in mW, the linear ENR
/// and the room temperature of the last calculation).
UncertaintyResult CalculatorUncertainty(const MeasurementRecord &record, const UncertaintyInputs &inputs);

/// The assessments of the steps of a sweep, as far as they have been made.
struct SweepConfidence
{
    SweepConfidence() { reset(); }

    std::array<bool, kRecordSlots> assessed{};
    std::array<StepConfidence, kRecordSlots> steps;    ///< the assessments themselves
    MeasurementRecord::Slots uncertaintyDb{};          ///< U in dB; NaN where none can be given
    std::array<bool, kRecordSlots> outsideGuidelines{};  ///< the step has findings

    /// Forgets every assessment.
    void reset();
    void store(int step, const StepConfidence &confidence);
    /// The largest uncertainty among the assessed steps 0..lastStep, NaN when there is none;
    /// `atStep` receives its step (-1 when there is none).
    double largestUncertaintyDb(int lastStep, int *atStep = nullptr) const;
    /// True when an assessed step among 0..lastStep has findings.
    bool anyOutsideGuidelines(int lastStep) const;
};

/// Assesses the steps 0..Steps of `record` (only those assessed before when `onlyAssessed`). A
/// step whose evaluation fails to convert or to look its ENR up is left unassessed.
void AssessSweep(SweepConfidence &confidence, const MeasurementRecord &record,
                 const EvaluationContext &context, bool onlyAssessed = false);
