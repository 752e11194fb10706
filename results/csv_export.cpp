#include "results/csv_export.h"

#include "base/files.h"
#include "base/version.h"
#include "noise/step_confidence.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

CsvColumn numberColumn(const char *title, std::optional<double> (*value)(const CsvStepRow &))
{
    return {QString::fromUtf8(title), [value](const CsvStepRow &row) { return CsvNumber(value(row)); }};
}

/// One "# key: value" line per line of the value, so a line break in a typed text never
/// starts a line that a reader would take for a row.
void appendDetail(QString &out, const QString &key, const QString &value)
{
    const QStringList lines = value.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (const QString &line : lines)
        out += QStringLiteral("# ") + key + QStringLiteral(": ") + line + u'\n';
}

void appendEnr(QString &out, const EnrSource &enr)
{
    if (enr.mode == 0) {
        appendDetail(out, QStringLiteral("ENR"), enr.enrAllText);
        return;
    }
    for (const EnrRow &row : enr.rows) {
        if (row.FrequencyText.trimmed().isEmpty() && row.EnrText.trimmed().isEmpty())
            continue;
        appendDetail(out, QStringLiteral("ENR at ") + row.FrequencyText.trimmed() + QStringLiteral(" GHz"),
                     row.EnrText.trimmed() + QStringLiteral(" dB"));
    }
}

}  // namespace

QList<CsvColumn> StepCsvColumns()
{
    return {
        numberColumn("Frequency (Hz)", [](const CsvStepRow &r) -> std::optional<double> { return r.frequencyHz; }),
        numberColumn("N2off (dBm)", [](const CsvStepRow &r) -> std::optional<double> { return r.n2offDbm; }),
        numberColumn("N2on (dBm)", [](const CsvStepRow &r) -> std::optional<double> { return r.n2onDbm; }),
        numberColumn("N12off (dBm)", [](const CsvStepRow &r) -> std::optional<double> { return r.n12offDbm; }),
        numberColumn("N12on (dBm)", [](const CsvStepRow &r) -> std::optional<double> { return r.n12onDbm; }),
        numberColumn("Gain (dB)", [](const CsvStepRow &r) { return r.gainDb; }),
        numberColumn("Noise figure (dB)", [](const CsvStepRow &r) { return r.noiseFigureDb; }),
        numberColumn("Noise factor", [](const CsvStepRow &r) { return r.noiseFactor; }),
        numberColumn("Noise temperature (K)", [](const CsvStepRow &r) { return r.noiseTemperatureK; }),
        numberColumn("Y calibration (dB)", [](const CsvStepRow &r) { return r.yCalibrationDb; }),
        numberColumn("Y with DUT (dB)", [](const CsvStepRow &r) { return r.yDutDb; }),
        numberColumn("Uncertainty (dB)", [](const CsvStepRow &r) { return r.uncertaintyDb; }),
        {QStringLiteral("Guidelines"), [](const CsvStepRow &r) { return CsvText(r.guidelines); }},
    };
}

CsvStepRow CsvStepRowOf(int step, const StepEvaluation &evaluation)
{
    CsvStepRow row;
    row.step = step;
    row.frequencyHz = evaluation.enrHz;
    row.n2offDbm = evaluation.levels.n2off;
    row.n2onDbm = evaluation.levels.n2on;
    row.n12offDbm = evaluation.levels.n12off;
    row.n12onDbm = evaluation.levels.n12on;
    if (!evaluation.failed)
        row.gainDb = evaluation.gainDb;
    if (evaluation.hasNoiseFigure()) {
        row.noiseFigureDb = evaluation.noiseFigureDb;
        row.noiseFactor = evaluation.noiseFactor();
        row.noiseTemperatureK = evaluation.noiseTemperatureK();
    }
    row.yCalibrationDb = evaluation.calibrationYDb();
    row.yDutDb = evaluation.dutYDb();
    // As the step display shows them under the noise figure.
    const StepConfidence &c = evaluation.confidence;
    if (c.uncertainty.valid)
        row.uncertaintyDb = c.uncertainty.uncertaintyDb;
    row.guidelines = GuidelineText(c.findings);
    return row;
}

QList<CsvStepRow> CsvStepRows(const MeasurementRecord &record, const CsvExportDetails &details)
{
    QList<CsvStepRow> rows;
    const int steps = std::clamp(record.SweepPlan.Steps, 0, kMaxStepSlot);
    for (int i = 0; i <= steps; ++i)
        rows << CsvStepRowOf(i, EvaluateStep(record, i, details.context));
    return rows;
}

QString CsvNumber(std::optional<double> value)
{
    if (!value || !std::isfinite(*value))
        return {};
    // Twelve significant digits are far more than any level or result holds, and they keep
    // the last-bit noise of the arithmetic (5.299999999999997 for 5.3) out of the file.
    // QString::number ignores the locale: "." whatever LC_NUMERIC says.
    const double rounded = QString::number(*value, 'g', 12).toDouble();
    return QString::number(rounded, 'f', QLocale::FloatingPointShortest);
}

QString CsvText(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QByteArray CsvExportText(const QList<CsvStepRow> &rows, const CsvExportDetails &details,
                         const QList<CsvColumn> &columns)
{
    QString out;
    out += QStringLiteral("# Tessary ") + VersionText() + QStringLiteral(" measurement\n");
    const auto iso = [](const QDateTime &t) { return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate); };
    appendDetail(out, QStringLiteral("Exported"), iso(details.written));
    if (details.measured.isValid())
        appendDetail(out, QStringLiteral("Measured"), iso(details.measured));
    appendDetail(out, QStringLiteral("Noise source"), details.noiseSourceText);
    appendEnr(out, details.context.enr);
    appendDetail(out, QStringLiteral("Room temperature"),
                 CsvNumber(details.context.roomTemperatureK) + QStringLiteral(" K"));
    appendDetail(out, QStringLiteral("RBW"), details.rbwText);
    appendDetail(out, QStringLiteral("VBW"), details.vbwText);
    appendDetail(out, QStringLiteral("Averaging"), details.averageText);
    for (const auto &[key, value] : details.reportDetails)
        appendDetail(out, key, value);

    QStringList cells;
    for (const CsvColumn &column : columns)
        cells << CsvText(column.title);
    out += cells.join(u',') + u'\n';
    for (const CsvStepRow &row : rows) {
        cells.clear();
        for (const CsvColumn &column : columns)
            cells << column.cell(row);
        out += cells.join(u',') + u'\n';
    }
    return out.toUtf8();
}

bool WriteCsvExport(const QString &path, const QList<CsvStepRow> &rows,
                    const CsvExportDetails &details, QString *error, const QList<CsvColumn> &columns)
{
    return WriteFileAtomically(path, CsvExportText(rows, details, columns), error);
}
