#pragma once
// A measurement evaluated through its bench: for each step the RF of the plan, the IF the
// analyser was tuned to, the losses looked up where they sit (before the DUT at the RF, after
// it at the IF), both noise sources' ENR where their noise entered, and the DUT's own gain and
// noise figure after every correction; and the CSV of it, which adds the columns "IF (Hz)",
// "Loss before (dB)", "Loss after (dB)" and "Uncertainty (dB)" and "#" lines naming the bench
// to the designed export. A measurement whose bench is at its defaults is exported exactly as
// the designed export writes it.

#include "noise/calculator.h"
#include "results/csv_export.h"
#include "results/nfm_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

/// The noise source of a file as the evaluation takes it.
EnrSource EnrSourceOf(const NfmEnrSource &source);

/// A noise source as the CSV and the JSON name it: "const. 5.52 dB", "Table1 source.tab".
QString EnrSourceText(const NfmEnrSource &source);

/// The context the steps of `m` are evaluated in: both noise sources with their data, the room
/// temperature, the uncertainty inputs and the bench.
EvaluationContext EvaluationContextOf(const CompleteMeasurement &m);

/// Steps 0..Steps of `m`, each evaluated as the step display evaluates it. EConvertError or
/// EMathError from an ENR table cell propagate.
QList<StepEvaluation> EvaluateBenchSteps(const CompleteMeasurement &m);

/// The designed export's details of `m` (date `written`).
CsvExportDetails BenchCsvDetails(const CompleteMeasurement &m, const QDateTime &written);

/// The CSV of `m` with the designed `details`: the designed export when its bench is at the
/// defaults, else with the bench's "#" lines and columns and the corrected figures;
/// `extraColumns` follow every other column.
QByteArray BenchCsvText(const CompleteMeasurement &m, CsvExportDetails details,
                        const QList<CsvColumn> &extraColumns = {});

/// The settings of `m` that a measurement file (*.mea) cannot hold, named for the operator
/// ("loss before the DUT", "DUT type", ...); empty when it holds them all.
QStringList SettingsMeaCannotHold(const CompleteMeasurement &m);

/// The warning before a measurement is saved as a measurement file (*.mea) that cannot hold the
/// settings `lost` (as SettingsMeaCannotHold names them): one message naming them all.
QString MeaKeepsNotText(const QStringList &lost);
