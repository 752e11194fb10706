#pragma once
// A drawing surface that keeps its pixels, a fill colour, a font and a pen position, like the
// image components the graph and the cascade diagram are drawn on. Lines are drawn pixel by
// pixel so that tests can check exact positions: a line leaves out its end point, as the
// Windows GDI does, so a chain of lines meets without double pixels.

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPoint>
#include <QString>

class Canvas
{
public:
    Canvas() = default;
    Canvas(int width, int height);

    QImage &image() { return m_image; }
    const QImage &image() const { return m_image; }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }

    QColor fillColour() const { return m_fill; }
    void setFillColour(const QColor &c) { m_fill = c; }
    QColor penColour() const { return m_pen; }
    void setPenColour(const QColor &c) { m_pen = c; }
    QColor fontColour() const { return m_fontColour; }
    void setFontColour(const QColor &c) { m_fontColour = c; }
    const QFont &font() const { return m_font; }
    void setFont(const QFont &f);
    QPoint penPos() const { return m_penPos; }

    void moveTo(int x, int y) { m_penPos = {x, y}; }
    /// Line from the pen position to (x, y) in the pen colour, end point not drawn.
    void lineTo(int x, int y);
    /// Fills the rectangle [x1, x2) × [y1, y2) with the fill colour.
    void fillRect(int x1, int y1, int x2, int y2);
    /// Ellipse in the box [x1, x2) × [y1, y2): filled with the fill colour, outlined in the pen colour.
    void ellipse(int x1, int y1, int x2, int y2);
    /// Writes text with its top-left corner at (x, y) in the font colour on the fill colour;
    /// afterwards the pen stands at the right end of the text on the same line.
    void textOut(int x, int y, const QString &text);
    int textWidth(const QString &text) const;
    int textHeight(const QString &text) const;

    /// Sets one pixel when it lies inside the image.
    void setPixel(int x, int y, const QColor &c);

private:
    QImage m_image;
    QColor m_fill = Qt::white;
    QColor m_pen = Qt::black;
    QColor m_fontColour = Qt::black;
    QFont m_font;
    QFontMetrics m_metrics{m_font};  ///< kept with the font: texts are measured on every label
    int m_fontHeight = m_metrics.height();  ///< the metrics look these two up anew on every call
    int m_fontAscent = m_metrics.ascent();
    QPoint m_penPos;
};

/// The fixed-pitch font of the graph texts (the nearest available to the classic "FixedSys").
QFont FixedSysFont();
/// The small sans-serif dialog font, `points` at 96 dpi (the nearest to "MS Sans Serif").
QFont SansFont(int points = 8);

// Drawing helpers shared by the result graph and the cascade diagram.

/// Sets the pen colour and draws a line from (x1, y1) to (x2, y2); the end point is not drawn.
void DrawLine(Canvas &image, int x1, int y1, int x2, int y2, const QColor &colour);
/// Fills the whole image with `colour`, which stays the image's fill colour afterwards.
void FillImage(Canvas &image, const QColor &colour);
/// Writes `text` at (x, y) (top-left corner) in `colour` with the graph's fixed-pitch font.
void DrawLabel(Canvas &image, int x, int y, const QColor &colour, const QString &text);

enum class MarkerKind { Triangle, Circle, Cross };
constexpr int kMarkerHalfSize = 3;
/// A point marker of half size 3 around (x, y) in `colour`; a circle is filled with the fill colour.
void DrawMarker(Canvas &image, int x, int y, MarkerKind kind, const QColor &colour);
