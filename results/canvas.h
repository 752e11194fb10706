#pragma once
// The one drawing vocabulary of the program: a pen position, a pen, a fill colour, a font and
// a font colour, with lines, ellipses and texts placed by integer coordinates. The screen
// graph, the cascade diagram and the printed report all draw through it.
//
// A Canvas either keeps its own image (the image components the graph and the diagram are
// shown on) or paints through a QPainter that the caller holds open on any device: an image,
// a widget, a printer or a PDF writer. Coordinates are those of the painter as the caller set
// it up; a caller may flip the y axis (the report's metric mapping grows upwards), and texts
// still stand upright with their cell hanging below the given point on the device.
//
// Two grids decide how shapes meet the device:
// - Pixels (always for an own image): the raster rules of the classic image components. A
//   line is one pixel wide and leaves out its end point, so a chain of lines meets without
//   double pixels; an ellipse's box leaves out its right and bottom edges; text cells are
//   whole pixels. Lines are drawn pixel by pixel so that tests can check exact positions.
// - Geometric (the default for a painter): lines and boxes run exactly through the given
//   points with the pen's width, texts are measured in fractions of a unit, as on paper.
// In both, a line of no length leaves no mark.

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QPoint>
#include <QString>

class QPainter;

class Canvas
{
public:
    enum class Grid { Pixels, Geometric };

    Canvas() = default;
    /// A canvas with its own white image of `width` × `height` pixels, on the pixel grid.
    Canvas(int width, int height);
    /// A canvas that paints through `painter`, which must stay active and outlive the canvas.
    /// The painter's pen, brush and font are set by every operation; its transform is kept.
    explicit Canvas(QPainter &painter, Grid grid = Grid::Geometric);

    /// The own image; a null image for a canvas on a painter.
    QImage &image() { return m_image; }
    const QImage &image() const { return m_image; }
    /// Size of the own image, or of the painter's window.
    int width() const;
    int height() const;
    Grid grid() const { return m_grid; }

    QColor fillColour() const { return m_fill; }
    void setFillColour(const QColor &c) { m_fill = c; }
    QColor penColour() const { return m_pen; }
    void setPenColour(const QColor &c) { m_pen = c; }
    /// Pen width in the painter's units; the pixel grid draws every line one pixel wide.
    int penWidth() const { return m_penWidth; }
    void setPenWidth(int width) { m_penWidth = width; }
    void setPen(const QColor &c, int width)
    {
        m_pen = c;
        m_penWidth = width;
    }
    QColor fontColour() const { return m_fontColour; }
    void setFontColour(const QColor &c) { m_fontColour = c; }
    const QFont &font() const { return m_font; }
    void setFont(const QFont &f);
    /// Whether a text's cell is first filled with the fill colour (on, as the image components
    /// do) or the background shows through it (off, as on paper).
    bool opaqueText() const { return m_opaqueText; }
    void setOpaqueText(bool on) { m_opaqueText = on; }
    QPoint penPos() const { return m_penPos; }

    void moveTo(int x, int y) { m_penPos = {x, y}; }
    /// Line from the pen position to (x, y) with the pen; the pen then stands at (x, y).
    void lineTo(int x, int y);
    /// moveTo (x1, y1), lineTo (x2, y2).
    void line(int x1, int y1, int x2, int y2);
    /// Fills the rectangle from (x1, y1) to (x2, y2), right and bottom edges excluded, with
    /// the fill colour.
    void fillRect(int x1, int y1, int x2, int y2);
    /// Ellipse inside the box of the two corners: filled with the fill colour, outlined with
    /// the pen.
    void ellipse(int x1, int y1, int x2, int y2);
    /// Writes text with the top-left corner of its cell at (x, y) in the font colour;
    /// afterwards the pen stands at the right end of the text on the same line.
    void textOut(int x, int y, const QString &text);
    int textWidth(const QString &text) const;
    int textHeight(const QString &text) const;

    /// Sets one pixel of the own image when it lies inside it.
    void setPixel(int x, int y, const QColor &c);

private:
    void pixelLineTo(int x, int y);
    void applyPen(QPainter &p) const;

    QImage m_image;
    QPainter *m_painter = nullptr;
    Grid m_grid = Grid::Pixels;
    QColor m_fill = Qt::white;
    QColor m_pen = Qt::black;
    int m_penWidth = 1;
    QColor m_fontColour = Qt::black;
    bool m_opaqueText = true;
    QFont m_font;
    QFontMetrics m_metrics{m_font};  ///< kept with the font: texts are measured on every label
    QFontMetricsF m_metricsF{m_font};
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
