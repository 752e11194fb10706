// Complete measurement files: a measurement with every setting away from its defaults reads
// back unchanged, and a truncated, damaged, foreign or newer file is refused as what it is.

#include "base/errors.h"
#include "results/bench_export.h"
#include "results/measurement_file.h"
#include "results/nfm_file.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>

#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

CompleteMeasurement Sample()
{
    CompleteMeasurement m;
    MeasurementRecord &r = m.record;
    r.SweepPlan = {10.7e9, 11.7e9, 100e6, 3, 10};
    r.MeasurementHeader = {2, 3, 10, 4, 1, 10.7f, 11.7f, QByteArray("Table1 (346B \xb5 1)")};
    for (int i = 0; i <= 10; ++i) {
        r.N2off[i] = -80.25 - i * 0.1;
        r.N2on[i] = -66.125 + i / 3.0;
        r.N12off[i] = -60.5;
        r.N12on[i] = -49.875;
        r.GainDb[i] = 20.0 + i * 1e-9;
        r.NoiseFigureDb[i] = i == 4 ? -1.0 : 2.0 / 3.0;
    }
    r.GainDb[7] = std::numeric_limits<double>::quiet_NaN();
    r.N12on[8] = -std::numeric_limits<double>::infinity();
    r.Enr = 35.48;
    r.T0 = 290;
    r.RoomTemperature = 294.15;
    m.temperatureText = QStringLiteral("21 °C");
    m.roomTemperatureK = 294.15;
    m.analyser = {QStringLiteral("3 MHz"), QStringLiteral("10 Hz"), 1, QStringLiteral("10"),
                  QStringLiteral("0 dB"), QStringLiteral("-20 dBm"), QStringLiteral("100 dB"), false};
    m.measurementEnr.mode = 1;
    m.measurementEnr.enrAllText = QStringLiteral("5.52 dB");
    m.measurementEnr.fileName = QStringLiteral("/lab/346B.enr");
    m.measurementEnr.rows[0] = {QStringLiteral("10"), QStringLiteral("15.2")};
    m.measurementEnr.uncertaintyDb[0] = 0.15;
    m.measurementEnr.dataFileRows = 1;
    NfmEnrSource cal;
    cal.mode = 0;
    cal.enrAllText = QStringLiteral("6.1 dB");
    m.calibrationEnr = cal;
    m.bench.lossBefore = {LossMode::Table, 0, {{1e9, 0.5}, {12e9, 1.25}}, QStringLiteral("cable.csv"), 77.0};
    m.bench.lossAfter = {LossMode::Fixed, 3.0, {}, QString(), std::nullopt};
    m.bench.dutType = DutType::DownConverter;
    m.bench.loHz = 9.75e9;
    m.bench.imageRejectionDb = 0.0;
    m.bench.calSource = 0;
    m.uncertainty.enrUncertaintyDb = 0.1;
    m.uncertainty.dutInputVswr = 2.0;
    m.reportDetails = {{QStringLiteral("DUT"), QStringLiteral("LNB \"Ku\"")}, {QStringLiteral("Engineer"), QStringLiteral("Ä. Ö")}};
    m.remarks = {QStringLiteral("first"), QString()};
    m.calibratedAt = QDateTime(QDate(2026, 12, 8), QTime(11, 2, 3, 456), Qt::UTC);
    m.calibrationIfsHz = {0.95e9, 1.05e9};
    m.programVersion = QStringLiteral("V1.10");
    return m;
}

bool SameNumber(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

QByteArray WithField(const QByteArray &bytes, const char *key, const QJsonValue &value)
{
    QJsonObject o = QJsonDocument::fromJson(bytes).object();
    o.insert(QLatin1String(key), value);
    return QJsonDocument(o).toJson();
}

/// The records of a CSV text: quoted cells may hold commas and line ends.
QList<QList<QByteArray>> CsvRecords(const QByteArray &text)
{
    QList<QList<QByteArray>> records;
    QList<QByteArray> cells;
    QByteArray cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                cell += text[++i];
            else if (c == '"')
                quoted = false;
            else
                cell += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells << cell;
            cell.clear();
        } else if (c == '\n') {
            cells << cell.trimmed();
            cell.clear();
            if (!cells.front().startsWith('#') && cells != QList<QByteArray>{QByteArray()})
                records << cells;
            cells.clear();
        } else {
            cell += c;
        }
    }
    return records;
}

}  // namespace

class TestNfmFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void refusals_data();
    void refusals();
    void everyCutIsRefused();
    void fileOnDisk();
    void benchCsv_data();
    void benchCsv();
};

void TestNfmFile::roundTrip()
{
    const CompleteMeasurement m = Sample();
    const QByteArray bytes = EncodeCompleteMeasurement(m);
    const NfmDecodeResult d = DecodeCompleteMeasurement(bytes);
    QCOMPARE(d.status, NfmStatus::Loaded);
    const CompleteMeasurement &b = d.measurement;
    for (int i = 0; i < kRecordSlots; ++i) {
        QVERIFY(SameNumber(b.record.N2off[i], m.record.N2off[i]));
        QVERIFY(SameNumber(b.record.N2on[i], m.record.N2on[i]));
        QVERIFY(SameNumber(b.record.N12off[i], m.record.N12off[i]));
        QVERIFY(SameNumber(b.record.N12on[i], m.record.N12on[i]));
        QVERIFY(SameNumber(b.record.GainDb[i], m.record.GainDb[i]));
        QVERIFY(SameNumber(b.record.NoiseFigureDb[i], m.record.NoiseFigureDb[i]));
    }
    // The part a measurement file holds is the same as through a measurement file.
    MeasurementRecord clean = b.record, original = m.record;
    clean.GainDb[7] = original.GainDb[7] = 0;
    clean.N12on[8] = original.N12on[8] = 0;
    QCOMPARE(EncodeMeasurementRecord(clean), EncodeMeasurementRecord(original));
    QCOMPARE(b.temperatureText, m.temperatureText);
    QCOMPARE(b.roomTemperatureK, m.roomTemperatureK);
    QCOMPARE(b.analyser, m.analyser);
    QCOMPARE(b.measurementEnr, m.measurementEnr);
    QCOMPARE(b.calibrationEnr, m.calibrationEnr);
    QCOMPARE(b.bench, m.bench);
    QCOMPARE(b.uncertainty.enrUncertaintyDb, m.uncertainty.enrUncertaintyDb);
    QCOMPARE(b.uncertainty.dutInputVswr, m.uncertainty.dutInputVswr);
    QCOMPARE(b.reportDetails, m.reportDetails);
    QCOMPARE(b.remarks, m.remarks);
    QCOMPARE(b.calibratedAt, m.calibratedAt);
    QCOMPARE(b.calibrationIfsHz, m.calibrationIfsHz);
    QCOMPARE(b.programVersion, m.programVersion);
    // Written again, the file is the same byte for byte.
    QCOMPARE(EncodeCompleteMeasurement(b), bytes);
}

void TestNfmFile::refusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QByteArray good = EncodeCompleteMeasurement(Sample());
    QTest::newRow("empty") << QByteArray() << int(NfmStatus::Truncated) << QStringLiteral("the file is empty");
    QTest::newRow("cut short") << good.left(good.size() / 2) << int(NfmStatus::Truncated)
                               << QStringLiteral("the file ends before its content does (it was cut short)");
    QTest::newRow("a measurement file") << EncodeMeasurementRecord(Sample().record) << int(NfmStatus::Foreign)
                                        << QStringLiteral("the file is not a complete measurement file");
    QTest::newRow("other JSON") << QByteArray("{\"format\": \"something\", \"version\": 1}") << int(NfmStatus::Foreign)
                                << QStringLiteral("the file is not a complete measurement file");
    QTest::newRow("newer") << WithField(good, "version", 2) << int(NfmStatus::Newer)
                           << QStringLiteral("the file was written by a newer program (version 2; this one reads version 1)");
    QTest::newRow("no version") << WithField(good, "version", QStringLiteral("1")) << int(NfmStatus::Corrupt)
                                << QStringLiteral("the file's version is not a whole number from 1");
    QTest::newRow("damaged JSON") << QByteArray(good).replace("\"plan\"", "\"plan\" x") << int(NfmStatus::Corrupt)
                                  << QString();
    QTest::newRow("missing field") << WithField(good, "bench", QJsonObject{}) << int(NfmStatus::Corrupt)
                                   << QStringLiteral("the file is damaged: bench.lossBefore is missing");
    QTest::newRow("steps too many") << QByteArray(good).replace("\"steps\": 10", "\"steps\": 11") << int(NfmStatus::Corrupt)
                                    << QStringLiteral("the file is damaged: steps does not hold one entry per step of the plan");
    QTest::newRow("steps beyond 99") << QByteArray(good).replace("\"steps\": 10", "\"steps\": 100") << int(NfmStatus::Corrupt)
                                     << QStringLiteral("the file is damaged: plan.steps is not a whole number within its bounds");
    QTest::newRow("text too long") << QByteArray(good).replace("Table1 (346B", "Table1 (346B...................") << int(NfmStatus::Corrupt)
                                   << QStringLiteral("the file is damaged: header.noiseSourceText is longer than the program keeps");
    QTest::newRow("unknown DUT") << QByteArray(good).replace("\"down\"", "\"mixer\"") << int(NfmStatus::Corrupt)
                                 << QStringLiteral("the file is damaged: bench.dut is not amplifier, down or up");
}

void TestNfmFile::refusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, message);
    const NfmDecodeResult d = DecodeCompleteMeasurement(bytes);
    QCOMPARE(int(d.status), status);
    if (!message.isEmpty())
        QCOMPARE(d.message, message);
    QVERIFY(!d.message.isEmpty());
}

void TestNfmFile::everyCutIsRefused()
{
    const QByteArray good = EncodeCompleteMeasurement(Sample());
    for (qsizetype n = 0; n < good.size() - 2; ++n) {
        const NfmDecodeResult d = DecodeCompleteMeasurement(good.left(n));
        QVERIFY2(d.status == NfmStatus::Truncated, qPrintable(QStringLiteral("cut at %1: %2").arg(n).arg(d.message)));
    }
}

void TestNfmFile::fileOnDisk()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(CompleteMeasurementFileName(QStringLiteral("run")));
    QCOMPARE(path.right(8), QStringLiteral("/run.nfm"));
    QCOMPARE(CompleteMeasurementFileName(QStringLiteral("a.NFM")), QStringLiteral("a.NFM"));
    QCOMPARE(LoadCompleteMeasurementFile(path).status, NfmStatus::Missing);
    SaveCompleteMeasurementFile(path, Sample());
    const NfmDecodeResult d = LoadCompleteMeasurementFile(path);
    QCOMPARE(d.status, NfmStatus::Loaded);
    QCOMPARE(d.measurement.bench, Sample().bench);
    QFile(path).resize(100);
    const NfmDecodeResult cut = LoadCompleteMeasurementFile(path);
    QCOMPARE(cut.status, NfmStatus::Truncated);
    QVERIFY(cut.message.startsWith(path + QStringLiteral(": ")));
    try {
        SaveCompleteMeasurementFile(dir.filePath(QStringLiteral("no/such/folder/x.nfm")), Sample());
        QFAIL("a file was written into a folder that does not exist");
    } catch (const EFileError &) {
    }
}

/// The CSV of a corrected measurement: every column once, and the headroom guideline against
/// the reference level the file names (the highest level is -49.875 dBm).
void TestNfmFile::benchCsv_data()
{
    QTest::addColumn<QString>("refLevel");
    QTest::addColumn<bool>("nearReference");
    QTest::newRow("within 10 dB") << QStringLiteral("-45 dBm") << true;
    QTest::newRow("20 dB above") << QStringLiteral("-29.875 dBm") << false;
    QTest::newRow("not given") << QString() << false;
}

void TestNfmFile::benchCsv()
{
    QFETCH(QString, refLevel);
    QFETCH(bool, nearReference);
    CompleteMeasurement m = Sample();
    m.analyser.refLevelText = refLevel;
    m.measurementEnr.mode = 0;  // the constant, 5.52 dB
    m.calibrationEnr.reset();
    m.record.N12on[8] = -49.875;
    QByteArray text;
    try {
        text = BenchCsvText(m, BenchCsvDetails(m, QDateTime()));
    } catch (const std::exception &e) {
        QFAIL(e.what());
    }
    const QList<QByteArray> lines = text.split('\n');
    const auto header = std::find_if(lines.begin(), lines.end(), [](const QByteArray &l) { return l.startsWith("Frequency"); });
    QVERIFY(header != lines.end());
    const QList<QByteArray> titles = header->trimmed().split(',');
    QCOMPARE(QSet<QByteArray>(titles.begin(), titles.end()).size(), titles.size());
    QVERIFY(titles.contains("Uncertainty (dB)"));
    // The first and the last step: the analyser's IF below the 9.75 GHz LO, and each loss in
    // its own column (the loss before from its table, the 3 dB after fixed).
    const QList<StepEvaluation> steps = EvaluateBenchSteps(m);
    QCOMPARE(steps.size(), 11);
    const qsizetype ifColumn = titles.indexOf("IF (Hz)");
    const qsizetype beforeColumn = titles.indexOf("Loss before (dB)");
    const qsizetype afterColumn = titles.indexOf("Loss after (dB)");
    QVERIFY(ifColumn >= 0 && beforeColumn >= 0 && afterColumn >= 0);
    QVERIFY(steps[0].lossBeforeDb > 0.5 && steps[0].lossBeforeDb < 1.25);
    const QList<QList<QByteArray>> table = CsvRecords(text.mid(text.indexOf("\nFrequency") + 1));
    QCOMPARE(table.size(), 12);
    for (const auto &[row, step, ifHz] : {std::tuple{1, 0, 0.95e9}, std::tuple{11, 10, 1.95e9}}) {
        const QList<QByteArray> &cells = table[row];
        QCOMPARE(cells.value(ifColumn).toDouble(), ifHz);
        QCOMPARE(QString::fromLatin1(cells.value(beforeColumn)), CsvNumber(steps[step].lossBeforeDb));
        QCOMPARE(cells.value(afterColumn).toDouble(), 3.0);
    }
    QCOMPARE(lines.join('\n').contains("within 10 dB of the reference level"), nearReference);
}

QTEST_GUILESS_MAIN(TestNfmFile)
#include "tst_nfm_file.moc"
