// Reference traces: read from each kind of file of ours, refused with the place of the fault,
// their values between points and outside their span, the comparison the step display shows,
// and their lines on the graph, cut at the grid and leaving the graph's own layout alone.

#include "results/csv_export.h"
#include "results/graph.h"
#include "results/measurement_file.h"
#include "results/nfm_file.h"
#include "results/reference_trace.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

/// Three steps, 400 to 500 MHz: the middle one without a noise figure.
MeasurementRecord Sample()
{
    MeasurementRecord r;
    r.SweepPlan = {400e6, 500e6, 50e6, 0, 2};
    r.MeasurementHeader.StepsCount = 2;
    const double nf[] = {1.5, -1.0, 2.5};
    for (int i = 0; i <= 2; ++i) {
        r.N2off[i] = -80;
        r.N2on[i] = -75;
        r.N12off[i] = -60;
        r.N12on[i] = -56;
        r.GainDb[i] = 20 + i;
        r.NoiseFigureDb[i] = nf[i];
    }
    return r;
}

ReferenceTrace SampleTrace(const QString &name = QStringLiteral("ref"))
{
    return {name,
            {{400e6, 1.5, 20.0}, {450e6, std::nullopt, 21.0}, {500e6, 2.5, 22.0}}};
}

QByteArray NfmOf(const MeasurementRecord &r)
{
    CompleteMeasurement m;
    m.record = r;
    m.programVersion = QStringLiteral("V1.10");
    return EncodeCompleteMeasurement(m);
}

const QByteArray kCsvTitles =
    "Frequency (Hz),N2off (dBm),N2on (dBm),N12off (dBm),N12on (dBm),Gain (dB),Noise figure (dB),Noise factor,"
    "Noise temperature (K),Y calibration (dB),Y with DUT (dB),Uncertainty (dB),Guidelines\n";

}  // namespace

class TestReferenceTrace : public QObject
{
    Q_OBJECT

private slots:
    void readsEachFileOfOurs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const MeasurementRecord r = Sample();
        QTest::newRow("measurement file") << EncodeMeasurementRecord(r);
        QTest::newRow("complete measurement") << NfmOf(r);
        CsvExportDetails details;
        details.written = QDateTime(QDate(2026, 12, 8), QTime(9, 0), Qt::UTC);
        details.noiseSourceText = QStringLiteral("Table1, \"346B\"");
        QList<CsvStepRow> rows;
        for (int i = 0; i <= 2; ++i) {
            CsvStepRow row;
            row.step = i;
            row.frequencyHz = r.SweepPlan.enrHz(i);
            row.gainDb = r.GainDb[size_t(i)];
            if (r.NoiseFigureDb[size_t(i)] >= 0)
                row.noiseFigureDb = r.NoiseFigureDb[size_t(i)];
            row.guidelines = i == 1 ? QStringLiteral("Low Y-factor, \"check\"\nthe source.") : QString();
            rows << row;
        }
        QTest::newRow("exported CSV, quoted cells") << CsvExportText(rows, details);
        // Columns of its own (limits) and rows out of order: the three named columns are found.
        QTest::newRow("CSV, other columns, unsorted")
            << QByteArray("# Tessary V1.10 measurement\r\nLimits,Noise figure (dB),Frequency (Hz),Gain (dB)\r\n"
                          "pass,2.5,500000000,22\r\nfail,,450000000,21\r\n\r\npass,1.5,4e8,20\r\n");
    }

    void readsEachFileOfOurs()
    {
        QFETCH(QByteArray, bytes);
        const ReferenceReadResult read = ReadReference(bytes, QStringLiteral("ref"), QStringLiteral("a"));
        QVERIFY2(read.trace, qPrintable(read.error));
        QCOMPARE(*read.trace, SampleTrace());
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QByteArray badMea = EncodeMeasurementRecord(Sample());
        badMea[MeaOffset::Steps] = char(120);
        QTest::newRow("corrupt measurement file") << badMea << QStringLiteral("a.mea: File corrupt !");
        QByteArray nfm = NfmOf(Sample());
        QTest::newRow("truncated complete measurement")
            << nfm.left(nfm.size() / 2) << QStringLiteral("a.mea: ");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("a.mea: not a measurement of this program (no column titles)");
        QTest::newRow("foreign table") << QByteArray("x,y\n1,2\n")
                                       << QStringLiteral("a.mea, line 1: not a measurement of this program");
        QTest::newRow("bad frequency") << kCsvTitles + "# note\n400e6,,,,,20,1.5,,,,,,\nfour,,,,,20,1.5,,,,,,\n"
                                       << QStringLiteral("a.mea, line 4: \"four\" is not a frequency in Hz");
        QTest::newRow("bad noise figure") << kCsvTitles + "400e6,,,,,20,1,5,,,,,,\n"
                                          << QStringLiteral("a.mea, line 2: 14 cells where the titles name 13");
        QTest::newRow("bad gain") << kCsvTitles + "400e6,,,,,inf,1.5,,,,,,\n"
                                  << QStringLiteral("a.mea, line 2: \"inf\" is not a number of dB (column \"Gain (dB)\")");
        QTest::newRow("open quote") << kCsvTitles + "400e6,,,,,20,1.5,,,,,,\"never closed\n"
                                    << QStringLiteral("a.mea, line 2: a quoted cell is not closed");
        QTest::newRow("no value") << kCsvTitles + "400e6,,,,,,,,,,,,\n"
                                  << QStringLiteral("a.mea: the measurement holds no noise figure and no gain");
    }

    void refusals()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const ReferenceReadResult read = ReadReference(bytes, QStringLiteral("ref"), QStringLiteral("a.mea"));
        QVERIFY(!read.trace);
        QVERIFY2(read.error.startsWith(error), qPrintable(read.error));
    }

    void valueAt_data()
    {
        QTest::addColumn<int>("quantity");
        QTest::addColumn<double>("hz");
        QTest::addColumn<double>("expected");  // NaN: no value
        const int nf = int(ReferenceQuantity::NoiseFigure);
        const int gain = int(ReferenceQuantity::Gain);
        QTest::newRow("at a point") << gain << 450e6 << 21.0;
        QTest::newRow("between points") << gain << 425e6 << 20.5;
        QTest::newRow("first point") << nf << 400e6 << 1.5;
        QTest::newRow("last point") << nf << 500e6 << 2.5;
        QTest::newRow("across a point without value") << nf << 450e6 << 2.0;
        QTest::newRow("below the span") << gain << 399.9e6 << qQNaN();
        QTest::newRow("above the span") << nf << 500.1e6 << qQNaN();
    }

    void valueAt()
    {
        QFETCH(int, quantity);
        QFETCH(double, hz);
        QFETCH(double, expected);
        const std::optional<double> v = ReferenceValueAt(SampleTrace(), ReferenceQuantity(quantity), hz);
        if (std::isnan(expected)) {
            QVERIFY(!v);
        } else {
            QVERIFY(v);
            QCOMPARE(*v, expected);
        }
    }

    void differenceText()
    {
        const ReferenceTrace a = SampleTrace(QStringLiteral("golden"));
        // Covers only the gain at 450 MHz, and nothing above 450 MHz.
        const ReferenceTrace b{QStringLiteral("a very long reference name indeed"), {{400e6, std::nullopt, 19.0}, {450e6, std::nullopt, 20.0}}};
        QCOMPARE(ReferenceDifferenceText({a, b}, 450e6, 1.875, 21.5),
                 QStringLiteral("golden: F -0.13 dB, G +0.50 dB; a very long reference...: G +1.50 dB"));
        QCOMPARE(ReferenceDifferenceText({a, b}, 500e6, 2.5, std::nullopt), QStringLiteral("golden: F 0.00 dB"));
        QCOMPARE(ReferenceDifferenceText({a, b}, 600e6, 2.5, 20.0), QString());
    }

    void setHoldsFour()
    {
        ReferenceSet set;
        QString error;
        for (int i = 0; i < kMaxReferences; ++i)
            QVERIFY(set.add(SampleTrace(QString::number(i)), &error));
        QVERIFY(!set.add(SampleTrace(QStringLiteral("fifth")), &error));
        QCOMPARE(error, QStringLiteral("The graph shows at most 4 references; remove one first."));
        set.remove(1);
        set.remove(7);
        QCOMPARE(set.size(), 3);
        QCOMPARE(set.traces()[1].name, QStringLiteral("2"));
        // Every colour its own, none of the graph's.
        QList<QRgb> colours;
        for (int i = 0; i < kMaxReferences; ++i) {
            const QRgb c = ReferenceColour(i).rgb();
            QVERIFY(!colours.contains(c));
            for (const QColor &own : {GraphColour::NoiseFigure, GraphColour::Gain, GraphColour::Frequency,
                                      GraphColour::Selected, GraphColour::EvaluationFailed, GraphColour::Guideline,
                                      GraphColour::Grid, GraphColour::Background})
                QVERIFY(c != own.rgb());
            colours << c;
        }
    }

    void linesOnTheGraph()
    {
        const GraphGeometry g = GraphGeometry::fromImageSize(769, 421);
        const MeasurementRecord r = Sample();
        GraphData d;
        d.startHz = 400e6;
        d.stopHz = 500e6;
        d.steps = 2;
        d.noiseFigureDb = r.NoiseFigureDb;
        d.gainDb = r.GainDb;
        const GraphLayout plain = ComputeGraphLayout(g, d);
        QVERIFY(plain.traceSegments.isEmpty() && plain.legend.isEmpty());

        // A reference reaching beyond the plan on both sides, and above the gain scale.
        const ReferenceTrace wide{QStringLiteral("wide"), {{350e6, 1.0, 21.0}, {450e6, 2.0, 35.0}, {550e6, 3.0, 21.0}}};
        const QList<GraphTrace> traces = GraphTracesOf({SampleTrace(), wide});
        d.traces = traces;
        const GraphLayout layout = ComputeGraphLayout(g, d);
        // The measurement's own layout stays as it was.
        QCOMPARE(layout.noiseFigureAxis.top, plain.noiseFigureAxis.top);
        QCOMPARE(layout.gainAxis.top, plain.gainAxis.top);
        QCOMPARE(layout.markers.size(), plain.markers.size());
        // The sample: one noise-figure line over the point without one, two gain lines, each
        // from point to point; the wide one: its lines cut at the grid's edges.
        QCOMPARE(layout.traceSegments.size(), 1 + 2 + 2 + 2);
        const GraphSegment &nf = layout.traceSegments[0];
        QCOMPARE(nf.x1, g.gridLeft());
        QCOMPARE(nf.y1, ValueY(g, layout.noiseFigureScale, 1.5));
        QCOMPARE(nf.x2, g.gridRight());
        QCOMPARE(nf.y2, ValueY(g, layout.noiseFigureScale, 2.5));
        QCOMPARE(layout.traceSegments[1].x2, PointX(g, 1, 2));
        QCOMPARE(layout.traceSegments[1].y2, ValueY(g, layout.gainScale, 21.0));
        for (const GraphSegment &s : layout.traceSegments) {
            for (int x : {s.x1, s.x2})
                QVERIFY(x >= g.gridLeft() && x <= g.gridRight());
            for (int y : {s.y1, s.y2})
                QVERIFY(y >= g.gridTop() && y <= g.gridBottom());
        }
        QCOMPARE(layout.traceSegments[3].colour, ReferenceColour(1));
        QCOMPARE(layout.traceSegments[3].x1, g.gridLeft());
        // The gain line of the wide one leaves the grid at its top.
        QCOMPARE(layout.traceSegments[5].y2, g.gridTop());
        QCOMPARE(layout.legend.size(), 2);
        QCOMPARE(layout.legend[1].label.text, QStringLiteral("wide"));
        QCOMPARE(layout.legend[1].label.y - layout.legend[0].label.y, kLegendRow);
        QCOMPARE(layout.legend[1].line.colour, ReferenceColour(1));

        // Drawn under the measurement's points, in its colour.
        Canvas image(769, 421);
        RecomputeResults(image, g, d);
        const GraphSegment &flat = layout.traceSegments[1];
        const int midX = (flat.x1 + flat.x2) / 2;
        const int midY = (flat.y1 + flat.y2) / 2;
        bool found = false;
        for (int y = midY - 1; y <= midY + 1; ++y)
            found = found || (image.image().pixel(midX, y) & 0xFFFFFF) == (ReferenceColour(0).rgb() & 0xFFFFFF);
        QVERIFY(found);
    }
};

QTEST_MAIN(TestReferenceTrace)
#include "tst_reference_trace.moc"
