// The Y-factor arithmetic: decibel conversions, gain and noise figure with the second-stage
// correction, the cases that give -1 and the arithmetic failures that must not pass silently.

#include "base/errors.h"
#include "noise/yfactor.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

double Dbm(double levelDbm)
{
    return std::pow(10.0, levelDbm / 10.0);
}

}  // namespace

class TestYFactor : public QObject
{
    Q_OBJECT

private slots:
    void toDb_data();
    void toDb();
    void fromDb_data();
    void fromDb();
    void workedExample();
    void noiseFigure_data();
    void noiseFigure();
    void arithmeticFailures_data();
    void arithmeticFailures();
};

void TestYFactor::toDb_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("expected");
    QTest::newRow("100") << 100.0 << 20.0;
    QTest::newRow("1") << 1.0 << 0.0;
    QTest::newRow("0.001") << 0.001 << -30.0;
    QTest::newRow("zero gives 0") << 0.0 << 0.0;
    QTest::newRow("negative gives 0") << -5.0 << 0.0;
    QTest::newRow("NaN gives 0") << std::numeric_limits<double>::quiet_NaN() << 0.0;
}

void TestYFactor::toDb()
{
    QFETCH(double, x);
    QFETCH(double, expected);
    QCOMPARE(ToDb(x), expected);
}

void TestYFactor::fromDb_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("expected");
    QTest::newRow("20 dB") << 20.0 << 100.0;
    QTest::newRow("0 dB") << 0.0 << 1.0;
    QTest::newRow("-30 dB") << -30.0 << 0.001;
    QTest::newRow("5.52 dB") << 5.52 << 3.5645113;
}

void TestYFactor::fromDb()
{
    QFETCH(double, x);
    QFETCH(double, expected);
    QVERIFY(std::fabs(FromDb(x) - expected) <= 1e-7 * expected);
}

void TestYFactor::workedExample()
{
    const double n2off = Dbm(-75.55), n2on = Dbm(-70.25), n12off = Dbm(-54.25), n12on = Dbm(-49.06);
    const double gain = LinearGain(n2off, n2on, n12off, n12on);
    QVERIFY2(std::fabs(gain - 130.11) < 0.005, qPrintable(QString::number(gain)));

    const double nfDb = YFactorNoiseFigure(n2off, n2on, n12off, n12on, 294.15, 5.52);
    const double noiseFactor = FromDb(nfDb);
    QVERIFY2(std::fabs(noiseFactor - 1.5293) < 0.00005, qPrintable(QString::number(noiseFactor, 'g', 10)));

    // Without the analyser's share (Te1 / G) the noise temperature would be Te12 = 154.57 K,
    // F = 1.533; the correction must have been applied.
    QVERIFY(noiseFactor < 154.57 / 290 + 1 - 0.002);
}

void TestYFactor::noiseFigure_data()
{
    QTest::addColumn<double>("n2off");
    QTest::addColumn<double>("n2on");
    QTest::addColumn<double>("n12off");
    QTest::addColumn<double>("n12on");
    QTest::addColumn<double>("roomK");
    QTest::addColumn<double>("enrDb");
    QTest::addColumn<double>("expectedDb");

    // Levels in linear units; -1 marks a noise figure that cannot be computed.
    QTest::newRow("Y-factor with DUT exactly 1, gain 0") << 1.0 << 2.0 << 5.0 << 5.0 << 290.0 << 5.52 << -1.0;
    QTest::newRow("noise factor below 1") << 1.0 << 2.0 << 1.0 << 100.0 << 290.0 << 5.52 << -1.0;
    // An ideal analyser-free case: Y1 large, Y12 from a DUT with F = 2 at 290 K. With
    // ENR = 1 (0 dB), Thot = 580 K: Y12 = (580 + Te12) / (290 + Te12).
    // Choose Te1 = 0 (Y1 = Thot / T = 2) so no correction is needed: Te = Te12 = 290 K, F = 2.
    QTest::newRow("noise factor 2") << 1.0 << 2.0 << 580.0 << 870.0 << 290.0 << 0.0 << 10 * std::log10(2.0);
}

void TestYFactor::noiseFigure()
{
    QFETCH(double, n2off);
    QFETCH(double, n2on);
    QFETCH(double, n12off);
    QFETCH(double, n12on);
    QFETCH(double, roomK);
    QFETCH(double, enrDb);
    QFETCH(double, expectedDb);
    const double nf = YFactorNoiseFigure(n2off, n2on, n12off, n12on, roomK, enrDb);
    if (expectedDb < 0)
        QCOMPARE(nf, expectedDb);
    else
        QVERIFY2(std::fabs(nf - expectedDb) < 1e-12, qPrintable(QString::number(nf, 'g', 17)));
}

void TestYFactor::arithmeticFailures_data()
{
    QTest::addColumn<double>("n2off");
    QTest::addColumn<double>("n2on");
    QTest::addColumn<double>("n12off");
    QTest::addColumn<double>("n12on");
    QTest::addColumn<bool>("gainFails");

    QTest::newRow("equal calibration levels") << 1.0 << 1.0 << 2.0 << 3.0 << true;
    QTest::newRow("all levels equal: 0/0") << 1.0 << 1.0 << 1.0 << 1.0 << true;
    QTest::newRow("calibration off level 0") << 0.0 << 1.0 << 2.0 << 3.0 << false;
    QTest::newRow("DUT off level 0") << 1.0 << 2.0 << 0.0 << 3.0 << false;
    QTest::newRow("Y-factor overflows") << 1e-300 << 1e300 << 1.0 << 2.0 << false;
    QTest::newRow("infinite level") << 1.0 << 2.0 << 1.0 << std::numeric_limits<double>::infinity() << true;
}

void TestYFactor::arithmeticFailures()
{
    QFETCH(double, n2off);
    QFETCH(double, n2on);
    QFETCH(double, n12off);
    QFETCH(double, n12on);
    QFETCH(bool, gainFails);
    if (gainFails)
        QVERIFY_THROWS_EXCEPTION(EMathError, LinearGain(n2off, n2on, n12off, n12on));
    else
        QVERIFY(std::isfinite(LinearGain(n2off, n2on, n12off, n12on)));
    QVERIFY_THROWS_EXCEPTION(EMathError, YFactorNoiseFigure(n2off, n2on, n12off, n12on, 294.15, 5.52));
}

QTEST_GUILESS_MAIN(TestYFactor)
#include "tst_yfactor.moc"
