// The frequency plan of a pass: whole-hertz steps truncated toward zero, Single mode, and the
// order in which a failing conversion leaves the fields.

#include "base/errors.h"
#include "run/sweep_plan.h"

#include <QTest>

class TestSweepPlan : public QObject
{
    Q_OBJECT

private slots:
    void sweep_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<int>("steps");
        QTest::addColumn<double>("step");
        QTest::addColumn<QList<double>>("frequencies");  // first, second, ..., last

        QTest::newRow("designed 400-500 MHz in 10")
            << "400 MHz" << "500 MHz" << 10 << 10e6
            << QList<double>{400e6, 410e6, 420e6, 430e6, 440e6, 450e6, 460e6, 470e6, 480e6, 490e6, 500e6};
        QTest::newRow("400-500 MHz in 3 truncates")
            << "400 MHz" << "500 MHz" << 3 << 33333333.0
            << QList<double>{400000000.0, 433333333.0, 466666666.0, 499999999.0};
        QTest::newRow("descending 500-400 MHz in 10")
            << "500 MHz" << "400 MHz" << 10 << -10e6
            << QList<double>{500e6, 490e6, 480e6, 470e6, 460e6, 450e6, 440e6, 430e6, 420e6, 410e6, 400e6};
        QTest::newRow("descending in 3 truncates toward zero")
            << "500 MHz" << "400 MHz" << 3 << -33333333.0
            << QList<double>{500000000.0, 466666667.0, 433333334.0, 400000001.0};
        QTest::newRow("equal start and stop")
            << "1 GHz" << "1 GHz" << 4 << 0.0 << QList<double>{1e9, 1e9, 1e9, 1e9, 1e9};
        QTest::newRow("range below one hertz per step") << "10 Hz" << "15 Hz" << 7 << 0.0
            << QList<double>{10, 10, 10, 10, 10, 10, 10, 10};
        QTest::newRow("comma decimal") << "1,5 GHz" << "2,5 GHz" << 4 << 250e6
            << QList<double>{1.5e9, 1.75e9, 2e9, 2.25e9, 2.5e9};
    }

    void sweep()
    {
        QFETCH(QString, start);
        QFETCH(QString, stop);
        QFETCH(int, steps);
        QFETCH(double, step);
        QFETCH(QList<double>, frequencies);

        SweepPlan plan;
        plan.StepIndex = 7;  // the plan never touches the index of the step in work
        MakeSweepPlan(plan, {false, start, stop, QStringLiteral("100 MHz"), steps});
        QCOMPARE(plan.Step, step);
        QCOMPARE(plan.Steps, steps);
        QCOMPARE(plan.StepIndex, 7);
        QCOMPARE(plan.Steps + 1, int(frequencies.size()));
        for (int i = 0; i <= plan.Steps; ++i)
            QCOMPARE(plan.tuneHz(i), frequencies[i]);
    }

    void ninetyNineSteps()
    {
        SweepPlan plan;
        MakeSweepPlan(plan, {false, QStringLiteral("100 MHz"), QStringLiteral("1.09 GHz"), {}, 99});
        QCOMPARE(plan.Steps, 99);
        QCOMPARE(plan.Step, 10e6);
        QCOMPARE(plan.tuneHz(0), 100e6);
        QCOMPARE(plan.tuneHz(99), 1.09e9);
        // Every one of the 100 frequencies has a step slot of the record.
        QVERIFY(plan.Steps <= kMaxStepSlot);
    }

    void singleIgnoresRangeAndSteps()
    {
        SweepPlan plan{1, 2, 3, 4, 5};
        MakeSweepPlan(plan, {true, QStringLiteral("400 MHz"), QStringLiteral("500 MHz"), QStringLiteral("100 MHz"), 10});
        QCOMPARE(plan.Start, 100e6);
        QCOMPARE(plan.Stop, 100e6);
        QCOMPARE(plan.Step, 0.0);
        QCOMPARE(plan.Steps, 0);
        QCOMPARE(plan.StepIndex, 4);
    }

    void failedConversionKeepsLaterFields()
    {
        SweepPlan plan{1, 2, 3, 0, 5};
        QVERIFY_THROWS_EXCEPTION(EConvertError,
                                 MakeSweepPlan(plan, {false, QStringLiteral("400 MHz"), QStringLiteral("5x0 MHz"), {}, 10}));
        QCOMPARE(plan.Start, 400e6);  // assigned before the failing Stop
        QCOMPARE(plan.Stop, 2.0);
        QCOMPARE(plan.Step, 3.0);
        QCOMPARE(plan.Steps, 5);
    }

    void shortTextIsZeroHertz()
    {
        SweepPlan plan;
        MakeSweepPlan(plan, {false, QStringLiteral("1 G"), QStringLiteral("100 MHz"), {}, 4});
        QCOMPARE(plan.Start, 0.0);
        QCOMPARE(plan.Step, 25e6);
    }

    void hugeRangeDoesNotOverflow()
    {
        // Beyond a 64-bit integer: the step stays a finite whole number instead of garbage.
        const double step = WholeStepHz(0, 1e300, 1);
        QCOMPARE(step, 1e300);
        QCOMPARE(WholeStepHz(0, -1e300, 3), std::trunc(-1e300 / 3));
    }
};

QTEST_GUILESS_MAIN(TestSweepPlan)
#include "tst_sweep_plan.moc"
