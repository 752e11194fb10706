#include "results/reference_trace.h"

#include "results/measurement_file.h"
#include "results/nfm_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kReferenceFileLimit = 16 * 1024 * 1024;

const QString kFrequencyTitle = QStringLiteral("Frequency (Hz)");
const QString kNoiseFigureTitle = QStringLiteral("Noise figure (dB)");
const QString kGainTitle = QStringLiteral("Gain (dB)");

/// One record of a CSV text and the line it starts on.
struct CsvRecord
{
    int line = 0;
    QStringList cells;
    bool comment = false;
};

/// The records of an RFC 4180 text: quoted cells may hold separators, doubled quotes and line
/// breaks. A record that starts with "#" is a comment line. False with the line of an
/// unclosed quote.
bool splitCsv(const QString &text, QList<CsvRecord> *records, int *badLine)
{
    CsvRecord current;
    QString cell;
    bool quoted = false;
    bool atRecordStart = true;
    int line = 1;
    current.line = 1;
    const auto endRecord = [&] {
        current.cells << cell;
        cell.clear();
        records->append(current);
        current = CsvRecord();
        current.line = line;
        atRecordStart = true;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    cell += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (ch == u'\n')
                    ++line;
                cell += ch;
            }
            continue;
        }
        if (atRecordStart && ch == u'#') {
            // A comment runs to the end of its line.
            const qsizetype end = text.indexOf(u'\n', i);
            current.comment = true;
            i = end < 0 ? text.size() : end;
            ++line;
            records->append(current);
            current = CsvRecord();
            current.line = line;
            continue;
        }
        atRecordStart = false;
        if (ch == u'"') {
            quoted = true;
        } else if (ch == u',') {
            current.cells << cell;
            cell.clear();
        } else if (ch == u'\n') {
            ++line;
            endRecord();
        } else if (ch != u'\r') {
            cell += ch;
        }
    }
    if (quoted) {
        *badLine = current.line;
        return false;
    }
    if (!atRecordStart)
        endRecord();
    return true;
}

ReferenceReadResult refused(const QString &text)
{
    return {std::nullopt, text};
}

ReferenceReadResult readCsv(const QByteArray &bytes, const QString &name, const QString &where)
{
    QList<CsvRecord> records;
    int badLine = 0;
    if (!splitCsv(QString::fromUtf8(bytes), &records, &badLine))
        return refused(QStringLiteral("%1, line %2: a quoted cell is not closed").arg(where).arg(badLine));
    qsizetype r = 0;
    while (r < records.size() && (records[r].comment || records[r].cells == QStringList{QString()}))
        ++r;
    if (r == records.size())
        return refused(QStringLiteral("%1: not a measurement of this program (no column titles)").arg(where));
    const QStringList &titles = records[r].cells;
    const qsizetype f = titles.indexOf(kFrequencyTitle);
    const qsizetype nf = titles.indexOf(kNoiseFigureTitle);
    const qsizetype gain = titles.indexOf(kGainTitle);
    if (f < 0 || (nf < 0 && gain < 0))
        return refused(QStringLiteral("%1, line %2: not a measurement of this program (the columns \"%3\" and "
                                      "\"%4\" or \"%5\" are missing)")
                           .arg(where)
                           .arg(records[r].line)
                           .arg(kFrequencyTitle, kNoiseFigureTitle, kGainTitle));
    ReferenceTrace trace;
    trace.name = name;
    for (++r; r < records.size(); ++r) {
        const CsvRecord &rec = records[r];
        if (rec.comment || rec.cells == QStringList{QString()})
            continue;
        if (rec.cells.size() != titles.size())
            return refused(QStringLiteral("%1, line %2: %3 cells where the titles name %4")
                               .arg(where)
                               .arg(rec.line)
                               .arg(rec.cells.size())
                               .arg(titles.size()));
        const auto number = [&](qsizetype column, std::optional<double> *value, bool required) {
            const QString text = rec.cells[column].trimmed();
            if (text.isEmpty())
                return !required;
            bool ok = false;
            const double v = text.toDouble(&ok);  // "." whatever the locale
            if (!ok || !std::isfinite(v))
                return false;
            *value = v;
            return true;
        };
        ReferencePoint p;
        std::optional<double> hz;
        if (!number(f, &hz, true))
            return refused(QStringLiteral("%1, line %2: \"%3\" is not a frequency in Hz")
                               .arg(where)
                               .arg(rec.line)
                               .arg(rec.cells[f]));
        p.frequencyHz = *hz;
        for (const auto &[column, value] : {std::pair{nf, &p.noiseFigureDb}, std::pair{gain, &p.gainDb}})
            if (column >= 0 && !number(column, value, false))
                return refused(QStringLiteral("%1, line %2: \"%3\" is not a number of dB (column \"%4\")")
                                   .arg(where)
                                   .arg(rec.line)
                                   .arg(rec.cells[column], titles[column]));
        trace.points << p;
    }
    std::stable_sort(trace.points.begin(), trace.points.end(),
                     [](const ReferencePoint &a, const ReferencePoint &b) { return a.frequencyHz < b.frequencyHz; });
    return {trace, QString()};
}

}  // namespace

ReferenceTrace ReferenceOfRecord(const MeasurementRecord &record, const QString &name)
{
    ReferenceTrace trace;
    trace.name = name;
    const int steps = std::clamp(int(record.SweepPlan.Steps), 0, kMaxStepSlot);
    for (int i = 0; i <= steps; ++i) {
        ReferencePoint p;
        p.frequencyHz = record.SweepPlan.enrHz(i);
        const double nf = record.NoiseFigureDb[size_t(i)];
        if (std::isfinite(nf) && nf >= 0)
            p.noiseFigureDb = nf;
        const double gain = record.GainDb[size_t(i)];
        if (std::isfinite(gain))
            p.gainDb = gain;
        if (std::isfinite(p.frequencyHz))
            trace.points << p;
    }
    std::stable_sort(trace.points.begin(), trace.points.end(),
                     [](const ReferencePoint &a, const ReferencePoint &b) { return a.frequencyHz < b.frequencyHz; });
    return trace;
}

ReferenceReadResult ReadReference(const QByteArray &bytes, const QString &name, const QString &where)
{
    ReferenceReadResult result;
    // A measurement file is known by its size and sound content, a complete measurement by its
    // JSON object; anything else is read as an exported table.
    const std::optional<MeasurementRecord> record =
        bytes.size() == kMeasurementFileSize ? DecodeMeasurementRecord(bytes) : std::nullopt;
    if (record) {
        result.trace = ReferenceOfRecord(*record, name);
    } else if (bytes.trimmed().startsWith('{')) {
        const NfmDecodeResult decoded = DecodeCompleteMeasurement(bytes);
        if (decoded.status != NfmStatus::Loaded)
            return refused(where + QStringLiteral(": ") + decoded.message);
        result.trace = ReferenceOfRecord(decoded.measurement.record, name);
    } else {
        result = readCsv(bytes, name, where);
        if (!result.trace)
            return bytes.size() == kMeasurementFileSize ? refused(where + QStringLiteral(": File corrupt !")) : result;
    }
    const bool anyValue = std::any_of(result.trace->points.begin(), result.trace->points.end(),
                                      [](const ReferencePoint &p) { return p.noiseFigureDb || p.gainDb; });
    if (!anyValue)
        return refused(where + QStringLiteral(": the measurement holds no noise figure and no gain"));
    return result;
}

ReferenceReadResult LoadReferenceFile(const QString &path)
{
    const QFileInfo info(path);
    const QString where = info.fileName();
    if (!info.isFile())
        return refused(where + QStringLiteral(": File do not exists !"));
    if (info.size() > kReferenceFileLimit)
        return refused(where + QStringLiteral(": the file is too large for a measurement"));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return refused(where + QStringLiteral(": ") + f.errorString());
    return ReadReference(f.readAll(), info.completeBaseName(), where);
}

std::optional<double> ReferenceValueAt(const ReferenceTrace &trace, ReferenceQuantity quantity, double hz)
{
    const auto valueOf = [quantity](const ReferencePoint &p) {
        return quantity == ReferenceQuantity::NoiseFigure ? p.noiseFigureDb : p.gainDb;
    };
    const ReferencePoint *below = nullptr;
    for (const ReferencePoint &p : trace.points) {
        const std::optional<double> v = valueOf(p);
        if (!v)
            continue;
        if (p.frequencyHz == hz)
            return v;
        if (p.frequencyHz < hz) {
            below = &p;
            continue;
        }
        // The first valued point above: the value lies on the line to it.
        if (!below)
            return std::nullopt;
        const double v0 = *valueOf(*below);
        const double t = (hz - below->frequencyHz) / (p.frequencyHz - below->frequencyHz);
        return v0 + (*v - v0) * t;
    }
    return std::nullopt;
}

QColor ReferenceColour(int index)
{
    // Cyan, cornflower blue, pink and khaki: clear of the noise figure's red, the gain's green,
    // the frequency texts' yellow, the selection's white, the failed mark's magenta, the
    // guideline mark's orange and the grid's grey.
    static const QColor colours[kMaxReferences] = {{0, 255, 255}, {100, 149, 237}, {255, 128, 192}, {189, 183, 107}};
    return colours[std::clamp(index, 0, kMaxReferences - 1)];
}

QString ReferenceLegendName(const QString &name)
{
    const QString simple = name.simplified();
    if (simple.size() <= kReferenceLegendNameLength)
        return simple;
    return simple.left(kReferenceLegendNameLength - 3) + QStringLiteral("...");
}

GraphTrace GraphTraceOf(const ReferenceTrace &trace, int index)
{
    GraphTrace g;
    g.name = ReferenceLegendName(trace.name);
    g.colour = ReferenceColour(index);
    for (const ReferencePoint &p : trace.points) {
        if (p.noiseFigureDb)
            g.noiseFigureDb << QPointF(p.frequencyHz, *p.noiseFigureDb);
        if (p.gainDb)
            g.gainDb << QPointF(p.frequencyHz, *p.gainDb);
    }
    return g;
}

QList<GraphTrace> GraphTracesOf(const QList<ReferenceTrace> &references)
{
    QList<GraphTrace> traces;
    for (qsizetype i = 0; i < references.size(); ++i)
        traces << GraphTraceOf(references[i], int(i));
    return traces;
}

QString ReferenceDifferenceText(const QList<ReferenceTrace> &references, double hz,
                                std::optional<double> noiseFigureDb, std::optional<double> gainDb)
{
    const auto signedDb = [](double d) {
        const double r = std::round(d * 100) / 100;
        return (r > 0 ? QStringLiteral("+") : QString()) + QString::number(r == 0 ? 0.0 : r, 'f', 2)
               + QStringLiteral(" dB");
    };
    QStringList parts;
    for (const ReferenceTrace &trace : references) {
        QStringList differences;
        if (noiseFigureDb)
            if (const std::optional<double> ref = ReferenceValueAt(trace, ReferenceQuantity::NoiseFigure, hz))
                differences << QStringLiteral("F ") + signedDb(*noiseFigureDb - *ref);
        if (gainDb)
            if (const std::optional<double> ref = ReferenceValueAt(trace, ReferenceQuantity::Gain, hz))
                differences << QStringLiteral("G ") + signedDb(*gainDb - *ref);
        if (!differences.isEmpty())
            parts << ReferenceLegendName(trace.name) + QStringLiteral(": ") + differences.join(QStringLiteral(", "));
    }
    return parts.join(QStringLiteral("; "));
}

bool ReferenceSet::add(ReferenceTrace trace, QString *error)
{
    if (isFull()) {
        if (error)
            *error = QStringLiteral("The graph shows at most %1 references; remove one first.").arg(kMaxReferences);
        return false;
    }
    m_traces << std::move(trace);
    return true;
}

void ReferenceSet::remove(int index)
{
    if (index >= 0 && index < m_traces.size())
        m_traces.removeAt(index);
}
