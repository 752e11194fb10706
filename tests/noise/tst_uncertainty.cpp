// The uncertainty of a step's noise figure: the worked example, the mismatch term, the growth of
// the sensitivities as the DUT's noise factor nears 1, and the entry point from four levels.

#include "noise/uncertainty.h"
#include "noise/yfactor.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestUncertainty : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void mismatch_data();
    void mismatch();
    void nearUnityNoiseFactor();
    void noMeaning_data();
    void noMeaning();
    void fromLevelsAgreesWithYFactor();
    void fromLevelsWithoutResult_data();
    void fromLevelsWithoutResult();
};

void TestUncertainty::workedExample()
{
    const UncertaintyResult r = ComputeUncertainty(4.00, 12.00, 20.00, UncertaintyInputs{});
    QVERIFY(r.valid);
    QVERIFY2(std::fabs(r.nf1Db - 3.735) < 5e-4, qPrintable(QString::number(r.nf1Db, 'f', 6)));
    QVERIFY2(std::fabs(r.uncertaintyDb - 0.244) < 5e-4, qPrintable(QString::number(r.uncertaintyDb, 'f', 6)));
    QVERIFY(std::fabs(r.sEnr - (r.s12 - r.s2)) < 1e-12);
    QVERIFY(std::fabs(r.s12 - FromDb(4.0) / FromDb(r.nf1Db)) < 1e-12);
    QCOMPARE(UncertaintyText(r), QStringLiteral("±0.24 dB"));
}

void TestUncertainty::mismatch_data()
{
    QTest::addColumn<double>("vswrA");
    QTest::addColumn<double>("vswrB");
    QTest::addColumn<double>("expectedDb");
    QTest::newRow("source and DUT") << 1.15 << 1.50 << 0.12036;
    QTest::newRow("DUT and analyser") << 1.50 << 1.50 << 0.34067;
    QTest::newRow("a perfect match adds nothing") << 1.00 << 3.00 << 0.0;
}

void TestUncertainty::mismatch()
{
    QFETCH(double, vswrA);
    QFETCH(double, vswrB);
    QFETCH(double, expectedDb);
    QVERIFY2(std::fabs(MismatchDb(vswrA, vswrB) - expectedDb) < 1e-5,
             qPrintable(QString::number(MismatchDb(vswrA, vswrB), 'f', 6)));
}

void TestUncertainty::nearUnityNoiseFactor()
{
    // NF2 25 dB behind 10 dB of gain leaves (F2 − 1)/G1 = 31.5; F12 just above 32.5 puts F1
    // just above 1, where every dB of error in F12 becomes about F12 dB of error in NF1.
    const double secondStage = (FromDb(25.0) - 1.0) / FromDb(10.0);
    double lastS12 = 0, lastSGain = 0, lastU = 0;
    for (const double excess : {10.0, 1.0, 0.1, 0.001}) {
        const double f12 = 1.0 + secondStage + excess;
        const UncertaintyResult r = ComputeUncertainty(ToDb(f12), 25.0, 10.0, UncertaintyInputs{});
        QVERIFY2(r.valid, qPrintable(QString::number(excess)));
        QVERIFY(std::fabs(FromDb(r.nf1Db) - (1.0 + excess)) < 1e-9);
        QVERIFY(r.s12 > lastS12);
        QVERIFY(r.sGain > lastSGain);
        QVERIFY(r.uncertaintyDb > lastU);
        lastS12 = r.s12;
        lastSGain = r.sGain;
        lastU = r.uncertaintyDb;
    }
    QVERIFY2(lastS12 > 32, qPrintable(QString::number(lastS12)));
    QVERIFY2(lastU > 4, qPrintable(QString::number(lastU)));
}

void TestUncertainty::noMeaning_data()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double atUnity = ToDb(1.0 + (FromDb(12.0) - 1.0) / FromDb(20.0));
    QTest::addColumn<double>("nf12Db");
    QTest::addColumn<double>("nf2Db");
    QTest::addColumn<double>("gainDb");
    QTest::newRow("F1 exactly 1") << atUnity << 12.0 << 20.0;
    QTest::newRow("F1 below 1") << atUnity - 0.01 << 12.0 << 20.0;
    QTest::newRow("analyser noisier than the system") << 3.0 << 20.0 << 0.0;
    QTest::newRow("NF12 not a number") << nan << 12.0 << 20.0;
    QTest::newRow("gain infinite") << 4.0 << 12.0 << std::numeric_limits<double>::infinity();
}

void TestUncertainty::noMeaning()
{
    QFETCH(double, nf12Db);
    QFETCH(double, nf2Db);
    QFETCH(double, gainDb);
    const UncertaintyResult r = ComputeUncertainty(nf12Db, nf2Db, gainDb, UncertaintyInputs{});
    QVERIFY(!r.valid);
    QCOMPARE(UncertaintyText(r), QStringLiteral("-"));
}

void TestUncertainty::fromLevelsAgreesWithYFactor()
{
    // The calculator's start-up example: the corrected noise figure must be the one the
    // Y-factor arithmetic gives, because both work from the same noise temperatures.
    const StepLevels levels{-75.55, -70.25, -54.25, -49.06};
    const UncertaintyResult r = ComputeUncertainty(levels, 294.15, 5.52, UncertaintyInputs{});
    QVERIFY(r.valid);
    const double expected = YFactorNoiseFigure(FromDb(levels.n2off), FromDb(levels.n2on),
                                               FromDb(levels.n12off), FromDb(levels.n12on), 294.15, 5.52);
    QVERIFY2(std::fabs(r.nf1Db - expected) < 1e-9, qPrintable(QString::number(r.nf1Db - expected)));
    QVERIFY(std::fabs(r.gainDb - 21.14) < 0.005);
}

void TestUncertainty::fromLevelsWithoutResult_data()
{
    QTest::addColumn<double>("n2off");
    QTest::addColumn<double>("n2on");
    QTest::addColumn<double>("n12off");
    QTest::addColumn<double>("n12on");
    QTest::newRow("equal calibration levels") << -75.55 << -75.55 << -54.25 << -49.06;
    QTest::newRow("equal levels with the DUT") << -75.55 << -70.25 << -54.25 << -54.25;
    QTest::newRow("negative gain") << -75.55 << -70.25 << -49.06 << -54.25;
}

void TestUncertainty::fromLevelsWithoutResult()
{
    QFETCH(double, n2off);
    QFETCH(double, n2on);
    QFETCH(double, n12off);
    QFETCH(double, n12on);
    const StepLevels levels{n2off, n2on, n12off, n12on};
    QVERIFY(!ComputeUncertainty(levels, 294.15, 5.52, UncertaintyInputs{}).valid);
}

QTEST_APPLESS_MAIN(TestUncertainty)
#include "tst_uncertainty.moc"
