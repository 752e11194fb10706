#include "results/nfm_file.h"

#include "base/errors.h"
#include "base/files.h"
#include "noise/enr_store.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <cmath>
#include <limits>

namespace {

const char *const kFormat = "tessary-measurement";

// ---- Writing ----------------------------------------------------------------------------------

QJsonValue Num(double v)
{
    if (std::isnan(v))
        return QStringLiteral("nan");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return v;
}

QJsonValue OptNum(const std::optional<double> &v)
{
    return v ? Num(*v) : QJsonValue(QJsonValue::Null);
}

QJsonObject EnrSourceObject(const NfmEnrSource &s)
{
    QJsonArray rows;
    for (int i = 0; i < kEnrRows; ++i)
        rows.append(QJsonArray{s.rows[i].FrequencyText, s.rows[i].EnrText, OptNum(s.uncertaintyDb[i])});
    QJsonObject o{{"mode", s.mode}, {"enrAll", s.enrAllText}, {"fileName", s.fileName}, {"rows", rows}};
    // Only a table an ENR data file filled in part says how many rows it reads.
    if (s.dataFileRows > 0)
        o.insert(QStringLiteral("dataFileRows"), s.dataFileRows);
    return o;
}

const char *LossModeKey(LossMode m)
{
    switch (m) {
    case LossMode::Off:
        break;
    case LossMode::Fixed:
        return "fixed";
    case LossMode::Table:
        return "table";
    }
    return "off";
}

QJsonObject LossObject(const LossSetting &l)
{
    QJsonArray table;
    for (const LossPoint &p : l.table)
        table.append(QJsonArray{Num(p.frequencyHz), Num(p.lossDb)});
    return QJsonObject{{"mode", LossModeKey(l.mode)}, {"db", Num(l.fixedDb)}, {"file", l.tableFile},
                       {"table", table}, {"temperatureK", OptNum(l.temperatureK)}};
}

// ---- Reading ----------------------------------------------------------------------------------

/// A field that is not what it must be: the message names it.
struct Fault
{
    QString text;
};

[[noreturn]] void Bad(const QString &where, const char *what)
{
    throw Fault{QStringLiteral("%1 %2").arg(where, QLatin1String(what))};
}

QJsonValue Field(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        Bad(where + u'.' + QLatin1String(key), "is missing");
    return v;
}

QString Path(const QString &where, const char *key) { return where + u'.' + QLatin1String(key); }

double ToNum(const QJsonValue &v, const QString &where, bool finiteOnly = true)
{
    if (v.isDouble())
        return v.toDouble();
    if (!finiteOnly && v.isString()) {
        const QString s = v.toString();
        if (s == QLatin1String("nan"))
            return std::numeric_limits<double>::quiet_NaN();
        if (s == QLatin1String("inf"))
            return std::numeric_limits<double>::infinity();
        if (s == QLatin1String("-inf"))
            return -std::numeric_limits<double>::infinity();
    }
    Bad(where, "is not a number");
}

double GetNum(const QJsonObject &o, const char *key, const QString &where, bool finiteOnly = true)
{
    return ToNum(Field(o, key, where), Path(where, key), finiteOnly);
}

std::optional<double> GetOptNum(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = Field(o, key, where);
    if (v.isNull())
        return std::nullopt;
    return ToNum(v, Path(where, key));
}

int GetInt(const QJsonObject &o, const char *key, const QString &where, int low, int high)
{
    const double v = GetNum(o, key, where);
    if (v != std::floor(v) || v < low || v > high)
        Bad(Path(where, key), "is not a whole number within its bounds");
    return int(v);
}

QString GetText(const QJsonObject &o, const char *key, const QString &where, int limit = 4096)
{
    const QJsonValue v = Field(o, key, where);
    if (!v.isString())
        Bad(Path(where, key), "is not a text");
    const QString s = v.toString();
    if (s.size() > limit)
        Bad(Path(where, key), "is longer than the program keeps");
    return s;
}

bool GetBool(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = Field(o, key, where);
    if (!v.isBool())
        Bad(Path(where, key), "is not true or false");
    return v.toBool();
}

QJsonObject GetObject(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = Field(o, key, where);
    if (!v.isObject())
        Bad(Path(where, key), "is not an object");
    return v.toObject();
}

QJsonArray GetArray(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = Field(o, key, where);
    if (!v.isArray())
        Bad(Path(where, key), "is not a list");
    return v.toArray();
}

NfmEnrSource ReadEnrSource(const QJsonObject &o, const QString &where)
{
    NfmEnrSource s;
    s.mode = GetInt(o, "mode", where, 0, 2);
    s.enrAllText = GetText(o, "enrAll", where, 64);
    s.fileName = GetText(o, "fileName", where, 255);
    const QJsonArray rows = GetArray(o, "rows", where);
    if (rows.size() != kEnrRows)
        Bad(Path(where, "rows"), "does not hold 20 rows");
    for (int i = 0; i < kEnrRows; ++i) {
        const QString at = QStringLiteral("%1.rows[%2]").arg(where).arg(i);
        const QJsonArray row = rows[i].toArray();
        if (!rows[i].isArray() || row.size() != 3 || !row[0].isString() || !row[1].isString())
            Bad(at, "is not [frequency, ENR, uncertainty]");
        s.rows[i].FrequencyText = row[0].toString();
        s.rows[i].EnrText = row[1].toString();
        if (s.rows[i].FrequencyText.size() > kEnrCellLimit || s.rows[i].EnrText.size() > kEnrCellLimit)
            Bad(at, "holds a cell longer than 32 characters");
        if (!row[2].isNull())
            s.uncertaintyDb[i] = ToNum(row[2], at);
    }
    if (o.contains(QLatin1String("dataFileRows")))
        s.dataFileRows = GetInt(o, "dataFileRows", where, 1, kEnrRows);
    return s;
}

LossSetting ReadLoss(const QJsonObject &o, const QString &where)
{
    LossSetting l;
    const QString mode = GetText(o, "mode", where, 16);
    if (mode == QLatin1String("off"))
        l.mode = LossMode::Off;
    else if (mode == QLatin1String("fixed"))
        l.mode = LossMode::Fixed;
    else if (mode == QLatin1String("table"))
        l.mode = LossMode::Table;
    else
        Bad(Path(where, "mode"), "is not off, fixed or table");
    l.fixedDb = GetNum(o, "db", where);
    l.tableFile = GetText(o, "file", where);
    const QJsonArray table = GetArray(o, "table", where);
    if (table.size() > kNfmLossPointLimit)
        Bad(Path(where, "table"), "holds too many points");
    for (qsizetype i = 0; i < table.size(); ++i) {
        const QString at = QStringLiteral("%1.table[%2]").arg(where).arg(i);
        const QJsonArray p = table[i].toArray();
        if (!table[i].isArray() || p.size() != 2)
            Bad(at, "is not [frequency, loss]");
        const LossPoint point{ToNum(p[0], at), ToNum(p[1], at)};
        if (!l.table.isEmpty() && !(point.frequencyHz > l.table.back().frequencyHz))
            Bad(at, "does not rise in frequency");
        l.table.append(point);
    }
    if (l.mode == LossMode::Table && l.table.isEmpty())
        Bad(Path(where, "table"), "is empty");
    l.temperatureK = GetOptNum(o, "temperatureK", where);
    if (l.temperatureK && !(*l.temperatureK >= 0))
        Bad(Path(where, "temperatureK"), "lies below 0 K");
    return l;
}

CompleteMeasurement ReadMeasurement(const QJsonObject &root)
{
    CompleteMeasurement m;
    const QString top = QStringLiteral("file");
    m.programVersion = GetText(root, "program", top, 64);

    const QJsonObject plan = GetObject(root, "plan", top);
    SweepPlan &p = m.record.SweepPlan;
    p.Start = GetNum(plan, "start", "plan");
    p.Stop = GetNum(plan, "stop", "plan");
    p.Step = GetNum(plan, "step", "plan");
    p.Steps = GetInt(plan, "steps", "plan", 0, kMaxStepSlot);
    p.StepIndex = GetInt(plan, "stepIndex", "plan", 0, kMaxStepSlot + 1);

    const QJsonObject header = GetObject(root, "header", top);
    MeasurementHeader &h = m.record.MeasurementHeader;
    const int big = std::numeric_limits<int32_t>::max();
    h.RbwIndex = GetInt(header, "rbwIndex", "header", -big, big);
    h.VbwIndex = GetInt(header, "vbwIndex", "header", -big, big);
    h.StepsCount = GetInt(header, "stepsCount", "header", 0, kMaxStepSlot);
    h.AverageIndex = GetInt(header, "averageIndex", "header", -big, big);
    h.EnrSource = GetInt(header, "enrSource", "header", -big, big);
    h.StartSingle = float(GetNum(header, "startSingle", "header"));
    h.StopSingle = float(GetNum(header, "stopSingle", "header"));
    const QByteArray text = ToWindows1252(GetText(header, "noiseSourceText", "header", kNoiseSourceTextLimit));
    h.NoiseSourceText = text;

    const QJsonObject record = GetObject(root, "record", top);
    m.record.Enr = GetNum(record, "enr", "record");
    m.record.T0 = GetNum(record, "t0", "record");
    m.record.RoomTemperature = GetNum(record, "roomTemperature", "record");

    const QJsonArray steps = GetArray(root, "steps", top);
    if (steps.size() != p.Steps + 1)
        Bad(QStringLiteral("steps"), "does not hold one entry per step of the plan");
    for (int i = 0; i < steps.size(); ++i) {
        const QString at = QStringLiteral("steps[%1]").arg(i);
        if (!steps[i].isObject())
            Bad(at, "is not an object");
        const QJsonObject s = steps[i].toObject();
        m.record.N2off[i] = GetNum(s, "n2off", at, false);
        m.record.N2on[i] = GetNum(s, "n2on", at, false);
        m.record.N12off[i] = GetNum(s, "n12off", at, false);
        m.record.N12on[i] = GetNum(s, "n12on", at, false);
        m.record.GainDb[i] = GetNum(s, "gainDb", at, false);
        m.record.NoiseFigureDb[i] = GetNum(s, "noiseFigureDb", at, false);
    }

    const QJsonObject temperature = GetObject(root, "temperature", top);
    m.temperatureText = GetText(temperature, "text", "temperature", 64);
    m.roomTemperatureK = GetNum(temperature, "kelvin", "temperature");

    const QJsonObject analyser = GetObject(root, "analyser", top);
    m.analyser.rbwText = GetText(analyser, "rbw", "analyser", 64);
    m.analyser.vbwText = GetText(analyser, "vbw", "analyser", 64);
    m.analyser.vbwIndex = GetInt(analyser, "vbwIndex", "analyser", -1, 1000);
    m.analyser.averageText = GetText(analyser, "average", "analyser", 64);
    m.analyser.rfAttText = GetText(analyser, "rfAtt", "analyser", 64);
    m.analyser.refLevelText = GetText(analyser, "refLevel", "analyser", 64);
    m.analyser.rangeText = GetText(analyser, "range", "analyser", 64);
    m.analyser.single = GetBool(analyser, "single", "analyser");

    const QJsonObject enr = GetObject(root, "enr", top);
    m.measurementEnr = ReadEnrSource(GetObject(enr, "measurement", "enr"), QStringLiteral("enr.measurement"));
    const QJsonValue cal = Field(enr, "calibration", "enr");
    if (!cal.isNull()) {
        if (!cal.isObject())
            Bad(QStringLiteral("enr.calibration"), "is not an object");
        m.calibrationEnr = ReadEnrSource(cal.toObject(), QStringLiteral("enr.calibration"));
    }

    const QJsonObject bench = GetObject(root, "bench", top);
    m.bench.lossBefore = ReadLoss(GetObject(bench, "lossBefore", "bench"), QStringLiteral("bench.lossBefore"));
    m.bench.lossAfter = ReadLoss(GetObject(bench, "lossAfter", "bench"), QStringLiteral("bench.lossAfter"));
    const std::optional<DutType> dut = DutTypeFromKey(GetText(bench, "dut", "bench", 16));
    if (!dut)
        Bad(QStringLiteral("bench.dut"), "is not amplifier, down or up");
    m.bench.dutType = *dut;
    m.bench.loHz = GetNum(bench, "loHz", "bench");
    m.bench.imageRejectionDb = GetOptNum(bench, "imageRejectionDb", "bench");
    m.bench.calSource = GetInt(bench, "calSource", "bench", kCalSourceAsMeasurement, 2);

    const QJsonObject u = GetObject(root, "uncertainty", top);
    m.uncertainty.enrUncertaintyDb = GetNum(u, "uEnr", "uncertainty");
    m.uncertainty.nfUncertaintyDb = GetNum(u, "uNf", "uncertainty");
    m.uncertainty.gainUncertaintyDb = GetNum(u, "uGain", "uncertainty");
    m.uncertainty.sourceVswr = GetNum(u, "vswrSource", "uncertainty");
    m.uncertainty.dutInputVswr = GetNum(u, "vswrDutIn", "uncertainty");
    m.uncertainty.dutOutputVswr = GetNum(u, "vswrDutOut", "uncertainty");
    m.uncertainty.analyserInputVswr = GetNum(u, "vswrAnalyser", "uncertainty");

    const QJsonObject report = GetObject(root, "report", top);
    const QJsonArray details = GetArray(report, "details", "report");
    for (qsizetype i = 0; i < details.size(); ++i) {
        const QJsonArray d = details[i].toArray();
        if (!details[i].isArray() || d.size() != 2 || !d[0].isString() || !d[1].isString())
            Bad(QStringLiteral("report.details[%1]").arg(i), "is not [name, text]");
        m.reportDetails.append({d[0].toString(), d[1].toString()});
    }
    const QJsonArray remarks = GetArray(report, "remarks", "report");
    for (qsizetype i = 0; i < remarks.size(); ++i) {
        if (!remarks[i].isString())
            Bad(QStringLiteral("report.remarks[%1]").arg(i), "is not a text");
        m.remarks.append(remarks[i].toString());
    }

    const QJsonObject calibration = GetObject(root, "calibration", top);
    const QJsonValue ended = Field(calibration, "endedAt", "calibration");
    if (!ended.isNull()) {
        m.calibratedAt = QDateTime::fromString(ended.toString(), Qt::ISODateWithMs);
        if (!ended.isString() || !m.calibratedAt.isValid())
            Bad(QStringLiteral("calibration.endedAt"), "is not a date and time");
    }
    // The plan was tuned to what the DUT makes of its RFs.
    m.record.SweepPlan.Conversion = m.bench.dutType;
    m.record.SweepPlan.LoHz = m.bench.loHz;
    // When the measurement pass ended: written since the CSV names it, absent from older files.
    const QJsonValue measured = root.value(QStringLiteral("measuredAt"));
    if (!measured.isUndefined() && !measured.isNull()) {
        m.measuredAt = QDateTime::fromString(measured.toString(), Qt::ISODateWithMs);
        if (!measured.isString() || !m.measuredAt.isValid())
            Bad(QStringLiteral("measuredAt"), "is not a date and time");
    }
    const QJsonArray ifs = GetArray(calibration, "ifHz", "calibration");
    if (ifs.size() > kMaxStepSlot + 1)
        Bad(QStringLiteral("calibration.ifHz"), "holds more than 100 frequencies");
    for (qsizetype i = 0; i < ifs.size(); ++i)
        m.calibrationIfsHz.append(ToNum(ifs[i], QStringLiteral("calibration.ifHz[%1]").arg(i)));
    return m;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

QByteArray EncodeCompleteMeasurement(const CompleteMeasurement &m)
{
    const MeasurementRecord &r = m.record;
    const SweepPlan &p = r.SweepPlan;
    const MeasurementHeader &h = r.MeasurementHeader;
    QJsonArray steps;
    const int last = std::clamp(int(p.Steps), 0, kMaxStepSlot);
    for (int i = 0; i <= last; ++i)
        steps.append(QJsonObject{{"n2off", Num(r.N2off[i])}, {"n2on", Num(r.N2on[i])},
                                 {"n12off", Num(r.N12off[i])}, {"n12on", Num(r.N12on[i])},
                                 {"gainDb", Num(r.GainDb[i])}, {"noiseFigureDb", Num(r.NoiseFigureDb[i])}});
    QJsonArray details;
    for (const auto &[name, text] : m.reportDetails)
        details.append(QJsonArray{name, text});
    QJsonArray ifs;
    for (double hz : m.calibrationIfsHz)
        ifs.append(Num(hz));
    QJsonObject root{
        {"format", kFormat},
        {"version", kNfmVersion},
        {"program", m.programVersion},
        {"plan", QJsonObject{{"start", Num(p.Start)}, {"stop", Num(p.Stop)}, {"step", Num(p.Step)},
                             {"stepIndex", p.StepIndex}, {"steps", last}}},
        {"header", QJsonObject{{"rbwIndex", h.RbwIndex}, {"vbwIndex", h.VbwIndex},
                               {"stepsCount", h.StepsCount}, {"averageIndex", h.AverageIndex},
                               {"enrSource", h.EnrSource}, {"startSingle", Num(h.StartSingle)},
                               {"stopSingle", Num(h.StopSingle)},
                               {"noiseSourceText", FromWindows1252(h.NoiseSourceText.left(kNoiseSourceTextLimit))}}},
        {"record", QJsonObject{{"enr", Num(r.Enr)}, {"t0", Num(r.T0)}, {"roomTemperature", Num(r.RoomTemperature)}}},
        {"steps", steps},
        {"temperature", QJsonObject{{"text", m.temperatureText}, {"kelvin", Num(m.roomTemperatureK)}}},
        {"analyser", QJsonObject{{"rbw", m.analyser.rbwText}, {"vbw", m.analyser.vbwText},
                                 {"vbwIndex", m.analyser.vbwIndex}, {"average", m.analyser.averageText},
                                 {"rfAtt", m.analyser.rfAttText}, {"refLevel", m.analyser.refLevelText},
                                 {"range", m.analyser.rangeText}, {"single", m.analyser.single}}},
        {"enr", QJsonObject{{"measurement", EnrSourceObject(m.measurementEnr)},
                            {"calibration", m.calibrationEnr ? QJsonValue(EnrSourceObject(*m.calibrationEnr))
                                                             : QJsonValue(QJsonValue::Null)}}},
        {"bench", QJsonObject{{"lossBefore", LossObject(m.bench.lossBefore)},
                              {"lossAfter", LossObject(m.bench.lossAfter)},
                              {"dut", DutTypeKey(m.bench.dutType)}, {"loHz", Num(m.bench.loHz)},
                              {"imageRejectionDb", OptNum(m.bench.imageRejectionDb)},
                              {"calSource", m.bench.calSource}}},
        {"uncertainty", QJsonObject{{"uEnr", Num(m.uncertainty.enrUncertaintyDb)},
                                    {"uNf", Num(m.uncertainty.nfUncertaintyDb)},
                                    {"uGain", Num(m.uncertainty.gainUncertaintyDb)},
                                    {"vswrSource", Num(m.uncertainty.sourceVswr)},
                                    {"vswrDutIn", Num(m.uncertainty.dutInputVswr)},
                                    {"vswrDutOut", Num(m.uncertainty.dutOutputVswr)},
                                    {"vswrAnalyser", Num(m.uncertainty.analyserInputVswr)}}},
        {"report", QJsonObject{{"details", details}, {"remarks", QJsonArray::fromStringList(m.remarks)}}},
        {"calibration", QJsonObject{{"endedAt", m.calibratedAt.isValid()
                                                    ? QJsonValue(m.calibratedAt.toString(Qt::ISODateWithMs))
                                                    : QJsonValue(QJsonValue::Null)},
                                    {"ifHz", ifs}}},
    };
    if (m.measuredAt.isValid())
        root.insert(QStringLiteral("measuredAt"), m.measuredAt.toString(Qt::ISODateWithMs));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

NfmDecodeResult DecodeCompleteMeasurement(const QByteArray &bytes)
{
    NfmDecodeResult result;
    auto refuse = [&](NfmStatus status, const QString &message) {
        result.status = status;
        result.message = message;
        return result;
    };
    qsizetype first = 0;
    while (first < bytes.size() && IsBlank(bytes[first]))
        ++first;
    if (first == bytes.size())
        return refuse(NfmStatus::Truncated, QStringLiteral("the file is empty"));
    if (bytes[first] != '{')
        return refuse(NfmStatus::Foreign, QStringLiteral("the file is not a complete measurement file"));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // A whole file ends with the closing brace of its object; one cut anywhere does not,
        // or leaves an object open.
        qsizetype end = bytes.size();
        while (end > 0 && IsBlank(bytes[end - 1]))
            --end;
        if (bytes[end - 1] != '}' || error.error == QJsonParseError::UnterminatedObject
            || error.error == QJsonParseError::UnterminatedArray
            || error.error == QJsonParseError::UnterminatedString)
            return refuse(NfmStatus::Truncated, QStringLiteral("the file ends before its content does (it was cut short)"));
        return refuse(NfmStatus::Corrupt, QStringLiteral("the file is damaged at byte %1 (%2)")
                                              .arg(error.offset).arg(error.errorString()));
    }
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String(kFormat))
        return refuse(NfmStatus::Foreign, QStringLiteral("the file is not a complete measurement file"));
    const QJsonValue version = root.value(QLatin1String("version"));
    if (!version.isDouble() || version.toDouble() != std::floor(version.toDouble()) || version.toDouble() < 1)
        return refuse(NfmStatus::Corrupt, QStringLiteral("the file's version is not a whole number from 1"));
    if (version.toDouble() > kNfmVersion)
        return refuse(NfmStatus::Newer, QStringLiteral("the file was written by a newer program (version %1; this one reads version %2)")
                                            .arg(version.toDouble()).arg(kNfmVersion));
    try {
        result.measurement = ReadMeasurement(root);
    } catch (const Fault &f) {
        return refuse(NfmStatus::Corrupt, QStringLiteral("the file is damaged: %1").arg(f.text));
    }
    result.status = NfmStatus::Loaded;
    return result;
}

NfmDecodeResult LoadCompleteMeasurementFile(const QString &path)
{
    NfmDecodeResult result;
    QFile file(path);
    if (!file.exists()) {
        result.message = QStringLiteral("%1: the file does not exist").arg(path);
        return result;
    }
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    if (file.size() > kNfmFileLimit) {
        result.status = NfmStatus::Foreign;
        result.message = QStringLiteral("%1: the file is larger than a complete measurement file can be").arg(path);
        return result;
    }
    const QByteArray bytes = file.read(kNfmFileLimit + 1);
    if (file.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    result = DecodeCompleteMeasurement(bytes);
    if (result.status != NfmStatus::Loaded)
        result.message = QStringLiteral("%1: %2").arg(path, result.message);
    return result;
}

void SaveCompleteMeasurementFile(const QString &path, const CompleteMeasurement &m)
{
    QString error;
    if (!WriteFileAtomically(path, EncodeCompleteMeasurement(m), &error))
        throw EFileError(QStringLiteral("%1: %2").arg(path, error));
}

QString CompleteMeasurementFileName(const QString &chosen)
{
    return IsCompleteMeasurementFileName(chosen) ? chosen : chosen + QStringLiteral(".nfm");
}

bool IsCompleteMeasurementFileName(const QString &path)
{
    return path.endsWith(QLatin1String(".nfm"), Qt::CaseInsensitive);
}
