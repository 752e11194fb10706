// The checks of good practice for one step: each on both sides of its threshold, from a step
// that is good in every other respect, and the exact sentence for a low calibration Y-factor.

#include "noise/guidelines.h"
#include "noise/yfactor.h"

#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(GuidelineInputs)

namespace {

constexpr double kRoomK = 290.0;
constexpr double kEnrDb = 15.0;

/// Levels of a step whose analyser has the noise temperature te2K and whose DUT, of gain
/// gainDb, gives the system the noise temperature te12K: power is proportional to the
/// temperature at the input, times the gain behind it. The calibration's "off" level is -90 dBm.
StepLevels LevelsFor(double te2K, double te12K, double gainDb)
{
    const double tHot = HotTemperatureK(kEnrDb, kRoomK);
    const double scale = -90.0 - ToDb(kRoomK + te2K);
    return {scale + ToDb(kRoomK + te2K), scale + ToDb(tHot + te2K),
            scale + gainDb + ToDb(kRoomK + te12K), scale + gainDb + ToDb(tHot + te12K)};
}

/// A step that meets every guideline: the analyser adds 200 K of the system's 1000 K.
GuidelineInputs GoodStep()
{
    GuidelineInputs in;
    in.levels = LevelsFor(2000.0, 1000.0, 10.0);
    in.roomTemperatureK = kRoomK;
    in.enrDb = kEnrDb;
    in.refLevelDbm = 0.0;
    in.frequencyHz = 2e9;
    in.tableMode = true;
    in.tableLowHz = 1e9;
    in.tableHighHz = 18e9;
    return in;
}

double Highest(const StepLevels &l)
{
    return std::max({l.n2off, l.n2on, l.n12off, l.n12on});
}

}  // namespace

class TestGuidelines : public QObject
{
    Q_OBJECT

private slots:
    void goodStepHasNoFindings();
    void threshold_data();
    void threshold();
    void calibrationSentence();
    void sentences_data();
    void sentences();
    void tableRange();
};

void TestGuidelines::goodStepHasNoFindings()
{
    const GuidelineInputs in = GoodStep();
    const double share = AnalyserNoiseShare(DeriveSystemNoise(in.levels, in.roomTemperatureK, in.enrDb));
    QVERIFY2(std::fabs(share - 0.2) < 1e-9, qPrintable(QString::number(share)));
    const auto findings = CheckGuidelines(in);
    QVERIFY2(findings.isEmpty(), qPrintable(findings.value(0).text));
}

void TestGuidelines::threshold_data()
{
    QTest::addColumn<GuidelineInputs>("inputs");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<int>("kind");

    const auto withCalibrationY = [](double yDb) {
        GuidelineInputs in = GoodStep();
        in.levels.n2on = in.levels.n2off + yDb;
        return in;
    };
    const auto withMeasurementY = [](double yDb) {
        GuidelineInputs in = GoodStep();
        in.levels.n12on = in.levels.n12off + yDb;
        return in;
    };
    // The analyser contributes 2000 K / 10 = 200 K; the share is 200 K over the system's Te12.
    const auto withShare = [](double share) {
        GuidelineInputs in = GoodStep();
        in.levels = LevelsFor(2000.0, 200.0 / share, 10.0);
        return in;
    };
    const auto withHeadroom = [](double headroomDb) {
        GuidelineInputs in = GoodStep();
        in.refLevelDbm = Highest(in.levels) + headroomDb;
        return in;
    };
    const auto atFrequency = [](double hz, bool table) {
        GuidelineInputs in = GoodStep();
        in.frequencyHz = hz;
        in.tableMode = table;
        return in;
    };

    const int calY = int(GuidelineKind::LowCalibrationYFactor);
    const int dutY = int(GuidelineKind::LowMeasurementYFactor);
    const int share = int(GuidelineKind::AnalyserNoiseDominates);
    const int ref = int(GuidelineKind::NearReferenceLevel);
    const int enr = int(GuidelineKind::EnrExtrapolated);
    QTest::newRow("calibration Y 1.79 dB") << withCalibrationY(1.79) << true << calY;
    QTest::newRow("calibration Y 1.81 dB") << withCalibrationY(1.81) << false << calY;
    QTest::newRow("Y with DUT 1.79 dB") << withMeasurementY(1.79) << true << dutY;
    QTest::newRow("Y with DUT 1.81 dB") << withMeasurementY(1.81) << false << dutY;
    QTest::newRow("analyser share 0.51") << withShare(0.51) << true << share;
    QTest::newRow("analyser share 0.49") << withShare(0.49) << false << share;
    QTest::newRow("headroom 9.9 dB") << withHeadroom(9.9) << true << ref;
    QTest::newRow("headroom 10.1 dB") << withHeadroom(10.1) << false << ref;
    QTest::newRow("level above the reference") << withHeadroom(-3.0) << true << ref;
    QTest::newRow("below the table") << atFrequency(0.99e9, true) << true << enr;
    QTest::newRow("first row of the table") << atFrequency(1e9, true) << false << enr;
    QTest::newRow("last row of the table") << atFrequency(18e9, true) << false << enr;
    QTest::newRow("above the table") << atFrequency(18.01e9, true) << true << enr;
    QTest::newRow("above the table, constant ENR") << atFrequency(20e9, false) << false << enr;
}

void TestGuidelines::threshold()
{
    QFETCH(GuidelineInputs, inputs);
    QFETCH(bool, expected);
    QFETCH(int, kind);
    const auto findings = CheckGuidelines(inputs);
    if (!expected) {
        QVERIFY2(findings.isEmpty(), qPrintable(findings.value(0).text));
        return;
    }
    QCOMPARE(findings.size(), 1);
    QCOMPARE(int(findings.first().kind), kind);
    QVERIFY(findings.first().text.endsWith(u'.'));
}

void TestGuidelines::calibrationSentence()
{
    GuidelineInputs in = GoodStep();
    in.levels.n2on = in.levels.n2off + 1.2;
    const auto findings = CheckGuidelines(in);
    QVERIFY(!findings.isEmpty());
    QCOMPARE(findings.first().text,
             QStringLiteral("Low Y-factor in the calibration (1.2 dB): the analyser's own noise is "
                            "high for this ENR."));
}

void TestGuidelines::sentences_data()
{
    QTest::addColumn<GuidelineInputs>("inputs");
    QTest::addColumn<QString>("sentence");

    GuidelineInputs lowDutY = GoodStep();
    lowDutY.levels.n12on = lowDutY.levels.n12off + 1.2;
    // A share of 0.51 tells a percentage (51) from a fraction (0.51) and from its rounding (1).
    GuidelineInputs share = GoodStep();
    share.levels = LevelsFor(2000.0, 200.0 / 0.51, 10.0);
    GuidelineInputs nearRef = GoodStep();
    const double shift = -8.0 - Highest(nearRef.levels);  // the same Y-factors, 8 dB below 0 dBm
    nearRef.levels = {nearRef.levels.n2off + shift, nearRef.levels.n2on + shift,
                      nearRef.levels.n12off + shift, nearRef.levels.n12on + shift};
    GuidelineInputs outside = GoodStep();
    outside.frequencyHz = 0.99e9;

    QTest::newRow("low Y with the DUT")
        << lowDutY
        << "Low Y-factor with the DUT (1.2 dB): the system's noise is high for this ENR; use a noise "
           "source with a higher ENR.";
    QTest::newRow("analyser share 51 %")
        << share
        << "The analyser adds 51 % of the system's excess noise: the DUT's gain is too low for this "
           "analyser; a preamplifier in front of the analyser would help.";
    QTest::newRow("near the reference level")
        << nearRef
        << "The level -8.0 dBm lies within 10 dB of the reference level (0.0 dBm): the analyser may "
           "compress; raise the reference level or the attenuation.";
    QTest::newRow("outside the table")
        << outside
        << "990.00 MHz lies outside the ENR table (1.00 GHz to 18.00 GHz), so the ENR is extrapolated; "
           "add table rows that cover it.";
}

void TestGuidelines::sentences()
{
    QFETCH(GuidelineInputs, inputs);
    QFETCH(QString, sentence);
    const auto findings = CheckGuidelines(inputs);
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.first().text, sentence);
}

void TestGuidelines::tableRange()
{
    double low = -1, high = -1;
    EnrRows rows;  // all empty
    QVERIFY(!EnrTableRangeHz(rows, low, high));
    rows[3] = {QStringLiteral("2.5"), QStringLiteral("5.4")};
    rows[7] = {QStringLiteral("0.5"), QStringLiteral("6.0")};
    rows[9] = {QStringLiteral("x"), QStringLiteral("6.0")};
    QVERIFY(EnrTableRangeHz(rows, low, high));
    QCOMPARE(low, 0.5e9);
    QCOMPARE(high, 2.5e9);
}

QTEST_APPLESS_MAIN(TestGuidelines)
#include "tst_guidelines.moc"
