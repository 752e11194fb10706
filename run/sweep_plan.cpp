#include "run/sweep_plan.h"

#include "base/engvalue.h"

#include <algorithm>
#include <cmath>

double WholeStepHz(double startHz, double stopHz, int steps)
{
    if (steps == 0)
        return 0;
    // The difference and the quotient in extended precision: 100 MHz / 3 must truncate to
    // 33 333 333, not round up through a double that happens to land on the next integer.
    const long double quotient = (static_cast<long double>(stopHz) - static_cast<long double>(startHz)) / steps;
    // Truncation toward zero; std::trunc rather than a cast to a 64-bit integer, so that a range
    // beyond the integer's reach (or a non-finite one) gives a value instead of undefined behaviour.
    return static_cast<double>(std::trunc(quotient));
}

void MakeSweepPlan(SweepPlan &plan, const SweepInputs &in)
{
    if (in.single) {
        plan.Start = ParseValue(in.singleText);
        plan.Stop = ParseValue(in.singleText);
        plan.Step = 0;
        plan.Steps = 0;
        return;
    }
    plan.Start = ParseValue(in.startText);
    plan.Stop = ParseValue(in.stopText);
    plan.Step = WholeStepHz(plan.Start, plan.Stop, in.steps);
    plan.Steps = in.steps;
}

QList<double> PlanRfs(const SweepPlan &plan)
{
    QList<double> rf;
    for (int i = 0; i <= std::clamp(int(plan.Steps), 0, kMaxStepSlot); ++i)
        rf << plan.enrHz(i);
    return rf;
}

IfPlan PlanIfsOf(const SweepPlan &plan)
{
    return PlanIfs(plan.Conversion, plan.LoHz, PlanRfs(plan));
}
