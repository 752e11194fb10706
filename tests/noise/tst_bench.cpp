// The bench around the DUT: de-embedding losses at their physical temperatures, a calibration
// source that differs from the measurement's, the single-sideband correction, the IFs of a
// converter's plan, loss tables and the ENR data files noise sources ship with.

#include "base/errors.h"
#include "noise/bench_correction.h"
#include "noise/bench_files.h"
#include "noise/bench_setup.h"
#include "noise/calculator.h"
#include "noise/evaluation.h"
#include "noise/yfactor.h"

#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(StepBench)

namespace {

/// A bench as the physics runs it: the analyser (noise figure f2Db, any gain), the source's
/// cold and hot temperatures, a loss before and after at their own temperatures, a DUT of noise
/// factor F (single sideband) and gain G, with an image band imageGainDb below the signal band.
struct Physics
{
    double roomK = 290;
    double calEnrDb = 15, measEnrDb = 15;
    double lbDb = 0, lbK = 290, laDb = 0, laK = 290;
    double dutNfDb = 2, dutGainDb = 20;
    std::optional<double> imageGainDb;  ///< relative to the signal band; nothing: no image band
    double analyserNfDb = 20;
};

double Pass(double t, double lossDb, double k) { return LossOutputTemperatureK(t, lossDb, k); }

StepLevels LevelsOf(const Physics &p)
{
    const double kb = 1e-15;  // mW per kelvin of the analyser's gain-bandwidth
    const double te2 = (FromDb(p.analyserNfDb) - 1) * kT0Kelvin;
    const double gs = FromDb(p.dutGainDb);
    const double gi = p.imageGainDb ? gs * FromDb(*p.imageGainDb) : 0;
    const double added = FromDb(p.dutNfDb) * gs * kT0Kelvin - (gs + gi) * kT0Kelvin;
    auto measured = [&](double source) {
        const double in = Pass(source, p.lbDb, p.lbK);
        const double out = Pass(gs * in + gi * in + added, p.laDb, p.laK);
        return 10 * std::log10(kb * (out + te2));
    };
    auto calibrated = [&](double source) { return 10 * std::log10(kb * (source + te2)); };
    StepLevels l;
    l.n2off = calibrated(p.roomK);
    l.n2on = calibrated(p.roomK + FromDb(p.calEnrDb) * kT0Kelvin);
    l.n12off = measured(p.roomK);
    l.n12on = measured(p.roomK + FromDb(p.measEnrDb) * kT0Kelvin);
    return l;
}

StepBench BenchOf(const Physics &p, std::optional<double> imageRejectionDb)
{
    StepBench b;
    b.roomTemperatureK = p.roomK;
    b.calEnrDb = p.calEnrDb;
    b.measEnrDb = p.measEnrDb;
    b.lossBeforeDb = p.lbDb;
    b.lossBeforeK = p.lbK;
    b.lossAfterDb = p.laDb;
    b.lossAfterK = p.laK;
    b.imageRejectionDb = imageRejectionDb;
    return b;
}

double GhzReader(const QString &text)
{
    // The entry fields' reading in miniature: a bare number is MHz, a unit letter scales.
    QString t = text.trimmed();
    double scale = 1e6;
    if (t.endsWith(u'G')) { scale = 1e9; t.chop(1); }
    else if (t.endsWith(u'M')) { t.chop(1); }
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' ist kein gültiger Gleitkommawert").arg(text));
    return v * scale;
}

}  // namespace

class TestBench : public QObject
{
    Q_OBJECT

private slots:
    void lossOutputTemperature();
    void deembedExample();
    void correctStep_data();
    void correctStep();
    void noBenchIsTheDesignedArithmetic();
    void belowOneIsAnError();
    void throughTheContext_data();
    void throughTheContext();
    void belowOneMarksTheStep();
    void planIfs_data();
    void planIfs();
    void lossLookup();
    void lossTable_data();
    void lossTable();
    void enrFile_data();
    void enrFile();
    void enrFileTable();
    void enrUncertainty();
};

void TestBench::lossOutputTemperature()
{
    // 3 dB at 290 K passes half of a 0 K input and adds half of its own temperature.
    QCOMPARE(qRound(LossOutputTemperatureK(0, 10 * std::log10(2.0), 290) * 1000), 145000);
    // At its own temperature a loss is invisible.
    QCOMPARE(LossOutputTemperatureK(77, 6, 77), 77.0);
    QCOMPARE(LossOutputTemperatureK(1000, 0, 290), 1000.0);
}

void TestBench::deembedExample()
{
    // 3.0 dB / 20.0 dB measured behind a 1.0 dB loss at 290 K is a 2.0 dB / 21.0 dB DUT.
    StepBench bench;
    bench.lossBeforeDb = 1.0;
    bench.lossBeforeK = 290;
    const DutFigures dut = DeembedLosses(FromDb(3.0), FromDb(20.0), bench);
    QVERIFY(std::fabs(10 * std::log10(dut.noiseFactor) - 2.0) < 1e-12);
    QVERIFY(std::fabs(10 * std::log10(dut.gain) - 21.0) < 1e-12);
}

void TestBench::correctStep_data()
{
    QTest::addColumn<Physics>("physics");
    QTest::addColumn<StepBench>("bench");
    QTest::addColumn<double>("nfDb");
    QTest::addColumn<double>("gainDb");

    Physics p;
    p.lbDb = 1.0;
    QTest::newRow("loss before at 290 K") << p << BenchOf(p, {}) << 2.0 << 20.0;
    p = Physics{};
    p.roomK = 296.15;
    p.lbDb = 2.0;
    p.lbK = 77;  // a cable in liquid nitrogen, colder than the room
    p.dutNfDb = 0.5;
    QTest::newRow("loss before colder than the room") << p << BenchOf(p, {}) << 0.5 << 20.0;
    p = Physics{};
    p.laDb = 6.0;
    p.laK = 300;
    p.dutGainDb = 10;
    QTest::newRow("loss after the DUT") << p << BenchOf(p, {}) << 2.0 << 10.0;
    p = Physics{};
    p.lbDb = 0.7;
    p.lbK = 310;
    p.laDb = 3.0;
    p.laK = 280;
    p.calEnrDb = 5.2;  // the calibration's source at the IF, the measurement's at the RF
    p.measEnrDb = 15.5;
    p.dutNfDb = 6.0;
    p.dutGainDb = 35;
    QTest::newRow("losses on both sides, two sources") << p << BenchOf(p, {}) << 6.0 << 35.0;
    p = Physics{};
    p.imageGainDb = 0.0;
    p.dutNfDb = 9.0;
    QTest::newRow("double sideband, IR 0 dB") << p << BenchOf(p, 0.0) << 9.0 << 20.0;
    p = Physics{};
    p.imageGainDb = -10.0;
    p.dutNfDb = 7.0;
    p.lbDb = 1.5;
    QTest::newRow("image 10 dB down behind a loss") << p << BenchOf(p, 10.0) << 7.0 << 20.0;
}

void TestBench::correctStep()
{
    QFETCH(Physics, physics);
    QFETCH(StepBench, bench);
    QFETCH(double, nfDb);
    QFETCH(double, gainDb);
    const BenchStepResult r = CorrectStep(LevelsOf(physics), bench);
    QCOMPARE(r.status, BenchStepStatus::Ok);
    QVERIFY2(std::fabs(r.noiseFigureDb - nfDb) < 1e-9, qPrintable(QString::number(r.noiseFigureDb, 'g', 17)));
    QVERIFY2(std::fabs(r.gainDb - gainDb) < 1e-9, qPrintable(QString::number(r.gainDb, 'g', 17)));
}

void TestBench::noBenchIsTheDesignedArithmetic()
{
    const StepLevels l{-80.2, -66.1, -60.4, -49.9};
    StepBench bench;
    bench.roomTemperatureK = 294.15;
    bench.calEnrDb = bench.measEnrDb = 15.2;
    const BenchStepResult r = CorrectStep(l, bench);
    const double designed = YFactorNoiseFigure(FromDb(l.n2off), FromDb(l.n2on), FromDb(l.n12off),
                                               FromDb(l.n12on), 294.15, 15.2);
    QCOMPARE(r.status, BenchStepStatus::Ok);
    QVERIFY(std::fabs(r.noiseFigureDb - designed) < 1e-12);
    QVERIFY(std::fabs(r.gainDb - ToDb(LinearGain(FromDb(l.n2off), FromDb(l.n2on), FromDb(l.n12off), FromDb(l.n12on)))) < 1e-12);
}

void TestBench::belowOneIsAnError()
{
    // A 3 dB loss claimed before a 1 dB DUT that has none: the DUT would be better than noiseless.
    Physics p;
    p.dutNfDb = 1.0;
    StepBench bench = BenchOf(p, {});
    bench.lossBeforeDb = 3.0;
    const BenchStepResult r = CorrectStep(LevelsOf(p), bench);
    QCOMPARE(r.status, BenchStepStatus::BelowOne);
    QVERIFY(r.noiseFactor < 1);
    QVERIFY(!BenchStepStatusText(r.status).isEmpty());
    // Equal on and off levels give no Y-factor, never a number.
    QCOMPARE(CorrectStep({-80, -80, -60, -50}, StepBench{}).status, BenchStepStatus::NoYFactor);
}

/// The step evaluation with a bench in its context: the calibration's source looked up at the
/// IF, the measurement's at the RF, the loss before at the RF and the loss after at the IF. The
/// tables and sources differ between the two frequencies, so a lookup at the wrong one shows.
void TestBench::throughTheContext_data()
{
    QTest::addColumn<int>("dut");
    QTest::addColumn<double>("lbDb");
    QTest::addColumn<double>("laDb");
    QTest::addColumn<double>("tuneHz");
    QTest::addColumn<double>("calEnrDb");
    QTest::newRow("amplifier behind losses") << int(DutType::Amplifier) << 0.5 << 4.0 << 10.7e9 << 16.0;
    QTest::newRow("down-converter behind losses") << int(DutType::DownConverter) << 1.0 << 2.0 << 0.95e9 << 14.0;
    QTest::newRow("up-converter") << int(DutType::UpConverter) << 0.5 << 5.0 << 20.45e9 << 14.0;
}

void TestBench::throughTheContext()
{
    QFETCH(int, dut);
    QFETCH(double, lbDb);
    QFETCH(double, laDb);
    QFETCH(double, tuneHz);
    QFETCH(double, calEnrDb);
    EvaluationContext c;
    c.roomTemperatureK = 290;
    c.enr.enrAllText = QStringLiteral("15 dB");
    // Table 1 of the calibration's source: 14 dB at the IFs, 16 dB at 10.7 GHz.
    EnrSource cal;
    cal.mode = EnrTable1;
    cal.rows = DefaultEnrRows();
    const QList<std::pair<QString, QString>> rows{{"0.5", "14"}, {"1", "14"}, {"10.7", "16"}, {"20.45", "14"}};
    for (int i = 0; i < kEnrRows; ++i)
        cal.rows[i] = {rows.value(std::min(i, int(rows.size()) - 1)).first, rows.value(std::min(i, int(rows.size()) - 1)).second};
    for (int i = int(rows.size()); i < kEnrRows; ++i)
        cal.rows[i] = {QStringLiteral("%1").arg(21 + i), QStringLiteral("14")};
    c.calibrationEnr = cal;
    c.bench.dutType = DutType(dut);
    c.bench.loHz = 9.75e9;
    c.bench.lossBefore.mode = LossMode::Table;
    c.bench.lossBefore.table = {{0.5e9, 3}, {2e9, 3}, {10e9, 0.5}, {11e9, 0.5}};
    c.bench.lossAfter.mode = LossMode::Table;
    c.bench.lossAfter.table = {{0.5e9, 2}, {2e9, 2}, {10e9, 4}, {11e9, 4}, {20e9, 5}, {21e9, 5}};
    c.bench.lossAfter.temperatureK = 77;
    if (dut == int(DutType::DownConverter))
        c.bench.lossBefore.table = {{0.5e9, 3}, {2e9, 3}, {10e9, 1}, {11e9, 1}};

    Physics p;
    p.calEnrDb = calEnrDb;
    p.measEnrDb = 15;
    p.lbDb = lbDb;
    p.laDb = laDb;
    p.laK = 77;
    const StepEvaluation e = EvaluateLevels(LevelsOf(p), 10.7e9, c);
    QVERIFY(e.corrected);
    QCOMPARE(e.tuneHz, tuneHz);
    QCOMPARE(e.lossBeforeDb, lbDb);
    QCOMPARE(e.lossAfterDb, laDb);
    QVERIFY(!e.lossOutsideTable);
    QCOMPARE(e.benchStatus, BenchStepStatus::Ok);
    QVERIFY2(std::fabs(e.noiseFigureDb - p.dutNfDb) < 1e-9, qPrintable(QString::number(e.noiseFigureDb, 'g', 17)));
    QVERIFY(std::fabs(e.gainDb - p.dutGainDb) < 1e-9);
    QVERIFY(e.confidence.uncertainty.valid);
    QVERIFY(e.confidence.uncertainty.uncertaintyDb > 0);

    // The same context without its bench is the designed evaluation, bit for bit.
    EvaluationContext designed;
    designed.enr = c.enr;
    const StepLevels l{-80.2, -66.1, -60.4, -49.9};
    const StepEvaluation d = EvaluateLevels(l, 10.7e9, designed);
    QVERIFY(!d.corrected);
    QCOMPARE(d.noiseFigureDb, YFactorNoiseFigure(FromDb(l.n2off), FromDb(l.n2on), FromDb(l.n12off), FromDb(l.n12on), 290, 15));

    // The plan tunes the analyser where the evaluation looks the IF up.
    SweepPlan plan;
    plan.Start = 10.7e9;
    plan.Conversion = DutType(dut);
    plan.LoHz = 9.75e9;
    QCOMPARE(plan.enrHz(0), 10.7e9);
    QCOMPARE(plan.tuneHz(0), tuneHz);
}

void TestBench::belowOneMarksTheStep()
{
    // A loss claimed before a DUT that has none: the step gets its gain and no noise figure.
    Physics p;
    p.dutNfDb = 1.0;
    EvaluationContext c;
    c.enr.enrAllText = QStringLiteral("15 dB");
    c.roomTemperatureK = 290;
    c.bench.lossBefore.mode = LossMode::Fixed;
    c.bench.lossBefore.fixedDb = 3;
    MeasurementRecord record;
    const StepLevels l = LevelsOf(p);
    record.N2off[0] = l.n2off;
    record.N2on[0] = l.n2on;
    record.N12off[0] = l.n12off;
    record.N12on[0] = l.n12on;
    record.SweepPlan.Start = 100e6;
    record.NoiseFigureDb[0] = 0;
    const StepEvaluation e = StoreStepEvaluation(record, 0, 0, c);
    QCOMPARE(e.benchStatus, BenchStepStatus::BelowOne);
    QVERIFY(!e.failed);
    QCOMPARE(record.NoiseFigureDb[0], -1.0);
    QVERIFY(std::fabs(record.GainDb[0] - 23.0) < 1e-3);
    QCOMPARE(CalculationResultOf(e).noiseFigureText, QStringLiteral("F: Error"));
}

void TestBench::planIfs_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("lo");
    QTest::addColumn<QList<double>>("rf");
    QTest::addColumn<QList<double>>("ifs");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("amplifier") << int(DutType::Amplifier) << 0.0 << QList<double>{1e9, 2e9}
                               << QList<double>{1e9, 2e9} << QString();
    QTest::newRow("down, RF above LO") << int(DutType::DownConverter) << 9.75e9 << QList<double>{10.7e9, 11.7e9}
                                       << QList<double>{0.95e9, 1.95e9} << QString();
    QTest::newRow("down, RF below LO") << int(DutType::DownConverter) << 1e9 << QList<double>{0.4e9, 0.5e9}
                                       << QList<double>{0.6e9, 0.5e9} << QString();
    QTest::newRow("up") << int(DutType::UpConverter) << 1e9 << QList<double>{0.1e9} << QList<double>{1.1e9} << QString();
    QTest::newRow("crosses the LO") << int(DutType::DownConverter) << 1e9 << QList<double>{0.9e9, 1.1e9}
                                    << QList<double>{} << QStringLiteral("Step 2 (1.1 GHz): the plan crosses the LO at 1 GHz.");
    QTest::newRow("IF at 0 Hz") << int(DutType::DownConverter) << 1e9 << QList<double>{0.9e9, 1e9}
                                << QList<double>{} << QStringLiteral("Step 2 (1 GHz): the IF would be 0 Hz, at or below 0 Hz.");
    QTest::newRow("no LO") << int(DutType::UpConverter) << 0.0 << QList<double>{1e9} << QList<double>{}
                           << QStringLiteral("The LO frequency must lie above 0 Hz for a converter.");
}

void TestBench::planIfs()
{
    QFETCH(int, type);
    QFETCH(double, lo);
    QFETCH(QList<double>, rf);
    QFETCH(QList<double>, ifs);
    QFETCH(QString, refusal);
    const IfPlan plan = PlanIfs(DutType(type), lo, rf);
    QCOMPARE(plan.refusal, refusal);
    QCOMPARE(plan.ifHz.size(), ifs.size());
    for (int i = 0; i < ifs.size(); ++i)
        QVERIFY(std::fabs(plan.ifHz[i] - ifs[i]) < 1e-3);
}

void TestBench::lossLookup()
{
    LossSetting loss;
    QCOMPARE(loss.lossDbAt(1e9), 0.0);
    loss.mode = LossMode::Table;
    loss.table = {{1e9, 1.0}, {2e9, 2.0}, {4e9, 3.0}};
    bool outside = true;
    QCOMPARE(loss.lossDbAt(1.5e9, &outside), 1.5);
    QVERIFY(!outside);
    QCOMPARE(loss.lossDbAt(3e9, &outside), 2.5);
    QCOMPARE(loss.lossDbAt(0.5e9, &outside), 1.0);
    QVERIFY(outside);
    QCOMPARE(loss.lossDbAt(5e9, &outside), 3.0);
    QVERIFY(outside);
    loss.mode = LossMode::Fixed;
    loss.fixedDb = 0.8;
    QCOMPARE(loss.lossDbAt(7e9, &outside), 0.8);
    QVERIFY(!outside);
    QCOMPARE(loss.temperatureAt(296), 296.0);
    loss.temperatureK = 77;
    QCOMPARE(loss.temperatureAt(296), 77.0);
}

void TestBench::lossTable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<LossPoint>>("points");
    QTest::addColumn<QString>("error");
    QTest::newRow("sorted when read") << QByteArray("# cable W1\r\n2G, 1.2\r\n\r\n500, 0.5 dB\n1G,0.8\n")
                                      << QList<LossPoint>{{500e6, 0.5}, {1e9, 0.8}, {2e9, 1.2}} << QString();
    QTest::newRow("no comma") << QByteArray("1G 0.8\n") << QList<LossPoint>{}
                              << QStringLiteral("line 1: a point is \"frequency, loss\", with one comma");
    QTest::newRow("not a loss") << QByteArray("# head\n1G, lots\n") << QList<LossPoint>{}
                                << QStringLiteral("line 2: 'lots' is not a loss in dB");
    QTest::newRow("not a frequency") << QByteArray("x, 1\n") << QList<LossPoint>{}
                                     << QStringLiteral("line 1: 'x' is not a frequency ('x' ist kein gültiger Gleitkommawert)");
    QTest::newRow("a gain") << QByteArray("1G, -1\n") << QList<LossPoint>{}
                            << QStringLiteral("line 1: a loss of -1 dB is a gain");
    QTest::newRow("twice") << QByteArray("1G, 1\n2G, 2\n1000, 3\n") << QList<LossPoint>{}
                           << QStringLiteral("line 3: the frequency of line 1 is given again");
    QTest::newRow("empty") << QByteArray("# nothing\n") << QList<LossPoint>{} << QStringLiteral("the table holds no point");
}

void TestBench::lossTable()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<LossPoint>, points);
    QFETCH(QString, error);
    try {
        const QList<LossPoint> read = ParseLossTable(content, GhzReader);
        QVERIFY2(error.isEmpty(), "a bad table was accepted");
        QCOMPARE(read, points);
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), error);
    }
}

void TestBench::enrFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<EnrFilePoint>>("points");
    QTest::addColumn<QString>("error");
    QTest::newRow("good") << QByteArray("# ENR data\r\n! comment\r\n[Filetype ENR]\r\n[Version 1.0]\r\n"
                                        "[Serialnumber ABCD1234]\r\n[Model 346B]\r\n[Whatever x]\r\n\r\n"
                                        "10 MHz 15.71 dB 0.20\r\n1.0e+009\t15.52\t0.15 0.05 12\r\n"
                                        "2e+010,14.2\r\n30 GHZ, 13.9, 0.3\r\n")
                          << QList<EnrFilePoint>{{10e6, 15.71, 0.20}, {1e9, 15.52, 0.15}, {20e9, 14.2, {}}, {30e9, 13.9, 0.3}}
                          << QString();
    QTest::newRow("not ascending") << QByteArray("1e9 15\n1e9 14\n") << QList<EnrFilePoint>{}
                                   << QStringLiteral("line 2: the frequency does not rise above the line before");
    QTest::newRow("exponent of four digits") << QByteArray("1e0009 15\n") << QList<EnrFilePoint>{}
                                             << QStringLiteral("line 1: '1e0009' is not a frequency");
    QTest::newRow("no ENR") << QByteArray("[Model x]\n1 GHz\n") << QList<EnrFilePoint>{}
                            << QStringLiteral("line 2: the ENR is missing");
    QTest::newRow("other unit") << QByteArray("1 GHz 15 K\n") << QList<EnrFilePoint>{}
                                << QStringLiteral("line 1: 'K' is not an ENR uncertainty in dB");
    QTest::newRow("two commas") << QByteArray("1e9,,15\n") << QList<EnrFilePoint>{}
                                << QStringLiteral("line 1: a field is empty (two commas in a row)");
    QTest::newRow("long line") << QByteArray("1e9 15 ") + QByteArray(93, '0') + "\n" << QList<EnrFilePoint>{}
                               << QStringLiteral("line 1: the line is longer than 99 characters");
    QTest::newRow("header unclosed") << QByteArray("[Model x\n") << QList<EnrFilePoint>{}
                                     << QStringLiteral("line 1: a header line ends with ']'");
    QTest::newRow("another file type") << QByteArray("[Filetype S2P]\n1e9 1\n") << QList<EnrFilePoint>{}
                                       << QStringLiteral("line 1: the file is of type 'S2P', not ENR");
    QTest::newRow("no points") << QByteArray("# empty\n") << QList<EnrFilePoint>{}
                               << QStringLiteral("the file holds no ENR point");
    QTest::newRow("bare CR") << QByteArray("1e9 15\r2e9 14\n") << QList<EnrFilePoint>{}
                             << QStringLiteral("line 1: the line holds a control character");
}

void TestBench::enrFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<EnrFilePoint>, points);
    QFETCH(QString, error);
    try {
        const EnrDataFile file = ParseEnrDataFile(content);
        QVERIFY2(error.isEmpty(), "a bad file was accepted");
        QCOMPARE(file.points, points);
        QCOMPARE(file.serialNumber, QStringLiteral("ABCD1234"));
        QCOMPARE(file.model, QStringLiteral("346B"));
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), error);
    }
}

void TestBench::enrFileTable()
{
    EnrDataFile file;
    file.model = QStringLiteral("A very long model name of a noise source");
    file.serialNumber = QStringLiteral("SN1");
    file.points = {{10e6, 15.71, 0.2}, {18e9, 14.05, {}}};
    const EnrFileTable t = EnrFileTableOf(file);
    QCOMPARE(t.rows[0].FrequencyText, QStringLiteral("0.01"));
    QCOMPARE(t.rows[0].EnrText, QStringLiteral("15.71"));
    QCOMPARE(t.rows[1].FrequencyText, QStringLiteral("18"));
    QCOMPARE(t.rows[2].FrequencyText, QString());
    QCOMPARE(t.uncertaintyDb[0], std::optional<double>(0.2));
    QVERIFY(!t.uncertaintyDb[1]);
    QVERIFY(t.textCut);
    QCOMPARE(t.noiseSourceText.size(), 32);

    for (int i = 0; i < 21; ++i)
        file.points.append({20e9 + i * 1e9, 14, {}});
    try {
        EnrFileTableOf(file);
        QFAIL("23 points were put into a table of 20 rows");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), QStringLiteral("the file holds 23 ENR points; a table holds 20"));
    }
}

void TestBench::enrUncertainty()
{
    EnrRows rows;
    std::array<std::optional<double>, kEnrRows> u{};
    QVERIFY(!EnrUncertaintyAt(1e9, rows, u));
    rows[0].FrequencyText = QStringLiteral("1");
    rows[1].FrequencyText = QStringLiteral("2");
    rows[2].FrequencyText = QStringLiteral("3");
    u[0] = 0.1;
    u[2] = 0.3;
    QCOMPARE(*EnrUncertaintyAt(2e9, rows, u), 0.2);
    QCOMPARE(*EnrUncertaintyAt(0.5e9, rows, u), 0.1);
    QCOMPARE(*EnrUncertaintyAt(9e9, rows, u), 0.3);
}

QTEST_GUILESS_MAIN(TestBench)
#include "tst_bench.moc"
