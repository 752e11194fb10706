#pragma once
// Reference traces: an earlier measurement drawn on the graph beside the one in view, so that
// a DUT can be compared with a known good one or with itself before a repair. A reference is a
// name and the noise figure and gain of its steps at their frequencies; it comes from a run of
// the history, a complete measurement file (*.nfm), a measurement file (*.mea) or a CSV file
// the program exported.
//
// Widget-free: reading a reference from bytes, its value at a frequency, the colours of the
// references and the names of the graph's legend. The graph draws them as GraphTrace lines
// (results/graph.h).

#include "noise/measurement_record.h"
#include "results/graph.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>

#include <optional>

/// Most references the graph shows at once.
inline constexpr int kMaxReferences = 4;
/// Longest name the legend shows; a longer one is cut and ends in "...".
inline constexpr int kReferenceLegendNameLength = 24;

/// One frequency of a reference; nothing where the measurement had no value.
struct ReferencePoint
{
    double frequencyHz = 0;
    std::optional<double> noiseFigureDb;
    std::optional<double> gainDb;

    bool operator==(const ReferencePoint &) const = default;
};

/// A reference trace: its name and its points in ascending frequency.
struct ReferenceTrace
{
    QString name;
    QList<ReferencePoint> points;

    bool operator==(const ReferenceTrace &) const = default;
};

/// Which quantity of a reference.
enum class ReferenceQuantity { NoiseFigure, Gain };

/// The reference of a measurement: the stored gain and noise figure of steps 0..Steps at the
/// frequency each step was plotted at. A noise figure below 0 dB or not finite (one that could
/// not be computed) and a gain that is not finite give the point no value.
ReferenceTrace ReferenceOfRecord(const MeasurementRecord &record, const QString &name);

struct ReferenceReadResult
{
    std::optional<ReferenceTrace> trace;
    QString error;  ///< why the bytes were refused, naming `where`; empty when read
};

/// A reference from the bytes of a file of ours, recognised by its content: a complete
/// measurement file (JSON), a measurement file (5040 bytes) or an exported CSV file ("#" lines,
/// then the titles with "Frequency (Hz)", "Gain (dB)" and "Noise figure (dB)"). `where` names
/// the source in a refusal ("a.csv"); a CSV refusal names its line. A reference without a
/// single value is refused.
ReferenceReadResult ReadReference(const QByteArray &bytes, const QString &name, const QString &where);

/// Reads the file `path` as ReadReference does, named after the file without its extension.
/// A missing or unreadable file and one of more than 16 MiB are refused with the file's name.
ReferenceReadResult LoadReferenceFile(const QString &path);

/// The reference's value at `hz`: straight-line interpolation in frequency between the nearest
/// points with a value on either side; nothing outside the span of the points with a value.
std::optional<double> ReferenceValueAt(const ReferenceTrace &trace, ReferenceQuantity quantity, double hz);

/// The colour of reference `index` (0..kMaxReferences-1), none of them a colour the graph
/// uses for its own points, marks or texts.
QColor ReferenceColour(int index);

/// The name as the legend shows it: cut to kReferenceLegendNameLength characters.
QString ReferenceLegendName(const QString &name);

/// What the graph draws of reference `index`: its valued points in its colour, its name for
/// the legend.
GraphTrace GraphTraceOf(const ReferenceTrace &trace, int index);
/// The graph traces of every reference of the list, in order.
QList<GraphTrace> GraphTracesOf(const QList<ReferenceTrace> &references);

/// The step display's comparison of a step with the references at its frequency: one
/// "name: F -0.12 dB, G +0.30 dB" per reference (measurement minus reference), each quantity
/// only where both the step and the reference have a value, a reference with neither left
/// out. Empty without a comparison.
QString ReferenceDifferenceText(const QList<ReferenceTrace> &references, double hz,
                                std::optional<double> noiseFigureDb, std::optional<double> gainDb);

/// The references of a graph: at most kMaxReferences, in the order they were added.
class ReferenceSet
{
public:
    const QList<ReferenceTrace> &traces() const { return m_traces; }
    int size() const { return int(m_traces.size()); }
    bool isFull() const { return size() >= kMaxReferences; }
    /// Adds the trace at the end; false, with the reason in `error`, when the set is full.
    bool add(ReferenceTrace trace, QString *error);
    /// Removes reference `index`; an index outside the set changes nothing.
    void remove(int index);
    void clear() { m_traces.clear(); }

private:
    QList<ReferenceTrace> m_traces;
};
