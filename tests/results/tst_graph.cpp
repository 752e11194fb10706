// The result graph on plain data: geometry, scale choice, pixel mapping, the frame texts and
// the markers, checked on computed positions and on a few pixels of the image.

#include "results/graph.h"

#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int kWidth = 769;
constexpr int kHeight = 421;

GraphGeometry designed()
{
    return GraphGeometry::fromImageSize(kWidth, kHeight);
}

struct Sweep
{
    std::vector<double> nf;
    std::vector<double> gain;
    bool failed[kRecordSlots] = {};
};

GraphData dataFor(const Sweep &s, int steps, int selected = kNoSelection)
{
    GraphData d;
    d.startHz = 400e6;
    d.stopHz = 500e6;
    d.startText = QStringLiteral("400 MHz");
    d.stopText = QStringLiteral("500 MHz");
    d.steps = steps;
    d.noiseFigureDb = s.nf;
    d.gainDb = s.gain;
    d.evaluationFailed = std::span<const bool>(s.failed, kRecordSlots);
    d.selected = selected;
    return d;
}

Sweep sweepOf(const std::vector<double> &nf, const std::vector<double> &gain)
{
    Sweep s;
    s.nf = nf;
    s.gain = gain;
    return s;
}

QRgb px(const Canvas &c, int x, int y)
{
    return c.image().pixel(x, y) & 0xFFFFFF;
}

constexpr QRgb kBlack = 0x000000;
constexpr QRgb kGrey = 0x808080;
constexpr QRgb kYellow = 0xFFFF00;
constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kGreen = 0x00FF00;
constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kMagenta = 0xFF00FF;

/// Bounding box of the pixels of one colour inside `area`.
QRect boxOf(const Canvas &c, QRgb colour, const QRect &area)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (px(c, x, y) == colour)
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

}  // namespace

class TestGraph : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data();
    void geometry();
    void frameLabels();
    void pointX_data();
    void pointX();
    void noiseFigureAxis_data();
    void noiseFigureAxis();
    void gainAxis_data();
    void gainAxis();
    void dataRange();
    void dataRangeEnds_data();
    void dataRangeEnds();
    void roundHalfEven_data();
    void roundHalfEven();
    void valueY_data();
    void valueY();
    void scaleLabels();
    void markers();
    void noValidNoiseFigure();
    void framePixels();
    void markerPixels();
    void extremeValuesStayInsideTheImage();
    void errorBar_data();
    void errorBar();
    void errorBarsAndGuidelineMarks();
    void errorBarAndMarkPixels();
    void limitLines_data();
    void limitLines();
    void limitRings();
};

void TestGraph::geometry_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("dy");
    QTest::addColumn<int>("x0");
    QTest::newRow("designed 769 x 421") << 769 << 421 << 35 << 134;
    QTest::newRow("odd remainders truncate") << 602 << 251 << 20 << 50;
    QTest::newRow("narrowest") << 501 << 120 << 10 << 0;
}

void TestGraph::geometry()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, dy);
    QFETCH(int, x0);
    const GraphGeometry g = GraphGeometry::fromImageSize(width, height);
    QCOMPARE(g.dx, 50);
    QCOMPARE(g.dy, dy);
    QCOMPARE(g.x0, x0);
    QCOMPARE(g.y0, dy);
    QCOMPARE(g.gridRight(), x0 + 500);
    QCOMPARE(g.gridBottom(), dy + 10 * dy);
}

void TestGraph::frameLabels()
{
    Sweep s = sweepOf({0}, {0});
    const QVector<GraphLabel> labels = FrameLabels(designed(), dataFor(s, 10));
    QCOMPARE(labels.size(), 5);
    QCOMPARE(labels[0].text, QStringLiteral("10 MHz / DIV"));
    QCOMPARE(QPoint(labels[0].x, labels[0].y), QPoint(359, 390));
    QCOMPARE(labels[1].text, QStringLiteral("400 MHz"));
    QCOMPARE(QPoint(labels[1].x, labels[1].y), QPoint(122, 390));
    QCOMPARE(labels[2].text, QStringLiteral("500 MHz"));
    QCOMPARE(QPoint(labels[2].x, labels[2].y), QPoint(622, 390));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(labels[i].colour, QColor(255, 255, 0));
    QCOMPARE(labels[3].text, QStringLiteral("Noise Figure"));
    QCOMPARE(QPoint(labels[3].x, labels[3].y), QPoint(54, 5));
    QCOMPARE(labels[3].colour, QColor(255, 0, 0));
    QCOMPARE(labels[4].text, QStringLiteral("Gain"));
    QCOMPARE(QPoint(labels[4].x, labels[4].y), QPoint(644, 5));
    QCOMPARE(labels[4].colour, QColor(0, 255, 0));

    // A falling range gives a negative width per division; the texts stay as typed.
    GraphData falling = dataFor(s, 10);
    falling.startHz = 500e6;
    falling.stopHz = 400e6;
    falling.startText = QStringLiteral("500 MHz");
    QCOMPARE(FrameLabels(designed(), falling)[0].text, QStringLiteral("-10 MHz / DIV"));
    QCOMPARE(FrameLabels(designed(), falling)[1].text, QStringLiteral("500 MHz"));
}

void TestGraph::pointX_data()
{
    QTest::addColumn<int>("steps");
    QTest::addColumn<QList<int>>("xs");
    QTest::newRow("10 steps") << 10 << QList<int>{134, 184, 234, 284, 334, 384, 434, 484, 534, 584, 634};
    QTest::newRow("3 steps, 300.67 and 467.33 rounded") << 3 << QList<int>{134, 301, 467, 634};
    // 62.5, 187.5, 312.5 and 437.5 pixels: the halves go to the even neighbour.
    QTest::newRow("8 steps, ties to even") << 8 << QList<int>{134, 196, 259, 322, 384, 446, 509, 572, 634};
    QTest::newRow("single frequency") << 0 << QList<int>{134};
}

void TestGraph::pointX()
{
    QFETCH(int, steps);
    QFETCH(QList<int>, xs);
    for (int i = 0; i < xs.size(); ++i)
        QCOMPARE(PointX(designed(), i, steps), xs[i]);
}

void TestGraph::noiseFigureAxis_data()
{
    QTest::addColumn<double>("maxF");
    QTest::addColumn<double>("top");
    QTest::newRow("exactly 3 dB lies strictly below 10") << 3.0 << 10.0;
    QTest::newRow("2.7 dB") << 2.7 << 3.0;
    QTest::newRow("start of a pass, 0 dB") << 0.0 << 1.0;
    QTest::newRow("4.2 dB") << 4.2 << 10.0;
    QTest::newRow("exactly 10 dB") << 10.0 << 30.0;
    QTest::newRow("99.9 dB") << 99.9 << 100.0;
    QTest::newRow("100 dB is its own top") << 100.0 << 100.0;
    QTest::newRow("250 dB is its own top") << 250.0 << 250.0;
    QTest::newRow("no valid noise figure") << kNoNoiseFigure << -300.0;
}

void TestGraph::noiseFigureAxis()
{
    QFETCH(double, maxF);
    QFETCH(double, top);
    const AxisRange a = NoiseFigureAxis(maxF);
    QCOMPARE(a.bottom, 0.0);
    QCOMPARE(a.top, top);
}

void TestGraph::gainAxis_data()
{
    QTest::addColumn<double>("minG");
    QTest::addColumn<double>("maxG");
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    QTest::newRow("smallest gain exactly 10 dB") << 10.0 << 10.0 << 3.0 << 30.0;
    QTest::newRow("14.8 to 21.3 dB") << 14.8 << 21.3 << 10.0 << 30.0;
    QTest::newRow("start of a pass, gain 1") << 1.0 << 1.0 << 0.0 << 3.0;
    QTest::newRow("8.5 to 12 dB") << 8.5 << 12.0 << 3.0 << 30.0;
    QTest::newRow("-150 to -120 dB") << -150.0 << -120.0 << -150.0 << -100.0;
    QTest::newRow("-100 dB is its own bottom") << -100.0 << 0.0 << -100.0 << 1.0;
    QTest::newRow("0 to 0 dB") << 0.0 << 0.0 << -1.0 << 1.0;
    QTest::newRow("150 to 400 dB") << 150.0 << 400.0 << 100.0 << 400.0;
}

void TestGraph::gainAxis()
{
    QFETCH(double, minG);
    QFETCH(double, maxG);
    QFETCH(double, bottom);
    QFETCH(double, top);
    const AxisRange a = GainAxis(minG, maxG);
    QCOMPARE(a.bottom, bottom);
    QCOMPARE(a.top, top);
}

void TestGraph::dataRange()
{
    std::vector<double> nf(kRecordSlots, -5.0);
    std::vector<double> gain(kRecordSlots, 1000.0);
    nf[0] = 1.2;
    nf[2] = 2.7;
    nf[3] = -1;
    gain[0] = 14.8;
    gain[1] = 21.3;
    gain[2] = 18;
    gain[3] = 17;
    ResultDataRange r = DataRange(nf, gain, 3);
    QCOMPARE(r.maxF, 2.7);
    QCOMPARE(r.minG, 14.8);
    QCOMPARE(r.maxG, 21.3);
    // Slots beyond the plan take no part.
    QCOMPARE(DataRange(nf, gain, 1).maxF, 1.2);
    QCOMPARE(DataRange(nf, gain, 1).maxG, 21.3);
    // A plan beyond the step slots is limited to them; the calculator's slot is never read.
    gain[CalcSlot] = -1e9;
    QCOMPARE(DataRange(nf, gain, 100000).minG, 14.8);
    // No noise figure of 0 dB or more.
    std::fill(nf.begin(), nf.end(), -1.0);
    QCOMPARE(DataRange(nf, gain, 10).maxF, kNoNoiseFigure);
    // Values that are not numbers are left out.
    nf[1] = std::numeric_limits<double>::quiet_NaN();
    gain[2] = std::numeric_limits<double>::infinity();
    r = DataRange(nf, gain, 3);
    QCOMPARE(r.maxF, kNoNoiseFigure);
    QCOMPARE(r.maxG, 21.3);

    MeasurementRecord rec;
    rec.SweepPlan.Steps = 2;
    rec.NoiseFigureDb[1] = 4.2;
    rec.NoiseFigureDb[3] = 50;
    rec.GainDb[0] = 8.5;
    rec.GainDb[1] = 12;
    rec.GainDb[2] = 10;
    r = DataRange(rec);
    QCOMPARE(r.maxF, 4.2);
    QCOMPARE(r.minG, 8.5);
    QCOMPARE(r.maxG, 12.0);
}

void TestGraph::dataRangeEnds_data()
{
    // The extremes at the first and at the last step of the plan, and a plan of one step.
    QTest::addColumn<QList<double>>("nf");
    QTest::addColumn<QList<double>>("gain");
    QTest::addColumn<double>("maxF");
    QTest::addColumn<double>("minG");
    QTest::addColumn<double>("maxG");
    using V = QList<double>;
    QTest::newRow("all at the last step") << V{1.0, 1.5, 3.5} << V{12, 11, 9} << 3.5 << 9.0 << 12.0;
    QTest::newRow("highest gain last") << V{2.0, 1.5, 1.0} << V{12, 13, 19} << 2.0 << 12.0 << 19.0;
    QTest::newRow("all at the first step") << V{4.0, 1.5, 1.0} << V{8, 11, 10} << 4.0 << 8.0 << 11.0;
    QTest::newRow("single frequency") << V{2.5} << V{16} << 2.5 << 16.0 << 16.0;
}

void TestGraph::dataRangeEnds()
{
    QFETCH(QList<double>, nf);
    QFETCH(QList<double>, gain);
    QFETCH(double, maxF);
    QFETCH(double, minG);
    QFETCH(double, maxG);
    MeasurementRecord rec;
    rec.SweepPlan.Steps = int(nf.size()) - 1;
    // The slot after the plan holds values that would win if it were read.
    rec.NoiseFigureDb[nf.size()] = 50;
    rec.GainDb[nf.size()] = -50;
    for (int i = 0; i < nf.size(); ++i) {
        rec.NoiseFigureDb[size_t(i)] = nf[i];
        rec.GainDb[size_t(i)] = gain[i];
    }
    const ResultDataRange r = DataRange(rec);
    QCOMPARE(r.maxF, maxF);
    QCOMPARE(r.minG, minG);
    QCOMPARE(r.maxG, maxG);
}

void TestGraph::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("2.4999") << 2.4999 << 2;
    QTest::newRow("-2.5001") << -2.5001 << -3;
    QTest::newRow("1e300 limited") << 1e300 << 1000000;
    QTest::newRow("-inf limited") << -std::numeric_limits<double>::infinity() << -1000000;
    QTest::newRow("NaN far away") << std::numeric_limits<double>::quiet_NaN() << 1000000;
}

void TestGraph::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(int, rounded);
    QCOMPARE(RoundHalfEven(value), rounded);
}

void TestGraph::valueY_data()
{
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("y");
    QTest::newRow("top on the upper grid line") << 0.0 << 10.0 << 10.0 << 35;
    QTest::newRow("bottom on the lower grid line") << 0.0 << 10.0 << 0.0 << 385;
    QTest::newRow("3 dB on 0..10") << 0.0 << 10.0 << 3.0 << 280;
    QTest::newRow("-150 on -150..-100") << -150.0 << -100.0 << -150.0 << 385;
    QTest::newRow("-120 on -150..-100") << -150.0 << -100.0 << -120.0 << 175;
    // 87.5 and 262.5 pixels above the lower line: ties go to the even pixel.
    QTest::newRow("tie 87.5 to 88") << 0.0 << 1.0 << 0.25 << 297;
    QTest::newRow("tie 262.5 to 262") << 0.0 << 1.0 << 0.75 << 123;
    // Cases that the single-precision factors decide: in double precision these land one
    // pixel further down.
    QTest::newRow("single precision, 0.09 on 0..3") << 0.0 << 3.0 << 0.09 << 374;
    QTest::newRow("single precision, 12.99 on 3..30") << 3.0 << 30.0 << 12.99 << 256;
    QTest::newRow("single precision, 1.5 on 0..30") << 0.0 << 30.0 << 1.5 << 368;
    QTest::newRow("far above the scale") << 0.0 << 1.0 << 1e30 << 385 - 1000000;
}

void TestGraph::valueY()
{
    QFETCH(double, bottom);
    QFETCH(double, top);
    QFETCH(double, value);
    QFETCH(int, y);
    const GraphGeometry g = designed();
    QCOMPARE(ValueY(g, MakeAxisScale({bottom, top}, g), value), y);
}

void TestGraph::scaleLabels()
{
    // Noise figures 1.2 to 2.7 dB and gains 14.8 to 21.3 dB: scales 0..3 and 10..30 dB.
    Sweep s = sweepOf({1.2, 2.7, 2.0}, {14.8, 21.3, 18.0});
    const GraphLayout layout = ComputeGraphLayout(designed(), dataFor(s, 2));
    QCOMPARE(layout.noiseFigureAxis.top, 3.0);
    QCOMPARE(layout.gainAxis.bottom, 10.0);
    QCOMPARE(layout.gainAxis.top, 30.0);
    QCOMPARE(layout.scaleLabels.size(), 22);
    const QStringList nf = {QStringLiteral("3.0 dB"), QStringLiteral("2.7 dB"), QStringLiteral("2.4 dB"),
                            QStringLiteral("2.1 dB"), QStringLiteral("1.8 dB"), QStringLiteral("1.5 dB"),
                            QStringLiteral("1.2 dB"), QStringLiteral("0.9 dB"), QStringLiteral("0.6 dB"),
                            QStringLiteral("0.3 dB"), QStringLiteral("0.0 dB")};
    for (int j = 0; j <= 10; ++j) {
        const GraphLabel &f = layout.scaleLabels[2 * j];
        const GraphLabel &g = layout.scaleLabels[2 * j + 1];
        QCOMPARE(f.text, nf[j]);
        QCOMPARE(QPoint(f.x, f.y), QPoint(56, 35 + 35 * j - 8));
        QCOMPARE(f.colour, QColor(255, 0, 0));
        QCOMPARE(g.text, QString::number(30 - 2 * j) + QStringLiteral(".0 dB"));
        QCOMPARE(QPoint(g.x, g.y), QPoint(644, 35 + 35 * j - 8));
        QCOMPARE(g.colour, QColor(0, 255, 0));
    }
}

void TestGraph::markers()
{
    // Start of a measurement pass: noise figure 0 and gain 1 everywhere, scales 0..1 and 0..3.
    Sweep s = sweepOf(std::vector<double>(kRecordSlots, 0.0), std::vector<double>(kRecordSlots, 1.0));
    s.nf[2] = -1;      // stored as not computable (from a file)
    s.failed[4] = true;  // evaluation failed: no noise figure of its own
    const GraphLayout layout = ComputeGraphLayout(designed(), dataFor(s, 10, 3));
    QCOMPARE(layout.noiseFigureAxis.top, 1.0);
    QCOMPARE(layout.gainAxis.bottom, 0.0);
    QCOMPARE(layout.gainAxis.top, 3.0);
    QCOMPARE(layout.markers.size(), 22);
    for (int i = 0; i <= 10; ++i) {
        const GraphMarker &f = layout.markers[2 * i];
        const GraphMarker &g = layout.markers[2 * i + 1];
        QCOMPARE(f.x, 134 + 50 * i);
        QCOMPARE(g.x, f.x);
        QCOMPARE(g.mark, PlotMark::Circle);
        QCOMPARE(g.y, 385 - RoundHalfEven(350.0 / 3));
        if (i == 2) {
            QCOMPARE(f.mark, PlotMark::Cross);
            QCOMPARE(f.y, 385);
        } else if (i == 4) {
            QCOMPARE(f.mark, PlotMark::FailedSquare);
            QCOMPARE(f.y, 385);
            QCOMPARE(f.colour, QColor(255, 0, 255));
        } else {
            QCOMPARE(f.mark, PlotMark::Triangle);
            QCOMPARE(f.y, 385);
        }
        if (i == 3) {
            QCOMPARE(f.colour, QColor(255, 255, 255));
            QCOMPARE(g.colour, QColor(255, 255, 255));
        } else {
            if (i != 4)
                QCOMPARE(f.colour, QColor(255, 0, 0));
            QCOMPARE(g.colour, QColor(0, 255, 0));
        }
    }
    // Without the flags a failed step is drawn from its stored value like any other.
    GraphData plain = dataFor(s, 10, 3);
    plain.evaluationFailed = {};
    QCOMPARE(ComputeGraphLayout(designed(), plain).markers[8].mark, PlotMark::Triangle);
}

void TestGraph::noValidNoiseFigure()
{
    Sweep s = sweepOf(std::vector<double>(kRecordSlots, -1.0), std::vector<double>(kRecordSlots, 5.0));
    const GraphLayout layout = ComputeGraphLayout(designed(), dataFor(s, 4));
    QCOMPARE(layout.noiseFigureAxis.top, -300.0);
    QCOMPARE(layout.noiseFigureAxis.bottom, 0.0);
    QCOMPARE(layout.scaleLabels[0].text, QStringLiteral("-300.0 dB"));
    QCOMPARE(layout.scaleLabels[20].text, QStringLiteral("0.0 dB"));
    for (int i = 0; i <= 4; ++i) {
        QCOMPARE(layout.markers[2 * i].mark, PlotMark::Cross);
        QCOMPARE(layout.markers[2 * i].y, 385);
    }
}

void TestGraph::framePixels()
{
    Canvas c(kWidth, kHeight);
    Sweep s = sweepOf({0}, {0});
    DrawGraphFrame(c, designed(), dataFor(s, 10));
    QCOMPARE(c.fillColour(), QColor(0, 0, 0));
    // Grid corners and lines.
    QCOMPARE(px(c, 134, 35), kGrey);
    QCOMPARE(px(c, 634, 35), kGrey);
    QCOMPARE(px(c, 134, 385), kGrey);
    QCOMPARE(px(c, 634, 385), kGrey);
    QCOMPARE(px(c, 384, 210), kGrey);  // centre crossing
    QCOMPARE(px(c, 359, 70), kGrey);   // on a horizontal line
    QCOMPARE(px(c, 133, 35), kBlack);
    QCOMPARE(px(c, 635, 385), kBlack);
    QCOMPARE(px(c, 634, 386), kBlack);
    QCOMPARE(px(c, 160, 50), kBlack);  // inside a division
    QCOMPARE(px(c, 0, 0), kBlack);

    // The texts under the grid start at their positions (a glyph may start a pixel or two in).
    const QRect perDiv = boxOf(c, kYellow, QRect(300, 386, 200, 30));
    QVERIFY(!perDiv.isEmpty());
    QVERIFY2(perDiv.left() >= 359 && perDiv.left() <= 362, qPrintable(QString::number(perDiv.left())));
    QVERIFY(perDiv.top() >= 390 && perDiv.top() <= 395);
    const QRect start = boxOf(c, kYellow, QRect(100, 386, 120, 30));
    QVERIFY(start.left() >= 122 && start.left() <= 125);
    const QRect stop = boxOf(c, kYellow, QRect(600, 386, kWidth - 600, 30));
    QVERIFY(stop.left() >= 622 && stop.left() <= 625);
    const QRect legendF = boxOf(c, kRed, QRect(0, 0, 300, 30));
    QVERIFY(legendF.left() >= 54 && legendF.left() <= 57);
    QVERIFY(legendF.top() >= 5);
    const QRect legendG = boxOf(c, kGreen, QRect(600, 0, kWidth - 600, 30));
    QVERIFY(legendG.left() >= 644 && legendG.left() <= 647);
}

void TestGraph::markerPixels()
{
    Canvas c(kWidth, kHeight);
    // Noise figures 0.5 dB on the scale 0..1 (row 210), gains 0.3 dB on 0..1 (row 280).
    Sweep s = sweepOf({0.5, 0.5, 0.5}, {0.3, 0.3, 0.3});
    s.failed[1] = true;
    RecomputeResults(c, designed(), dataFor(s, 2, 2));
    // Point 0 at x 134: triangle apex at y 207, base from x 131 to 137 at y 213.
    QCOMPARE(px(c, 134, 207), kRed);
    QCOMPARE(px(c, 131, 213), kRed);
    QCOMPARE(px(c, 136, 213), kRed);
    QCOMPARE(px(c, 135, 211), kBlack);
    // Point 1 at x 384 failed: a magenta square at the noise figure it keeps (row 210)
    // instead of a triangle.
    QCOMPARE(px(c, 381, 207), kMagenta);
    QCOMPARE(px(c, 387, 213), kMagenta);
    QCOMPARE(px(c, 384, 213), kMagenta);
    QCOMPARE(px(c, 385, 209), kBlack);
    QVERIFY(boxOf(c, kMagenta, QRect(370, 370, 30, 25)).isEmpty());
    QVERIFY(boxOf(c, kRed, QRect(370, 195, 30, 30)).isEmpty());
    // Point 2 at x 634 is selected: its markers are white.
    QCOMPARE(px(c, 634, 207), kWhite);
    QVERIFY(boxOf(c, kRed, QRect(628, 200, 13, 20)).isEmpty());
    QVERIFY(!boxOf(c, kWhite, QRect(628, 270, 13, 20)).isEmpty());
    QVERIFY(boxOf(c, kGreen, QRect(628, 270, 13, 20)).isEmpty());
    // The gain circles: outline in green around the point, filled with the image's black.
    const QRect circle = boxOf(c, kGreen, QRect(370, 265, 30, 30));
    QVERIFY2(circle.width() >= 5 && circle.width() <= 7, qPrintable(QString::number(circle.width())));
    QVERIFY2(circle.height() >= 5 && circle.height() <= 7, qPrintable(QString::number(circle.height())));
    QVERIFY(std::abs(circle.center().x() - 384) <= 1 && std::abs(circle.center().y() - 280) <= 1);
    QCOMPARE(px(c, 384, 280), kBlack);
}

void TestGraph::extremeValuesStayInsideTheImage()
{
    // Values no measurement gives, as a file of arbitrary bytes may hold them: the layout stays
    // computable and the image keeps its size and its frame.
    const double extremes[] = {1e308, -1e308, 4.9e-324, -4.9e-324, 3.4e38, -3.4e38, 1e15, -1e15, 0.0};
    QRandomGenerator rng(20240611);
    Canvas c(kWidth, kHeight);
    for (int round = 0; round < 60; ++round) {
        Sweep s;
        s.nf.resize(kRecordSlots);
        s.gain.resize(kRecordSlots);
        for (int i = 0; i < kRecordSlots; ++i) {
            s.nf[i] = extremes[rng.bounded(int(std::size(extremes)))] * (rng.bounded(2) ? 1 : 0.5);
            s.gain[i] = extremes[rng.bounded(int(std::size(extremes)))];
            s.failed[i] = rng.bounded(5) == 0;
        }
        const int steps = rng.bounded(100);
        const GraphData d = dataFor(s, steps, rng.bounded(120));
        const GraphLayout layout = ComputeGraphLayout(designed(), d);
        for (const GraphMarker &m : layout.markers) {
            QVERIFY(std::abs(m.y) <= 1000000 + 385);
            QVERIFY(m.x >= 134 && m.x <= 634);
        }
        RecomputeResults(c, designed(), d);
        QCOMPARE(c.image().size(), QSize(kWidth, kHeight));
    }
}

// ---- Error bars and guideline marks ----------------------------------------------------------

namespace {

constexpr QRgb kOrange = 0xFFA500;

/// Noise figures 0.5 dB on the scale 0..1 (k 350, row 210), gains 0.3 dB; error bars for
/// steps 0 (±0.08 dB) and 2 (±0.7 dB, beyond both grid lines), none for step 1; steps 1 and 2
/// break a guideline.
struct Confident
{
    Sweep sweep = sweepOf({0.5, 0.5, 0.5}, {0.3, 0.3, 0.3});
    std::vector<double> u{0.08, std::numeric_limits<double>::quiet_NaN(), 0.7};
    bool outside[3] = {false, true, true};

    GraphData data(bool bars)
    {
        GraphData d = dataFor(sweep, 2);
        d.showErrorBars = bars;
        d.uncertaintyDb = u;
        d.outsideGuidelines = std::span<const bool>(outside, 3);
        return d;
    }
};

}  // namespace

void TestGraph::errorBar_data()
{
    QTest::addColumn<double>("f");
    QTest::addColumn<double>("u");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    // On the scale 0..1 dB a value v lies on row 385 − round(350·v).
    QTest::newRow("inside the grid") << 0.5 << 0.08 << 182 << 238;
    QTest::newRow("no width") << 0.5 << 0.0 << 210 << 210;
    QTest::newRow("limited to the grid") << 0.5 << 0.7 << 35 << 385;
    // 350 · 0.25 = 87.5 rounds to the even 88.
    QTest::newRow("below zero") << 0.05 << 0.2 << 297 << 385;
}

void TestGraph::errorBar()
{
    QFETCH(double, f);
    QFETCH(double, u);
    const GraphGeometry g = designed();
    const AxisScale scale = MakeAxisScale(NoiseFigureAxis(0.5), g);
    const ErrorBar b = MakeErrorBar(g, scale, 200, f, u, Qt::red);
    QCOMPARE(b.x, 200);
    QTEST(b.yTop, "top");
    QTEST(b.yBottom, "bottom");
}

void TestGraph::errorBarsAndGuidelineMarks()
{
    Confident c;
    const GraphLayout layout = ComputeGraphLayout(designed(), c.data(true));
    QCOMPARE(layout.errorBars.size(), 2);
    QCOMPARE(layout.errorBars[0].x, 134);
    QCOMPARE(layout.errorBars[0].yTop, 182);
    QCOMPARE(layout.errorBars[0].yBottom, 238);
    QCOMPARE(layout.errorBars[0].colour, QColor(255, 0, 0));
    QCOMPARE(layout.errorBars[1].x, 634);
    QCOMPARE(layout.errorBars[1].yTop, 35);
    // A mark stands kGuidelineMarkRise above the top of the bar, or of the point without one.
    QCOMPARE(layout.guidelineMarks.size(), 2);
    QCOMPARE(layout.guidelineMarks[0].x, 384);
    QCOMPARE(layout.guidelineMarks[0].y, 210 - kGuidelineMarkRise);
    QCOMPARE(layout.guidelineMarks[1].x, 634);
    QCOMPARE(layout.guidelineMarks[1].y, 35 - kGuidelineMarkRise);
    QCOMPARE(layout.guidelineMarks[1].mark, PlotMark::Guideline);

    // Without the check box no bars, and the marks sit above the points; the rest is unchanged.
    const GraphLayout noBars = ComputeGraphLayout(designed(), c.data(false));
    QVERIFY(noBars.errorBars.isEmpty());
    QCOMPARE(noBars.guidelineMarks[1].y, 210 - kGuidelineMarkRise);
    const GraphLayout plain = ComputeGraphLayout(designed(), dataFor(c.sweep, 2));
    QVERIFY(plain.errorBars.isEmpty() && plain.guidelineMarks.isEmpty());
    QCOMPARE(noBars.markers.size(), plain.markers.size());
    for (qsizetype i = 0; i < plain.markers.size(); ++i)
        QCOMPARE(noBars.markers[i].y, plain.markers[i].y);
}

void TestGraph::errorBarAndMarkPixels()
{
    Confident c;
    Canvas image(kWidth, kHeight);
    RecomputeResults(image, designed(), c.data(true));
    // Step 0: the bar from row 182 to 238 (over the grid line x 134) with caps two pixels
    // either side.
    QCOMPARE(px(image, 134, 200), kRed);
    QCOMPARE(px(image, 132, 182), kRed);
    QCOMPARE(px(image, 136, 238), kRed);
    QCOMPARE(px(image, 132, 181), kBlack);
    QCOMPARE(px(image, 132, 239), kBlack);
    QCOMPARE(px(image, 137, 182), kBlack);
    // Step 1: no bar (the grid line x 384 shows), an orange triangle (rows 200..203, apex down)
    // above its own triangle.
    QCOMPARE(px(image, 384, 190), kGrey);
    QCOMPARE(px(image, 383, 199), kBlack);
    QCOMPARE(px(image, 381, 200), kOrange);
    QCOMPARE(px(image, 387, 200), kOrange);
    QCOMPARE(px(image, 384, 203), kOrange);
    QCOMPARE(px(image, 383, 203), kBlack);
    QCOMPARE(px(image, 384, 204), kGrey);
    QCOMPARE(px(image, 384, 207), kRed);
    // No mark at step 0.
    QVERIFY(boxOf(image, kOrange, QRect(120, 0, 30, 386)).isEmpty());
}

namespace {

LimitSet limitsOf(LimitKind kind, const QList<QPointF> &points)
{
    LimitSet limits;
    for (const QPointF &p : points)
        limits.points[size_t(kind)].append({p.x(), p.y()});
    return limits;
}

}  // namespace

void TestGraph::limitLines_data()
{
    // Both scales 0..1 dB: a value v lies on row 385 − round(350·v); 400..500 MHz on x 134..634.
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<QPointF>>("points");
    QTest::addColumn<QList<QLine>>("lines");
    QTest::newRow("two points over the span") << int(LimitKind::NfUpper) << QList<QPointF>{{400e6, 0.4}, {500e6, 0.8}}
                                              << QList<QLine>{{134, 245, 634, 105}};
    QTest::newRow("cut to the span") << int(LimitKind::NfLower) << QList<QPointF>{{300e6, 0.0}, {450e6, 0.6}}
                                     << QList<QLine>{{134, 245, 384, 175}};
    QTest::newRow("one point is flat") << int(LimitKind::GainLower) << QList<QPointF>{{1e9, 0.2}}
                                       << QList<QLine>{{134, 315, 634, 315}};
    QTest::newRow("limited to the grid") << int(LimitKind::GainUpper) << QList<QPointF>{{400e6, 3.0}, {500e6, -1.0}}
                                         << QList<QLine>{{134, 35, 634, 385}};
    QTest::newRow("outside the span") << int(LimitKind::NfUpper) << QList<QPointF>{{600e6, 1.0}, {700e6, 1.0}}
                                      << QList<QLine>{};
    QTest::newRow("three points, two pieces") << int(LimitKind::NfUpper)
                                              << QList<QPointF>{{400e6, 0.4}, {450e6, 0.6}, {500e6, 0.4}}
                                              << QList<QLine>{{134, 245, 384, 175}, {384, 175, 634, 245}};
}

void TestGraph::limitLines()
{
    QFETCH(int, kind);
    QFETCH(QList<QPointF>, points);
    QFETCH(QList<QLine>, lines);
    const Sweep sweep = sweepOf({0.5, 0.5, 0.5}, {0.3, 0.3, 0.3});
    const LimitSet limits = limitsOf(LimitKind(kind), points);
    GraphData d = dataFor(sweep, 2);
    d.limits = &limits;
    const GraphLayout layout = ComputeGraphLayout(designed(), d);
    QCOMPARE(layout.limitLines.size(), lines.size());
    const QColor colour = IsNoiseFigureLimit(LimitKind(kind)) ? GraphColour::NoiseFigure : GraphColour::Gain;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const GraphLine &l = layout.limitLines[i];
        QCOMPARE(QLine(l.x1, l.y1, l.x2, l.y2), lines[i]);
        QCOMPARE(l.colour, colour);
    }
    // The lines leave the axes and every point where they are; a hidden trace has no lines.
    const GraphLayout plain = ComputeGraphLayout(designed(), dataFor(sweep, 2));
    QCOMPARE(layout.noiseFigureAxis.top, plain.noiseFigureAxis.top);
    QCOMPARE(layout.gainAxis.bottom, plain.gainAxis.bottom);
    QCOMPARE(layout.markers.size(), plain.markers.size());
    d.showNoiseFigure = d.showGain = false;
    QVERIFY(ComputeGraphLayout(designed(), d).limitLines.isEmpty());
}

void TestGraph::limitRings()
{
    const Sweep sweep = sweepOf({0.5, 0.5, 0.5}, {0.3, 0.3, 0.3});
    const LimitSet limits = limitsOf(LimitKind::NfUpper, {{400e6, 0.45}});
    const bool nf[3] = {false, true, false};
    const bool gain[3] = {false, false, true};
    GraphData d = dataFor(sweep, 2);
    d.limits = &limits;
    d.breaksNoiseFigureLimit = std::span<const bool>(nf, 3);
    d.breaksGainLimit = std::span<const bool>(gain, 3);
    const GraphLayout layout = ComputeGraphLayout(designed(), d);
    QCOMPARE(layout.limitMarks.size(), 2);
    QCOMPARE(layout.limitMarks[0].x, 384);
    QCOMPARE(layout.limitMarks[0].y, 210);
    QCOMPARE(layout.limitMarks[1].x, 634);
    QCOMPARE(layout.limitMarks[1].y, 280);
    QCOMPARE(layout.limitMarks[1].mark, PlotMark::LimitRing);

    Canvas image(kWidth, kHeight);
    RecomputeResults(image, designed(), d);
    constexpr QRgb kCyan = 0x00FFFF;
    // The ring's corners around step 1's triangle, the flat line at 0.45 dB (row 227) in red.
    QCOMPARE(px(image, 384, 210 - kLimitRingHalf), kCyan);
    QCOMPARE(px(image, 384 + kLimitRingHalf, 210), kCyan);
    QCOMPARE(px(image, 384, 210 + kLimitRingHalf), kCyan);
    QCOMPARE(px(image, 200, 227), kRed);
    QCOMPARE(px(image, 634, 227), kRed);
    // No ring at step 0.
    QVERIFY(boxOf(image, kCyan, QRect(120, 0, 30, 386)).isEmpty());
}

QTEST_MAIN(TestGraph)
#include "tst_graph.moc"
