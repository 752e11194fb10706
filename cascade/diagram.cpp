#include "cascade/diagram.h"

#include "base/engvalue.h"
#include "results/canvas.h"

#include <QColor>

namespace {

/// Subscripts ("1", "out", "in") stand this much lower than the text they follow.
constexpr int kSubscriptDrop = 4;

class Painter
{
public:
    Painter(Canvas &image, CascadeDrawing &drawing) : m_image(image), m_drawing(drawing) {}

    void line(int x1, int y1, int x2, int y2)
    {
        DrawLine(m_image, x1, y1, x2, y2, Qt::black);
        m_drawing.lines.push_back({{x1, y1}, {x2, y2}});
    }

    void text(int x, int y, const QString &s)
    {
        m_image.textOut(x, y, s);
        m_drawing.texts.push_back({{x, y}, s});
    }

    /// Text right after the previous one, at the pen position moved down by `drop`.
    void textAfter(int drop, const QString &s)
    {
        const QPoint pen = m_image.penPos();
        text(pen.x(), pen.y() + drop, s);
    }

    /// Text right after the previous one, on the line `y`.
    void textAfterAt(int y, const QString &s) { text(m_image.penPos().x(), y, s); }

    int height(const QString &s) const { return m_image.textHeight(s); }

private:
    Canvas &m_image;
    CascadeDrawing &m_drawing;
};

void DrawStage(Painter &p, int x, int yc, int s, const CascadeStage &st)
{
    for (const StageSegment &seg : StageShape)
        p.line(x + seg.dx, yc + seg.dy, x + seg.dx + seg.w, yc + seg.dy + seg.h);

    // Inside the triangle: G with the stage number as subscript, then the stage's own gain.
    const QString g = QStringLiteral("G");
    p.text(x + 32, yc - p.height(g) / 2, g);
    p.textAfter(kSubscriptDrop, QString::number(s));
    const QString gain = QStringLiteral("= ") + FormatValue(1, fvDb, st.StageGainDb);
    p.textAfterAt(yc - p.height(gain) / 2, gain);

    // Level with the triangle's top corner: the output IP3 of the chain up to here.
    const int ip3Y = yc - 40;
    p.text(x + 72, ip3Y, QStringLiteral("IP3"));
    p.textAfter(kSubscriptDrop, QStringLiteral("out"));
    p.textAfterAt(ip3Y, QStringLiteral("=  ") + FormatValue(1, fvDbm, st.TotalIp3OutDbm));

    // Under the tip: the running noise figure above the running gain.
    const QString nf = QStringLiteral("NF= ") + FormatValue(1, fvDb, st.TotalNoiseFigureDb);
    p.text(x + 80, yc + 48 - 2 * p.height(nf), nf);
    const QString total = QStringLiteral("G= ") + FormatValue(1, fvDb, st.TotalGainDb);
    p.text(x + 80, yc + 48 - p.height(total), total);
}

}  // namespace

CascadeDrawing DrawCascade(Canvas &image, const CascadeState &state)
{
    CascadeDrawing drawing;
    Painter p(image, drawing);

    FillImage(image, Qt::white);
    drawing.yc = image.height() / 2;
    drawing.left = (image.width() - kCascadeStageCount * kStageWidth) / 2;
    image.setFont(SansFont(8));
    image.setFontColour(Qt::black);

    const int yc = drawing.yc;
    int x = drawing.left;
    for (int s = 1; s <= kCascadeStageCount; ++s) {
        drawing.stageX[size_t(s - 1)] = x;
        if (state.EnabledStages.contains(s))
            DrawStage(p, x, yc, s, state.stage(s));
        else
            p.line(x, yc, x + kStageWidth, yc);
        x += kStageWidth;
    }

    if (!state.EnabledStages.isEmpty()) {
        // The chain's input intercept: its output IP3 referred back through its gain.
        const CascadeStage &last = state.stage(state.LastStage);
        p.text(0, 0, QStringLiteral("IP3"));
        p.textAfter(kSubscriptDrop, QStringLiteral("in"));
        p.textAfterAt(0, QStringLiteral("=  ") + FormatValue(1, fvDbm, last.TotalIp3OutDbm - last.TotalGainDb));
    }
    return drawing;
}
