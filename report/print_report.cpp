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
    const float k = float(plot.height / (axis.top - axis.bottom));
    const float offset = float(plot.height - double(k) * axis.top);
    const double y = double(offset) + double(k) * v;
    if (!std::isfinite(y))
        return plot.bottom;
    return RoundHalfEven(y) + plot.bottom;
}

int ReportPointX(const ReportPlot &plot, int index, int steps)
{
    const int m = steps > 0 ? steps : 1;
    return RoundHalfEven(double(index) * plot.width / m) + plot.left;
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

bool TestReport::PrintReport(QPagedPaintDevice &printer)
{
    printer.setPageOrientation(QPageLayout::Portrait);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF printable = printer.pageLayout().paintRect(QPageLayout::Millimeter);
    PrintReport(painter, int(printable.width()), int(printable.height()));
    return painter.end();
}

void TestReport::PrintReport(QPainter &painter, int pageWidthMm, int pageHeightMm)
{
    PageWidthMm = uint16_t(std::clamp(pageWidthMm, 0, 65535));
    PageHeightMm = uint16_t(std::clamp(pageHeightMm, 0, 65535));

    m_painter = &painter;
    painter.save();
    // 0.1 mm per unit, y upwards from the top edge of the printable area.
    const QPaintDevice *device = painter.device();
    painter.scale(device->logicalDpiX() / 254.0, -device->logicalDpiY() / 254.0);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::white);
    // A thin black pen for the marks and black text for the title.
    setPen(Qt::black, 1);
    m_fontColour = Qt::black;
    m_font = ReportFont(40, false);

    PrintLine = -10;
    PrintMarks();
    PrintTitle();
    PrintBody();

    painter.restore();
    m_painter = nullptr;
}

void TestReport::PrintMarks()
{
    const int ym = (-10 * int(PageHeightMm)) / 2;
    // Fold mark at the middle, and two punch-hole marks 80 mm apart around it.
    line(0, ym, 50, ym);
    ellipse(30, ym - 420, 70, ym - 380);
    ellipse(30, ym + 380, 70, ym + 420);
}

void TestReport::PrintTitle()
{
    setFont(80, true);
    const QString title = QStringLiteral("Test Report: ");
    textOut((10 * int(PageWidthMm) - textWidth(title)) / 2, 10 * PrintLine, title);
    PrintLine -= 15;
}

void TestReport::PrintText(int columnMm, const QString &text)
{
    textOut(10 * columnMm + 100, 10 * PrintLine, text);
}

void TestReport::PrintBody()
{
    const int w = (int(PageWidthMm) - 10) / 4;
    const int c0 = 5;
    const int c1 = 5 + w;
    const int c2 = 5 + 2 * w;
    const int c3 = 5 + 3 * w;
    const ReportTexts &t = m_input.Texts;

    setFont(50, true);
    m_fontColour = Qt::black;
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
    setFont(40, false);
    PrintLine -= 6;

    // The legend and the gap above the graph take 16 mm below the last remark line; a remark
    // line is printed only while the graph below it keeps its least height.
    const int graphBottom = 500 - 10 * int(PageHeightMm);
    for (const QString &remark : TakeRemarkLines(m_input.Remarks)) {
        if (10 * (PrintLine - 4 - 16) - graphBottom < kMinGraphHeight)
            break;
        PrintText((c0 + c1) / 2, remark);
        PrintLine -= 4;
    }

    PrintLine -= 8;
    setFont(50, true);
    const int yc = 10 * PrintLine - 50 / 2;
    m_fontColour = kRed;
    PrintText(c0, QStringLiteral("Noise Figure [dB]"));
    setPen(kRed, 3);
    const int xm = 10 * c0 + 76;
    moveTo(xm, yc + 8);
    lineTo(xm + 8, yc - 8);
    lineTo(xm - 8, yc - 8);
    lineTo(xm, yc + 8);
    m_fontColour = kGreen;
    PrintText(c3, QStringLiteral("Gain [dB]"));
    setPen(kGreen, 3);
    ellipse(10 * c3 + 68, yc - 8, 10 * c3 + 84, yc + 8);

    PrintLine -= 8;
    PrintGraph();
    PrintLine -= 5;
}

void TestReport::PrintGraph()
{
    const int steps = lastIndex(m_input.Steps);
    // The same data and axis ranges as the screen graph.
    const ResultDataRange data = DataRange(m_input.NoiseFigureDb, m_input.GainDb, steps);
    const AxisRange nf = NoiseFigureAxis(data.maxF);
    const AxisRange gain = GainAxis(data.minG, data.maxG);
    const ReportPlot p = ReportPlotRect(PageWidthMm, PageHeightMm, PrintLine);
    m_plot = p;

    setFont(60, false);
    m_fontColour = Qt::black;
    const QString perDiv = FormatValue(0, fvHz + fvPrefix, (m_input.StopHz - m_input.StartHz) / 10) +
                           QStringLiteral(" / DIV");
    textOut(p.width / 2 + p.left - textWidth(perDiv) / 2, p.bottom - 70, perDiv);

    setFont(40, false);
    setPen(kGrey, 1);
    for (int k = 0; k <= 10; ++k) {
        const int yk = truncInt(p.height / 10.0 * k + p.bottom);
        line(p.left, yk, p.left + p.width, yk);
        const QString nfText = FormatValue(1, 0, nf.top * k / 10);
        m_fontColour = kRed;
        textOut(p.left - textWidth(nfText) - 10, yk + 20, nfText);
        m_fontColour = kGreen;
        textOut(p.left + p.width + 10, yk + 20, FormatValue(1, 0, gain.bottom + (gain.top - gain.bottom) * k / 10));
    }
    m_fontColour = Qt::black;
    for (int k = 1; k <= 10; ++k) {
        const int xk = truncInt(p.width / 10.0 * k + p.left);
        line(xk, p.bottom, xk, p.bottom + p.height);
    }

    setPen(Qt::black, 3);
    line(p.left, p.bottom, p.left, p.bottom + p.height);
    line(p.left, p.bottom, p.left + p.width, p.bottom);

    const QString start = FormatValue(2, fvHz + fvPrefix, m_input.StartHz);
    const QString stop = FormatValue(2, fvHz + fvPrefix, m_input.StopHz);
    textOut(p.left - textWidth(start) / 2, p.bottom - 20, start);
    textOut(p.left + p.width - textWidth(stop) / 2, p.bottom - 20, stop);

    // Noise figure: points joined by lines, a triangle with its apex up on each.
    setPen(kRed, 2);
    moveTo(p.left, ReportAxisY(p, nf, m_input.NoiseFigureDb[0]));
    for (int i = 0; i <= steps; ++i) {
        const int x = ReportPointX(p, i, steps);
        const int y = ReportAxisY(p, nf, m_input.NoiseFigureDb[size_t(i)]);
        setPenWidth(2);
        lineTo(x, y);
        setPenWidth(3);
        moveTo(x, y + 5);
        lineTo(x + 5, y - 5);
        lineTo(x - 5, y - 5);
        lineTo(x, y + 5);
        moveTo(x, y);
    }

    // Gain: points joined by lines, a circle on each.
    setPen(kGreen, 1);
    moveTo(p.left, ReportAxisY(p, gain, m_input.GainDb[0]));
    for (int i = 0; i <= steps; ++i) {
        const int x = ReportPointX(p, i, steps);
        const int y = ReportAxisY(p, gain, m_input.GainDb[size_t(i)]);
        setPenWidth(2);
        lineTo(x, y);
        setPenWidth(3);
        ellipse(x - 5, y - 5, x + 5, y + 5);
    }
    setPenWidth(1);
}

// ---- Canvas operations in page units -----------------------------------------------------------

void TestReport::setFont(int cellHeight, bool bold)
{
    m_font = ReportFont(cellHeight, bold);
}

void TestReport::setPen(const QColor &colour, int width)
{
    m_pen = QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    m_painter->setPen(m_pen);
}

void TestReport::setPenWidth(int width)
{
    m_pen.setWidth(width);
    m_painter->setPen(m_pen);
}

void TestReport::textOut(int x, int y, const QString &text)
{
    if (text.isEmpty())
        return;
    // Undo the upward y axis locally so that the text stands upright; its cell hangs below y.
    m_painter->save();
    m_painter->translate(x, y);
    m_painter->scale(1, -1);
    m_painter->setFont(m_font);
    m_painter->setPen(m_fontColour);
    m_painter->drawText(QPointF(0, QFontMetricsF(m_font).ascent()), text);
    m_painter->restore();
}

int TestReport::textWidth(const QString &text) const
{
    return int(std::lround(QFontMetricsF(m_font).horizontalAdvance(text)));
}

void TestReport::moveTo(int x, int y)
{
    m_penX = x;
    m_penY = y;
}

void TestReport::lineTo(int x, int y)
{
    // A line of no length leaves no mark on paper.
    if (x != m_penX || y != m_penY)
        m_painter->drawLine(QPoint(m_penX, m_penY), QPoint(x, y));
    moveTo(x, y);
}

void TestReport::line(int x1, int y1, int x2, int y2)
{
    moveTo(x1, y1);
    lineTo(x2, y2);
}

void TestReport::ellipse(int x1, int y1, int x2, int y2)
{
    m_painter->drawEllipse(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized());
}
