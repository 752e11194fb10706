#include "run/calibration_file.h"

#include "base/files.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

const QString kFormat = QStringLiteral("tessary-calibration");

/// Reads the fields of one JSON object and remembers the first that is missing or of the wrong
/// type, so that a decoder can read everything and then ask once.
class FieldReader
{
public:
    FieldReader(const QJsonObject &object, QString where, QString *error)
        : m_object(object), m_where(std::move(where)), m_error(error) {}

    double number(const char *name)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (!v.isDouble() || !std::isfinite(v.toDouble())) {
            fail(name, "a finite number");
            return 0;
        }
        return v.toDouble();
    }
    int integer(const char *name, int low, int high)
    {
        const double v = number(name);
        // After an earlier fault the value is not checked again, and none outside the bounds
        // is converted.
        if (v != std::floor(v) || v < low || v > high) {
            if (ok())
                fail(name, qPrintable(QStringLiteral("a whole number from %1 to %2").arg(low).arg(high)));
            return low;
        }
        return int(v);
    }
    QString text(const char *name)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (!v.isString())
            fail(name, "a text");
        return v.toString();
    }
    bool boolean(const char *name)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (!v.isBool())
            fail(name, "true or false");
        return v.toBool();
    }
    QJsonObject object(const char *name)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (!v.isObject())
            fail(name, "an object");
        return v.toObject();
    }
    QJsonArray array(const char *name)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (!v.isArray())
            fail(name, "a list");
        return v.toArray();
    }
    bool ok() const { return m_error->isEmpty(); }
    void fail(const char *name, const char *expected)
    {
        if (ok())
            *m_error = QStringLiteral("\"%1%2\" is not %3").arg(m_where, QLatin1String(name), QLatin1String(expected));
    }

private:
    QJsonObject m_object;
    QString m_where;
    QString *m_error;
};

QJsonObject EncodeSettings(const SetupSettings &s)
{
    return {{QStringLiteral("startHz"), s.startHz},     {QStringLiteral("rbw"), s.rbwText},
            {QStringLiteral("vbw"), s.vbwText},         {QStringLiteral("vbwIndex"), s.vbwIndex},
            {QStringLiteral("average"), s.averageText}, {QStringLiteral("rfAtt"), s.rfAttText},
            {QStringLiteral("refLevel"), s.refLevelText}, {QStringLiteral("range"), s.rangeText}};
}

}  // namespace

QByteArray EncodeCalibrationFile(const CalibrationFile &c)
{
    const SweepPlan &plan = c.state.plan;
    QJsonArray steps;
    for (const CalibrationStep &s : c.steps)
        steps.append(QJsonObject{{QStringLiteral("rfHz"), s.rfHz}, {QStringLiteral("ifHz"), s.ifHz},
                                 {QStringLiteral("n2offDbm"), s.n2offDbm}, {QStringLiteral("n2onDbm"), s.n2onDbm}});
    QJsonArray rows;
    for (const EnrRow &row : c.enr.rows)
        rows.append(QJsonArray{row.FrequencyText, row.EnrText});
    QJsonObject enr{{QStringLiteral("mode"), c.enr.mode},
                    {QStringLiteral("constant"), c.enr.enrAllText},
                    {QStringLiteral("noiseSource"), c.enr.noiseSourceText},
                    {QStringLiteral("table"), rows}};
    // Only a table an ENR data file filled in part says how many rows it reads.
    if (c.enr.dataFileRows > 0)
        enr.insert(QStringLiteral("dataFileRows"), c.enr.dataFileRows);
    const QJsonObject root{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("version"), kCalibrationFileVersion},
        {QStringLiteral("endedAt"), c.state.endedAt.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("analyser"), c.analyserIdentity},
        {QStringLiteral("roomTemperatureK"), c.roomTemperatureK},
        {QStringLiteral("single"), c.state.single},
        {QStringLiteral("plan"), QJsonObject{{QStringLiteral("startHz"), plan.Start},
                                             {QStringLiteral("stopHz"), plan.Stop},
                                             {QStringLiteral("stepHz"), plan.Step},
                                             {QStringLiteral("steps"), plan.Steps}}},
        {QStringLiteral("settings"), EncodeSettings(c.state.settings)},
        {QStringLiteral("enr"), enr},
        {QStringLiteral("steps"), steps},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

EnrSource EnrSourceOfCalibration(const CalibrationEnr &enr)
{
    EnrSource s;
    s.mode = enr.mode;
    s.enrAllText = enr.enrAllText;
    s.rows = enr.rows;
    s.dataFileRows = enr.dataFileRows;
    return s;
}

CalibrationDecodeResult DecodeCalibrationFile(const QByteArray &bytes)
{
    CalibrationDecodeResult result;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (doc.isNull()) {
        const bool cut = parseError.offset >= bytes.trimmed().size()
                         || parseError.error == QJsonParseError::UnterminatedObject
                         || parseError.error == QJsonParseError::UnterminatedArray
                         || parseError.error == QJsonParseError::UnterminatedString;
        result.error = cut ? QStringLiteral("the calibration file is cut short or corrupt")
                           : QStringLiteral("not a calibration file (%1 at byte %2)")
                                 .arg(parseError.errorString()).arg(parseError.offset);
        return result;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value(QLatin1String("format")).toString() != kFormat) {
        result.error = QStringLiteral("not a calibration file");
        return result;
    }
    QString error;
    FieldReader top(root, QString(), &error);
    const double version = top.number("version");
    if (!error.isEmpty()) {
        result.error = error;
        return result;
    }
    if (version > kCalibrationFileVersion) {
        result.error = QStringLiteral("the calibration file has format version %1, written by a newer "
                                      "Tessary; this one reads version %2")
                           .arg(version).arg(kCalibrationFileVersion);
        return result;
    }
    if (version != kCalibrationFileVersion) {
        result.error = QStringLiteral("the calibration file has the unknown format version %1").arg(version);
        return result;
    }

    CalibrationFile c;
    c.state.valid = true;
    c.state.endedAt = QDateTime::fromString(top.text("endedAt"), Qt::ISODateWithMs);
    c.analyserIdentity = top.text("analyser");
    c.roomTemperatureK = top.number("roomTemperatureK");
    c.state.single = top.boolean("single");
    FieldReader plan(top.object("plan"), QStringLiteral("plan."), &error);
    c.state.plan.Start = plan.number("startHz");
    c.state.plan.Stop = plan.number("stopHz");
    c.state.plan.Step = plan.number("stepHz");
    c.state.plan.Steps = plan.integer("steps", 0, kMaxStepSlot);
    FieldReader settings(top.object("settings"), QStringLiteral("settings."), &error);
    SetupSettings &s = c.state.settings;
    s.startHz = settings.number("startHz");
    s.rbwText = settings.text("rbw");
    s.vbwText = settings.text("vbw");
    s.vbwIndex = settings.integer("vbwIndex", -1, 1000);
    s.averageText = settings.text("average");
    s.rfAttText = settings.text("rfAtt");
    s.refLevelText = settings.text("refLevel");
    s.rangeText = settings.text("range");
    const QJsonObject enrObject = top.object("enr");
    FieldReader enr(enrObject, QStringLiteral("enr."), &error);
    c.enr.mode = enr.integer("mode", 0, 2);
    c.enr.enrAllText = enr.text("constant");
    c.enr.noiseSourceText = enr.text("noiseSource");
    if (enrObject.contains(QLatin1String("dataFileRows")))
        c.enr.dataFileRows = enr.integer("dataFileRows", 1, kEnrRows);
    const QJsonArray rows = enr.array("table");
    if (error.isEmpty() && rows.size() != kEnrRows)
        error = QStringLiteral("\"enr.table\" does not hold %1 rows").arg(kEnrRows);
    for (qsizetype i = 0; error.isEmpty() && i < rows.size(); ++i) {
        const QJsonArray row = rows[i].toArray();
        if (row.size() != 2 || !row[0].isString() || !row[1].isString())
            error = QStringLiteral("row %1 of \"enr.table\" is not two texts").arg(i + 1);
        else
            c.enr.rows[size_t(i)] = {row[0].toString(), row[1].toString()};
    }
    const QJsonArray steps = top.array("steps");
    if (error.isEmpty() && steps.size() != c.state.plan.Steps + 1)
        error = QStringLiteral("\"steps\" holds %1 frequencies where the plan has %2")
                    .arg(steps.size()).arg(c.state.plan.Steps + 1);
    for (qsizetype i = 0; error.isEmpty() && i < steps.size(); ++i) {
        FieldReader step(steps[i].toObject(), QStringLiteral("steps[%1].").arg(i), &error);
        if (!steps[i].isObject())
            step.fail("", "an object");
        c.steps.append({step.number("rfHz"), step.number("ifHz"), step.number("n2offDbm"), step.number("n2onDbm")});
    }
    if (error.isEmpty() && !c.state.endedAt.isValid())
        error = QStringLiteral("\"endedAt\" is not a date and time");
    if (error.isEmpty() && c.roomTemperatureK <= 0)
        error = QStringLiteral("\"roomTemperatureK\" is not above 0 K");
    if (!error.isEmpty()) {
        result.error = QStringLiteral("corrupt calibration file: ") + error;
        return result;
    }
    result.calibration = c;
    return result;
}

CalibrationDecodeResult LoadCalibrationFile(const QString &path)
{
    CalibrationDecodeResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = path + QStringLiteral(": ") + file.errorString();
        return result;
    }
    // A calibration of 100 frequencies is some 20 kB; anything far larger is not one.
    constexpr qint64 kMaxSize = 4 * 1024 * 1024;
    if (file.size() > kMaxSize) {
        result.error = path + QStringLiteral(": not a calibration file (too large)");
        return result;
    }
    result = DecodeCalibrationFile(file.readAll());
    if (!result.calibration)
        result.error = path + QStringLiteral(": ") + result.error;
    return result;
}

bool SaveCalibrationFile(const QString &path, const CalibrationFile &calibration, QString *error)
{
    QString why;
    if (WriteFileAtomically(path, EncodeCalibrationFile(calibration), &why))
        return true;
    if (error)
        *error = path + QStringLiteral(": ") + why;
    return false;
}

void ApplyCalibrationLevels(const CalibrationFile &calibration, MeasurementRecord &record)
{
    for (qsizetype i = 0; i < calibration.steps.size() && i <= kMaxStepSlot; ++i) {
        record.N2off[size_t(i)] = calibration.steps[i].n2offDbm;
        record.N2on[size_t(i)] = calibration.steps[i].n2onDbm;
    }
}

QList<CalibrationStep> CalibrationStepsOf(const MeasurementRecord &record, const SweepPlan &plan)
{
    QList<CalibrationStep> steps;
    for (int i = 0; i <= plan.Steps && i <= kMaxStepSlot; ++i) {
        steps.append({plan.enrHz(i), plan.tuneHz(i), record.N2off[size_t(i)], record.N2on[size_t(i)]});
    }
    return steps;
}

qint64 CalibrationAgeSeconds(const QDateTime &endedAt, const QDateTime &now)
{
    return endedAt.secsTo(now);
}

QString CalibrationAgeText(qint64 seconds)
{
    if (seconds < 0)
        return QStringLiteral("in the future");
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 86400)
        return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
    return QStringLiteral("%1 d %2 h").arg(seconds / 86400).arg(seconds % 86400 / 3600);
}
