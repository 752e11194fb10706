#include "results/graph.h"

#include "base/engvalue.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace {

constexpr double kCoordinateLimit = 1000000.0;

/// Double to single precision without the undefined conversion of a value beyond the float
/// range: such a value becomes an infinity, as the FPU would make it.
float toSingle(double v)
{
    if (std::isnan(v))
        return std::numeric_limits<float>::quiet_NaN();
    if (v > FLT_MAX)
        return std::numeric_limits<float>::infinity();
    if (v < -FLT_MAX)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

/// Number of the last point that both arrays hold, or -1 when there is none.
int lastPoint(int steps, std::span<const double> a, std::span<const double> b)
{
    int n = std::clamp(steps, 0, kMaxStepSlot);
    n = std::min<qsizetype>(n, qsizetype(a.size()) - 1);
    n = std::min<qsizetype>(n, qsizetype(b.size()) - 1);
    return n;
}

void drawMark(Canvas &image, const GraphMarker &m)
{
    const int s = m.mark == PlotMark::LimitRing ? kLimitRingHalf : kMarkerHalfSize;
    // A marker whose box lies wholly outside the image leaves no pixel; skip it early.
    if (m.x + s < 0 || m.y + s < 0 || m.x - s >= image.width() || m.y - s >= image.height())
        return;
    switch (m.mark) {
    case PlotMark::Triangle:
        DrawMarker(image, m.x, m.y, MarkerKind::Triangle, m.colour);
        break;
    case PlotMark::Circle:
        DrawMarker(image, m.x, m.y, MarkerKind::Circle, m.colour);
        break;
    case PlotMark::Cross:
        DrawMarker(image, m.x, m.y, MarkerKind::Cross, m.colour);
        break;
    case PlotMark::FailedSquare:
        image.setPenColour(m.colour);
        image.moveTo(m.x - s, m.y - s);
        image.lineTo(m.x + s, m.y - s);
        image.lineTo(m.x + s, m.y + s);
        image.lineTo(m.x - s, m.y + s);
        image.lineTo(m.x - s, m.y - s);
        break;
    case PlotMark::LimitRing: {
        const int r = kLimitRingHalf;
        image.setPenColour(m.colour);
        image.moveTo(m.x, m.y - r);
        image.lineTo(m.x + r, m.y);
        image.lineTo(m.x, m.y + r);
        image.lineTo(m.x - r, m.y);
        image.lineTo(m.x, m.y - r);
        break;
    }
    case PlotMark::Guideline:
        // Rows of 7, 5, 3 and 1 pixels; the apex points at the step's point below.
        for (int r = 0; r <= s; ++r)
            DrawLine(image, m.x - (s - r), m.y - 2 + r, m.x + (s - r) + 1, m.y - 2 + r, m.colour);
        break;
    }
}

void drawErrorBar(Canvas &image, const ErrorBar &b)
{
    // The end points of a line are not drawn, so each line reaches one pixel further.
    DrawLine(image, b.x, b.yTop, b.x, b.yBottom + 1, b.colour);
    DrawLine(image, b.x - kErrorBarCap, b.yTop, b.x + kErrorBarCap + 1, b.yTop, b.colour);
    DrawLine(image, b.x - kErrorBarCap, b.yBottom, b.x + kErrorBarCap + 1, b.yBottom, b.colour);
}

/// Cuts the line (x1, y1)-(x2, y2) to the rectangle (Liang-Barsky); false when nothing of it
/// lies inside.
bool clipLine(double &x1, double &y1, double &x2, double &y2, double left, double top, double right, double bottom)
{
    double t0 = 0, t1 = 1;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const double ax = x1 + t0 * dx, ay = y1 + t0 * dy;
    x2 = x1 + t1 * dx;
    y2 = y1 + t1 * dy;
    x1 = ax;
    y1 = ay;
    return true;
}

void drawSegment(Canvas &image, const GraphSegment &s)
{
    // The end point of a line is not drawn: it gets a pixel of its own.
    DrawLine(image, s.x1, s.y1, s.x2, s.y2, s.colour);
    image.setPixel(s.x2, s.y2, s.colour);
}

}  // namespace

GraphGeometry GraphGeometry::fromImageSize(int width, int height)
{
    GraphGeometry g;
    g.dx = 50;
    g.dy = height / 12;
    g.x0 = std::max(0, (width - 501) / 2);
    g.y0 = g.dy;
    return g;
}

ResultDataRange DataRange(std::span<const double> noiseFigureDb, std::span<const double> gainDb, int steps)
{
    ResultDataRange r;
    const int n = lastPoint(steps, noiseFigureDb, gainDb);
    bool anyGain = false;
    for (int i = 0; i <= n; ++i) {
        const double f = noiseFigureDb[i];
        if (std::isfinite(f) && f >= 0 && f > r.maxF)
            r.maxF = f;
        const double gain = gainDb[i];
        if (!std::isfinite(gain))
            continue;
        if (!anyGain) {
            r.minG = r.maxG = gain;
            anyGain = true;
        } else {
            r.minG = std::min(r.minG, gain);
            r.maxG = std::max(r.maxG, gain);
        }
    }
    return r;
}

ResultDataRange DataRange(const MeasurementRecord &record)
{
    return DataRange(record.NoiseFigureDb, record.GainDb, record.SweepPlan.Steps);
}

AxisRange NoiseFigureAxis(double maxF)
{
    AxisRange a;
    a.bottom = 0;
    a.top = maxF;
    // The negated ScaleSteps ascending: −300, −100, ..., 100. The first one above maxF wins.
    for (auto it = ScaleSteps.rbegin(); it != ScaleSteps.rend(); ++it) {
        if (-*it > maxF) {
            a.top = -*it;
            break;
        }
    }
    return a;
}

AxisRange GainAxis(double minG, double maxG)
{
    AxisRange a;
    a.bottom = minG;
    for (auto it = ScaleSteps.rbegin(); it != ScaleSteps.rend(); ++it) {
        if (*it < minG) {
            a.bottom = *it;
            break;
        }
    }
    a.top = maxG;
    for (auto it = ScaleSteps.rbegin(); it != ScaleSteps.rend(); ++it) {
        if (-*it > maxG) {
            a.top = -*it;
            break;
        }
    }
    return a;
}

AxisScale MakeAxisScale(const AxisRange &range, double span)
{
    AxisScale s;
    s.k = toSingle(span / (range.top - range.bottom));
    s.c = toSingle(span - double(s.k) * range.top);
    return s;
}

AxisScale MakeAxisScale(const AxisRange &range, const GraphGeometry &g)
{
    return MakeAxisScale(range, 10.0 * g.dy);
}

double ScaledValue(const AxisScale &scale, double v)
{
    return double(scale.k) * v + double(scale.c);
}

int RoundHalfEven(double v)
{
    if (std::isnan(v))
        return int(kCoordinateLimit);
    v = std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
    double r = std::floor(v);
    const double frac = v - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    return int(r);
}

int ValueY(const GraphGeometry &g, const AxisScale &scale, double v)
{
    return g.y0 + 10 * g.dy - RoundHalfEven(ScaledValue(scale, v));
}

int PointOffset(double span, int i, int steps)
{
    const int m = steps > 0 ? steps : 1;
    return RoundHalfEven(span * i / m);
}

int PointX(const GraphGeometry &g, int i, int steps)
{
    return g.x0 + PointOffset(10.0 * g.dx, i, steps);
}

double AxisLabelValue(const AxisRange &range, int j)
{
    const float step = toSingle((range.top - range.bottom) / 10.0);
    return range.top - j * double(step);
}

ErrorBar MakeErrorBar(const GraphGeometry &g, const AxisScale &noiseFigureScale, int x, double f, double u,
                      const QColor &colour)
{
    ErrorBar b;
    b.x = x;
    b.yTop = std::clamp(ValueY(g, noiseFigureScale, f + u), g.gridTop(), g.gridBottom());
    b.yBottom = std::clamp(ValueY(g, noiseFigureScale, f - u), g.gridTop(), g.gridBottom());
    b.colour = colour;
    return b;
}

int FrequencyX(const GraphGeometry &g, double frequencyHz, double startHz, double stopHz)
{
    if (!(stopHz != startHz) || !std::isfinite(frequencyHz))
        return g.gridLeft();
    return g.x0 + RoundHalfEven(10.0 * g.dx * (frequencyHz - startHz) / (stopHz - startHz));
}

namespace {

/// The lines of the limits of the shown traces on the layout's scales.
void AddLimitLines(GraphLayout &layout, const GraphGeometry &g, const GraphData &data)
{
    if (!data.limits)
        return;
    for (const LimitKind kind : kLimitKindsInOrder) {
        const bool noiseFigure = IsNoiseFigureLimit(kind);
        if (noiseFigure ? !data.showNoiseFigure : !data.showGain)
            continue;
        const AxisScale &scale = noiseFigure ? layout.noiseFigureScale : layout.gainScale;
        const QColor colour = noiseFigure ? GraphColour::NoiseFigure : GraphColour::Gain;
        const auto y = [&](double db) { return std::clamp(ValueY(g, scale, db), g.gridTop(), g.gridBottom()); };
        for (const LimitSegment &s : LimitSegments(*data.limits, kind, data.startHz, data.stopHz)) {
            const bool single = s.fromHz == s.toHz;
            layout.limitLines.append({FrequencyX(g, s.fromHz, data.startHz, data.stopHz), y(s.fromDb),
                                      single ? g.gridRight() : FrequencyX(g, s.toHz, data.startHz, data.stopHz),
                                      y(s.toDb), colour});
        }
    }
}

bool Flag(std::span<const bool> flags, int i)
{
    return i < qsizetype(flags.size()) && flags[size_t(i)];
}

}  // namespace

QVector<GraphSegment> TraceSegments(const GraphGeometry &g, const AxisScale &scale, double startHz, double stopHz,
                                    const QVector<QPointF> &points, const QColor &colour)
{
    QVector<GraphSegment> segments;
    if (!(stopHz > startHz) || !std::isfinite(stopHz - startHz))
        return segments;
    // In units right of the grid's left edge and above its bottom, rounded as the points are.
    const double width = 10.0 * g.dx;
    const double height = 10.0 * g.dy;
    const auto at = [&](const QPointF &p) {
        return QPointF(width * (p.x() - startHz) / (stopHz - startHz), ScaledValue(scale, p.y()));
    };
    const auto add = [&](double x1, double y1, double x2, double y2) {
        if (clipLine(x1, y1, x2, y2, 0, 0, width, height))
            segments.append({g.x0 + RoundHalfEven(x1), g.gridBottom() - RoundHalfEven(y1), g.x0 + RoundHalfEven(x2),
                             g.gridBottom() - RoundHalfEven(y2), colour});
    };
    if (points.size() == 1) {
        // A single point: a short level line across it.
        const QPointF p = at(points.front());
        if (std::isfinite(p.x()) && std::isfinite(p.y()))
            add(p.x() - kMarkerHalfSize, p.y(), p.x() + kMarkerHalfSize, p.y());
        return segments;
    }
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF a = at(points[i - 1]);
        const QPointF b = at(points[i]);
        if (std::isfinite(a.x()) && std::isfinite(a.y()) && std::isfinite(b.x()) && std::isfinite(b.y()))
            add(a.x(), a.y(), b.x(), b.y());
    }
    return segments;
}

QVector<GraphLabel> FrameLabels(const GraphGeometry &g, const GraphData &data)
{
    QVector<GraphLabel> labels;
    const int y = g.gridBottom() + 5;
    labels.append({g.x0 + 5 * g.dx - g.dx / 2, y, GraphColour::Frequency,
                   FormatValue(0, fvPrefix | fvHz, (data.stopHz - data.startHz) / 10) + QStringLiteral(" / DIV")});
    labels.append({g.x0 - g.dx / 4, y, GraphColour::Frequency, data.startText});
    labels.append({g.x0 + 10 * g.dx - g.dx / 4, y, GraphColour::Frequency, data.stopText});
    if (data.showNoiseFigure)
        labels.append({g.x0 - 80, g.y0 - 30, GraphColour::NoiseFigure, QStringLiteral("Noise Figure")});
    if (data.showGain)
        labels.append({g.x0 + 10 * g.dx + 10, g.y0 - 30, GraphColour::Gain, QStringLiteral("Gain")});
    return labels;
}

GraphLayout ComputeGraphLayout(const GraphGeometry &g, const GraphData &data)
{
    GraphLayout layout;
    const ResultDataRange range = DataRange(data.noiseFigureDb, data.gainDb, data.steps);
    layout.noiseFigureAxis = NoiseFigureAxis(range.maxF);
    layout.gainAxis = GainAxis(range.minG, range.maxG);
    layout.noiseFigureScale = MakeAxisScale(layout.noiseFigureAxis, g);
    layout.gainScale = MakeAxisScale(layout.gainAxis, g);

    const int n = lastPoint(data.steps, data.noiseFigureDb, data.gainDb);
    const int steps = std::clamp(data.steps, 0, kMaxStepSlot);
    for (int i = 0; i <= n; ++i) {
        const int x = PointX(g, i, steps);
        const bool selected = i == data.selected;
        // The top of what is drawn at this step, for a guideline mark above it.
        int topY = std::numeric_limits<int>::max();
        const QColor ring = GraphColour::LimitFailed;
        if (data.showNoiseFigure) {
            const QColor colour = selected ? GraphColour::Selected : GraphColour::NoiseFigure;
            const bool failed = i < qsizetype(data.evaluationFailed.size()) && data.evaluationFailed[i];
            const double f = data.noiseFigureDb[i];
            // A step whose evaluation failed keeps an older noise figure; it stands at that
            // value, as on the printed report, with a mark of its own.
            if (failed)
                layout.markers.append({x,
                                       f >= 0 && std::isfinite(f) ? ValueY(g, layout.noiseFigureScale, f)
                                                                  : g.gridBottom(),
                                       PlotMark::FailedSquare,
                                       selected ? GraphColour::Selected : GraphColour::EvaluationFailed});
            else if (f < 0)
                layout.markers.append({x, g.gridBottom(), PlotMark::Cross, colour});
            else
                layout.markers.append({x, ValueY(g, layout.noiseFigureScale, f), PlotMark::Triangle, colour});
            topY = layout.markers.last().y;
            if (Flag(data.breaksNoiseFigureLimit, i))
                layout.limitMarks.append({x, layout.markers.last().y, PlotMark::LimitRing, ring});
            const double u = i < qsizetype(data.uncertaintyDb.size()) ? data.uncertaintyDb[i] : NAN;
            if (data.showErrorBars && !failed && f >= 0 && std::isfinite(f) && std::isfinite(u) && u >= 0) {
                layout.errorBars.append(MakeErrorBar(g, layout.noiseFigureScale, x, f, u, colour));
                topY = std::min(topY, layout.errorBars.last().yTop);
            }
        }
        if (data.showGain) {
            layout.markers.append({x, ValueY(g, layout.gainScale, data.gainDb[i]), PlotMark::Circle,
                                   selected ? GraphColour::Selected : GraphColour::Gain});
            if (Flag(data.breaksGainLimit, i))
                layout.limitMarks.append({x, layout.markers.last().y, PlotMark::LimitRing, ring});
            if (!data.showNoiseFigure)
                topY = layout.markers.last().y;
        }
        const bool flagged = Flag(data.outsideGuidelines, i);
        if (flagged && topY != std::numeric_limits<int>::max())
            layout.guidelineMarks.append({x, topY - kGuidelineMarkRise, PlotMark::Guideline, GraphColour::Guideline});
    }

    AddLimitLines(layout, g, data);
    for (qsizetype t = 0; t < qsizetype(data.traces.size()); ++t) {
        const GraphTrace &trace = data.traces[size_t(t)];
        if (data.showNoiseFigure)
            layout.traceSegments += TraceSegments(g, layout.noiseFigureScale, data.startHz, data.stopHz,
                                                  trace.noiseFigureDb, trace.colour);
        if (data.showGain)
            layout.traceSegments += TraceSegments(g, layout.gainScale, data.startHz, data.stopHz, trace.gainDb,
                                                  trace.colour);
        const int y = g.gridTop() + 4 + int(t) * kLegendRow;
        const int lineY = y + kLegendRow / 2;
        layout.legend.append({{g.gridLeft() + 4, lineY, g.gridLeft() + 4 + kLegendLine, lineY, trace.colour},
                              {g.gridLeft() + 8 + kLegendLine, y, trace.colour, trace.name}});
    }

    for (int j = 0; j <= 10; ++j) {
        const int y = g.y0 + j * g.dy - 8;
        if (data.showNoiseFigure)
            layout.scaleLabels.append({g.x0 - 78, y, GraphColour::NoiseFigure,
                                       FormatValue(1, fvDb, AxisLabelValue(layout.noiseFigureAxis, j))});
        if (data.showGain)
            layout.scaleLabels.append({g.x0 + 10 * g.dx + 10, y, GraphColour::Gain,
                                       FormatValue(1, fvDb, AxisLabelValue(layout.gainAxis, j))});
    }
    return layout;
}

void DrawGraphFrame(Canvas &image, const GraphGeometry &g, const GraphData &data)
{
    FillImage(image, GraphColour::Background);
    for (int i = 0; i <= 10; ++i) {
        DrawLine(image, g.x0, g.y0 + i * g.dy, g.x0 + 10 * g.dx, g.y0 + i * g.dy, GraphColour::Grid);
        DrawLine(image, g.x0 + i * g.dx, g.y0, g.x0 + i * g.dx, g.y0 + 10 * g.dy + 1, GraphColour::Grid);
    }
    for (const GraphLabel &l : FrameLabels(g, data))
        DrawLabel(image, l.x, l.y, l.colour, l.text);
}

void RecomputeResults(Canvas &image, const GraphGeometry &g, const GraphData &data)
{
    DrawGraphFrame(image, g, data);
    const GraphLayout layout = ComputeGraphLayout(g, data);
    // The end point of a line is not drawn, so each line reaches one pixel further.
    for (const GraphLine &l : layout.limitLines)
        DrawLine(image, l.x1, l.y1, l.x2 + (l.x2 >= l.x1 ? 1 : -1), l.y2, l.colour);
    for (const GraphSegment &s : layout.traceSegments)
        drawSegment(image, s);
    for (const ErrorBar &b : layout.errorBars)
        drawErrorBar(image, b);
    for (const GraphMarker &m : layout.markers)
        drawMark(image, m);
    for (const GraphMarker &m : layout.guidelineMarks)
        drawMark(image, m);
    for (const GraphMarker &m : layout.limitMarks)
        drawMark(image, m);
    for (const GraphLabel &l : layout.scaleLabels)
        DrawLabel(image, l.x, l.y, l.colour, l.text);
    for (const GraphLegendEntry &e : layout.legend) {
        drawSegment(image, e.line);
        DrawLabel(image, e.label.x, e.label.y, e.label.colour, e.label.text);
    }
}
