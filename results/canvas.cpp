#include "results/canvas.h"

#include <QPainter>
#include <QPen>
#include <QLineF>
#include <QPolygon>
#include <cmath>
#include <cstdlib>

namespace {

/// The painter an operation draws with: the caller's, or one opened on the own image for the
/// length of the operation (the image is then free between operations, to be shown or copied).
class ActivePainter
{
public:
    ActivePainter(QPainter *external, QImage &own) : m_painter(external)
    {
        if (!m_painter) {
            m_local.begin(&own);
            m_painter = &m_local;
        }
    }
    QPainter &operator*() { return *m_painter; }
    QPainter *operator->() { return m_painter; }

private:
    QPainter m_local;
    QPainter *m_painter;
};

}  // namespace

Canvas::Canvas(int width, int height) : m_image(width, height, QImage::Format_RGB32)
{
    m_image.fill(m_fill);
    setFont(SansFont());
}

Canvas::Canvas(QPainter &painter, Grid grid) : m_painter(&painter), m_grid(grid)
{
    setFont(SansFont());
}

int Canvas::width() const
{
    return m_painter ? m_painter->window().width() : m_image.width();
}

int Canvas::height() const
{
    return m_painter ? m_painter->window().height() : m_image.height();
}

void Canvas::setFont(const QFont &f)
{
    if (f == m_font)
        return;
    m_font = f;
    m_metrics = QFontMetrics(m_font);
    m_metricsF = QFontMetricsF(m_font);
    m_fontHeight = m_metrics.height();
    m_fontAscent = m_metrics.ascent();
}

void Canvas::setPixel(int x, int y, const QColor &c)
{
    if (x >= 0 && y >= 0 && x < m_image.width() && y < m_image.height())
        m_image.setPixel(x, y, c.rgb());
}

void Canvas::applyPen(QPainter &p) const
{
    if (m_grid == Grid::Pixels)
        p.setPen(QPen(m_pen, 1));
    else
        p.setPen(QPen(m_pen, m_penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void Canvas::line(int x1, int y1, int x2, int y2)
{
    moveTo(x1, y1);
    lineTo(x2, y2);
}

void Canvas::lineTo(int x, int y)
{
    if (m_grid == Grid::Pixels) {
        pixelLineTo(x, y);
        return;
    }
    if (QPoint(x, y) != m_penPos) {
        ActivePainter p(m_painter, m_image);
        applyPen(*p);
        p->drawLine(m_penPos, QPoint(x, y));
    }
    m_penPos = {x, y};
}

void Canvas::pixelLineTo(int x, int y)
{
    // Bresenham from the pen position; the last pixel is left out. On the own image the pixels
    // are written straight into its rows: a redraw of the graph draws thousands of them.
    const QRgb rgb = m_pen.rgb();
    const int w = m_image.width();
    const int h = m_image.height();
    const bool direct = !m_painter && (m_image.format() == QImage::Format_RGB32 ||
                                       m_image.format() == QImage::Format_ARGB32);
    uchar *const bits = direct && w > 0 && h > 0 ? m_image.bits() : nullptr;
    const qsizetype stride = m_image.bytesPerLine();
    QPolygon points;  // for a painter's device
    int x0 = m_penPos.x();
    int y0 = m_penPos.y();
    const int dx = std::abs(x - x0);
    const int dy = -std::abs(y - y0);
    const int sx = x0 < x ? 1 : -1;
    const int sy = y0 < y ? 1 : -1;
    int err = dx + dy;
    while (x0 != x || y0 != y) {
        if (m_painter)
            points.append(QPoint(x0, y0));
        else if (x0 >= 0 && y0 >= 0 && x0 < w && y0 < h) {
            if (bits)
                reinterpret_cast<QRgb *>(bits + y0 * stride)[x0] = rgb;
            else
                m_image.setPixel(x0, y0, rgb);
        }
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
    if (m_painter && !points.isEmpty()) {
        // Each straight run of pixels becomes one line through the pixels' centres, its square
        // caps reaching the outer edges of the end pixels: the same pixels on a raster device,
        // and a line rather than a heap of dots in a drawing (SVG).
        m_painter->save();
        m_painter->setRenderHint(QPainter::Antialiasing, false);
        QPen pen(m_pen, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
        m_painter->setPen(pen);
        const auto drawRun = [this](QPoint a, QPoint b) {
            if (a == b)
                m_painter->fillRect(QRect(a, QSize(1, 1)), m_pen);
            else
                m_painter->drawLine(QLineF(a.x() + 0.5, a.y() + 0.5, b.x() + 0.5, b.y() + 0.5));
        };
        QPoint runStart = points.first();
        QPoint runEnd = runStart;
        QPoint runStep;
        for (qsizetype i = 1; i < points.size(); ++i) {
            const QPoint step = points[i] - runEnd;
            const bool straight = step.x() == 0 || step.y() == 0;
            if (straight && (runStart == runEnd || step == runStep)) {
                runStep = step;
                runEnd = points[i];
                continue;
            }
            drawRun(runStart, runEnd);
            runStart = runEnd = points[i];
            runStep = QPoint();
        }
        drawRun(runStart, runEnd);
        m_painter->restore();
    }
    m_penPos = {x, y};
}

void Canvas::fillRect(int x1, int y1, int x2, int y2)
{
    ActivePainter p(m_painter, m_image);
    if (m_grid == Grid::Pixels)
        p->fillRect(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)), m_fill);
    else
        p->fillRect(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized(), m_fill);
}

void Canvas::ellipse(int x1, int y1, int x2, int y2)
{
    ActivePainter p(m_painter, m_image);
    applyPen(*p);
    p->setBrush(m_fill);
    if (m_grid == Grid::Pixels) {
        // A one-pixel outline covers its rectangle's right and bottom edges too: the box
        // [x1, x2) × [y1, y2) is the rectangle up to x2 − 2, y2 − 2.
        p->drawEllipse(QRect(QPoint(x1, y1), QPoint(x2 - 2, y2 - 2)));
    } else {
        p->drawEllipse(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized());
    }
}

void Canvas::textOut(int x, int y, const QString &text)
{
    const int width = textWidth(text);
    if (!text.isEmpty()) {
        ActivePainter p(m_painter, m_image);
        p->setFont(m_font);
        if (m_grid == Grid::Pixels) {
            const QRect box(x, y, width, m_fontHeight);
            if (m_opaqueText)
                p->fillRect(box, m_fill);
            p->setPen(m_fontColour);
            // Drawn at its base line: the same place as the top-left corner of the cell,
            // without the cost of laying the text out in a rectangle.
            p->drawText(QPoint(x, y + m_fontAscent), text);
        } else {
            p->save();
            p->translate(x, y);
            // Where y grows upwards, the text is turned back upright; its cell still hangs
            // below (x, y) on the device.
            if (p->worldTransform().m22() < 0)
                p->scale(1, -1);
            if (m_opaqueText)
                p->fillRect(QRectF(0, 0, m_metricsF.horizontalAdvance(text), m_metricsF.height()), m_fill);
            p->setPen(m_fontColour);
            p->drawText(QPointF(0, m_metricsF.ascent()), text);
            p->restore();
        }
    }
    m_penPos = {x + width, y};
}

int Canvas::textWidth(const QString &text) const
{
    if (m_grid == Grid::Pixels)
        return m_metrics.horizontalAdvance(text);
    return int(std::lround(m_metricsF.horizontalAdvance(text)));
}

int Canvas::textHeight(const QString &) const
{
    if (m_grid == Grid::Pixels)
        return m_fontHeight;
    return int(std::lround(m_metricsF.height()));
}

QFont FixedSysFont()
{
    // Built once: every label of the graph asks for it.
    static const QFont font = [] {
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
        f.setPixelSize(12);
        f.setBold(true);
        f.setStyleStrategy(QFont::NoAntialias);
        return f;
    }();
    return font;
}

QFont SansFont(int points)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(points * 96 / 72 - 1);  // 8 pt at 96 dpi, as the classic dialog font
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

void DrawLine(Canvas &image, int x1, int y1, int x2, int y2, const QColor &colour)
{
    image.setPenColour(colour);
    image.line(x1, y1, x2, y2);
}

void FillImage(Canvas &image, const QColor &colour)
{
    image.setFillColour(colour);
    image.fillRect(0, 0, image.width(), image.height());
}

void DrawLabel(Canvas &image, int x, int y, const QColor &colour, const QString &text)
{
    image.setFont(FixedSysFont());
    image.setFontColour(colour);
    image.textOut(x, y, text);
}

void DrawMarker(Canvas &image, int x, int y, MarkerKind kind, const QColor &colour)
{
    const int s = kMarkerHalfSize;
    image.setPenColour(colour);
    switch (kind) {
    case MarkerKind::Triangle:
        image.moveTo(x, y - s);
        image.lineTo(x + s, y + s);
        image.lineTo(x - s, y + s);
        image.lineTo(x, y - s);
        break;
    case MarkerKind::Circle:
        image.ellipse(x - s, y - s, x + s, y + s);
        break;
    case MarkerKind::Cross:
        image.line(x - s, y - s, x + s, y + s);
        image.line(x - s, y + s, x + s, y - s);
        break;
    }
}
