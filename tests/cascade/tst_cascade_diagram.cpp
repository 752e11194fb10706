// The cascade diagram on an image of the designed size: where the stages, leads and labels
// are drawn, what the labels read, and a few pixels of the picture.

#include "cascade/diagram.h"

#include "results/canvas.h"

#include <QTest>

namespace {

constexpr int kWidth = 744;
constexpr int kHeight = 118;
constexpr int kYc = 59;

bool hasLine(const CascadeDrawing &d, QPoint from, QPoint to)
{
    for (const DiagramLine &l : d.lines)
        if (l.from == from && l.to == to)
            return true;
    return false;
}

/// The texts written at x in [x1, x2), in drawing order.
QStringList textsBetween(const CascadeDrawing &d, int x1, int x2)
{
    QStringList out;
    for (const DiagramText &t : d.texts)
        if (t.pos.x() >= x1 && t.pos.x() < x2)
            out << t.text;
    return out;
}

const DiagramText *findText(const CascadeDrawing &d, const QString &text, int x1 = 0, int x2 = kWidth)
{
    for (const DiagramText &t : d.texts)
        if (t.text == text && t.pos.x() >= x1 && t.pos.x() < x2)
            return &t;
    return nullptr;
}

bool black(const Canvas &c, int x, int y)
{
    return c.image().pixel(x, y) == QColor(Qt::black).rgb();
}

bool white(const Canvas &c, int x, int y)
{
    return c.image().pixel(x, y) == QColor(Qt::white).rgb();
}

int blackPixels(const Canvas &c, const QRect &r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += black(c, x, y) ? 1 : 0;
    return n;
}

CascadeState computed(CascadeState st)
{
    ComputeCascade(st);
    return st;
}

CascadeState twoStageExample()
{
    CascadeState st;
    StoreStageValue(st, 1, NoiseFigureRow, 1);
    StoreStageValue(st, 1, GainRow, 20);
    StoreStageValue(st, 1, Ip3OutRow, 30);
    StoreStageValue(st, 2, NoiseFigureRow, 6);
    StoreStageValue(st, 2, GainRow, 10);
    StoreStageValue(st, 2, Ip3OutRow, 20);
    for (int s : {3, 4, 5})
        SetStageEnabled(st, s, false);
    return computed(st);
}

}  // namespace

class TestCascadeDiagram : public QObject
{
    Q_OBJECT

private slots:
    void stagesAreCentredSideBySide()
    {
        Canvas c(kWidth, kHeight);
        const CascadeDrawing d = DrawCascade(c, computed(CascadeState()));
        QCOMPARE(d.yc, kYc);
        QCOMPARE(d.left, 22);
        for (int s = 1; s <= 5; ++s) {
            const int x = 22 + 140 * (s - 1);
            QCOMPARE(d.stageX[size_t(s - 1)], x);
            QVERIFY(hasLine(d, {x, kYc}, {x + 30, kYc}));            // input lead
            QVERIFY(hasLine(d, {x + 30, kYc - 40}, {x + 30, kYc + 40}));  // left side
            QVERIFY(hasLine(d, {x + 30, kYc - 40}, {x + 110, kYc}));     // upper side to the tip
            QVERIFY(hasLine(d, {x + 30, kYc + 40}, {x + 110, kYc}));     // lower side to the tip
            QVERIFY(hasLine(d, {x + 110, kYc}, {x + 140, kYc}));         // output lead
        }
        QCOMPARE(d.lines.size(), size_t(25));
        QCOMPARE(d.lines.back().to, QPoint(722, kYc));
    }

    void pixelsOfTheChain()
    {
        Canvas c(kWidth, kHeight);
        DrawCascade(c, computed(CascadeState()));
        for (int x = 22; x < 52; ++x)
            QVERIFY2(black(c, x, kYc), qPrintable(QString::number(x)));  // segment 1 of stage 1
        for (int y = 19; y < 99; ++y)
            QVERIFY(black(c, 52, y));  // the triangle's left side
        QVERIFY(black(c, 721, kYc));  // the last output lead; its end point is left out
        QVERIFY(white(c, 722, kYc));
        QVERIFY(white(c, 21, kYc));
        QVERIFY(white(c, 5, kHeight - 5));
        QVERIFY(white(c, 740, 5));
        QVERIFY(white(c, 60, kYc + 30));  // inside the first triangle, below the label
    }

    void labelsOfTheStartValues()
    {
        Canvas c(kWidth, kHeight);
        c.setFont(SansFont(8));
        const int h = c.textHeight(QStringLiteral("G"));
        const CascadeDrawing d = DrawCascade(c, computed(CascadeState()));
        const QStringList ip3 = {"=  12.0 dBm", "=  9.5 dBm", "=  8.2 dBm", "=  7.3 dBm", "=  6.8 dBm"};
        for (int s = 1; s <= 5; ++s) {
            const int x = 22 + 140 * (s - 1);
            const QStringList expected = {"G", QString::number(s), "= 1.0 dB",
                                          "IP3", "out", ip3[s - 1],
                                          "NF= 0.0 dB", QStringLiteral("G= %1.0 dB").arg(s)};
            QCOMPARE(textsBetween(d, x + 30, x + 140), expected);

            const DiagramText *g = findText(d, "G", x, x + 140);
            QVERIFY(g);
            QCOMPARE(g->pos, QPoint(x + 32, kYc - h / 2));
            const DiagramText *sub = g + 1;  // the subscript follows, 4 pixels lower
            QCOMPARE(sub->pos, QPoint(x + 32 + c.textWidth("G"), kYc - h / 2 + 4));
            const DiagramText *gain = g + 2;
            QCOMPARE(gain->pos, QPoint(sub->pos.x() + c.textWidth(sub->text), kYc - h / 2));

            const DiagramText *top = findText(d, "IP3", x, x + 140);
            QVERIFY(top);
            QCOMPARE(top->pos, QPoint(x + 72, kYc - 40));
            QCOMPARE((top + 1)->pos, QPoint(x + 72 + c.textWidth("IP3"), kYc - 36));
            QCOMPARE((top + 2)->pos, QPoint((top + 1)->pos.x() + c.textWidth("out"), kYc - 40));

            QCOMPARE(findText(d, "NF= 0.0 dB", x, x + 140)->pos, QPoint(x + 80, kYc + 48 - 2 * h));
            QCOMPARE(findText(d, expected.last(), x, x + 140)->pos, QPoint(x + 80, kYc + 48 - h));
        }
        // The chain's input IP3 in the corner: 6.78 dBm out, 5 dB of gain.
        QCOMPARE(textsBetween(d, 0, 52), (QStringList{"IP3", "in", "=  1.8 dBm"}));
        QCOMPARE(d.texts[d.texts.size() - 3].pos, QPoint(0, 0));
        QCOMPARE(d.texts[d.texts.size() - 2].pos, QPoint(c.textWidth("IP3"), 4));
        QCOMPARE(d.texts.back().pos, QPoint(c.textWidth("IP3") + c.textWidth("in"), 0));
        // The labels are really written: black pixels inside the boxes of the first stage's
        // gain and of the corner.
        QVERIFY(blackPixels(c, QRect(54, kYc - h / 2, c.textWidth("G"), h)) > 0);
        QVERIFY(blackPixels(c, QRect(0, 0, c.textWidth("IP3"), h)) > 0);
    }

    void untickedStageIsAThroughLine()
    {
        CascadeState st;
        SetStageEnabled(st, 3, false);
        Canvas c(kWidth, kHeight);
        const CascadeDrawing d = DrawCascade(c, computed(st));
        QVERIFY(hasLine(d, {302, kYc}, {442, kYc}));
        QVERIFY(!hasLine(d, {332, kYc - 40}, {332, kYc + 40}));
        QVERIFY(textsBetween(d, 302, 442).isEmpty());
        for (int x = 302; x < 442; ++x)
            QVERIFY(black(c, x, kYc));
        QVERIFY(white(c, 332, kYc - 30));  // no triangle side where stage 3's would stand
        QVERIFY(black(c, 472, kYc - 30));  // stage 4's is there
        // Stage 3's gain no longer counts: the running gain reads 3 and 4 dB after it.
        QVERIFY(findText(d, "G= 3.0 dB", 442, 582));
        QVERIFY(findText(d, "G= 4.0 dB", 582, 722));
    }

    void nothingTicked()
    {
        CascadeState st;
        for (int s = 1; s <= 5; ++s)
            SetStageEnabled(st, s, false);
        Canvas c(kWidth, kHeight);
        const CascadeDrawing d = DrawCascade(c, computed(st));
        QCOMPARE(d.lines.size(), size_t(5));
        QVERIFY(d.texts.empty());
        for (int x = 22; x < 722; ++x)
            QVERIFY(black(c, x, kYc));
        QCOMPARE(blackPixels(c, QRect(0, 0, 60, 20)), 0);  // no "IP3" in the corner
    }

    void twoStageExampleLabels()
    {
        Canvas c(kWidth, kHeight);
        const CascadeDrawing d = DrawCascade(c, twoStageExample());
        QCOMPARE(textsBetween(d, 162 + 30, 302),
                 (QStringList{"G", "2", "= 10.0 dB", "IP3", "out", "=  20.0 dBm", "NF= 1.1 dB", "G= 30.0 dB"}));
        QCOMPARE(textsBetween(d, 0, 52), (QStringList{"IP3", "in", "=  -10.0 dBm"}));
        QVERIFY(hasLine(d, {302, kYc}, {442, kYc}));
        QVERIFY(hasLine(d, {582, kYc}, {722, kYc}));
    }

    void redrawCoversWhatWasThere()
    {
        Canvas c(kWidth, kHeight);
        const CascadeState st = computed(CascadeState());
        DrawCascade(c, st);
        const QImage first = c.image().copy();
        FillImage(c, Qt::red);
        DrawCascade(c, st);
        QCOMPARE(c.image(), first);
    }
};

QTEST_MAIN(TestCascadeDiagram)
#include "tst_cascade_diagram.moc"
