#include "noise/limits.h"

#include "base/errors.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

/// Beyond its limit by no more than this, a value still passes: the interpolation's rounding.
constexpr double kLimitToleranceDb = 1e-9;

const std::array<LimitKind, kLimitKinds> kKinds = {LimitKind::NfUpper, LimitKind::NfLower,
                                                   LimitKind::GainUpper, LimitKind::GainLower};

std::optional<LimitKind> KindNamed(const QString &name)
{
    for (const LimitKind kind : kKinds) {
        if (name == LimitKindName(kind))
            return kind;
    }
    return std::nullopt;
}

/// "3.5", "-1", "3.5 dB", "3.5dB": a finite number of dB.
std::optional<double> ReadDb(QString text)
{
    text = text.trimmed();
    if (text.endsWith(QLatin1String("dB")))
        text = text.chopped(2).trimmed();
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool IsUpper(LimitKind kind) { return kind == LimitKind::NfUpper || kind == LimitKind::GainUpper; }
bool IsNoiseFigure(LimitKind kind) { return kind == LimitKind::NfUpper || kind == LimitKind::NfLower; }

QString Db(double value) { return QString::number(value, 'f', 2) + QStringLiteral(" dB"); }

}  // namespace

QString LimitKindName(LimitKind kind)
{
    switch (kind) {
    case LimitKind::NfUpper: return QStringLiteral("nf_upper");
    case LimitKind::NfLower: return QStringLiteral("nf_lower");
    case LimitKind::GainUpper: return QStringLiteral("gain_upper");
    case LimitKind::GainLower: return QStringLiteral("gain_lower");
    }
    return {};
}

QString LimitKindTitle(LimitKind kind)
{
    switch (kind) {
    case LimitKind::NfUpper: return QStringLiteral("NF upper");
    case LimitKind::NfLower: return QStringLiteral("NF lower");
    case LimitKind::GainUpper: return QStringLiteral("Gain upper");
    case LimitKind::GainLower: return QStringLiteral("Gain lower");
    }
    return {};
}

bool LimitSet::empty() const
{
    return std::all_of(points.begin(), points.end(), [](const QList<LimitPoint> &p) { return p.isEmpty(); });
}

bool LimitSet::operator==(const LimitSet &other) const
{
    for (size_t k = 0; k < points.size(); ++k) {
        if (points[k].size() != other.points[k].size())
            return false;
        for (qsizetype i = 0; i < points[k].size(); ++i) {
            if (points[k][i].frequencyHz != other.points[k][i].frequencyHz
                || points[k][i].valueDb != other.points[k][i].valueDb)
                return false;
        }
    }
    return true;
}

LimitsParseResult ParseLimits(const QByteArray &text, const FrequencyReader &readFrequency)
{
    LimitsParseResult result;
    LimitSet limits;
    std::array<QList<int>, kLimitKinds> lineOf;  // the line of each point, for repeats
    QString content = QString::fromUtf8(text);
    if (content.startsWith(QChar(0xFEFF)))
        content.remove(0, 1);
    const QStringList lines = content.split(u'\n');
    auto fail = [&result](int line, const QString &why) {
        result.errorLine = line;
        result.error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return result;
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNo = int(i) + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u',');
        if (fields.size() != 3)
            return fail(lineNo, QStringLiteral("expected \"kind, frequency, value\", found %1 field(s)").arg(fields.size()));
        const QString kindText = fields[0].trimmed();
        const std::optional<LimitKind> kind = KindNamed(kindText);
        if (!kind)
            return fail(lineNo, QStringLiteral("'%1' is not a limit kind (nf_upper, nf_lower, gain_upper, gain_lower)").arg(kindText));
        const QString freqText = fields[1].trimmed();
        double hz = 0;
        try {
            hz = readFrequency(freqText);
        } catch (const AppError &e) {
            return fail(lineNo, QStringLiteral("frequency '%1': %2").arg(freqText, e.message()));
        }
        if (!std::isfinite(hz) || hz <= 0)
            return fail(lineNo, QStringLiteral("frequency '%1' is not a positive frequency").arg(freqText));
        const std::optional<double> value = ReadDb(fields[2]);
        if (!value)
            return fail(lineNo, QStringLiteral("value '%1' is not a number of dB").arg(fields[2].trimmed()));
        QList<LimitPoint> &points = limits.points[size_t(*kind)];
        QList<int> &pointLines = lineOf[size_t(*kind)];
        for (qsizetype p = 0; p < points.size(); ++p) {
            if (points[p].frequencyHz == hz)
                return fail(lineNo, QStringLiteral("%1 at %2 was already given on line %3")
                                        .arg(kindText, freqText).arg(pointLines[p]));
        }
        points.append({hz, *value});
        pointLines.append(lineNo);
    }
    for (QList<LimitPoint> &points : limits.points)
        std::sort(points.begin(), points.end(),
                  [](const LimitPoint &a, const LimitPoint &b) { return a.frequencyHz < b.frequencyHz; });
    result.limits = limits;
    return result;
}

QByteArray FormatLimits(const LimitSet &limits)
{
    QByteArray out;
    for (const LimitKind kind : kKinds) {
        for (const LimitPoint &p : limits.of(kind)) {
            out += LimitKindName(kind).toUtf8() + ", " + QByteArray::number(p.frequencyHz, 'g', 17)
                   + " Hz, " + QByteArray::number(p.valueDb, 'g', 17) + '\n';
        }
    }
    return out;
}

std::optional<double> LimitAt(const LimitSet &limits, LimitKind kind, double frequencyHz)
{
    const QList<LimitPoint> &points = limits.of(kind);
    if (points.isEmpty() || !std::isfinite(frequencyHz))
        return std::nullopt;
    if (points.size() == 1)
        return points.front().valueDb;
    if (frequencyHz < points.front().frequencyHz || frequencyHz > points.back().frequencyHz)
        return std::nullopt;
    for (qsizetype i = 1; i < points.size(); ++i) {
        const LimitPoint &a = points[i - 1];
        const LimitPoint &b = points[i];
        if (frequencyHz == a.frequencyHz)
            return a.valueDb;
        if (frequencyHz == b.frequencyHz)
            return b.valueDb;
        if (frequencyHz < b.frequencyHz)
            return a.valueDb + (b.valueDb - a.valueDb) * (frequencyHz - a.frequencyHz) / (b.frequencyHz - a.frequencyHz);
    }
    return std::nullopt;
}

StepLimitResult CheckStepLimits(const LimitSet &limits, double frequencyHz,
                                std::optional<double> gainDb, std::optional<double> noiseFigureDb)
{
    StepLimitResult r;
    for (const LimitKind kind : kKinds) {
        const std::optional<double> limit = LimitAt(limits, kind, frequencyHz);
        r.limitDb[size_t(kind)] = limit;
        if (!limit)
            continue;
        r.tested = true;
        const std::optional<double> value = IsNoiseFigure(kind) ? noiseFigureDb : gainDb;
        if (!value || !std::isfinite(*value)) {
            r.broken[size_t(kind)] = true;
            if (r.pass || !r.missing) {
                r.pass = false;
                r.missing = true;
                r.worstKind = kind;
                r.worstExcessDb = 0;
            }
            continue;
        }
        const double excess = IsUpper(kind) ? *value - *limit : *limit - *value;
        if (excess > kLimitToleranceDb) {
            r.broken[size_t(kind)] = true;
            if (r.pass || (!r.missing && excess > r.worstExcessDb)) {
                r.worstKind = kind;
                r.worstExcessDb = excess;
            }
            r.pass = false;
        }
    }
    return r;
}

QList<LimitSegment> LimitSegments(const LimitSet &limits, LimitKind kind, double startHz, double stopHz)
{
    QList<LimitSegment> segments;
    const QList<LimitPoint> &points = limits.of(kind);
    if (points.isEmpty() || !std::isfinite(startHz) || !std::isfinite(stopHz))
        return segments;
    const double low = std::min(startHz, stopHz);
    const double high = std::max(startHz, stopHz);
    if (points.size() == 1 || low == high) {
        if (const std::optional<double> v = LimitAt(limits, kind, low))
            segments.append({low, *v, high, *v});
        return segments;
    }
    for (qsizetype i = 1; i < points.size(); ++i) {
        const double from = std::max(points[i - 1].frequencyHz, low);
        const double to = std::min(points[i].frequencyHz, high);
        if (from >= to)
            continue;
        segments.append({from, *LimitAt(limits, kind, from), to, *LimitAt(limits, kind, to)});
    }
    return segments;
}

QString StepLimitText(const StepLimitResult &result)
{
    if (result.pass || !result.worstKind)
        return {};
    const LimitKind kind = *result.worstKind;
    const QString limit = LimitKindTitle(kind) + u' ' + Db(*result.limitDb[size_t(kind)]);
    if (result.missing)
        return limit + (IsNoiseFigure(kind) ? QStringLiteral(": no noise figure") : QStringLiteral(": no gain"));
    return limit + (IsUpper(kind) ? QStringLiteral(" exceeded by ") : QStringLiteral(" missed by "))
           + Db(result.worstExcessDb);
}

LimitVerdict VerdictOf(const QList<StepLimitResult> &steps)
{
    LimitVerdict v;
    for (const StepLimitResult &s : steps) {
        if (!s.tested)
            continue;
        ++v.tested;
        if (!s.pass)
            ++v.failed;
    }
    return v;
}

QString VerdictText(const LimitVerdict &verdict, bool haveLimits)
{
    if (!haveLimits)
        return {};
    if (verdict.tested == 0)
        return QStringLiteral("PASS: no point within the limits' span");
    if (verdict.pass())
        return QStringLiteral("PASS");
    return QStringLiteral("FAIL: %1 of %2 points").arg(verdict.failed).arg(verdict.tested);
}
