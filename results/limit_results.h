#pragma once
// A measurement's results against limit lines, as the CSV, the window and the command line
// give them: every step's check from the CSV's own rows, and the columns the CSV gains (each
// kind of limit in force, then pass or fail). Widget-free.

#include "noise/limits.h"
#include "noise/measurement_record.h"
#include "results/csv_export.h"

#include <QList>
#include <optional>

/// Every row against the limits, in the rows' order (a row's step is its index); empty
/// without limits.
QList<StepLimitResult> StepLimitResults(const QList<CsvStepRow> &rows, const LimitSet &limits);

/// The columns of the limits: "NF upper (dB)" ... for each kind that has points, then "Limits"
/// with "pass" or "fail" ("" where no limit applies). `results` is indexed by the rows' steps.
/// None without limits, so a CSV without them stays as it was.
QList<CsvColumn> LimitCsvColumns(const LimitSet &limits, const QList<StepLimitResult> &results);

/// The largest noise figure of 0 dB or more among the steps 0..Steps of `record`; nothing
/// when there is none.
std::optional<double> WorstNoiseFigure(const MeasurementRecord &record);
