#include "results/limit_results.h"

#include <cmath>

QList<StepLimitResult> StepLimitResults(const QList<CsvStepRow> &rows, const LimitSet &limits)
{
    QList<StepLimitResult> results;
    if (limits.empty())
        return results;
    for (const CsvStepRow &row : rows)
        results << CheckStepLimits(limits, row.frequencyHz, row.gainDb, row.noiseFigureDb);
    return results;
}

QList<CsvColumn> LimitCsvColumns(const LimitSet &limits, const QList<StepLimitResult> &results)
{
    QList<CsvColumn> columns;
    if (limits.empty())
        return columns;
    for (const LimitKind kind : kLimitKindsInOrder) {
        if (limits.of(kind).isEmpty())
            continue;
        columns << CsvColumn{LimitKindTitle(kind) + QStringLiteral(" (dB)"), [results, kind](const CsvStepRow &row) {
                                 return row.step < results.size() ? CsvNumber(results[row.step].limitDb[size_t(kind)])
                                                                  : QString();
                             }};
    }
    columns << CsvColumn{QStringLiteral("Limits"), [results](const CsvStepRow &row) {
                             if (row.step >= results.size() || !results[row.step].tested)
                                 return QString();
                             return results[row.step].pass ? QStringLiteral("pass") : QStringLiteral("fail");
                         }};
    return columns;
}

std::optional<double> WorstNoiseFigure(const MeasurementRecord &record)
{
    std::optional<double> worst;
    for (int i = 0; i <= record.SweepPlan.Steps && i <= kMaxStepSlot; ++i) {
        const double nf = record.NoiseFigureDb[size_t(i)];
        if (nf >= 0 && std::isfinite(nf) && (!worst || nf > *worst))
            worst = nf;
    }
    return worst;
}
