#pragma once
// The result graph: noise figure and gain of every step of a sweep as point markers on a
// 10 × 10 grid, with decibel scales chosen from the data. Everything here works on plain
// numbers and a Canvas, so the screen graph, the tests and the printed report share the
// geometry, the axis ranges and the pixel mapping.
//
// The mapping of a value to a pixel row uses single-precision factors and rounds ties to the
// even integer, as the graph always has; the pixel positions below depend on both.

#include "noise/limits.h"
#include "noise/measurement_record.h"
#include "results/canvas.h"

#include <QColor>
#include <QPointF>
#include <QString>
#include <QVector>
#include <array>
#include <span>

/// Pixel geometry of the graph, fixed once from the size of the image it is drawn on.
struct GraphGeometry
{
    int dx = 50;   ///< width of a division
    int dy = 35;   ///< height of a division
    int x0 = 134;  ///< left edge of the grid
    int y0 = 35;   ///< top edge of the grid

    /// dx 50, dy = height / 12, x0 = (width − 501) / 2, y0 = dy (all truncated). The image
    /// should be at least 501 pixels wide; a narrower one gives x0 = 0.
    static GraphGeometry fromImageSize(int width, int height);

    int gridLeft() const { return x0; }
    int gridRight() const { return x0 + 10 * dx; }
    int gridTop() const { return y0; }
    int gridBottom() const { return y0 + 10 * dy; }
};

/// The twelve scale values in dB from which the axis ends are chosen.
inline constexpr std::array<double, 12> ScaleSteps{-100, -30, -10, -3, -1, 0, 1, 3, 10, 30, 100, 300};

/// The largest valid noise figure when a sweep holds none (every value below 0).
inline constexpr double kNoNoiseFigure = -100000.0;

/// Step index meaning "no step selected".
inline constexpr int kNoSelection = 65535;

/// Ends of an axis in dB; `top` lies on the upper grid line, `bottom` on the lower one.
struct AxisRange
{
    double bottom = 0;
    double top = 0;
};

/// The data an axis is chosen from: the largest noise figure of 0 dB or more
/// (kNoNoiseFigure when there is none) and the smallest and largest gain.
struct ResultDataRange
{
    double maxF = kNoNoiseFigure;
    double minG = 0;
    double maxG = 0;
};

/// Data range of the points 0..steps of the two arrays. `steps` is limited to the step slots
/// (0..99) and to the arrays' length. Values that are not finite are left out.
ResultDataRange DataRange(std::span<const double> noiseFigureDb, std::span<const double> gainDb, int steps);
/// The same for the step slots of a record, points 0..record.SweepPlan.Steps.
ResultDataRange DataRange(const MeasurementRecord &record);

/// Noise-figure axis: bottom 0; top the smallest of the negated ScaleSteps strictly above
/// maxF, or maxF itself when there is none (maxF of 100 dB or more). No valid noise figure
/// (kNoNoiseFigure) gives a top of −300 dB.
AxisRange NoiseFigureAxis(double maxF);

/// Gain axis: bottom the greatest ScaleSteps value strictly below minG (minG itself when there
/// is none), top the smallest negated ScaleSteps value strictly above maxG (maxG itself when
/// there is none).
AxisRange GainAxis(double minG, double maxG);

/// The value-to-position mapping of one axis, shared by the screen graph (pixels) and the
/// printed report (0.1 mm): a value lies round(k·v + c) units above the axis's lower end, with
/// k and c held in single precision.
struct AxisScale
{
    float k = 0;
    float c = 0;
};

/// k = span / (top − bottom), c = span − k·top, both stored as 32-bit floats; `span` is the
/// length of the axis from its lower to its upper end.
AxisScale MakeAxisScale(const AxisRange &range, double span);
/// The graph's axis: span 10·dy.
AxisScale MakeAxisScale(const AxisRange &range, const GraphGeometry &g);

/// k·v + c, not rounded: how far above the axis's lower end the value v lies. Not finite when
/// v is not, or when the axis has no length.
double ScaledValue(const AxisScale &scale, double v);

/// Rounds to the nearest integer, an exact half to the even one. Values beyond ±1 000 000 and
/// values that are not numbers are limited to ±1 000 000 first, so that any input gives a
/// pixel coordinate far outside the image rather than an overflow.
int RoundHalfEven(double v);

/// Pixel row of the value v on the axis: y0 + 10·dy − round(k·v + c).
int ValueY(const GraphGeometry &g, const AxisScale &scale, double v);

/// How far point i of a sweep with `steps` steps lies from the first point when the sweep
/// spans `span`: round(span·i / m), m = steps, or 1 for a single frequency.
int PointOffset(double span, int i, int steps);

/// Pixel column of point i of a sweep with `steps` steps: x0 + PointOffset(10·dx, i, steps).
int PointX(const GraphGeometry &g, int i, int steps);

/// The printed value of scale line j (0 = top line) of an axis: top − j·(top − bottom)/10, the
/// division step being held in single precision.
double AxisLabelValue(const AxisRange &range, int j);

/// Colours of the graph.
namespace GraphColour {
inline const QColor Background{0, 0, 0};
inline const QColor Grid{128, 128, 128};
inline const QColor Frequency{255, 255, 0};
inline const QColor NoiseFigure{255, 0, 0};
inline const QColor Gain{0, 255, 0};
inline const QColor Selected{255, 255, 255};
/// A step whose evaluation failed: it has no noise figure of its own.
inline const QColor EvaluationFailed{255, 0, 255};
/// The mark of a step that breaks a rule of good measuring practice.
inline const QColor Guideline{255, 165, 0};
/// The ring around a point that breaks a limit line.
inline const QColor LimitFailed{0, 255, 255};
}  // namespace GraphColour

/// Another measurement drawn beside the points as thin lines in its own colour: its noise
/// figure on the noise-figure scale, its gain on the gain scale, each as (frequency in Hz, dB)
/// in ascending frequency; the name stands in the graph's legend.
struct GraphTrace
{
    QString name;
    QColor colour;
    QVector<QPointF> noiseFigureDb;
    QVector<QPointF> gainDb;
};

/// What the frame and the points are drawn from.
struct GraphData
{
    double startHz = 0;  ///< Start of the plan
    double stopHz = 0;   ///< Stop of the plan
    QString startText;   ///< shown unchanged under the left grid edge (the text of the start field)
    QString stopText;    ///< shown unchanged under the right grid edge
    bool showNoiseFigure = true;
    bool showGain = true;

    int steps = 0;                         ///< points 0..steps (limited to 0..99)
    std::span<const double> noiseFigureDb;  ///< dB; below 0 marks a value that could not be computed
    std::span<const double> gainDb;         ///< dB
    /// Optional: true for a step whose last evaluation failed and so stored no noise figure.
    std::span<const bool> evaluationFailed;
    int selected = kNoSelection;  ///< step drawn in white, or kNoSelection

    /// Optional error bars: ±uncertaintyDb[i] around each noise figure of 0 dB or more, on the
    /// noise-figure scale; NaN (or a short span) gives a step no bar.
    bool showErrorBars = false;
    std::span<const double> uncertaintyDb;
    /// Optional: true for a step that breaks a rule of good practice; it gets a mark above
    /// its point.
    std::span<const bool> outsideGuidelines;

    /// Optional limit lines: each kind with points is drawn on the scale and in the colour of
    /// its trace, when that trace is shown; nothing without.
    const LimitSet *limits = nullptr;
    /// Optional: true for a step whose noise figure (gain) breaks a limit in force; its point
    /// gets a ring.
    std::span<const bool> breaksNoiseFigureLimit;
    std::span<const bool> breaksGainLimit;
    /// Optional traces drawn under the points, on the points' scales, with a legend of their
    /// names; they leave the scales and everything else as they are.
    std::span<const GraphTrace> traces;
};

/// A text on the graph, top-left corner at (x, y).
struct GraphLabel
{
    int x = 0;
    int y = 0;
    QColor colour;
    QString text;
};

/// The marker shapes of the graph. FailedSquare (an outlined square) marks a step whose
/// evaluation failed, in place of the noise-figure triangle, at the noise figure the step
/// keeps (on the lower grid line when that is below 0 dB).
/// Guideline is the filled triangle, apex down, of a step that breaks a guideline.
/// LimitRing, an outlined diamond around a point, marks a value that breaks a limit line.
enum class PlotMark { Triangle, Circle, Cross, FailedSquare, Guideline, LimitRing };

struct GraphMarker
{
    int x = 0;
    int y = 0;
    PlotMark mark = PlotMark::Triangle;
    QColor colour;
};

/// A vertical error bar from yTop to yBottom (both drawn) with short caps at both ends.
struct ErrorBar
{
    int x = 0;
    int yTop = 0;
    int yBottom = 0;
    QColor colour;
};

/// Half width of an error bar's caps, and how far the centre of a guideline mark stands above
/// the top of its point (or of the point's error bar).
inline constexpr int kErrorBarCap = 2;
inline constexpr int kGuidelineMarkRise = 8;
/// How far the corners of a limit ring stand from the centre of its point.
inline constexpr int kLimitRingHalf = kMarkerHalfSize + 3;

/// A straight line from (x1, y1) to (x2, y2), both ends drawn.
struct GraphLine
{
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    QColor colour;
};

/// A line from (x1, y1) to (x2, y2), both ends drawn.
struct GraphSegment
{
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    QColor colour;
};

/// One entry of the traces' legend: a short line in the trace's colour, then its name.
struct GraphLegendEntry
{
    GraphSegment line;
    GraphLabel label;
};

/// Height of a legend row, and the length of its line.
inline constexpr int kLegendRow = 14;
inline constexpr int kLegendLine = 14;

/// Everything a full redraw puts on top of the frame.
struct GraphLayout
{
    AxisRange noiseFigureAxis;
    AxisRange gainAxis;
    AxisScale noiseFigureScale;
    AxisScale gainScale;
    QVector<GraphMarker> markers;  ///< in drawing order: per point the noise-figure mark, then the gain circle
    QVector<GraphLabel> scaleLabels;
    /// Drawn under the markers; their ends are limited to the grid.
    QVector<ErrorBar> errorBars;
    /// Small filled triangles, apex down, above the points of steps that break a guideline;
    /// (x, y) is the centre of the mark's box.
    QVector<GraphMarker> guidelineMarks;
    /// The limit lines, drawn under everything else on the grid; their ends are limited to it.
    QVector<GraphLine> limitLines;
    /// Rings around the points that break a limit, drawn over the markers.
    QVector<GraphMarker> limitMarks;
    /// The traces' lines, cut at the grid's edges, drawn first; and their legend, drawn last,
    /// one row per trace from the grid's top-left corner.
    QVector<GraphSegment> traceSegments;
    QVector<GraphLegendEntry> legend;
};

/// The pixel column of `frequencyHz` on the graph's frequency axis from `startHz` (left grid
/// edge) to `stopHz` (right edge); a single frequency lies on the left edge.
int FrequencyX(const GraphGeometry &g, double frequencyHz, double startHz, double stopHz);

/// The texts of the empty graph: the frequency per division centred under the grid, the start
/// and stop texts under its edges, and the legends of the shown quantities.
QVector<GraphLabel> FrameLabels(const GraphGeometry &g, const GraphData &data);

/// Scales, markers and scale texts of a full redraw.
GraphLayout ComputeGraphLayout(const GraphGeometry &g, const GraphData &data);

/// The segments of a trace's line on an axis: x from the frequency's place between the plan's
/// start and stop, y on `scale`; the parts outside the grid are cut off. Nothing when the plan
/// spans no frequencies.
QVector<GraphSegment> TraceSegments(const GraphGeometry &g, const AxisScale &scale, double startHz, double stopHz,
                                    const QVector<QPointF> &points, const QColor &colour);

/// The empty graph: black background, grey 10 × 10 grid and the frame texts.
void DrawGraphFrame(Canvas &image, const GraphGeometry &g, const GraphData &data);

/// The error bar of point i at x: ±u dB around the noise figure f on the layout's scale, the
/// ends limited to the grid.
ErrorBar MakeErrorBar(const GraphGeometry &g, const AxisScale &noiseFigureScale, int x, double f, double u,
                      const QColor &colour);

/// The whole graph: the frame, a marker per point and the scale texts.
void RecomputeResults(Canvas &image, const GraphGeometry &g, const GraphData &data);
