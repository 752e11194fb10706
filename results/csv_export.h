#pragma once
// The measurement as comma-separated values, for a spreadsheet or a script: a few "#" lines
// with the circumstances of the measurement (when exported and measured, noise source and its ENR, room temperature,
// analyser settings, report details), one line of column titles, then one row per step.
//
// The text is UTF-8 with "\n" line ends. The separator is "," and the decimal point always ".",
// whatever the locale, so that a file reads the same everywhere. A value that does not exist
// (the noise figure of a step whose evaluation failed) is an empty cell.
//
// Widget-free: the window hands in the measurement and the details; the rows come from the
// same evaluation as the step display's (EvaluateStep), and WriteCsvExport writes the file.

#include "noise/calculator.h"
#include "noise/evaluation.h"
#include "noise/measurement_record.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

/// One step of the measurement as the step display shows it. Levels in dBm, gain, noise
/// figure and Y-factors in dB, the noise temperature in kelvin; nothing where the evaluation
/// gave no value.
struct CsvStepRow
{
    int step = 0;  ///< index in the sweep plan, 0 for the first frequency
    double frequencyHz = 0;  ///< the step's frequency at the noise source (where its ENR is looked up)
    double n2offDbm = 0;   ///< calibration, noise source off
    double n2onDbm = 0;    ///< calibration, noise source on
    double n12offDbm = 0;  ///< with DUT, noise source off
    double n12onDbm = 0;   ///< with DUT, noise source on
    std::optional<double> gainDb;
    std::optional<double> noiseFigureDb;
    std::optional<double> noiseFactor;        ///< linear, 10^(NF/10)
    std::optional<double> noiseTemperatureK;  ///< 290 K × (noise factor − 1)
    std::optional<double> yCalibrationDb;     ///< N2on − N2off
    std::optional<double> yDutDb;             ///< N12on − N12off
    std::optional<double> uncertaintyDb;      ///< ± of the noise figure, where one can be given
    QString guidelines;                       ///< the findings' sentences, empty within every guideline
};

/// One column of the table: its title (with the unit in parentheses) and the finished cell of
/// a row (CsvNumber or CsvText), empty when the row has no value. Columns added later (uncertainty, guideline marks)
/// are appended to StepCsvColumns() by the caller; a column that keeps its own data per step
/// finds it by CsvStepRow::step.
struct CsvColumn
{
    QString title;
    std::function<QString(const CsvStepRow &row)> cell;
};

/// The columns of every export: frequency, the four levels, gain, noise figure, noise factor,
/// noise temperature, both Y-factors, the uncertainty and the guideline findings.
QList<CsvColumn> StepCsvColumns();

/// What stands above the table. Text values are written as they are; a value with line breaks
/// becomes one "#" line per line.
struct CsvExportDetails
{
    QDateTime written;         ///< "# Exported:", as ISO 8601 with its offset from UTC
    /// "# Measured:", when the measurement was taken; invalid (no line) when the source does
    /// not hold it, as a *.mea file does not.
    QDateTime measured;
    QString noiseSourceText;   ///< the source the rows are evaluated with
    EvaluationContext context;  ///< the ENR and the room temperature (K) the rows are evaluated with
    QString rbwText;           ///< as the analyser got it: "3 MHz"
    QString vbwText;           ///< "10 Hz"
    QString averageText;       ///< sweep count: "10"
    QList<std::pair<QString, QString>> reportDetails;  ///< optional, in this order ("DUT", "LNA 2")
};

/// The row of `step` from its evaluation: gain only without an arithmetic failure, noise
/// figure, noise factor and noise temperature only where a noise figure could be computed.
CsvStepRow CsvStepRowOf(int step, const StepEvaluation &evaluation);

/// The rows of the steps 0 to Steps of `record`'s plan, each evaluated as the step display
/// evaluates it, with the context of `details`, so the
/// table and the lines above it tell the same story. A conversion or lookup failure (an ENR
/// table cell that is not a number) propagates as EConvertError or EMathError, as it does in
/// the step display.
QList<CsvStepRow> CsvStepRows(const MeasurementRecord &record, const CsvExportDetails &details);

/// A number as a cell: rounded to twelve significant digits and written in the fewest digits
/// that keep them, "." as decimal point, no grouping, no exponent; empty for no value or a value
/// that is not finite. A level such as -75.55 reads back as the same double.
QString CsvNumber(std::optional<double> value);

/// A text as a cell: quoted, with quotes doubled, when it holds a separator, a quote or a line
/// break (RFC 4180).
QString CsvText(const QString &text);

/// The whole file: the "#" lines of `details`, the titles of `columns`, one line per row.
QByteArray CsvExportText(const QList<CsvStepRow> &rows, const CsvExportDetails &details,
                         const QList<CsvColumn> &columns = StepCsvColumns());

/// Writes CsvExportText to `path` through a temporary file that replaces the target only when
/// complete. False, with the system's reason in `error`, when that fails.
bool WriteCsvExport(const QString &path, const QList<CsvStepRow> &rows,
                    const CsvExportDetails &details, QString *error,
                    const QList<CsvColumn> &columns = StepCsvColumns());
