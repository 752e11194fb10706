#include "noise/bench_files.h"

#include "base/engvalue.h"
#include "base/errors.h"
#include "base/files.h"
#include "noise/enr_store.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace {

[[noreturn]] void Refuse(int line, const QString &reason)
{
    throw EConvertError(QStringLiteral("line %1: %2").arg(line).arg(reason));
}

QByteArray ReadLimited(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    if (file.size() > kBenchFileLimit)
        throw EFileError(QStringLiteral("%1: the file is larger than %2 bytes").arg(path).arg(kBenchFileLimit));
    const QByteArray content = file.read(kBenchFileLimit + 1);
    if (content.size() > kBenchFileLimit)
        throw EFileError(QStringLiteral("%1: the file is larger than %2 bytes").arg(path).arg(kBenchFileLimit));
    if (file.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return content;
}

/// The lines of `content` without their LF or CR LF.
QList<QByteArray> Lines(const QByteArray &content)
{
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

/// A decimal number with an optional exponent of one to three digits.
std::optional<double> Number(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d{1,3})?$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = text.toDouble(&ok);  // QString::toDouble reads the C locale
    if (!ok && !std::isinf(v))
        return std::nullopt;
    return v;
}

}  // namespace

// ---- Loss tables --------------------------------------------------------------------------------

QList<LossPoint> ParseLossTable(const QByteArray &content, const FrequencyReader &readFrequency)
{
    QList<LossPoint> points;
    QList<int> lineOf;
    const QList<QByteArray> lines = Lines(content);
    for (int i = 0; i < lines.size(); ++i) {
        const int n = i + 1;
        const QString line = FromWindows1252(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u',');
        if (fields.size() != 2)
            Refuse(n, QStringLiteral("a point is \"frequency, loss\", with one comma"));
        const QString freqText = fields[0].trimmed();
        QString lossText = fields[1].trimmed();
        if (lossText.endsWith(QLatin1String("dB"), Qt::CaseInsensitive))
            lossText = lossText.chopped(2).trimmed();
        double hz = 0;
        try {
            hz = readFrequency(freqText);
        } catch (const AppError &e) {
            Refuse(n, QStringLiteral("'%1' is not a frequency (%2)").arg(freqText, e.message()));
        }
        if (!std::isfinite(hz) || hz <= 0)
            Refuse(n, QStringLiteral("the frequency '%1' does not lie above 0 Hz").arg(freqText));
        const std::optional<double> loss = Number(lossText);
        if (!loss || !std::isfinite(*loss))
            Refuse(n, QStringLiteral("'%1' is not a loss in dB").arg(fields[1].trimmed()));
        if (*loss < 0)
            Refuse(n, QStringLiteral("a loss of %1 dB is a gain").arg(lossText));
        points.append({hz, *loss});
        lineOf.append(n);
    }
    if (points.isEmpty())
        throw EConvertError(QStringLiteral("the table holds no point"));
    QList<int> order(points.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return points[a].frequencyHz < points[b].frequencyHz; });
    QList<LossPoint> sorted;
    for (int k = 0; k < order.size(); ++k) {
        if (k > 0 && points[order[k]].frequencyHz == points[order[k - 1]].frequencyHz)
            Refuse(std::max(lineOf[order[k]], lineOf[order[k - 1]]),
                   QStringLiteral("the frequency of line %1 is given again").arg(std::min(lineOf[order[k]], lineOf[order[k - 1]])));
        sorted.append(points[order[k]]);
    }
    return sorted;
}

QList<LossPoint> ReadLossTableFile(const QString &path, const FrequencyReader &readFrequency)
{
    const QByteArray content = ReadLimited(path);
    try {
        return ParseLossTable(content, readFrequency);
    } catch (const EConvertError &e) {
        throw EFileError(QStringLiteral("%1: %2").arg(path, e.message()));
    }
}

// ---- ENR data files -----------------------------------------------------------------------------

EnrDataFile ParseEnrDataFile(const QByteArray &content)
{
    static const QRegularExpression separator(QStringLiteral("[ \\t]*,[ \\t]*|[ \\t]+"));
    EnrDataFile file;
    const QList<QByteArray> lines = Lines(content);
    for (int i = 0; i < lines.size(); ++i) {
        const int n = i + 1;
        const QByteArray &raw = lines[i];
        if (raw.size() > kEnrFileLineLimit)
            Refuse(n, QStringLiteral("the line is longer than %1 characters").arg(kEnrFileLineLimit));
        for (const char c : raw)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
                Refuse(n, QStringLiteral("the line holds a control character"));
        const QString line = FromWindows1252(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u'!'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                Refuse(n, QStringLiteral("a header line ends with ']'"));
            const QString inner = line.mid(1, line.size() - 2).trimmed();
            const qsizetype blank = inner.indexOf(QRegularExpression(QStringLiteral("[ \\t]")));
            const QString name = blank < 0 ? inner : inner.left(blank);
            const QString value = blank < 0 ? QString() : inner.mid(blank + 1).trimmed();
            if (name.compare(QLatin1String("Serialnumber"), Qt::CaseInsensitive) == 0)
                file.serialNumber = value;
            else if (name.compare(QLatin1String("Model"), Qt::CaseInsensitive) == 0)
                file.model = value;
            else if (name.compare(QLatin1String("Filetype"), Qt::CaseInsensitive) == 0
                     && value.compare(QLatin1String("ENR"), Qt::CaseInsensitive) != 0)
                Refuse(n, QStringLiteral("the file is of type '%1', not ENR").arg(value));
            continue;
        }
        const QStringList fields = line.split(separator);
        int f = 0;
        auto next = [&]() -> QString { return f < fields.size() ? fields[f] : QString(); };
        if (fields.contains(QString()))
            Refuse(n, QStringLiteral("a field is empty (two commas in a row)"));

        const std::optional<double> freq = Number(next());
        if (!freq)
            Refuse(n, QStringLiteral("'%1' is not a frequency").arg(next()));
        ++f;
        double scale = 1;
        static const struct { const char *unit; double scale; } units[] = {
            {"Hz", 1}, {"kHz", 1e3}, {"MHz", 1e6}, {"GHz", 1e9}, {"THz", 1e12}};
        for (const auto &u : units)
            if (next().compare(QLatin1String(u.unit), Qt::CaseInsensitive) == 0) {
                scale = u.scale;
                ++f;
                break;
            }
        const double hz = *freq * scale;
        if (!std::isfinite(hz) || hz < 0)
            Refuse(n, QStringLiteral("the frequency is not a finite number of at least 0 Hz"));

        if (f >= fields.size())
            Refuse(n, QStringLiteral("the ENR is missing"));
        const std::optional<double> enr = Number(next());
        if (!enr)
            Refuse(n, QStringLiteral("'%1' is not an ENR in dB").arg(next()));
        if (!std::isfinite(*enr))
            Refuse(n, QStringLiteral("the ENR is not a finite number"));
        ++f;
        if (next().compare(QLatin1String("dB"), Qt::CaseInsensitive) == 0)
            ++f;
        EnrFilePoint point{hz, *enr, std::nullopt};
        if (f < fields.size()) {
            const std::optional<double> u = Number(next());
            if (!u)
                Refuse(n, QStringLiteral("'%1' is not an ENR uncertainty in dB").arg(next()));
            if (!std::isfinite(*u) || *u < 0)
                Refuse(n, QStringLiteral("the ENR uncertainty is not a finite number of at least 0 dB"));
            point.uncertaintyDb = *u;
            ++f;
            if (next().compare(QLatin1String("dB"), Qt::CaseInsensitive) == 0)
                ++f;
        }
        for (; f < fields.size(); ++f)
            if (!Number(fields[f]))
                Refuse(n, QStringLiteral("'%1' is not a number").arg(fields[f]));
        if (!file.points.isEmpty() && !(hz > file.points.back().frequencyHz))
            Refuse(n, QStringLiteral("the frequency does not rise above the line before"));
        file.points.append(point);
    }
    if (file.points.isEmpty())
        throw EConvertError(QStringLiteral("the file holds no ENR point"));
    return file;
}

EnrDataFile ReadEnrDataFile(const QString &path)
{
    const QByteArray content = ReadLimited(path);
    try {
        return ParseEnrDataFile(content);
    } catch (const EConvertError &e) {
        throw EFileError(QStringLiteral("%1: %2").arg(path, e.message()));
    }
}

EnrFileTable EnrFileTableOf(const EnrDataFile &file)
{
    if (file.points.size() > kEnrRows)
        throw EConvertError(QStringLiteral("the file holds %1 ENR points; a table holds %2")
                                .arg(file.points.size()).arg(kEnrRows));
    EnrFileTable table;
    table.points = int(file.points.size());
    for (int i = 0; i < file.points.size(); ++i) {
        const EnrFilePoint &p = file.points[i];
        table.rows[i].FrequencyText = ShortestDecimal(p.frequencyHz / 1e9).left(kEnrCellLimit);
        table.rows[i].EnrText = ShortestDecimal(p.enrDb).left(kEnrCellLimit);
        table.uncertaintyDb[i] = p.uncertaintyDb;
    }
    const QString text = QStringList{file.model, file.serialNumber}.filter(QRegularExpression(QStringLiteral("\\S"))).join(u' ');
    table.textCut = text.size() > kNoiseSourceTextLimit;
    table.noiseSourceText = text.left(kNoiseSourceTextLimit);
    return table;
}

std::optional<double> EnrUncertaintyAt(double frequencyHz, const EnrRows &rows,
                                       const std::array<std::optional<double>, kEnrRows> &uncertaintyDb)
{
    struct Point { double hz; double u; };
    QList<Point> points;
    for (int i = 0; i < kEnrRows; ++i) {
        if (!uncertaintyDb[i])
            continue;
        bool ok = false;
        const double ghz = rows[i].FrequencyText.trimmed().toDouble(&ok);
        if (ok && std::isfinite(ghz))
            points.append({ghz * 1e9, *uncertaintyDb[i]});
    }
    if (points.isEmpty())
        return std::nullopt;
    std::stable_sort(points.begin(), points.end(), [](const Point &a, const Point &b) { return a.hz < b.hz; });
    if (frequencyHz <= points.front().hz)
        return points.front().u;
    for (qsizetype i = 1; i < points.size(); ++i) {
        if (frequencyHz <= points[i].hz) {
            const Point &a = points[i - 1];
            const Point &b = points[i];
            if (b.hz == a.hz)
                return b.u;
            return a.u + (frequencyHz - a.hz) / (b.hz - a.hz) * (b.u - a.u);
        }
    }
    return points.back().u;
}
