// The printed test report, painted on a recording device (what is drawn, where, with which
// pen and font) and printed into a PDF file that poppler reads back.
//
// The page used throughout is an A4 sheet with 10 mm margins: a printable area of 190 × 277 mm.
// Its columns then lie at 5, 50, 95 and 140 mm (texts 10 mm further right), the header lines at
// 25, 31, 39 and 45 mm below the top, "Remarks:" at 53 mm, the remark lines from 59 mm in
// steps of 4 mm, and the graph's frequency axis 50 mm above the lower edge (227 mm down).

#include "helper_pdf.h"
#include "helper_recorder.h"
#include "report/print_report.h"

#include <QFontMetricsF>
#include <QMap>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kPageW = 190;
constexpr int kPageH = 277;
constexpr int kBottom = 500 - 10 * kPageH;  // -2270
constexpr int kLeft = 200;
constexpr int kWidth = 10 * kPageW - 400;  // 1500

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kBlack(0, 0, 0);

/// The designed measurement: 400 to 500 MHz in 10 steps, noise figures 1.2 to 2.7 dB, gains
/// 14.8 to 21.3 dB.
ReportInput designedMeasurement()
{
    ReportInput in;
    in.StartHz = 400e6;
    in.StopHz = 500e6;
    in.Steps = 10;
    for (int i = 0; i <= 10; ++i) {
        in.NoiseFigureDb[size_t(i)] = 1.2 + 0.15 * i;
        in.GainDb[size_t(i)] = 14.8 + 0.65 * i;
    }
    in.Texts.Engineer = QStringLiteral("A. Tester");
    in.Texts.DUT = QStringLiteral("LNA 2");
    in.Texts.Date = QStringLiteral("24.05.24/10:15:30");
    in.Texts.FreqStart = QStringLiteral("400.00 MHz");
    in.Texts.FreqStop = QStringLiteral("500.00 MHz");
    in.Texts.NoiseSource = QStringLiteral("ENR table 1");
    in.Texts.Temperature = QStringLiteral("21.0 \u00B0C");
    in.Texts.FreqSteps = QStringLiteral("10");
    in.Remarks = {QStringLiteral("Remarks..."), QStringLiteral("Bias 5 V, 42 mA"),
                  QStringLiteral("Input matched with 3 dB pad")};
    return in;
}

/// Paints the report on a recording device of the test page.
struct Recorded
{
    explicit Recorded(ReportInput in) : report(std::move(in)), device(kPageW, kPageH)
    {
        QPainter painter(&device);
        report.PrintReport(painter, kPageW, kPageH);
    }
    TestReport report;
    RecordingDevice device;
};

/// Texts drawn in `colour` whose cell lies inside the plot's height (the scale labels).
QList<RecordedText> scaleLabels(const RecordingDevice &d, const QColor &colour)
{
    QList<RecordedText> out;
    for (const RecordedText &t : d.texts)
        if (t.colour == colour && t.cellHeight < 45)
            out.append(t);
    std::sort(out.begin(), out.end(), [](const RecordedText &a, const RecordedText &b) {
        return a.topLeft.y() < b.topLeft.y();  // lowest first: k = 0 .. 10
    });
    return out;
}

/// The triangles of the noise-figure curve: their apex points, one per point.
QList<QPointF> triangleApexes(const RecordingDevice &d, const ReportPlot &plot)
{
    QList<QPointF> out;
    for (const RecordedLine &l : d.linesOf(kRed, 3)) {
        // Each triangle starts with the line from its apex down to the right.
        if (l.to.x() - l.from.x() == 5 && l.from.y() - l.to.y() == 10 && l.from.y() <= plot.bottom + plot.height + 5)
            out.append(l.from);
    }
    return out;
}

QList<QRectF> gainCircles(const RecordingDevice &d, const ReportPlot &plot)
{
    QList<QRectF> out;
    for (const RecordedEllipse &e : d.ellipses)
        if (e.colour == kGreen && e.box.width() == 10 && e.box.center().y() <= plot.bottom + plot.height + 1)
            out.append(e.box);
    return out;
}

}  // namespace

class TestPrintReport : public QObject
{
    Q_OBJECT

private slots:
    void placeholderRule_data()
    {
        QTest::addColumn<QStringList>("memo");
        QTest::addColumn<QStringList>("printed");
        QTest::addColumn<QStringList>("kept");
        const QString ph = QStringLiteral("Remarks...");
        QTest::newRow("placeholder alone") << QStringList{ph} << QStringList{} << QStringList{};
        QTest::newRow("placeholder then text") << QStringList{ph, "a", "b"} << QStringList{"a", "b"} << QStringList{"a", "b"};
        QTest::newRow("placeholder twice") << QStringList{ph, ph} << QStringList{} << QStringList{ph};
        QTest::newRow("placeholder thrice") << QStringList{ph, ph, ph} << QStringList{ph, ph} << QStringList{ph, ph};
        QTest::newRow("placeholder not first") << QStringList{"a", ph} << QStringList{"a", ph} << QStringList{"a", ph};
        QTest::newRow("only the exact text") << QStringList{"Remarks... "} << QStringList{"Remarks... "} << QStringList{"Remarks... "};
        QTest::newRow("empty memo") << QStringList{} << QStringList{} << QStringList{};
    }
    void placeholderRule()
    {
        QFETCH(QStringList, memo);
        QFETCH(QStringList, printed);
        QFETCH(QStringList, kept);

        ReportInput in = designedMeasurement();
        in.Remarks = memo;
        Recorded r(in);
        QStringList drawn;
        for (const RecordedText &t : r.device.texts)
            if (t.topLeft.x() == 370)  // the remarks column (5 + 50) div 2 = 27 mm, printed at 37 mm
                drawn << t.text;
        QCOMPARE(drawn, printed);
        QCOMPARE(r.report.remarks(), kept);
    }

    void remarkLinesLowerTheGraph_data()
    {
        QTest::addColumn<int>("lines");
        for (int n : {0, 1, 2, 5, 12})
            QTest::addRow("%d lines", n) << n;
    }
    void remarkLinesLowerTheGraph()
    {
        QFETCH(int, lines);
        ReportInput in = designedMeasurement();
        in.Remarks.clear();
        for (int i = 0; i < lines; ++i)
            in.Remarks << QStringLiteral("line %1").arg(i + 1);
        Recorded r(in);

        // Each remark line sits 4 mm below the one before it.
        for (int i = 0; i < lines; ++i) {
            const auto t = r.device.textsNamed(QStringLiteral("line %1").arg(i + 1));
            QCOMPARE(t.size(), 1);
            QCOMPARE(t[0].topLeft, QPointF(370, 10 * (-59 - 4 * i)));
        }
        // The legend follows 8 mm below the last line, the graph's top 8 mm further down; the
        // frequency axis stays 50 mm above the lower edge.
        const int top = 10 * (-75 - 4 * lines);
        QCOMPARE(r.report.plot().bottom, kBottom);
        QCOMPARE(r.report.plot().bottom + r.report.plot().height, top);
        const auto axes = r.device.linesOf(kBlack, 3);
        QCOMPARE(axes.size(), 2);
        QCOMPARE(axes[0].from, QPointF(kLeft, kBottom));
        QCOMPARE(axes[0].to, QPointF(kLeft, top));
        QCOMPARE(axes[1].to, QPointF(kLeft + kWidth, kBottom));
        const auto legend = r.device.textsNamed(QStringLiteral("Noise Figure [dB]"));
        QCOMPARE(legend.size(), 1);
        QCOMPARE(legend[0].topLeft.y(), 10 * (-67 - 4 * lines));
        QCOMPARE(r.report.PrintLine, -75 - 4 * lines - 5);
    }

    void remarkLineSlots_data()
    {
        QTest::addColumn<int>("pageHeightMm");
        QTest::addColumn<int>("lineSlots");
        // The graph's height with no remark is 10 × height − 1250; each line takes 40 of it
        // and at least one unit must be left.
        QTest::newRow("A4 with 10 mm margins") << kPageH << 37;
        QTest::newRow("one line leaves 1 unit") << 130 << 1;
        QTest::newRow("one line would flatten the graph") << 129 << 0;
        QTest::newRow("no graph at all") << 125 << 0;
        QTest::newRow("tiny page") << 20 << 0;
    }
    void remarkLineSlots()
    {
        QFETCH(int, pageHeightMm);
        QFETCH(int, lineSlots);
        QCOMPARE(RemarkLineSlots(pageHeightMm), lineSlots);
        if (lineSlots > 0)
            QVERIFY(ReportPlotRect(kPageW, pageHeightMm, -75 - 4 * lineSlots).height > 0);
        QVERIFY(ReportPlotRect(kPageW, pageHeightMm, -75 - 4 * (lineSlots + 1)).height <= 0);
    }

    void fitRemarkLines_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("lineSlots");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QString>("note");
        QTest::newRow("all fit") << 37 << 37 << 37 << QString();
        QTest::newRow("one too many") << 38 << 37 << 36 << "(2 more lines not printed)";
        QTest::newRow("sixty") << 60 << 37 << 36 << "(24 more lines not printed)";
        QTest::newRow("room for the note alone") << 5 << 1 << 0 << "(5 more lines not printed)";
        QTest::newRow("no room at all") << 3 << 0 << 0 << QString();
        QTest::newRow("no remarks") << 0 << 0 << 0 << QString();
    }
    void fitRemarkLines()
    {
        QFETCH(int, lines);
        QFETCH(int, lineSlots);
        QFETCH(int, kept);
        QFETCH(QString, note);
        QStringList memo;
        for (int i = 0; i < lines; ++i)
            memo << QStringLiteral("line %1").arg(i + 1);
        const RemarkLines fit = FitRemarkLines(memo, lineSlots);
        QCOMPARE(fit.notPrinted, lines - kept);
        QCOMPARE(fit.printed.mid(0, kept), memo.mid(0, kept));
        QCOMPARE(fit.printed.size(), kept + (note.isEmpty() ? 0 : 1));
        if (!note.isEmpty())
            QCOMPARE(fit.printed.last(), note);
        QVERIFY(fit.printed.size() <= lineSlots);
    }

    void thirtySevenLinesAllPrinted()
    {
        ReportInput in = designedMeasurement();
        in.Remarks.clear();
        for (int i = 0; i < 37; ++i)
            in.Remarks << QStringLiteral("line %1").arg(i + 1);
        Recorded r(in);
        for (int i = 0; i < 37; ++i) {
            const auto t = r.device.textsNamed(QStringLiteral("line %1").arg(i + 1));
            QCOMPARE(t.size(), 1);
            QCOMPARE(t[0].topLeft, QPointF(370, 10 * (-59 - 4 * i)));
        }
        QVERIFY(r.device.textsNamed(RemarksLeftOffNote(1)).isEmpty());
        QCOMPARE(TestReport(in).RemarksNotPrinted(kPageH), 0);
        // The graph keeps 4 mm and stays upright: its top above the frequency axis, every
        // point between them.
        const ReportPlot plot = r.report.plot();
        QCOMPARE(plot.bottom, kBottom);
        QCOMPARE(plot.height, 40);
        const auto axes = r.device.linesOf(kBlack, 3);
        QCOMPARE(axes.size(), 2);
        QVERIFY(axes[0].to.y() > axes[0].from.y());
        const auto apexes = triangleApexes(r.device, plot);
        QCOMPARE(apexes.size(), 11);
        for (const QPointF &apex : apexes) {
            QVERIFY(apex.y() - 5 >= plot.bottom);
            QVERIFY(apex.y() - 5 <= plot.bottom + plot.height);
        }
    }

    void sixtyLinesEndWithANote()
    {
        ReportInput in = designedMeasurement();
        in.Remarks.clear();
        for (int i = 0; i < 60; ++i)
            in.Remarks << QStringLiteral("line %1").arg(i + 1);
        QCOMPARE(TestReport(in).RemarksNotPrinted(kPageH), 24);
        Recorded r(in);
        // 36 lines, then the note in the 37th line's place.
        QCOMPARE(r.device.textsNamed(QStringLiteral("line 36")).size(), 1);
        QVERIFY(r.device.textsNamed(QStringLiteral("line 37")).isEmpty());
        const auto note = r.device.textsNamed(QStringLiteral("(24 more lines not printed)"));
        QCOMPARE(note.size(), 1);
        QCOMPARE(note[0].topLeft, QPointF(370, 10 * (-59 - 4 * 36)));
        QCOMPARE(r.report.plot().height, 40);
        // The remark lines are all kept in the form.
        QCOMPARE(r.report.remarks().size(), 60);
    }

    void axisRanges_data()
    {
        QTest::addColumn<QList<double>>("noiseFigures");
        QTest::addColumn<QList<double>>("gains");
        QTest::addColumn<QStringList>("redLabels");
        QTest::addColumn<QStringList>("greenLabels");
        QTest::addColumn<double>("nfTop");
        QTest::addColumn<double>("gBottom");
        QTest::addColumn<double>("gTop");

        const QStringList nf10 = {"0.0", "1.0", "2.0", "3.0", "4.0", "5.0", "6.0", "7.0", "8.0", "9.0", "10.0"};
        const QStringList g3to30 = {"3.0", "5.7", "8.4", "11.1", "13.8", "16.5", "19.2", "21.9", "24.6", "27.3", "30.0"};
        QTest::newRow("4.2 dB, gains 8.5 to 12 dB")
            << QList<double>{1.5, 4.2, 3.9, 2.0} << QList<double>{8.5, 12.0, 10.1, 9.0} << nf10 << g3to30
            << 10.0 << 3.0 << 30.0;
        QTest::newRow("exactly 10 dB")
            << QList<double>{10.0, 4.0, 9.5} << QList<double>{8.5, 12.0, 9.0}
            << QStringList{"0.0", "3.0", "6.0", "9.0", "12.0", "15.0", "18.0", "21.0", "24.0", "27.0", "30.0"}
            << g3to30 << 30.0 << 3.0 << 30.0;
        QTest::newRow("smallest gain exactly 10 dB")
            << QList<double>{0.5, 0.9} << QList<double>{10.0, 25.0}
            << QStringList{"0.0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1.0"}
            << g3to30 << 1.0 << 3.0 << 30.0;
        QTest::newRow("failed noise figures do not count")
            << QList<double>{-1.0, 2.5, -1.0} << QList<double>{-150.0, -120.0, -130.0}
            << QStringList{"0.0", "0.3", "0.6", "0.9", "1.2", "1.5", "1.8", "2.1", "2.4", "2.7", "3.0"}
            << QStringList{"-150.0", "-145.0", "-140.0", "-135.0", "-130.0", "-125.0", "-120.0", "-115.0",
                           "-110.0", "-105.0", "-100.0"}
            << 3.0 << -150.0 << -100.0;
        QTest::newRow("no valid noise figure")
            << QList<double>{-1.0, -1.0} << QList<double>{1.5, 2.0}
            << QStringList{"0.0", "-30.0", "-60.0", "-90.0", "-120.0", "-150.0", "-180.0", "-210.0", "-240.0",
                           "-270.0", "-300.0"}
            << QStringList{"1.0", "1.2", "1.4", "1.6", "1.8", "2.0", "2.2", "2.4", "2.6", "2.8", "3.0"}
            << -300.0 << 1.0 << 3.0;
    }
    void axisRanges()
    {
        QFETCH(QList<double>, noiseFigures);
        QFETCH(QList<double>, gains);
        QFETCH(QStringList, redLabels);
        QFETCH(QStringList, greenLabels);
        QFETCH(double, nfTop);
        QFETCH(double, gBottom);
        QFETCH(double, gTop);

        ReportInput in = designedMeasurement();
        in.Remarks.clear();
        in.Steps = int(noiseFigures.size()) - 1;
        for (qsizetype i = 0; i < noiseFigures.size(); ++i) {
            in.NoiseFigureDb[size_t(i)] = noiseFigures[i];
            in.GainDb[size_t(i)] = gains[i];
        }
        Recorded r(in);
        const ReportPlot plot = r.report.plot();
        QCOMPARE(plot.height, 10 * -75 - kBottom);

        const auto red = scaleLabels(r.device, kRed);
        const auto green = scaleLabels(r.device, kGreen);
        QStringList redTexts, greenTexts;
        for (const auto &t : red)
            redTexts << t.text;
        for (const auto &t : green)
            greenTexts << t.text;
        QCOMPARE(redTexts, redLabels);
        QCOMPARE(greenTexts, greenLabels);
        for (int k = 0; k <= 10; ++k) {
            // Next to the k-th grid line from the bottom, the cell 2 mm above it.
            const int yk = int(plot.height / 10.0 * k + plot.bottom);
            QCOMPARE(red[k].topLeft.y(), double(yk + 20));
            QCOMPARE(green[k].topLeft.y(), double(yk + 20));
            // Red right-aligned 1 mm left of the plot, green 1 mm right of it.
            QVERIFY2(qAbs(red[k].topLeft.x() + red[k].width - (kLeft - 10)) <= 1.0, qPrintable(red[k].text));
            QCOMPARE(green[k].topLeft.x(), double(kLeft + kWidth + 10));
        }

        // Every point lies where its value falls on the axis (to the nearest 0.1 mm).
        const auto apexes = triangleApexes(r.device, plot);
        const auto circles = gainCircles(r.device, plot);
        QCOMPARE(apexes.size(), noiseFigures.size());
        QCOMPARE(circles.size(), gains.size());
        for (qsizetype i = 0; i < noiseFigures.size(); ++i) {
            const double x = kLeft + double(i) * kWidth / in.Steps;
            QVERIFY(qAbs(apexes[i].x() - x) <= 0.5);
            QVERIFY(qAbs(circles[i].center().x() - x) <= 0.5);
            const double nfY = plot.bottom + plot.height * noiseFigures[i] / nfTop;
            QVERIFY2(qAbs(apexes[i].y() - 5 - nfY) <= 1.0, qPrintable(QString::number(noiseFigures[i])));
            const double gY = plot.bottom + plot.height * (gains[i] - gBottom) / (gTop - gBottom);
            QVERIFY2(qAbs(circles[i].center().y() - gY) <= 1.0, qPrintable(QString::number(gains[i])));
        }
    }

    void singleFrequencyIsOnePointAtTheLeftEdge()
    {
        ReportInput in = designedMeasurement();
        in.Steps = 0;
        in.StartHz = in.StopHz = 100e6;
        in.NoiseFigureDb[0] = 2.0;
        in.GainDb[0] = 15.0;
        Recorded r(in);
        const ReportPlot plot = r.report.plot();

        const auto apexes = triangleApexes(r.device, plot);
        QCOMPARE(apexes.size(), 1);
        QCOMPARE(apexes[0].x(), double(kLeft));
        // Three sides of one triangle and no curve segment.
        QCOMPARE(r.device.linesOf(kRed, 3).size(), 3 + 3);  // with the legend's triangle
        QCOMPARE(r.device.linesOf(kRed, 2).size(), 0);
        QCOMPARE(r.device.linesOf(kGreen, 2).size(), 0);
        const auto circles = gainCircles(r.device, plot);
        QCOMPARE(circles.size(), 1);
        QCOMPARE(circles[0].center().x(), double(kLeft));
        // Start and stop are the same frequency, at both ends of the axis.
        QCOMPARE(r.device.textsNamed(QStringLiteral("100.00 MHz")).size(), 2);
    }

    void confidenceLineAndGuidelineMarks()
    {
        ReportInput in = designedMeasurement();
        in.LargestUncertaintyDb = 0.314;
        in.OutsideGuidelines[3] = true;
        in.OutsideGuidelines[7] = true;
        in.OutsideGuidelines[11] = true;  // beyond the plan's steps: neither counted nor drawn
        Recorded r(in);
        Recorded plain(designedMeasurement());

        // On the line of "Remarks:", in the third and fourth columns (w = 45 mm).
        const QString uText = QStringLiteral("Uncertainty \u2264 \u00B10.31 dB");
        const QString gText = QStringLiteral("Off guidelines: 2 steps");
        QCOMPARE(r.device.textsNamed(uText).size(), 1);
        QCOMPARE(r.device.textsNamed(gText).size(), 1);
        const RecordedText u = r.device.textsNamed(uText).first();
        const RecordedText g = r.device.textsNamed(gText).first();
        const double remarksY = r.device.textsNamed(QStringLiteral("Remarks:")).first().topLeft.y();
        QCOMPARE(u.topLeft, QPointF(10 * 95 + 100, remarksY));
        QCOMPARE(g.topLeft, QPointF(10 * 140 + 100, remarksY));
        QVERIFY2(u.topLeft.x() + u.width < 10 * 140 + 100 - 40, qPrintable(QString::number(u.width)));
        QVERIFY(g.topLeft.x() + g.width < 10 * kPageW);

        // Everything else stands where it stood.
        QCOMPARE(r.device.texts.size(), plain.device.texts.size() + 2);
        for (const RecordedText &t : plain.device.texts) {
            const auto same = r.device.textsNamed(t.text);
            QVERIFY2(std::any_of(same.begin(), same.end(), [&](const RecordedText &o) { return o.topLeft == t.topLeft; }),
                     qPrintable(t.text));
        }
        QCOMPARE(r.report.plot().height, plain.report.plot().height);

        // The marks: orange triangles, apex down, 1 mm above the two points (and one beside the
        // text).
        const ReportPlot plot = r.report.plot();
        const AxisRange nf = NoiseFigureAxis(2.7);
        QList<QPointF> apexes;
        for (const RecordedLine &l : r.device.linesOf(QColor(255, 140, 0), 3))
            if (l.to.x() - l.from.x() == kReportMarkHalf && l.to.y() - l.from.y() == 2 * kReportMarkHalf)
                apexes.append(l.from);
        QCOMPARE(apexes.size(), 3);
        for (int i : {3, 7})
            QVERIFY2(apexes.contains(QPointF(ReportPointX(plot, i, 10), ReportAxisY(plot, nf, 1.2 + 0.15 * i) + kReportMarkGap)),
                     qPrintable(QString::number(i)));
        QVERIFY(plain.device.linesOf(QColor(255, 140, 0), 3).isEmpty());
    }

    void verdictAndLimitLines()
    {
        ReportInput in = designedMeasurement();
        in.Limits.points[size_t(LimitKind::NfUpper)] = {{450e6, 2.5}};
        in.Limits.points[size_t(LimitKind::GainLower)] = {{400e6, 15.0}, {500e6, 20.0}};
        in.Verdict = QStringLiteral("FAIL: 2 of 11 points");
        Recorded r(in);
        Recorded plain(designedMeasurement());

        // In bold on the line of "Remarks:", in the second column, red for a failure.
        const QList<RecordedText> verdict = r.device.textsNamed(in.Verdict);
        QCOMPARE(verdict.size(), 1);
        const double remarksY = r.device.textsNamed(QStringLiteral("Remarks:")).first().topLeft.y();
        QCOMPARE(verdict[0].topLeft, QPointF(10 * 50 + 100, remarksY));
        QVERIFY(verdict[0].bold);
        QCOMPARE(verdict[0].colour, kRed);
        QVERIFY(verdict[0].topLeft.x() + verdict[0].width < 10 * 95 + 100);

        // Everything the designed report places stands where it stood.
        QCOMPARE(r.device.texts.size(), plain.device.texts.size() + 1);
        for (const RecordedText &t : plain.device.texts) {
            const auto same = r.device.textsNamed(t.text);
            QVERIFY2(std::any_of(same.begin(), same.end(), [&](const RecordedText &o) { return o.topLeft == t.topLeft; }),
                     qPrintable(t.text));
        }
        QCOMPARE(r.report.plot().height, plain.report.plot().height);
        QCOMPARE(r.report.plot().bottom, plain.report.plot().bottom);
        QCOMPARE(r.device.ellipses.size(), plain.device.ellipses.size());

        // The lines, thin, in their trace's colour: the flat NF limit over the whole plot, the
        // gain limit rising from 15 to 20 dB.
        const ReportPlot plot = r.report.plot();
        const AxisRange nf = NoiseFigureAxis(2.7);
        const AxisRange gain = GainAxis(14.8, 14.8 + 0.65 * 10);
        const auto added = [&](const QColor &colour) {
            QList<RecordedLine> lines = r.device.linesOf(colour, 1);
            for (const RecordedLine &l : plain.device.linesOf(colour, 1)) {
                const auto at = std::find_if(lines.begin(), lines.end(),
                                             [&](const RecordedLine &o) { return o.from == l.from && o.to == l.to; });
                if (at != lines.end())
                    lines.erase(at);
            }
            return lines;
        };
        const QList<RecordedLine> red = added(kRed);
        QCOMPARE(red.size(), 1);
        QCOMPARE(red[0].from, QPointF(plot.left, ReportAxisY(plot, nf, 2.5)));
        QCOMPARE(red[0].to, QPointF(plot.left + plot.width, ReportAxisY(plot, nf, 2.5)));
        const QList<RecordedLine> green = added(kGreen);
        QCOMPARE(green.size(), 1);
        QCOMPARE(green[0].from, QPointF(plot.left, ReportAxisY(plot, gain, 15.0)));
        QCOMPARE(green[0].to, QPointF(plot.left + plot.width, ReportAxisY(plot, gain, 20.0)));
        QCOMPARE(r.device.lines.size(), plain.device.lines.size() + 2);
    }

    /// The count of steps off the guidelines takes the first and the last step of the plan and
    /// nothing beyond it; a single frequency is a plan of one step.
    void guidelineCount_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<QList<int>>("marked");
        QTest::addColumn<QString>("text");
        QTest::newRow("first and last of 11") << 10 << QList<int>{0, 10} << "Off guidelines: 2 steps";
        QTest::newRow("only the last") << 10 << QList<int>{10} << "Off guidelines: 1 step";
        QTest::newRow("only the first") << 10 << QList<int>{0, 11} << "Off guidelines: 1 step";
        QTest::newRow("single frequency") << 0 << QList<int>{0} << "Off guidelines: 1 step";
        QTest::newRow("single frequency, the next slot") << 0 << QList<int>{1} << "";
        QTest::newRow("last of 100") << 99 << QList<int>{98, 99, 100} << "Off guidelines: 2 steps";
    }
    void guidelineCount()
    {
        QFETCH(int, steps);
        QFETCH(QList<int>, marked);
        QFETCH(QString, text);
        ReportInput in = designedMeasurement();
        in.Steps = steps;
        for (int i : marked)
            in.OutsideGuidelines[size_t(i)] = true;
        Recorded r(in);
        const int found = int(r.device.textsNamed(text).size());
        if (text.isEmpty()) {
            for (const RecordedText &t : r.device.texts)
                QVERIFY2(!t.text.startsWith(QStringLiteral("Off guidelines")), qPrintable(t.text));
        } else {
            QCOMPARE(found, 1);
        }
    }

    /// A step whose evaluation failed stands at the noise figure it keeps, as a magenta square
    /// in place of its triangle; the curve still runs through it.
    void failedStepIsASquareAtItsKeptValue()
    {
        ReportInput in = designedMeasurement();
        in.EvaluationFailed[4] = true;
        in.EvaluationFailed[11] = true;  // beyond the plan's steps: not drawn
        Recorded r(in);
        const ReportPlot plot = r.report.plot();
        const QList<QPointF> apexes = triangleApexes(r.device, plot);
        QCOMPARE(apexes.size(), 10);
        const int x = ReportPointX(plot, 4, 10);
        const int y = ReportAxisY(plot, NoiseFigureAxis(2.7), 1.2 + 0.15 * 4);
        QVERIFY(!apexes.contains(QPointF(x, y + 5)));
        const QList<RecordedLine> square = r.device.linesOf(QColor(255, 0, 255), 3);
        QCOMPARE(square.size(), 4);
        QCOMPARE(square.first().from, QPointF(x - 5, y - 5));
        QCOMPARE(square[1].from, QPointF(x + 5, y - 5));
        QCOMPARE(square[2].from, QPointF(x + 5, y + 5));
        QCOMPARE(square.last().to, QPointF(x - 5, y - 5));
        const QList<RecordedLine> curve = r.device.linesOf(kRed, 2);
        QCOMPARE(curve.size(), 10);
        QCOMPARE(curve[3].to, QPointF(x, y));
        QCOMPARE(curve[4].from, QPointF(x, y));
    }

    void curvesJoinConsecutivePoints()
    {
        Recorded r(designedMeasurement());
        const ReportPlot plot = r.report.plot();
        const auto apexes = triangleApexes(r.device, plot);
        const auto nfCurve = r.device.linesOf(kRed, 2);
        const auto gainCurve = r.device.linesOf(kGreen, 2);
        QCOMPARE(apexes.size(), 11);
        QCOMPARE(nfCurve.size(), 10);
        QCOMPARE(gainCurve.size(), 10);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(nfCurve[i].from, apexes[i] - QPointF(0, 5));
            QCOMPARE(nfCurve[i].to, apexes[i + 1] - QPointF(0, 5));
            QCOMPARE(gainCurve[i].to.x(), double(kLeft + 150 * (i + 1)));
        }
        // Grid: 11 grey horizontal lines across, 10 grey verticals up to the top.
        const auto grid = r.device.linesOf(QColor(128, 128, 128), 1);
        QCOMPARE(grid.size(), 21);
        // Circles are filled white.
        for (const RecordedEllipse &e : r.device.ellipses)
            QCOMPARE(e.fill, QColor(Qt::white));
        QCOMPARE(r.device.otherPrimitives, 0);
    }

    void marksTitleAndHeader_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPointF>("topLeft");
        QTest::addColumn<int>("cell");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("colour");

        auto row = [](const char *name, const QString &t, double x, double y, int cell, bool bold, QColor c) {
            QTest::newRow(name) << t << QPointF(x, y) << cell << bold << c;
        };
        row("label engineer", "Test engineer:", 150, -250, 50, true, kBlack);
        row("label DUT", "DUT:", 600, -250, 50, true, kBlack);
        row("label temperature", "Room Temperature:", 1050, -250, 50, true, kBlack);
        row("label date", "Date/Time:", 1500, -250, 50, true, kBlack);
        row("engineer", "A. Tester", 150, -310, 40, false, kBlack);
        row("DUT", "LNA 2", 600, -310, 40, false, kBlack);
        row("temperature", "21.0 \u00B0C", 1050, -310, 40, false, kBlack);
        row("date", "24.05.24/10:15:30", 1500, -310, 40, false, kBlack);
        row("label start", "Frequency start:", 150, -390, 50, true, kBlack);
        row("label end", "Frequency end:", 600, -390, 50, true, kBlack);
        row("label source", "Noise Source:", 1050, -390, 50, true, kBlack);
        row("label steps", "Frequency Steps:", 1500, -390, 50, true, kBlack);
        row("start", "400.00 MHz", 150, -450, 40, false, kBlack);
        row("stop", "500.00 MHz", 600, -450, 40, false, kBlack);
        row("source", "ENR table 1", 1050, -450, 40, false, kBlack);
        row("steps", "10", 1500, -450, 40, false, kBlack);
        row("remarks label", "Remarks:", 150, -530, 50, true, kBlack);
        row("remark 1", "Bias 5 V, 42 mA", 370, -590, 40, false, kBlack);
        row("remark 2", "Input matched with 3 dB pad", 370, -630, 40, false, kBlack);
        row("legend noise figure", "Noise Figure [dB]", 150, -750, 50, true, kRed);
        row("legend gain", "Gain [dB]", 1500, -750, 50, true, kGreen);
    }
    void marksTitleAndHeader()
    {
        QFETCH(QString, text);
        QFETCH(QPointF, topLeft);
        QFETCH(int, cell);
        QFETCH(bool, bold);
        QFETCH(QColor, colour);

        Recorded r(designedMeasurement());
        const auto found = r.device.textsNamed(text);
        QVERIFY(!found.isEmpty());  // the first one: start and stop are printed under the axis too
        QCOMPARE(found[0].topLeft, topLeft);
        QVERIFY2(qAbs(found[0].cellHeight - cell) <= 1.0, qPrintable(QString::number(found[0].cellHeight)));
        QCOMPARE(found[0].bold, bold);
        QCOMPARE(found[0].colour, colour);
    }

    void headerTextsStayInTheirColumns()
    {
        ReportInput in = designedMeasurement();
        in.Texts.Date = QStringLiteral("12/24/26/10:15:30 PM");
        Recorded r(in);
        // The four header lines: each text ends at least 1 mm before the next column begins,
        // and the last column stays on the printable width.
        QMap<double, QList<RecordedText>> lines;
        for (const RecordedText &t : r.device.texts)
            if (t.topLeft.y() <= -250 && t.topLeft.y() >= -450)
                lines[t.topLeft.y()].append(t);
        QCOMPARE(lines.size(), 4);
        for (QList<RecordedText> &line : lines) {
            QCOMPARE(line.size(), 4);
            std::sort(line.begin(), line.end(), [](const RecordedText &a, const RecordedText &b) {
                return a.topLeft.x() < b.topLeft.x();
            });
            for (qsizetype i = 0; i < line.size(); ++i) {
                const double end = line[i].topLeft.x() + line[i].width;
                const double limit = i + 1 < line.size() ? line[i + 1].topLeft.x() - 10 : 10 * kPageW;
                QVERIFY2(end <= limit, qPrintable(QStringLiteral("%1 ends at %2, limit %3")
                                                      .arg(line[i].text)
                                                      .arg(end)
                                                      .arg(limit)));
            }
        }
    }

    void marksAndTitle()
    {
        Recorded r(designedMeasurement());
        // Fold mark at the vertical middle, punch-hole marks 40 mm above and below it.
        const int ym = -10 * kPageH / 2;  // -1385
        const auto thin = r.device.linesOf(kBlack, 1);
        QVERIFY(!thin.isEmpty());
        QCOMPARE(thin[0].from, QPointF(0, ym));
        QCOMPARE(thin[0].to, QPointF(50, ym));
        QList<QRectF> holes;
        for (const RecordedEllipse &e : r.device.ellipses)
            if (e.colour == kBlack)
                holes << e.box;
        QCOMPARE(holes.size(), 2);
        QCOMPARE(holes[0], QRectF(30, ym - 420, 40, 40));
        QCOMPARE(holes[1], QRectF(30, ym + 380, 40, 40));

        const auto title = r.device.textsNamed(QStringLiteral("Test Report: "));
        QCOMPARE(title.size(), 1);
        QCOMPARE(title[0].topLeft.y(), -100.0);
        QVERIFY(title[0].bold);
        QVERIFY(qAbs(title[0].cellHeight - 80) <= 1.0);
        QVERIFY(qAbs(title[0].topLeft.x() + title[0].width / 2 - 10 * kPageW / 2) <= 1.0);

        // Legend marks: a red triangle with its apex up left of its text, a green circle.
        const int yc = -750 - 25;
        const auto redThick = r.device.linesOf(kRed, 3);
        QCOMPARE(redThick[0].from, QPointF(126, yc + 8));
        QCOMPARE(redThick[0].to, QPointF(134, yc - 8));
        QCOMPARE(redThick[1].to, QPointF(118, yc - 8));
        QCOMPARE(redThick[2].to, QPointF(126, yc + 8));
        bool legendCircle = false;
        for (const RecordedEllipse &e : r.device.ellipses)
            legendCircle |= e.colour == kGreen && e.box == QRectF(1468, yc - 8, 16, 16);
        QVERIFY(legendCircle);

        // Frequency texts under the axis, the division label centred under the plot.
        const auto perDiv = r.device.textsNamed(QStringLiteral("10 MHz / DIV"));
        QCOMPARE(perDiv.size(), 1);
        QCOMPARE(perDiv[0].topLeft.y(), double(kBottom - 70));
        QVERIFY(qAbs(perDiv[0].topLeft.x() + perDiv[0].width / 2 - (kLeft + kWidth / 2)) <= 1.0);
        QVERIFY(qAbs(perDiv[0].cellHeight - 60) <= 1.0);
        const auto start = r.device.textsNamed(QStringLiteral("400.00 MHz"));
        const auto stop = r.device.textsNamed(QStringLiteral("500.00 MHz"));
        QCOMPARE(start.size(), 2);  // the header value and the axis text
        QCOMPARE(stop.size(), 2);
        QCOMPARE(start[1].topLeft.y(), double(kBottom - 20));
        QVERIFY(qAbs(start[1].topLeft.x() + start[1].width / 2 - kLeft) <= 1.0);
        QVERIFY(qAbs(stop[1].topLeft.x() + stop[1].width / 2 - (kLeft + kWidth)) <= 1.0);
    }

    void printsOnePageIntoPdf()
    {
        if (!HavePdfToText())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Landscape);  // the report turns it back
        printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);

        TestReport report(designedMeasurement());
        QVERIFY(report.PrintReport(printer));
        QCOMPARE(int(report.PageWidthMm), 190);
        QCOMPARE(int(report.PageHeightMm), 277);

        const PdfText pdf = ReadPdfText(path);
        QCOMPARE(pdf.pages.size(), 1);
        QVERIFY(qAbs(pdf.pages[0].width() - MmToPt(210)) < 1.0);  // portrait
        QVERIFY(qAbs(pdf.pages[0].height() - MmToPt(297)) < 1.0);

        // Positions on paper: 10 mm margin, then the page units.
        auto expectAt = [&](const QString &phrase, double xMm, double yMm) {
            const auto box = pdf.find(phrase);
            QVERIFY2(box, qPrintable(phrase));
            QVERIFY2(qAbs(box->left() - MmToPt(10 + xMm)) < MmToPt(0.6),
                     qPrintable(QStringLiteral("%1: x %2 pt").arg(phrase).arg(box->left())));
            QVERIFY2(qAbs(box->top() - MmToPt(10 + yMm)) < MmToPt(1.0),
                     qPrintable(QStringLiteral("%1: y %2 pt").arg(phrase).arg(box->top())));
        };
        expectAt(QStringLiteral("Test engineer:"), 15, 25);
        expectAt(QStringLiteral("DUT:"), 60, 25);
        expectAt(QStringLiteral("Room Temperature:"), 105, 25);
        expectAt(QStringLiteral("Date/Time:"), 150, 25);
        expectAt(QStringLiteral("A. Tester"), 15, 31);
        expectAt(QStringLiteral("LNA 2"), 60, 31);
        expectAt(QStringLiteral("21.0 \u00B0C"), 105, 31);
        expectAt(QStringLiteral("24.05.24/10:15:30"), 150, 31);
        expectAt(QStringLiteral("Frequency start:"), 15, 39);
        expectAt(QStringLiteral("Frequency end:"), 60, 39);
        expectAt(QStringLiteral("Noise Source:"), 105, 39);
        expectAt(QStringLiteral("Frequency Steps:"), 150, 39);
        expectAt(QStringLiteral("ENR table 1"), 105, 45);
        expectAt(QStringLiteral("Remarks:"), 15, 53);
        expectAt(QStringLiteral("Bias 5 V, 42 mA"), 37, 59);
        expectAt(QStringLiteral("Input matched with 3 dB pad"), 37, 63);
        expectAt(QStringLiteral("Noise Figure [dB]"), 15, 75);
        expectAt(QStringLiteral("Gain [dB]"), 150, 75);
        QVERIFY(!pdf.find(QStringLiteral("Remarks...")));

        // The title is centred on the printable width, 10 mm below its top.
        const auto title = pdf.find(QStringLiteral("Test Report:"));
        QVERIFY(title);
        QVERIFY(qAbs(title->top() - MmToPt(20)) < MmToPt(1.0));
        const double space = QFontMetricsF(ReportFont(80, true)).horizontalAdvance(QLatin1Char(' ')) / 10;
        QVERIFY2(qAbs(title->center().x() - MmToPt(10 + 95 - space / 2)) < MmToPt(1.0),
                 qPrintable(QString::number(title->center().x())));

        // The division label sits 7 mm under the frequency axis (227 mm down).
        const auto perDiv = pdf.find(QStringLiteral("10 MHz / DIV"));
        QVERIFY(perDiv);
        QVERIFY(qAbs(perDiv->top() - MmToPt(10 + 234)) < MmToPt(1.0));
        QVERIFY(qAbs(perDiv->center().x() - MmToPt(10 + 95)) < MmToPt(1.0));
        // Both axes are labelled eleven times.
        for (const QString &label : {QStringLiteral("0.0"), QStringLiteral("3.0")})
            QVERIFY(!pdf.findAll(label).isEmpty());
        QCOMPARE(pdf.findAll(QStringLiteral("30.0")).size(), 1);
    }
};

QTEST_MAIN(TestPrintReport)
#include "tst_print_report.moc"
