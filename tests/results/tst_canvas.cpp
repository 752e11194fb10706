// The canvas on a painter the caller holds: on the pixel grid it draws what its own image
// draws, pixel for pixel; on the geometric grid it keeps text upright where y grows upwards.

#include "results/canvas.h"
#include "results/graph.h"

#include <QPainter>
#include <QTest>
#include <vector>

namespace {

constexpr int kWidth = 769;
constexpr int kHeight = 421;

/// Bounding box of the pixels that are not `background`.
QRect inkOf(const QImage &image, QRgb background)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF))
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

}  // namespace

class TestCanvas : public QObject
{
    Q_OBJECT

private slots:
    void pixelGridOnAPainterMatchesTheOwnImage_data()
    {
        QTest::addColumn<int>("selected");
        QTest::newRow("no selection") << kNoSelection;
        QTest::newRow("step 3 selected") << 3;
    }
    void pixelGridOnAPainterMatchesTheOwnImage()
    {
        QFETCH(int, selected);
        std::vector<double> nf(kRecordSlots, 0.0), gain(kRecordSlots, 0.0);
        for (int i = 0; i <= 10; ++i) {
            nf[size_t(i)] = i == 4 ? -1.0 : 1.2 + 0.15 * i;
            gain[size_t(i)] = 14.8 + 0.65 * i;
        }
        GraphData d;
        d.startHz = 400e6;
        d.stopHz = 500e6;
        d.startText = QStringLiteral("400 MHz");
        d.stopText = QStringLiteral("500 MHz");
        d.steps = 10;
        d.noiseFigureDb = nf;
        d.gainDb = gain;
        d.selected = selected;
        const GraphGeometry g = GraphGeometry::fromImageSize(kWidth, kHeight);

        Canvas own(kWidth, kHeight);
        RecomputeResults(own, g, d);

        QImage target(kWidth, kHeight, QImage::Format_RGB32);
        target.fill(Qt::blue);
        {
            QPainter painter(&target);
            Canvas onPainter(painter, Canvas::Grid::Pixels);
            QCOMPARE(onPainter.width(), kWidth);
            QCOMPARE(onPainter.height(), kHeight);
            RecomputeResults(onPainter, g, d);
        }
        QCOMPARE(target, own.image());
    }

    void lineOfNoLengthLeavesNoMark_data()
    {
        QTest::addColumn<bool>("geometric");
        QTest::newRow("pixel grid") << false;
        QTest::newRow("geometric grid") << true;
    }
    void lineOfNoLengthLeavesNoMark()
    {
        QFETCH(bool, geometric);
        QImage target(40, 40, QImage::Format_RGB32);
        target.fill(Qt::white);
        {
            QPainter painter(&target);
            Canvas c(painter, geometric ? Canvas::Grid::Geometric : Canvas::Grid::Pixels);
            c.setPen(Qt::black, 3);
            c.moveTo(20, 20);
            c.lineTo(20, 20);
            QCOMPARE(c.penPos(), QPoint(20, 20));
        }
        QVERIFY(inkOf(target, 0xFFFFFF).isEmpty());
    }

    void textStaysUprightWhereYGrowsUpwards()
    {
        // A page 400 units high with y upwards from its top edge, as the printed report sets
        // it up: the text's cell hangs below the given point.
        QImage target(400, 400, QImage::Format_RGB32);
        target.fill(Qt::white);
        const QString text = QStringLiteral("Tg");
        int cellHeight = 0;
        int cellWidth = 0;
        {
            QPainter painter(&target);
            painter.scale(1, -1);
            Canvas c(painter);
            c.setOpaqueText(false);
            QFont f = SansFont(8);
            f.setPixelSize(40);
            c.setFont(f);
            c.setFontColour(Qt::black);
            cellHeight = c.textHeight(text);
            cellWidth = c.textWidth(text);
            c.textOut(100, -100, text);
            QCOMPARE(c.penPos(), QPoint(100 + cellWidth, -100));
        }
        const QRect ink = inkOf(target, 0xFFFFFF);
        QVERIFY(!ink.isEmpty());
        QVERIFY2(ink.top() >= 100 && ink.bottom() <= 100 + cellHeight,
                 qPrintable(QStringLiteral("%1..%2").arg(ink.top()).arg(ink.bottom())));
        QVERIFY(ink.left() >= 99 && ink.right() <= 100 + cellWidth);
        // Upright: the descender of the "g" hangs at the bottom, the bar of the "T" at the
        // top, so the ink's left column (the "T" bar) is reached near the top of the cell.
        bool barAtTop = false;
        for (int x = ink.left(); x < ink.left() + 3; ++x)
            barAtTop |= (target.pixel(x, ink.top() + 1) & 0xFFFFFF) != 0xFFFFFF;
        QVERIFY(barAtTop);
    }
};

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
