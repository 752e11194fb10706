#include "app/core/bench_config.h"

#include "app/core/config.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "base/inifile.h"
#include "noise/enr_store.h"

#include <QStringList>

#include <cmath>

namespace {

const QString kBenchSection = QStringLiteral("Bench");

const char *const kLossModeKeys[] = {"off", "fixed", "table"};

/// A table kept in the file holds at most this many points; more is not a loss table.
constexpr int kKeptPointLimit = 10000;

QString Key(const char *prefix, const char *name)
{
    return QString::fromLatin1(prefix) + QString::fromLatin1(name);
}

std::optional<double> Number(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

/// A number as the file keeps it: the shortest text that reads back as exactly the same value.
QString Exact(double v)
{
    const QString shortest = ShortestDecimal(v);
    return shortest.toDouble() == v ? shortest : QString::number(v, 'g', 17);
}

QList<LossPoint> PointsOf(const QString &text)
{
    QList<LossPoint> points;
    const QStringList parts = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (parts.size() > kKeptPointLimit)
        return {};
    for (const QString &part : parts) {
        const QStringList fd = part.split(QLatin1Char(':'));
        if (fd.size() != 2)
            return {};
        const std::optional<double> f = Number(fd[0]);
        const std::optional<double> d = Number(fd[1]);
        if (!f || !d || *f <= 0 || *d < 0 || (!points.isEmpty() && *f <= points.last().frequencyHz))
            return {};
        points.append({*f, *d});
    }
    return points;
}

QString PointsText(const QList<LossPoint> &points)
{
    QStringList parts;
    for (const LossPoint &p : points)
        parts << Exact(p.frequencyHz) + QLatin1Char(':') + Exact(p.lossDb);
    return parts.join(QLatin1Char(';'));
}

LossSetting ReadLoss(const IniFile &ini, const char *prefix)
{
    LossSetting loss;
    const QString mode = ini.readString(kBenchSection, Key(prefix, ""), QString()).trimmed().toLower();
    if (mode == QLatin1String("fixed")) {
        const std::optional<double> db = Number(ini.readString(kBenchSection, Key(prefix, "Db"), QString()));
        if (db && *db >= 0) {
            loss.mode = LossMode::Fixed;
            loss.fixedDb = *db;
        }
    } else if (mode == QLatin1String("table")) {
        const QList<LossPoint> points = PointsOf(ini.readString(kBenchSection, Key(prefix, "Table"), QString()));
        if (!points.isEmpty()) {
            loss.mode = LossMode::Table;
            loss.table = points;
            loss.tableFile = ini.readString(kBenchSection, Key(prefix, "File"), QString()).left(255);
        }
    }
    if (loss.active()) {
        if (const std::optional<QString> t = ini.value(kBenchSection, Key(prefix, "TempK"))) {
            const std::optional<double> k = Number(*t);
            if (k && *k >= 0)
                loss.temperatureK = *k;
        }
    }
    return loss;
}

void WriteLoss(IniFile &ini, const char *prefix, const LossSetting &loss)
{
    ini.writeString(kBenchSection, Key(prefix, ""), QString::fromLatin1(kLossModeKeys[int(loss.mode)]));
    ini.writeString(kBenchSection, Key(prefix, "Db"), Exact(loss.fixedDb));
    ini.writeString(kBenchSection, Key(prefix, "File"), loss.tableFile);
    ini.writeString(kBenchSection, Key(prefix, "Table"), PointsText(loss.table));
    ini.writeString(kBenchSection, Key(prefix, "TempK"), loss.temperatureK ? Exact(*loss.temperatureK) : QString());
}

QList<std::pair<QString, double>> UncertaintyListOf(const QString &text)
{
    QList<std::pair<QString, double>> kept;
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int colon = part.lastIndexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const std::optional<double> u = Number(part.mid(colon + 1));
        if (u && *u >= 0 && kept.size() < kEnrRows)
            kept.append({part.left(colon).trimmed(), *u});
    }
    return kept;
}

bool HasSection(const IniFile &ini)
{
    for (const char *key : {"LossBefore", "LossAfter", "DutType", "CalSource", "EnrUncertainty1", "EnrUncertainty2",
                            "EnrSourceText1", "EnrSourceText2", "EnrDataRows1", "EnrDataRows2"}) {
        if (ini.value(kBenchSection, QString::fromLatin1(key)))
            return true;
    }
    return false;
}

}  // namespace

EnrUncertainties UncertaintiesFor(const QList<std::pair<QString, double>> &kept, const EnrRows &rows)
{
    EnrUncertainties u{};
    for (int r = 0; r < kEnrRows; ++r) {
        const QString f = rows[size_t(r)].FrequencyText.trimmed();
        if (f.isEmpty())
            continue;
        for (const auto &[text, value] : kept) {
            if (text == f) {
                u[size_t(r)] = value;
                break;
            }
        }
    }
    return u;
}

QList<std::pair<QString, double>> KeptUncertainties(const EnrUncertainties &uncertainty, const EnrRows &rows)
{
    QList<std::pair<QString, double>> kept;
    for (int r = 0; r < kEnrRows; ++r) {
        const QString f = rows[size_t(r)].FrequencyText.trimmed();
        // A frequency text with the separators of the list in it cannot be kept.
        if (uncertainty[size_t(r)] && !f.isEmpty() && !f.contains(QLatin1Char(';')) && !f.contains(QLatin1Char(':')))
            kept.append({f, *uncertainty[size_t(r)]});
    }
    return kept;
}

BenchConfig ReadBenchConfig(const IniFile &ini)
{
    BenchConfig c;
    BenchSetup &b = c.bench;
    b.lossBefore = ReadLoss(ini, "LossBefore");
    b.lossAfter = ReadLoss(ini, "LossAfter");
    const std::optional<DutType> type = DutTypeFromKey(ini.readString(kBenchSection, QStringLiteral("DutType"), QString()));
    const std::optional<double> lo = Number(ini.readString(kBenchSection, QStringLiteral("LoHz"), QString()));
    // A converter without an LO above 0 Hz cannot be measured: the amplifier stays.
    if (type && *type != DutType::Amplifier && lo && *lo > 0) {
        b.dutType = *type;
        b.loHz = *lo;
        const QString ir = ini.readString(kBenchSection, QStringLiteral("ImageRejectionDb"), QString()).trimmed();
        if (const std::optional<double> db = Number(ir); db && *db >= 0)
            b.imageRejectionDb = *db;
    }
    b.calSource = ReadIntegerIn(ini, kBenchSection, QStringLiteral("CalSource"), kCalSourceAsMeasurement, 2,
                                kCalSourceAsMeasurement);
    c.enrUncertainty[0] = UncertaintyListOf(ini.readString(kBenchSection, QStringLiteral("EnrUncertainty1"), QString()));
    c.enrUncertainty[1] = UncertaintyListOf(ini.readString(kBenchSection, QStringLiteral("EnrUncertainty2"), QString()));
    for (int t = 0; t < 2; ++t)
        c.enrSourceText[size_t(t)] = ini.readString(kBenchSection, QStringLiteral("EnrSourceText%1").arg(t + 1), QString())
                                         .left(kNoiseSourceTextLimit);
    for (int t = 0; t < 2; ++t)
        c.enrDataFileRows[size_t(t)] = ReadIntegerIn(ini, kBenchSection, QStringLiteral("EnrDataRows%1").arg(t + 1), 0, kEnrRows, 0);
    return c;
}

BenchConfig ReadBenchConfig(const QString &path)
{
    return ReadBenchConfig(LoadSettings(path));
}

void WriteBenchConfigValues(IniFile &ini, const BenchConfig &config)
{
    const BenchSetup &b = config.bench;
    WriteLoss(ini, "LossBefore", b.lossBefore);
    WriteLoss(ini, "LossAfter", b.lossAfter);
    ini.writeString(kBenchSection, QStringLiteral("DutType"), DutTypeKey(b.dutType));
    ini.writeString(kBenchSection, QStringLiteral("LoHz"), Exact(b.loHz));
    ini.writeString(kBenchSection, QStringLiteral("ImageRejectionDb"),
                    b.imageRejectionDb ? Exact(*b.imageRejectionDb) : QStringLiteral("SSB"));
    ini.writeInteger(kBenchSection, QStringLiteral("CalSource"), b.calSource);
    for (int t = 0; t < 2; ++t) {
        QStringList parts;
        for (const auto &[text, value] : config.enrUncertainty[size_t(t)])
            parts << text + QLatin1Char(':') + Exact(value);
        ini.writeString(kBenchSection, QStringLiteral("EnrUncertainty%1").arg(t + 1), parts.join(QLatin1Char(';')));
    }
    // Written only where a data file named its source, or where the file has the key already.
    for (int t = 0; t < 2; ++t) {
        const QString key = QStringLiteral("EnrSourceText%1").arg(t + 1);
        if (!config.enrSourceText[size_t(t)].isEmpty() || ini.value(kBenchSection, key))
            ini.writeString(kBenchSection, key, config.enrSourceText[size_t(t)]);
        const QString rows = QStringLiteral("EnrDataRows%1").arg(t + 1);
        if (config.enrDataFileRows[size_t(t)] > 0 || ini.value(kBenchSection, rows))
            ini.writeInteger(kBenchSection, rows, config.enrDataFileRows[size_t(t)]);
    }
}

bool WriteBenchConfig(const BenchConfig &config, QString *errorMessage, const QString &path)
{
    const bool atDefaults = config.bench.isDefault() && config.enrUncertainty[0].isEmpty() && config.enrUncertainty[1].isEmpty()
                            && config.enrSourceText[0].isEmpty() && config.enrSourceText[1].isEmpty()
                            && config.enrDataFileRows[0] == 0 && config.enrDataFileRows[1] == 0;
    // A bench left at its defaults leaves the file as it always was.
    if (atDefaults && !HasSection(LoadSettings(path)))
        return true;
    return SaveSettings(path, [&](IniFile &ini) { WriteBenchConfigValues(ini, config); }, errorMessage);
}

// ---- The dialog's fields ---------------------------------------------------------------------

QStringList LossModeItems()
{
    return {QStringLiteral("Off"), QStringLiteral("Fixed"), QStringLiteral("Table")};
}

QStringList DutTypeItems()
{
    return {QStringLiteral("Amplifier"), QStringLiteral("Down-converter"), QStringLiteral("Up-converter")};
}

QStringList CalSourceItems()
{
    return {QStringLiteral("as measurement"), QStringLiteral("const."), QStringLiteral("Table1"), QStringLiteral("Table2")};
}

namespace {

QString DbText(double db)
{
    return ShortestDecimal(std::round(db * 1e6) / 1e6) + QStringLiteral(" dB");
}

/// A frequency as a frequency field shows it: "9.75 GHz", "400 MHz".
QString FrequencyText(double hz)
{
    static const struct { double scale; const char *unit; } units[] = {{1e9, " GHz"}, {1e6, " MHz"}, {1e3, " kHz"}};
    for (const auto &u : units) {
        if (std::fabs(hz) >= u.scale)
            return ShortestDecimal(hz / u.scale) + QLatin1String(u.unit);
    }
    return ShortestDecimal(hz) + QStringLiteral(" Hz");
}

LossFields LossFieldsOf(const LossSetting &loss, const QString &roomText)
{
    LossFields f;
    f.mode = int(loss.mode);
    f.dbText = DbText(loss.mode == LossMode::Fixed ? loss.fixedDb : 0);
    f.temperatureText = loss.temperatureK ? ShortestDecimal(std::round(*loss.temperatureK * 100) / 100) + QStringLiteral(" K")
                                          : roomText;
    f.table = loss.table;
    f.tableFile = loss.tableFile;
    return f;
}

/// The value of `text` as ParseValue reads it; nothing when it does not read.
std::optional<double> Read(const QString &text)
{
    try {
        const double v = ParseValue(text);
        if (std::isfinite(v))
            return v;
    } catch (const AppError &) {
    }
    return std::nullopt;
}

bool ParseLoss(const LossFields &f, const char *where, const QString &roomText, LossSetting &loss, QString *error)
{
    const auto fail = [&](const QString &what) {
        if (error)
            *error = QStringLiteral("Loss %1 the DUT: %2").arg(QLatin1String(where), what);
        return false;
    };
    LossSetting out;
    if (f.mode < 0 || f.mode > 2)
        return fail(QStringLiteral("choose Off, Fixed or Table"));
    out.mode = LossMode(f.mode);
    if (out.mode == LossMode::Fixed) {
        const std::optional<double> linear = Read(f.dbText);
        if (!linear || *linear < 1)
            return fail(QStringLiteral("'%1' is not a loss of 0 dB or more").arg(f.dbText));
        out.fixedDb = 10 * std::log10(*linear);
    } else if (out.mode == LossMode::Table) {
        if (f.table.isEmpty())
            return fail(QStringLiteral("no table has been read; choose its file with \"Table ...\""));
        out.table = f.table;
        out.tableFile = f.tableFile;
    }
    if (out.active() && f.temperatureText != roomText) {
        const std::optional<double> k = Read(f.temperatureText);
        if (!k || *k < 0)
            return fail(QStringLiteral("'%1' is not a temperature at or above 0 K").arg(f.temperatureText));
        const std::optional<double> room = Read(roomText);
        if (!room || std::fabs(*room - *k) > 1e-9)
            out.temperatureK = *k;
    }
    loss = out;
    return true;
}

}  // namespace

BenchFields BenchFieldsOf(const BenchSetup &bench, const QString &roomText)
{
    BenchFields f;
    f.before = LossFieldsOf(bench.lossBefore, roomText);
    f.after = LossFieldsOf(bench.lossAfter, roomText);
    f.dutType = int(bench.dutType);
    f.loText = FrequencyText(bench.loHz);
    f.imageRejectionText = bench.imageRejectionDb ? DbText(*bench.imageRejectionDb) : QStringLiteral("SSB");
    f.calSource = bench.calSource + 1;
    return f;
}

bool ParseBenchFields(const BenchFields &fields, const QString &roomText, BenchSetup &bench, QString *error)
{
    BenchSetup out;
    if (!ParseLoss(fields.before, "before", roomText, out.lossBefore, error)
        || !ParseLoss(fields.after, "after", roomText, out.lossAfter, error))
        return false;
    const auto fail = [&](const QString &what) {
        if (error)
            *error = what;
        return false;
    };
    if (fields.dutType < 0 || fields.dutType > 2)
        return fail(QStringLiteral("DUT: choose Amplifier, Down-converter or Up-converter"));
    out.dutType = DutType(fields.dutType);
    if (out.isConverter()) {
        const std::optional<double> lo = Read(fields.loText);
        if (!lo || *lo <= 0)
            return fail(QStringLiteral("LO: '%1' is not a frequency above 0 Hz").arg(fields.loText));
        out.loHz = *lo;
        if (fields.imageRejectionText.trimmed().compare(QLatin1String("SSB"), Qt::CaseInsensitive) != 0) {
            const std::optional<double> linear = Read(fields.imageRejectionText);
            if (!linear || *linear < 1)
                return fail(QStringLiteral("Image rejection: '%1' is neither SSB nor 0 dB or more").arg(fields.imageRejectionText));
            out.imageRejectionDb = 10 * std::log10(*linear);
        }
    }
    if (fields.calSource < 0 || fields.calSource > 3)
        return fail(QStringLiteral("Calibration's noise source: choose one of the list"));
    out.calSource = fields.calSource - 1;
    bench = out;
    return true;
}
