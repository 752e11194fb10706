#pragma once
// A measurement evaluated through its bench: for each step the RF of the plan, the IF the
// analyser was tuned to, the losses looked up where they sit (before the DUT at the RF, after
// it at the IF), both noise sources' ENR where their noise entered, and the DUT's own gain and
// noise figure after every correction; and the CSV of it, which adds the columns "IF (Hz)",
// "Loss before (dB)", "Loss after (dB)" and "Uncertainty (dB)" and "#" lines naming the bench
// to the designed export. A measurement whose bench is at its defaults is exported exactly as
// the designed export writes it.

#include "noise/bench_correction.h"
#include "noise/calculator.h"
#include "results/csv_export.h"
#include "results/nfm_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

struct BenchStepRow
{
    int step = 0;
    double rfHz = 0;
    double ifHz = 0;
    double lossBeforeDb = 0;
    double lossAfterDb = 0;
    bool lossOutsideTable = false;  ///< a loss table does not reach this step
    StepEvaluation evaluation;      ///< the designed evaluation: levels as read back
    BenchStepResult result;         ///< after the bench corrections
    std::optional<double> uncertaintyDb;
};

/// The ENR of `source` at `hz`, in dB, as LookupEnr gives it (and throws).
double SourceEnrDb(const NfmEnrSource &source, double hz);

/// Steps 0..Steps of `m`. EConvertError or EMathError from an ENR table cell propagate.
QList<BenchStepRow> EvaluateBenchSteps(const CompleteMeasurement &m);

/// Writes each step's corrected gain and noise figure into `record` (-1 where no noise figure).
void StoreBenchResults(MeasurementRecord &record, const QList<BenchStepRow> &rows);

/// The designed export's details of `m` (date `written`).
CsvExportDetails BenchCsvDetails(const CompleteMeasurement &m, const QDateTime &written);

/// The CSV of `m` with the designed `details`: the designed export when its bench is at the
/// defaults, else with the bench's "#" lines and columns and the corrected figures.
QByteArray BenchCsvText(const CompleteMeasurement &m, CsvExportDetails details);

/// The settings of `m` that a measurement file (*.mea) cannot hold, named for the operator
/// ("loss before the DUT", "DUT type", ...); empty when it holds them all.
QStringList SettingsMeaCannotHold(const CompleteMeasurement &m);
