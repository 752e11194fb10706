// Results as CSV: number and text cells, the "#" lines above the table, a known measurement
// written row by row and read back value by value under a point and a comma locale, an added
// column, and the file written in one piece.

#include "base/errors.h"
#include "base/version.h"
#include "results/csv_export.h"
#include "noise/step_confidence.h"
#include "results/measurement_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <clocale>
#include <cmath>
#include <limits>

namespace {

QString sample(const char *name)
{
    return QStringLiteral(TESSARY_TEST_DATA "/mea/") + QLatin1String(name);
}

CsvExportDetails designedDetails()
{
    CsvExportDetails d;
    d.written = QDateTime(QDate(2024, 5, 1), QTime(12, 30, 5), QTimeZone::utc());
    d.noiseSourceText = QStringLiteral("const. (5.52 dB)");
    d.context.enr.mode = 0;
    d.context.enr.enrAllText = QStringLiteral("5.52 dB");
    d.context.enr.rows = DefaultEnrRows();
    d.context.roomTemperatureK = 294.15;
    d.rbwText = QStringLiteral("3 MHz");
    d.vbwText = QStringLiteral("10 Hz");
    d.averageText = QStringLiteral("10");
    return d;
}

QStringList linesOf(const QByteArray &text)
{
    QStringList lines = QString::fromUtf8(text).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList tableOf(const QByteArray &text)
{
    QStringList table;
    for (const QString &line : linesOf(text))
        if (!line.startsWith(u'#'))
            table << line;
    return table;
}

const QString kTitles = QStringLiteral(
    "Frequency (Hz),N2off (dBm),N2on (dBm),N12off (dBm),N12on (dBm),Gain (dB),Noise figure (dB),"
    "Noise factor,Noise temperature (K),Y calibration (dB),Y with DUT (dB),Uncertainty (dB),Guidelines");

}  // namespace

class TestCsvExport : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }

    void numberCells_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("cell");
        QTest::newRow("frequency") << 400e6 << true << "400000000";
        QTest::newRow("level") << -75.55 << true << "-75.55";
        QTest::newRow("fraction") << 0.001 << true << "0.001";
        QTest::newRow("twelve digits") << 1.8449741198509466 << true << "1.84497411985";
        QTest::newRow("last-bit noise") << 5.299999999999997 << true << "5.3";
        QTest::newRow("no exponent") << 15e9 << true << "15000000000";
        QTest::newRow("small") << 1.5e-7 << true << "0.00000015";
        QTest::newRow("negative") << -49.010000000000005 << true << "-49.01";
        QTest::newRow("zero") << 0.0 << true << "0";
        QTest::newRow("none") << 0.0 << false << "";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << true << "";
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << true << "";
    }
    void numberCells()
    {
        QFETCH(double, value);
        QFETCH(bool, present);
        QFETCH(QString, cell);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(CsvNumber(present ? std::optional<double>(value) : std::nullopt), cell);
    }

    void textCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cell");
        QTest::newRow("plain") << "pass" << "pass";
        QTest::newRow("separator") << "a,b" << "\"a,b\"";
        QTest::newRow("quote") << "5\" line" << "\"5\"\" line\"";
        QTest::newRow("line break") << "one\ntwo" << "\"one\ntwo\"";
        QTest::newRow("empty") << "" << "";
    }
    void textCells()
    {
        QFETCH(QString, text);
        QFETCH(QString, cell);
        QCOMPARE(CsvText(text), cell);
    }

    void designedMeasurement_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("point") << "C";
        QTest::newRow("comma") << "de_DE.UTF-8";
    }
    void designedMeasurement()
    {
        QFETCH(QString, locale);
        std::setlocale(LC_ALL, "C");
        if (locale != u"C") {
            if (!std::setlocale(LC_ALL, qPrintable(locale)))
                QSKIP("the locale de_DE.UTF-8 is not installed (locale-gen)");
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
            QCOMPARE(QLocale().decimalPoint(), QStringLiteral(","));
        }
        const MeasurementLoadResult loaded = LoadMeasurementFile(sample("designed.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        const MeasurementRecord &record = loaded.record;
        const QByteArray text = CsvExportText(CsvStepRows(record, designedDetails()), designedDetails());

        const QStringList lines = linesOf(text);
        const QStringList head = {
            "# Tessary " + VersionText() + " measurement",
            "# Exported: 2024-05-01T12:30:05Z",
            "# Noise source: const. (5.52 dB)",
            "# ENR: 5.52 dB",
            "# Room temperature: 294.15 K",
            "# RBW: 3 MHz",
            "# VBW: 10 Hz",
            "# Averaging: 10",
        };
        QCOMPARE(lines.mid(0, head.size()), head);

        // A source that holds the measurement's time adds it below the export's.
        CsvExportDetails timed = designedDetails();
        timed.measured = QDateTime(QDate(2024, 4, 30), QTime(9, 5, 0), QTimeZone(7200));
        const QStringList timedLines = linesOf(CsvExportText(CsvStepRows(record, timed), timed));
        QCOMPARE(timedLines.mid(1, 2), (QStringList{"# Exported: 2024-05-01T12:30:05Z", "# Measured: 2024-04-30T09:05:00+02:00"}));

        const QStringList table = tableOf(text);
        QCOMPARE(table.size(), 1 + 11);
        QCOMPARE(table.first(), kTitles);
        for (int i = 0; i <= 10; ++i) {
            // The step's uncertainty and findings as the step display has them.
            const StepConfidence conf = EvaluateStep(record, i, designedDetails().context).confidence;
            QVERIFY(conf.uncertainty.valid);
            QVERIFY2(table[1 + i].endsWith(u',' + CsvNumber(conf.uncertainty.uncertaintyDb) + u',' + CsvText(GuidelineText(conf.findings))),
                     qPrintable(table[1 + i]));
            const QStringList cells = table[1 + i].split(u',').mid(0, 11);
            QList<double> v;
            for (const QString &c : cells) {
                bool ok = false;
                v << c.toDouble(&ok);
                QVERIFY2(ok, qPrintable(table[1 + i]));
            }
            // The levels as the step display shows them, six decimals; gain and noise figure as
            // stored after the measurement, evaluated again.
            const auto shown = [](double dbm) { return QString::number(dbm, 'f', 6).toDouble(); };
            QCOMPARE(v[0], 400e6 + i * 10e6);
            QCOMPARE(v[1], shown(record.N2off[i]));
            QCOMPARE(v[2], shown(record.N2on[i]));
            QCOMPARE(v[3], shown(record.N12off[i]));
            QCOMPARE(v[4], shown(record.N12on[i]));
            QCOMPARE(v[1], -75.55 + 0.01 * i);
            QVERIFY(std::abs(v[5] - record.GainDb[i]) < 1e-9);
            QVERIFY(std::abs(v[6] - record.NoiseFigureDb[i]) < 1e-9);
        }

        // Three steps against values worked out independently of the program.
        struct Expected { int step; double gainDb, nfDb, factor, tempK, yCalDb, yDutDb; };
        const Expected expected[] = {
            {0, 21.143104373127937, 1.8449741198509466, 1.5293166330033454, 153.50182357097017, 5.30, 5.19},
            {5, 21.12121964667136, 1.9176453358038847, 1.555122244530324, 160.98545091379398, 5.30, 5.14},
            {10, 21.098968730927623, 1.9906735982045476, 1.5814933125792274, 168.63306064797595, 5.30, 5.09},
        };
        for (const Expected &e : expected) {
            const QStringList cells = table[1 + e.step].split(u',');
            const double want[] = {e.gainDb, e.nfDb, e.factor, e.tempK, e.yCalDb, e.yDutDb};
            for (int k = 0; k < 6; ++k) {
                const double got = cells[5 + k].toDouble();
                QVERIFY2(std::abs(got - want[k]) <= 1e-9 * std::max(1.0, std::abs(want[k])),
                         qPrintable(QStringLiteral("step %1 column %2: %3").arg(e.step).arg(5 + k).arg(cells[5 + k])));
            }
        }
        QVERIFY(!text.contains("5,52") && !text.contains("294,15"));
    }

    void missingValuesAreEmptyCells_data()
    {
        QTest::addColumn<bool>("failed");
        QTest::addColumn<double>("noiseFigureDb");
        QTest::addColumn<QString>("line");
        QTest::newRow("computed") << false << 3.0 << "433333333,-75.5,-70.25,-54.25,-54.25,0,3,1.99526231497,288.626071341,5.25,0,0.25,\"Low Y, raise the ENR.\"";
        QTest::newRow("no noise figure") << false << -1.0 << "433333333,-75.5,-70.25,-54.25,-54.25,0,,,,5.25,0,,";
        QTest::newRow("arithmetic failure") << true << -1.0 << "433333333,-75.5,-70.25,-54.25,-54.25,,,,,5.25,0,,";
    }
    void missingValuesAreEmptyCells()
    {
        QFETCH(bool, failed);
        QFETCH(double, noiseFigureDb);
        QFETCH(QString, line);
        StepEvaluation e;
        e.enrHz = 433333333;
        e.levels = {-75.5, -70.25, -54.25, -54.25};
        e.failed = failed;
        e.gainDb = 0;
        e.noiseFigureDb = noiseFigureDb;
        if (noiseFigureDb >= 0 && !failed) {
            e.confidence.uncertainty.valid = true;
            e.confidence.uncertainty.uncertaintyDb = 0.25;
            e.confidence.findings = {{GuidelineKind::LowCalibrationYFactor, QStringLiteral("Low Y, raise the ENR.")}};
        }
        const CsvStepRow row = CsvStepRowOf(3, e);
        QCOMPARE(row.step, 3);
        const QStringList table = tableOf(CsvExportText({row}, designedDetails()));
        QCOMPARE(table.size(), 2);
        QCOMPARE(table[1], line);
    }

    void evaluatedWithTheDetailsEnr()
    {
        const MeasurementLoadResult loaded = LoadMeasurementFile(sample("designed.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        CsvExportDetails d = designedDetails();
        d.context.enr.enrAllText = QStringLiteral("6.52 dB");
        const QList<CsvStepRow> rows = CsvStepRows(loaded.record, d);
        QCOMPARE(rows.size(), 11);
        QCOMPARE(rows[10].step, 10);
        // A hotter source with the same levels: the same gain, a higher noise figure.
        QVERIFY(std::abs(*rows[0].gainDb - loaded.record.GainDb[0]) < 1e-9);
        QVERIFY(*rows[0].noiseFigureDb > loaded.record.NoiseFigureDb[0] + 0.5);

        d.context.enr.mode = 1;
        d.context.enr.rows[1].EnrText = QStringLiteral("six");  // 0.1 GHz, the row below 400 MHz
        QVERIFY_THROWS_EXCEPTION(EConvertError, CsvStepRows(loaded.record, d));
    }

    void tableEnrAndReportDetails()
    {
        CsvExportDetails d = designedDetails();
        d.noiseSourceText = QStringLiteral("Table1");
        d.context.enr.mode = 1;
        d.context.enr.rows[19] = {QString(), QString()};  // a short table file leaves its last row empty
        d.reportDetails = {{QStringLiteral("DUT"), QStringLiteral("LNA 2, rev. B")},
                           {QStringLiteral("Remarks"), QStringLiteral("first line\r\nsecond line")}};
        const QStringList lines = linesOf(CsvExportText({}, d));
        QCOMPARE(lines.filter(QStringLiteral("# ENR")).size(), 19);
        QVERIFY(lines.contains(QStringLiteral("# ENR at 0.01 GHz: 6.12 dB")));
        QVERIFY(lines.contains(QStringLiteral("# DUT: LNA 2, rev. B")));
        const int remarks = lines.indexOf(QStringLiteral("# Remarks: first line"));
        QVERIFY(remarks > 0);
        QCOMPARE(lines.value(remarks + 1), QStringLiteral("# Remarks: second line"));
        QCOMPARE(lines.last(), kTitles);
    }

    void enrLinesOfEveryMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("source");
        QTest::newRow("constant") << 0 << "const. (5.52 dB)";
        QTest::newRow("table 1") << 1 << "Table1";
        QTest::newRow("table 2") << 2 << "Table2";
    }
    void enrLinesOfEveryMode()
    {
        QFETCH(int, mode);
        QFETCH(QString, source);
        const MeasurementLoadResult loaded = LoadMeasurementFile(sample("designed.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        CsvExportDetails d = designedDetails();
        d.noiseSourceText = source;
        d.context.enr.mode = mode;
        for (EnrRow &row : d.context.enr.rows)
            row.EnrText = QStringLiteral("15.5");  // far from the constant's 5.52 dB
        const QByteArray text = CsvExportText(CsvStepRows(loaded.record, d), d);
        const QStringList lines = linesOf(text);
        QCOMPARE(lines.value(2), "# Noise source: " + source);
        if (mode == 0) {
            QCOMPARE(lines.value(3), QStringLiteral("# ENR: 5.52 dB"));
            QCOMPARE(lines.filter(QStringLiteral("# ENR")).size(), 1);
        } else {
            QVERIFY(!lines.contains(QStringLiteral("# ENR: 5.52 dB")));
            QCOMPARE(lines.value(3), QStringLiteral("# ENR at 0.01 GHz: 15.5 dB"));
            QCOMPARE(lines.filter(QStringLiteral("# ENR at ")).size(), 20);
        }
        // The rows are evaluated with the ENR the lines name: 10 dB more ENR, a higher figure.
        const QStringList row = tableOf(text).value(1).split(u',');
        const double nf = row.value(6).toDouble();
        if (mode == 0)
            QVERIFY2(std::abs(nf - loaded.record.NoiseFigureDb[0]) < 1e-9, qPrintable(row.join(u',')));
        else
            QVERIFY2(nf > loaded.record.NoiseFigureDb[0] + 5, qPrintable(row.join(u',')));
    }

    void addedColumn()
    {
        QList<CsvColumn> columns = StepCsvColumns();
        columns << CsvColumn{QStringLiteral("Guideline"), [](const CsvStepRow &row) {
                                 return CsvText(row.step == 0 ? QStringLiteral("NF > 1.8 dB, check") : QString());
                             }};
        const MeasurementLoadResult loaded = LoadMeasurementFile(sample("designed.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        const QStringList table = tableOf(CsvExportText(CsvStepRows(loaded.record, designedDetails()), designedDetails(), columns));
        QCOMPARE(table[0], kTitles + QStringLiteral(",Guideline"));
        QVERIFY(table[1].endsWith(QStringLiteral(",\"NF > 1.8 dB, check\"")));
        QVERIFY(table[2].endsWith(u','));
    }

    void writtenInOnePiece()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("run1.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content that is longer than nothing\n");
        old.close();

        const MeasurementLoadResult loaded = LoadMeasurementFile(sample("single.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        const QList<CsvStepRow> rows = CsvStepRows(loaded.record, designedDetails());
        QCOMPARE(rows.size(), 1);
        QString error;
        QVERIFY2(WriteCsvExport(path, rows, designedDetails(), &error), qPrintable(error));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), CsvExportText(rows, designedDetails()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("run1.csv")});

        QVERIFY(!WriteCsvExport(dir.filePath(QStringLiteral("missing/run1.csv")), rows, designedDetails(), &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCsvExport)
#include "tst_csv_export.moc"
