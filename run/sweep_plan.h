#pragma once
// Forming the frequency plan of a pass from the "Options" page: a sweep from Start to Stop in
// a number of whole-hertz steps, or one single frequency. Widget-free: the caller passes the
// texts of the fields.

#include "noise/bench_setup.h"
#include "noise/measurement_record.h"

#include <QList>

#include <QString>

/// What MakeSweepPlan reads from the page.
struct SweepInputs
{
    bool single = false;   ///< rg_Sweep on "Single"
    QString startText;     ///< e_Start, e.g. "400 MHz"
    QString stopText;      ///< e_Stop
    QString singleText;    ///< e_Single
    int steps = 10;        ///< se_steps, 1 to 99
};

/// Sets Start, Stop, Step and Steps of `plan`, in that order (StepIndex is left alone).
/// Single mode: Start = Stop = the single frequency, Step = 0, Steps = 0.
/// Sweep mode: Step = (Stop − Start) / steps in extended precision, truncated toward zero to a
/// whole number of hertz, so the last frequency never lies beyond Stop.
/// A frequency text that ParseValue rejects throws its conversion error; the fields assigned
/// before it keep their new values, the ones after it their old values.
void MakeSweepPlan(SweepPlan &plan, const SweepInputs &inputs);

/// The whole-hertz step for a range and a step count (the division of MakeSweepPlan).
double WholeStepHz(double startHz, double stopHz, int steps);

/// The frequencies of steps 0..Steps of `plan` at the noise source (the RFs), in order.
QList<double> PlanRfs(const SweepPlan &plan);

/// The IFs `plan` tunes the analyser to, as its conversion makes them from its RFs, or the
/// refusal naming the first step that cannot be measured (see PlanIfs).
IfPlan PlanIfsOf(const SweepPlan &plan);
