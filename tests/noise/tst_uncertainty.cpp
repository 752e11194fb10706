// The uncertainty of a step's noise figure: the worked example, the mismatch term, the growth of
// the sensitivities as the DUT's noise factor nears 1, and the entry point from four levels.

#include "noise/step_confidence.h"
#include "noise/uncertainty.h"
#include "noise/yfactor.h"

#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(UncertaintyInputs)

class TestUncertainty : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void mismatch_data();
    void mismatch();
    void portLimits_data();
    void portLimits();
    void nearUnityNoiseFactor();
    void noMeaning_data();
    void noMeaning();
    void fromLevelsAgreesWithYFactor();
    void fromLevelsWithoutResult_data();
    void fromLevelsWithoutResult();
    void sweepAggregates_data();
    void sweepAggregates();
    void assessSweepTakesEveryStep_data();
    void assessSweepTakesEveryStep();
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

void TestUncertainty::portLimits_data()
{
    // Four different VSWRs and three different limits of error, so that a port or a limit
    // taken for another shows; NF12 4 dB, NF2 12 dB and 20 dB of gain as in the worked example.
    // The expected figures are worked out by hand from the formulas in the header.
    QTest::addColumn<UncertaintyInputs>("inputs");
    QTest::addColumn<double>("deltaNf12");
    QTest::addColumn<double>("deltaNf2");
    QTest::addColumn<double>("deltaGain");
    QTest::addColumn<double>("total");
    const auto in = [](double source, double dutIn, double dutOut, double analyser, double uEnr,
                       double uNf, double uG) {
        UncertaintyInputs i;
        i.sourceVswr = source;
        i.dutInputVswr = dutIn;
        i.dutOutputVswr = dutOut;
        i.analyserInputVswr = analyser;
        i.enrUncertaintyDb = uEnr;
        i.nfUncertaintyDb = uNf;
        i.gainUncertaintyDb = uG;
        return i;
    };
    QTest::newRow("defaults") << UncertaintyInputs{} << 0.130333003 << 0.130333003 << 0.409300919
                              << 0.244106878;
    QTest::newRow("four ports") << in(1.2, 1.4, 1.8, 2.5, 0.23, 0.07, 0.11) << 0.148192072
                                << 0.339284832 << 1.070537514 << 0.286883377;
    QTest::newRow("DUT input and analyser swapped") << in(1.2, 2.5, 1.8, 1.4, 0.23, 0.07, 0.11)
                                                    << 0.339284832 << 0.148192072 << 0.550132540
                                                    << 0.428696042;
    QTest::newRow("DUT output and analyser swapped") << in(1.2, 1.4, 2.5, 1.8, 0.23, 0.07, 0.11)
                                                     << 0.148192072 << 0.233468328 << 1.041846357
                                                     << 0.285989998;
    QTest::newRow("source and analyser swapped") << in(2.5, 1.4, 1.8, 1.2, 0.23, 0.07, 0.11)
                                                 << 0.603338961 << 0.339284832 << 0.728724611
                                                 << 0.682835009;
    QTest::newRow("limits rotated") << in(1.2, 1.4, 1.8, 2.5, 0.11, 0.23, 0.07) << 0.264501210
                                    << 0.403873987 << 1.067169419 << 0.310250032;
    QTest::newRow("limits rotated again") << in(1.2, 1.4, 1.8, 2.5, 0.07, 0.11, 0.23) << 0.170765601
                                          << 0.349734467 << 1.089426716 << 0.207446374;
}

void TestUncertainty::portLimits()
{
    QFETCH(UncertaintyInputs, inputs);
    QFETCH(double, deltaNf12);
    QFETCH(double, deltaNf2);
    QFETCH(double, deltaGain);
    QFETCH(double, total);
    const UncertaintyResult r = ComputeUncertainty(4.00, 12.00, 20.00, inputs);
    QVERIFY(r.valid);
    const auto near = [](double got, double want) { return std::fabs(got - want) < 1e-8; };
    QVERIFY2(near(r.deltaNf12Db, deltaNf12), qPrintable(QString::number(r.deltaNf12Db, 'f', 9)));
    QVERIFY2(near(r.deltaNf2Db, deltaNf2), qPrintable(QString::number(r.deltaNf2Db, 'f', 9)));
    QVERIFY2(near(r.deltaGainDb, deltaGain), qPrintable(QString::number(r.deltaGainDb, 'f', 9)));
    QVERIFY2(near(r.uncertaintyDb, total), qPrintable(QString::number(r.uncertaintyDb, 'f', 9)));
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

void TestUncertainty::sweepAggregates_data()
{
    // Each assessed step as "U" (its uncertainty, dB; negative: no valid uncertainty) and
    // whether it has findings; the sweep's last step; the largest U, its step, and whether any
    // step lies outside the guidelines.
    QTest::addColumn<QList<double>>("uncertainties");
    QTest::addColumn<QList<int>>("outside");
    QTest::addColumn<int>("lastStep");
    QTest::addColumn<double>("largest");
    QTest::addColumn<int>("atStep");
    QTest::addColumn<bool>("anyOutside");
    using U = QList<double>;
    using Steps = QList<int>;
    QTest::newRow("largest at the first step") << U{0.9, 0.2, 0.3} << Steps{} << 2 << 0.9 << 0 << false;
    QTest::newRow("largest at the last step") << U{0.2, 0.3, 0.9} << Steps{2} << 2 << 0.9 << 2 << true;
    QTest::newRow("first step outside") << U{0.2, 0.3, 0.1} << Steps{0} << 2 << 0.3 << 1 << true;
    QTest::newRow("single frequency") << U{0.42} << Steps{0} << 0 << 0.42 << 0 << true;
    QTest::newRow("single frequency within") << U{0.42} << Steps{} << 0 << 0.42 << 0 << false;
    QTest::newRow("beyond the last step") << U{0.2, 0.3, 0.9} << Steps{2} << 1 << 0.3 << 1 << false;
    QTest::newRow("invalid steps skipped") << U{-1, 0.25, -1} << Steps{} << 2 << 0.25 << 1 << false;
    QTest::newRow("last of 100 frequencies") << U(99, 0.1) + U{0.7} << Steps{99} << 99 << 0.7 << 99 << true;
}

void TestUncertainty::sweepAggregates()
{
    QFETCH(QList<double>, uncertainties);
    QFETCH(QList<int>, outside);
    QFETCH(int, lastStep);
    QFETCH(double, largest);
    QFETCH(int, atStep);
    QFETCH(bool, anyOutside);
    SweepConfidence sweep;
    for (int i = 0; i < uncertainties.size(); ++i) {
        StepConfidence c;
        c.uncertainty.valid = uncertainties[i] >= 0;
        c.uncertainty.uncertaintyDb = uncertainties[i];
        if (outside.contains(i))
            c.findings.append({GuidelineKind::NearReferenceLevel, QStringLiteral("x.")});
        sweep.store(i, c);
    }
    int at = -2;
    QCOMPARE(sweep.largestUncertaintyDb(lastStep, &at), largest);
    QCOMPARE(at, atStep);
    QCOMPARE(sweep.anyOutsideGuidelines(lastStep), anyOutside);

    // Nothing assessed: no figure and no step.
    sweep.reset();
    QVERIFY(std::isnan(sweep.largestUncertaintyDb(lastStep, &at)));
    QCOMPARE(at, -1);
    QVERIFY(!sweep.anyOutsideGuidelines(lastStep));
}

void TestUncertainty::assessSweepTakesEveryStep_data()
{
    QTest::addColumn<int>("steps");
    QTest::newRow("single frequency") << 0;
    QTest::newRow("three frequencies") << 2;
    QTest::newRow("100 frequencies") << 99;
}

void TestUncertainty::assessSweepTakesEveryStep()
{
    QFETCH(int, steps);
    MeasurementRecord record;
    record.SweepPlan.Start = 400e6;
    record.SweepPlan.Step = 10e6;
    record.SweepPlan.Steps = steps;
    for (int i = 0; i <= 100; ++i) {
        record.N2off[size_t(i)] = -75.55;
        record.N2on[size_t(i)] = -70.25;
        record.N12off[size_t(i)] = -54.25;
        record.N12on[size_t(i)] = -49.06;
    }
    SweepConfidence sweep;
    EvaluationContext context;  // the constant 5.52 dB
    context.roomTemperatureK = 294.15;
    context.refLevelDbm = 0;
    AssessSweep(sweep, record, context);
    for (int i = 0; i <= 100; ++i)
        QVERIFY2(sweep.assessed[size_t(i)] == (i <= steps), qPrintable(QString::number(i)));
    int at = -1;
    QVERIFY(std::isfinite(sweep.largestUncertaintyDb(steps, &at)));
    QVERIFY(at >= 0 && at <= steps);
}

QTEST_APPLESS_MAIN(TestUncertainty)
#include "tst_uncertainty.moc"
