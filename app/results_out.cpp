#include "app/results_out.h"

#include "base/engvalue.h"
#include "base/files.h"
#include "noise/step_confidence.h"
#include "run/designed_options.h"

#include <QBuffer>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QSvgGenerator>

namespace {

/// The system's long time format (hours, minutes and seconds) without the time zone that Qt
/// adds to it: the zone's letters ("t") outside quoted text are dropped.
QString LongTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

/// Date and time as the operator's system writes them: short date, "/", long time.
QString ReportDateText(const QDateTime &now)
{
    const QLocale locale = QLocale::system();
    return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char('/') +
           locale.toString(now.time(), LongTimeFormat(locale));
}

}  // namespace

QString NoiseSourceTextOf(const MeasurementHeader &header)
{
    if (!header.NoiseSourceText.isEmpty())
        return FromWindows1252(header.NoiseSourceText);
    switch (header.EnrSource) {
    case 0: return QStringLiteral("const.");
    case 1: return QStringLiteral("Table1");
    case 2: return QStringLiteral("Table2");
    default: return QStringLiteral("not saved");
    }
}

QList<std::pair<QString, QString>> ReportDetailLines(const ReportTexts &t, const QStringList &remarks)
{
    const std::pair<QString, QString> fields[] = {
        {QStringLiteral("Test engineer"), t.Engineer},     {QStringLiteral("DUT"), t.DUT},
        {QStringLiteral("Report room temperature"), t.Temperature}, {QStringLiteral("Report date"), t.Date},
        {QStringLiteral("Frequency start"), t.FreqStart},  {QStringLiteral("Frequency end"), t.FreqStop},
        {QStringLiteral("Report noise source"), t.NoiseSource}, {QStringLiteral("Frequency steps"), t.FreqSteps},
    };
    QList<std::pair<QString, QString>> lines;
    for (const auto &[key, value] : fields)
        if (!value.trimmed().isEmpty())
            lines.append({key, value});
    QStringList printed = remarks;
    for (const QString &remark : TakeRemarkLines(printed))
        lines.append({QStringLiteral("Remarks"), remark});
    return lines;
}

CsvExportDetails MeasurementCsvDetails(const MeasurementRecord &record, const EvaluationContext &context,
                                       const QString &sourceText, const QList<std::pair<QString, QString>> &reportDetails,
                                       const QDateTime &written)
{
    const HeaderSettingTexts settings = SettingTextsOf(record.MeasurementHeader);
    CsvExportDetails d;
    d.written = written;
    // The rows are evaluated with `context`, whose source need not be the one the measurement
    // was taken with: the line names the one the numbers below come from.
    d.noiseSourceText = sourceText.isEmpty() ? NoiseSourceTextOf(record.MeasurementHeader) : sourceText;
    d.context = context;
    d.rbwText = settings.rbw;
    d.vbwText = settings.vbw;
    d.averageText = settings.average;
    d.reportDetails = reportDetails;
    return d;
}

QByteArray MeasurementCsvText(const MeasurementRecord &record, const CsvExportDetails &details,
                              const QList<CsvColumn> &columns)
{
    return CsvExportText(CsvStepRows(record, details), details, columns);
}

bool WriteMeasurementCsv(const QString &path, const MeasurementRecord &record,
                         const CsvExportDetails &details, QString *error, const QList<CsvColumn> &columns)
{
    return WriteCsvExport(path, CsvStepRows(record, details), details, error, columns);
}

ReportTexts ReportTextsOf(const MeasurementRecord &record, const QString &noiseSourceText, const QDateTime &now)
{
    const SweepPlan &plan = record.SweepPlan;
    ReportTexts t;
    t.FreqStart = FormatValue(2, fvHz + fvPrefix, plan.Start);
    t.FreqStop = FormatValue(2, fvHz + fvPrefix, plan.Stop);
    t.NoiseSource = noiseSourceText;
    t.Date = ReportDateText(now);
    t.FreqSteps = QString::number(plan.Steps);
    t.Temperature = FormatValue(1, 0, record.RoomTemperature - 273.15) + QStringLiteral(" \u00B0C");
    return t;
}

void FillReportConfidence(ReportInput &input, const MeasurementRecord &record, const EvaluationContext &context)
{
    try {
        SweepConfidence confidence;
        AssessSweep(confidence, record, context);
        input.LargestUncertaintyDb = confidence.largestUncertaintyDb(record.SweepPlan.Steps);
        for (size_t i = 0; i < input.OutsideGuidelines.size(); ++i)
            input.OutsideGuidelines[i] = confidence.assessed[i] && confidence.outsideGuidelines[i];
    } catch (const std::exception &) {
        // Without them, as a report of a step that cannot be evaluated goes out.
    }
}

bool SaveGraph(const QString &path, const QImage &shown, const GraphGeometry &geometry,
               const GraphData &data, QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (suffix == QLatin1String("png")) {
        if (!shown.save(&buffer, "PNG")) {
            *error = QStringLiteral("the image cannot be encoded as PNG");
            return false;
        }
    } else if (suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(shown.size());
        svg.setViewBox(QRect(QPoint(0, 0), shown.size()));
        svg.setTitle(QStringLiteral("Noise figure and gain"));
        QPainter painter(&svg);
        // The pixel grid, as on the screen: lines, markers and texts stand where the image has them.
        Canvas canvas(painter, Canvas::Grid::Pixels);
        RecomputeResults(canvas, geometry, data);
        painter.end();
    } else {
        *error = QStringLiteral("the name must end in .png or .svg");
        return false;
    }
    return WriteFileAtomically(path, buffer.data(), error);
}
