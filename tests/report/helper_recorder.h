#pragma once
// A paint device that keeps what is drawn on it instead of pixels: lines, ellipses and texts
// with their pens, fonts and colours, in report units (0.1 mm, y upwards from the top edge of
// the printable area). Its resolution is 254 dots per inch, one device pixel per 0.1 mm, so
// a report painted on it arrives in the units it was designed in.

#include <QColor>
#include <QList>
#include <QPaintDevice>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <memory>

struct RecordedLine
{
    QPointF from;
    QPointF to;
    QColor colour;
    double width = 0;
};

struct RecordedEllipse
{
    QRectF box;  ///< normalised: top() is the lower edge on paper (smaller y)
    QColor colour;
    QColor fill;
    double width = 0;
};

struct RecordedText
{
    QString text;
    QPointF topLeft;  ///< top-left corner of the text cell
    QColor colour;
    double cellHeight = 0;  ///< ascent plus descent of the font, 0.1 mm
    bool bold = false;
    double width = 0;  ///< advance of the text, 0.1 mm
};

class RecordingEngine;

class RecordingDevice : public QPaintDevice
{
public:
    RecordingDevice(int widthMm, int heightMm);
    ~RecordingDevice() override;

    QPaintEngine *paintEngine() const override;

    QList<RecordedLine> lines;
    QList<RecordedEllipse> ellipses;
    QList<RecordedText> texts;
    int otherPrimitives = 0;  ///< paths, polygons, pixmaps: the report draws none of them

    /// Texts equal to `text`.
    QList<RecordedText> textsNamed(const QString &text) const;
    /// Lines of the given colour and width.
    QList<RecordedLine> linesOf(const QColor &colour, double width) const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    friend class RecordingEngine;
    int m_widthMm;
    int m_heightMm;
    std::unique_ptr<RecordingEngine> m_engine;
};
