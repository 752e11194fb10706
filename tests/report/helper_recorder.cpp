#include "helper_recorder.h"

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QTextItem>
#include <QTransform>

class RecordingEngine : public QPaintEngine
{
public:
    explicit RecordingEngine(RecordingDevice *device) : QPaintEngine(AllFeatures), m_device(device) {}

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return User; }

    void updateState(const QPaintEngineState &s) override
    {
        if (s.state() & DirtyTransform)
            m_transform = s.transform();
        if (s.state() & DirtyPen)
            m_pen = s.pen();
        if (s.state() & DirtyBrush)
            m_brush = s.brush();
    }

    void drawLines(const QLineF *lines, int count) override
    {
        for (int i = 0; i < count; ++i)
            m_device->lines.append({page(lines[i].p1()), page(lines[i].p2()), m_pen.color(), penWidth()});
    }
    void drawLines(const QLine *lines, int count) override
    {
        for (int i = 0; i < count; ++i)
            m_device->lines.append({page(lines[i].p1()), page(lines[i].p2()), m_pen.color(), penWidth()});
    }
    void drawEllipse(const QRectF &r) override
    {
        const QRectF box = QRectF(page(r.topLeft()), page(r.bottomRight())).normalized();
        m_device->ellipses.append({box, m_pen.color(), m_brush.color(), penWidth()});
    }
    void drawEllipse(const QRect &r) override { drawEllipse(QRectF(r)); }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        const QFontMetricsF fm(item.font());
        RecordedText t;
        t.text = item.text();
        // The text is drawn at its baseline in the painter's (upright) text space.
        t.topLeft = page(p - QPointF(0, fm.ascent()));
        t.colour = m_pen.color();
        t.cellHeight = fm.height() * std::abs(m_transform.m22());
        t.bold = item.font().bold();
        t.width = fm.horizontalAdvance(item.text()) * std::abs(m_transform.m11());
        m_device->texts.append(t);
    }
    void drawPath(const QPainterPath &) override { ++m_device->otherPrimitives; }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { ++m_device->otherPrimitives; }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { ++m_device->otherPrimitives; }

private:
    /// Device pixels (0.1 mm, y downwards) to report units (y upwards).
    QPointF page(const QPointF &logical) const
    {
        const QPointF d = m_transform.map(logical);
        return {d.x(), -d.y()};
    }
    double penWidth() const
    {
        // A pen width is given in the units of the transform it is drawn with.
        return m_pen.widthF() * std::abs(m_transform.m11());
    }

    RecordingDevice *m_device;
    QTransform m_transform;
    QPen m_pen;
    QBrush m_brush;
};

RecordingDevice::RecordingDevice(int widthMm, int heightMm)
    : m_widthMm(widthMm), m_heightMm(heightMm), m_engine(std::make_unique<RecordingEngine>(this))
{
}

RecordingDevice::~RecordingDevice() = default;

QPaintEngine *RecordingDevice::paintEngine() const
{
    return m_engine.get();
}

int RecordingDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth: return m_widthMm * 10;
    case PdmHeight: return m_heightMm * 10;
    case PdmWidthMM: return m_widthMm;
    case PdmHeightMM: return m_heightMm;
    case PdmNumColors: return 1 << 24;
    case PdmDepth: return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY: return 254;
    case PdmDevicePixelRatio: return 1;
    default: return QPaintDevice::metric(metric);
    }
}

QList<RecordedText> RecordingDevice::textsNamed(const QString &text) const
{
    QList<RecordedText> out;
    for (const RecordedText &t : texts)
        if (t.text == text)
            out.append(t);
    return out;
}

QList<RecordedLine> RecordingDevice::linesOf(const QColor &colour, double width) const
{
    QList<RecordedLine> out;
    for (const RecordedLine &l : lines)
        if (l.colour == colour && qAbs(l.width - width) < 1e-6)
            out.append(l);
    return out;
}
