#include "results/canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <cstdlib>

Canvas::Canvas(int width, int height) : m_image(width, height, QImage::Format_RGB32)
{
    m_image.fill(m_fill);
    setFont(SansFont());
}

void Canvas::setFont(const QFont &f)
{
    if (f == m_font)
        return;
    m_font = f;
    m_metrics = QFontMetrics(m_font);
    m_fontHeight = m_metrics.height();
    m_fontAscent = m_metrics.ascent();
}

void Canvas::setPixel(int x, int y, const QColor &c)
{
    if (x >= 0 && y >= 0 && x < m_image.width() && y < m_image.height())
        m_image.setPixel(x, y, c.rgb());
}

void Canvas::lineTo(int x, int y)
{
    // Bresenham from the pen position; the last pixel is left out. The pixels are written
    // straight into the image's rows: a redraw of the graph draws thousands of them.
    const QRgb rgb = m_pen.rgb();
    const int w = m_image.width();
    const int h = m_image.height();
    const bool direct = m_image.format() == QImage::Format_RGB32 ||
                        m_image.format() == QImage::Format_ARGB32;
    uchar *const bits = direct && w > 0 && h > 0 ? m_image.bits() : nullptr;
    const qsizetype stride = m_image.bytesPerLine();
    int x0 = m_penPos.x();
    int y0 = m_penPos.y();
    const int dx = std::abs(x - x0);
    const int dy = -std::abs(y - y0);
    const int sx = x0 < x ? 1 : -1;
    const int sy = y0 < y ? 1 : -1;
    int err = dx + dy;
    while (x0 != x || y0 != y) {
        if (x0 >= 0 && y0 >= 0 && x0 < w && y0 < h) {
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
    m_penPos = {x, y};
}

void Canvas::fillRect(int x1, int y1, int x2, int y2)
{
    QPainter p(&m_image);
    p.fillRect(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)), m_fill);
}

void Canvas::ellipse(int x1, int y1, int x2, int y2)
{
    QPainter p(&m_image);
    p.setPen(m_pen);
    p.setBrush(m_fill);
    p.drawEllipse(QRect(QPoint(x1, y1), QPoint(x2 - 2, y2 - 2)));
}

void Canvas::textOut(int x, int y, const QString &text)
{
    QPainter p(&m_image);
    p.setFont(m_font);
    const QFontMetrics &fm = m_metrics;
    const QRect box(x, y, fm.horizontalAdvance(text), m_fontHeight);
    p.fillRect(box, m_fill);
    p.setPen(m_fontColour);
    // Drawn at its base line: the same place as the top-left corner of the cell, without the
    // cost of laying the text out in a rectangle.
    p.drawText(QPoint(x, y + m_fontAscent), text);
    m_penPos = {x + box.width(), y};
}

int Canvas::textWidth(const QString &text) const
{
    return m_metrics.horizontalAdvance(text);
}

int Canvas::textHeight(const QString &) const
{
    return m_fontHeight;
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
    image.moveTo(x1, y1);
    image.lineTo(x2, y2);
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
        image.moveTo(x - s, y - s);
        image.lineTo(x + s, y + s);
        image.moveTo(x - s, y + s);
        image.lineTo(x + s, y - s);
        break;
    }
}
