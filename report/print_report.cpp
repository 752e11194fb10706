#include "report/print_report.h"

#include "base/engvalue.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPagedPaintDevice>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kGrey(128, 128, 128);
const QColor kOrange(255, 140, 0);
const QColor kMagenta(255, 0, 255);

int lastIndex(int steps)
{
    return std::clamp(steps, 0, kMaxStepSlot);
}

/// Truncation towards zero, like the classic integer conversion of a page coordinate.
int truncInt(double v)
{
    constexpr double kLimit = 1e8;
    return int(std::trunc(std::clamp(v, -kLimit, kLimit)));
}

}  // namespace

ReportInput ReportInput::fromRecord(const MeasurementRecord &record)
{
    ReportInput in;
    in.StartHz = record.SweepPlan.Start;
    in.StopHz = record.SweepPlan.Stop;
    in.Steps = record.SweepPlan.Steps;
    in.NoiseFigureDb = record.NoiseFigureDb;
    in.GainDb = record.GainDb;
    return in;
}

QString ReportUncertaintyText(double largestUncertaintyDb)
{
    if (!std::isfinite(largestUncertaintyDb))
        return {};
    return QStringLiteral("Uncertainty \u2264 \u00B1") + FormatValue(2, fvDb, largestUncertaintyDb);
}

QString ReportGuidelineText(int steps)
{
    if (steps <= 0)
        return {};
    return QStringLiteral("Off guidelines: %1 %2")
        .arg(steps)
        .arg(steps == 1 ? QStringLiteral("step") : QStringLiteral("steps"));
}

QStringList TakeRemarkLines(QStringList &lines)
{
    if (!lines.isEmpty() && lines.first() == RemarksPlaceholder())
        lines.removeFirst();
    if (lines.size() == 1 && lines.first() == RemarksPlaceholder())
        return {};
    return lines;
}

ReportPlot ReportPlotRect(int pageWidthMm, int pageHeightMm, int printLineMm)
{
    ReportPlot p;
    p.left = 200;
    p.bottom = 500 - 10 * pageHeightMm;
    p.width = 10 * pageWidthMm - 400;
    p.height = 10 * printLineMm - p.bottom;
    return p;
}

int ReportAxisY(const ReportPlot &plot, const AxisRange &axis, double v)
{
    const double y = ScaledValue(MakeAxisScale(axis, plot.height), v);
    if (!std::isfinite(y))
        return plot.bottom;
    return RoundHalfEven(y) + plot.bottom;
}

int ReportPointX(const ReportPlot &plot, int index, int steps)
{
    return PointOffset(plot.width, index, steps) + plot.left;
}

int RemarkLineSlots(int pageHeightMm, int firstLineMm)
{
    // The graph's height with no remark line at all; each line takes 4 mm of it, and at least
    // one unit must be left.
    const int graphHeight = ReportPlotRect(0, pageHeightMm, firstLineMm - kRemarksToGraphMm).height;
    if (graphHeight <= 0)
        return 0;
    return (graphHeight - 1) / (10 * kRemarkLineMm);
}

RemarkLines FitRemarkLines(const QStringList &lines, int lineSlots)
{
    RemarkLines out;
    if (lines.size() <= lineSlots) {
        out.printed = lines;
        return out;
    }
    // The note takes the last slot.
    const int kept = std::max(0, lineSlots - 1);
    out.printed = lines.first(kept);
    out.notPrinted = int(lines.size()) - kept;
    if (lineSlots > 0)
        out.printed.append(RemarksLeftOffNote(out.notPrinted));
    return out;
}

QString RemarksLeftOffNote(int count)
{
    if (count == 1)
        return QStringLiteral("(1 more line not printed)");
    return QStringLiteral("(%1 more lines not printed)").arg(count);
}

QSize ReportPageSizeMm(const QPagedPaintDevice &printer)
{
    QPageLayout layout = printer.pageLayout();
    layout.setOrientation(QPageLayout::Portrait);
    const QRectF printable = layout.paintRect(QPageLayout::Millimeter);
    return {int(printable.width()), int(printable.height())};
}

QFont ReportFont(int cellHeight, bool bold)
{
    // A narrow face: the bold header labels must fit their quarter of the page width.
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setBold(bold);
    // The cell (ascent plus descent) is a fixed multiple of the em size of a face; measure it
    // once at a large size so that the rounding of the em size is the only error.
    constexpr int kProbe = 1000;
    f.setPixelSize(kProbe);
    const double cellPerEm = QFontMetricsF(f).height() / kProbe;
    f.setPixelSize(std::max(1, int(std::lround(cellHeight / cellPerEm))));
    return f;
}

// ---- The print job ---------------------------------------------------------------------------

TestReport::TestReport(ReportInput input) : m_input(std::move(input)) {}

int TestReport::RemarksNotPrinted(int pageHeightMm) const
{
    QStringList lines = m_input.Remarks;
    return FitRemarkLines(TakeRemarkLines(lines), RemarkLineSlots(pageHeightMm)).notPrinted;
}

bool TestReport::PrintReport(QPagedPaintDevice &printer)
{
    printer.setPageOrientation(QPageLayout::Portrait);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QSize page = ReportPageSizeMm(printer);
    PrintReport(painter, page.width(), page.height());
    return painter.end();
}

void TestReport::PrintReport(QPainter &painter, int pageWidthMm, int pageHeightMm)
{
    PageWidthMm = uint16_t(std::clamp(pageWidthMm, 0, 65535));
    PageHeightMm = uint16_t(std::clamp(pageHeightMm, 0, 65535));

    painter.save();
    // 0.1 mm per unit, y upwards from the top edge of the printable area.
    const QPaintDevice *device = painter.device();
    painter.scale(device->logicalDpiX() / 254.0, -device->logicalDpiY() / 254.0);
    painter.setRenderHint(QPainter::Antialiasing);
    Canvas canvas(painter, Canvas::Grid::Geometric);
    // White paper shows through the text cells; circles are filled white.
    canvas.setFillColour(Qt::white);
    canvas.setOpaqueText(false);
    // A thin black pen for the marks and black text for the title.
    canvas.setPen(Qt::black, 1);
    canvas.setFontColour(Qt::black);
    canvas.setFont(ReportFont(40, false));
    m_canvas = &canvas;

    PrintLine = -10;
    PrintMarks();
    PrintTitle();
    PrintBody();

    m_canvas = nullptr;
    painter.restore();
}

void TestReport::PrintMarks()
{
    Canvas &c = *m_canvas;
    const int ym = (-10 * int(PageHeightMm)) / 2;
    // Fold mark at the middle, and two punch-hole marks 80 mm apart around it.
    c.line(0, ym, 50, ym);
    c.ellipse(30, ym - 420, 70, ym - 380);
    c.ellipse(30, ym + 380, 70, ym + 420);
}

void TestReport::PrintTitle()
{
    Canvas &c = *m_canvas;
    setFont(80, true);
    const QString title = QStringLiteral("Test Report: ");
    c.textOut((10 * int(PageWidthMm) - c.textWidth(title)) / 2, 10 * PrintLine, title);
    PrintLine -= 15;
}

void TestReport::PrintText(int columnMm, const QString &text)
{
    m_canvas->textOut(10 * columnMm + 100, 10 * PrintLine, text);
}

void TestReport::PrintBody()
{
    Canvas &c = *m_canvas;
    const int w = (int(PageWidthMm) - 10) / 4;
    const int c0 = 5;
    const int c1 = 5 + w;
    const int c2 = 5 + 2 * w;
    const int c3 = 5 + 3 * w;
    const ReportTexts &t = m_input.Texts;

    setFont(50, true);
    c.setFontColour(Qt::black);
    PrintText(c0, QStringLiteral("Test engineer:"));
    PrintText(c1, QStringLiteral("DUT:"));
    PrintText(c2, QStringLiteral("Room Temperature:"));
    PrintText(c3, QStringLiteral("Date/Time:"));
    setFont(40, false);
    PrintLine -= 6;
    PrintText(c0, t.Engineer);
    PrintText(c1, t.DUT);
    PrintText(c2, t.Temperature);
    PrintText(c3, t.Date);

    PrintLine -= 8;
    setFont(50, true);
    PrintText(c0, QStringLiteral("Frequency start:"));
    PrintText(c1, QStringLiteral("Frequency end:"));
    PrintText(c2, QStringLiteral("Noise Source:"));
    PrintText(c3, QStringLiteral("Frequency Steps:"));
    setFont(40, false);
    PrintLine -= 6;
    PrintText(c0, t.FreqStart);
    PrintText(c1, t.FreqStop);
    PrintText(c2, t.NoiseSource);
    PrintText(c3, t.FreqSteps);

    PrintLine -= 8;
    setFont(50, true);
    PrintText(c0, QStringLiteral("Remarks:"));
    if (!m_input.Verdict.isEmpty()) {
        c.setFontColour(m_input.Verdict.startsWith(QStringLiteral("FAIL")) ? kRed : kGreen);
        PrintText(c1, m_input.Verdict);
        c.setFontColour(Qt::black);
    }
    setFont(40, false);
    PrintConfidence(c2, c3);
    PrintLine -= 6;

    // Every line that leaves the graph upright is printed; where lines must be left off,
    // the last printed line says how many.
    const RemarkLines remarks =
        FitRemarkLines(TakeRemarkLines(m_input.Remarks), RemarkLineSlots(PageHeightMm, PrintLine));
    for (const QString &remark : remarks.printed) {
        PrintText((c0 + c1) / 2, remark);
        PrintLine -= kRemarkLineMm;
    }

    PrintLine -= 8;
    setFont(50, true);
    const int yc = 10 * PrintLine - 50 / 2;
    c.setFontColour(kRed);
    PrintText(c0, QStringLiteral("Noise Figure [dB]"));
    c.setPen(kRed, 3);
    const int xm = 10 * c0 + 76;
    c.moveTo(xm, yc + 8);
    c.lineTo(xm + 8, yc - 8);
    c.lineTo(xm - 8, yc - 8);
    c.lineTo(xm, yc + 8);
    c.setFontColour(kGreen);
    PrintText(c3, QStringLiteral("Gain [dB]"));
    c.setPen(kGreen, 3);
    c.ellipse(10 * c3 + 68, yc - 8, 10 * c3 + 84, yc + 8);

    PrintLine -= 8;
    PrintGraph();
    PrintLine -= 5;
}

void TestReport::PrintGraph()
{
    Canvas &c = *m_canvas;
    const int steps = lastIndex(m_input.Steps);
    // The same data and axis ranges as the screen graph.
    const ResultDataRange data = DataRange(m_input.NoiseFigureDb, m_input.GainDb, steps);
    const AxisRange nf = NoiseFigureAxis(data.maxF);
    const AxisRange gain = GainAxis(data.minG, data.maxG);
    const ReportPlot p = ReportPlotRect(PageWidthMm, PageHeightMm, PrintLine);
    m_plot = p;

    setFont(60, false);
    c.setFontColour(Qt::black);
    const QString perDiv = FormatValue(0, fvHz + fvPrefix, (m_input.StopHz - m_input.StartHz) / 10) +
                           QStringLiteral(" / DIV");
    c.textOut(p.width / 2 + p.left - c.textWidth(perDiv) / 2, p.bottom - 70, perDiv);

    setFont(40, false);
    c.setPen(kGrey, 1);
    for (int k = 0; k <= 10; ++k) {
        const int yk = truncInt(p.height / 10.0 * k + p.bottom);
        c.line(p.left, yk, p.left + p.width, yk);
        const QString nfText = FormatValue(1, 0, nf.top * k / 10);
        c.setFontColour(kRed);
        c.textOut(p.left - c.textWidth(nfText) - 10, yk + 20, nfText);
        c.setFontColour(kGreen);
        c.textOut(p.left + p.width + 10, yk + 20, FormatValue(1, 0, gain.bottom + (gain.top - gain.bottom) * k / 10));
    }
    c.setFontColour(Qt::black);
    for (int k = 1; k <= 10; ++k) {
        const int xk = truncInt(p.width / 10.0 * k + p.left);
        c.line(xk, p.bottom, xk, p.bottom + p.height);
    }

    c.setPen(Qt::black, 3);
    c.line(p.left, p.bottom, p.left, p.bottom + p.height);
    c.line(p.left, p.bottom, p.left + p.width, p.bottom);

    const QString start = FormatValue(2, fvHz + fvPrefix, m_input.StartHz);
    const QString stop = FormatValue(2, fvHz + fvPrefix, m_input.StopHz);
    c.textOut(p.left - c.textWidth(start) / 2, p.bottom - 20, start);
    c.textOut(p.left + p.width - c.textWidth(stop) / 2, p.bottom - 20, stop);

    // Noise figure: points joined by lines, a triangle with its apex up on each.
    c.setPen(kRed, 2);
    c.moveTo(p.left, ReportAxisY(p, nf, m_input.NoiseFigureDb[0]));
    for (int i = 0; i <= steps; ++i) {
        const int x = ReportPointX(p, i, steps);
        const int y = ReportAxisY(p, nf, m_input.NoiseFigureDb[size_t(i)]);
        c.setPenWidth(2);
        c.lineTo(x, y);
        c.setPenWidth(3);
        if (m_input.EvaluationFailed[size_t(i)]) {
            // No noise figure of its own: an outlined square at the one it keeps.
            c.setPenColour(kMagenta);
            c.moveTo(x - 5, y - 5);
            c.lineTo(x + 5, y - 5);
            c.lineTo(x + 5, y + 5);
            c.lineTo(x - 5, y + 5);
            c.lineTo(x - 5, y - 5);
            c.setPenColour(kRed);
        } else {
            c.moveTo(x, y + 5);
            c.lineTo(x + 5, y - 5);
            c.lineTo(x - 5, y - 5);
            c.lineTo(x, y + 5);
        }
        c.moveTo(x, y);
    }

    // Gain: points joined by lines, a circle on each.
    c.setPen(kGreen, 1);
    c.moveTo(p.left, ReportAxisY(p, gain, m_input.GainDb[0]));
    for (int i = 0; i <= steps; ++i) {
        const int x = ReportPointX(p, i, steps);
        const int y = ReportAxisY(p, gain, m_input.GainDb[size_t(i)]);
        c.setPenWidth(2);
        c.lineTo(x, y);
        c.setPenWidth(3);
        c.ellipse(x - 5, y - 5, x + 5, y + 5);
    }
    for (const LimitKind kind : kLimitKindsInOrder)
        PrintLimitLines(kind, IsNoiseFigureLimit(kind) ? nf : gain);
    for (int i = 0; i <= steps; ++i) {
        if (m_input.OutsideGuidelines[size_t(i)])
            PrintGuidelineMark(ReportPointX(p, i, steps), ReportAxisY(p, nf, m_input.NoiseFigureDb[size_t(i)]));
    }
    c.setPenWidth(1);
}

void TestReport::PrintConfidence(int c2, int c3)
{
    const QString uncertainty = ReportUncertaintyText(m_input.LargestUncertaintyDb);
    if (!uncertainty.isEmpty())
        PrintText(c2, uncertainty);
    const int marked = int(std::count(m_input.OutsideGuidelines.begin(),
                                      m_input.OutsideGuidelines.begin() + lastIndex(m_input.Steps) + 1, true));
    if (marked == 0)
        return;
    PrintText(c3, ReportGuidelineText(marked));
    // The mark itself stands left of the text, as the legend's triangle does.
    const int yc = 10 * PrintLine - 40 / 2;
    PrintGuidelineMark(10 * c3 + 76, yc - kReportMarkGap - kReportMarkHalf);
    m_canvas->setPen(Qt::black, 1);
}

void TestReport::PrintLimitLines(LimitKind kind, const AxisRange &axis)
{
    Canvas &c = *m_canvas;
    const ReportPlot &p = m_plot;
    const double span = m_input.StopHz - m_input.StartHz;
    const auto x = [&](double hz) { return span > 0 ? p.left + truncInt(p.width * (hz - m_input.StartHz) / span) : p.left; };
    const auto y = [&](double db) { return std::clamp(ReportAxisY(p, axis, db), p.bottom, p.bottom + p.height); };
    c.setPen(IsNoiseFigureLimit(kind) ? kRed : kGreen, 1);
    for (const LimitSegment &s : LimitSegments(m_input.Limits, kind, m_input.StartHz, m_input.StopHz)) {
        // A single frequency's limit spans the plot, as its point sits on the left edge.
        const int x2 = s.fromHz == s.toHz ? p.left + p.width : x(s.toHz);
        c.line(x(s.fromHz), y(s.fromDb), x2, y(s.toDb));
    }
    c.setPenWidth(1);
}

void TestReport::PrintGuidelineMark(int x, int y)
{
    Canvas &c = *m_canvas;
    c.setPen(kOrange, 3);
    const int apex = y + kReportMarkGap;
    const int base = apex + 2 * kReportMarkHalf;
    c.moveTo(x, apex);
    c.lineTo(x + kReportMarkHalf, base);
    c.lineTo(x - kReportMarkHalf, base);
    c.lineTo(x, apex);
}

void TestReport::setFont(int cellHeight, bool bold)
{
    m_canvas->setFont(ReportFont(cellHeight, bold));
}
