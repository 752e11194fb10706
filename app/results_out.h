#pragma once
// Results out of the program beside the designed files: a measurement as CSV, the result graph
// as PNG or SVG, and the details a printed report starts from. The window's menu commands and
// the command line both go through these functions, so a file looks the same whichever wrote it.
// Widget-free: callers hand in the record, the ENR in use and the texts they hold.

#include "report/print_report.h"
#include "results/csv_export.h"
#include "results/graph.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

/// The save dialogs' filter lists of the exports ("Name (*.x)|*.x|...").
inline QString CsvFilter() { return QStringLiteral("CSV (*.csv)|*.csv|all Files (*.*)|*.*"); }
inline QString GraphFilter()
{
    return QStringLiteral("PNG image (*.png)|*.png|SVG drawing (*.svg)|*.svg|all Files (*.*)|*.*");
}

/// The description of the noise source a measurement was taken with, as loading it shows it:
/// the header's text, or for an old file without one "const.", "Table1", "Table2" by its
/// source number ("not saved" for any other number).
QString NoiseSourceTextOf(const MeasurementHeader &header);

/// The report details worth a CSV header line: every filled field of the report form under its
/// printed caption, then the remark lines (without the placeholder), in the report's order.
QList<std::pair<QString, QString>> ReportDetailLines(const ReportTexts &texts, const QStringList &remarks);

/// What stands above the CSV table of `record`: the noise source named by `sourceText` (the
/// header's when empty), the analyser settings its header recorded, and the context (ENR, room
/// temperature) the rows are evaluated with.
CsvExportDetails MeasurementCsvDetails(const MeasurementRecord &record, const EvaluationContext &context,
                                       const QString &sourceText,
                                       const QList<std::pair<QString, QString>> &reportDetails = {},
                                       const QDateTime &written = QDateTime::currentDateTime());

/// Evaluates every step of `record` with `details`: the text of the CSV file.
QByteArray MeasurementCsvText(const MeasurementRecord &record, const CsvExportDetails &details,
                              const QList<CsvColumn> &columns = StepCsvColumns());

/// Evaluates every step of `record` with `details` and writes the CSV file (through a temporary
/// file). False with the reason in `error`; a conversion error of the ENR or temperature
/// propagates as it does in the step display.
bool WriteMeasurementCsv(const QString &path, const MeasurementRecord &record,
                         const CsvExportDetails &details, QString *error,
                         const QList<CsvColumn> &columns = StepCsvColumns());

/// The report details form's texts that the print command fills from a measurement; the
/// engineer and the DUT are left empty. The date is the system's short date and long time.
ReportTexts ReportTextsOf(const MeasurementRecord &record, const QString &noiseSourceText,
                          const QDateTime &now = QDateTime::currentDateTime());

/// The sweep's confidence on the report as the step display gives it: the largest uncertainty
/// and the steps outside the guidelines, from the levels of `record` evaluated in `context`.
/// A step that cannot be evaluated (an ENR cell that does not read) leaves both out.
void FillReportConfidence(ReportInput &input, const MeasurementRecord &record, const EvaluationContext &context);

/// The graph saved in the format its file name ends in: ".png" the image `shown` pixel for
/// pixel; ".svg" the same graph (`geometry`, `data`) painted anew as a drawing of the same size.
/// False with the reason in `error` (also for any other extension).
bool SaveGraph(const QString &path, const QImage &shown, const GraphGeometry &geometry,
               const GraphData &data, QString *error);
