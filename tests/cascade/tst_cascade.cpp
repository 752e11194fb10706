// The cascade computation without a window: which stages head and end the chain, and the
// totals of the three passes for chains with unticked stages. Where a Tag points and the texts
// of the totals belong to the calculator page and are tested with it.

#include "cascade/cascade.h"

#include "base/engvalue.h"

#include <QTest>

namespace {

QString two(double v)
{
    return FormatValue(2, 0, v);
}

}  // namespace

class TestCascade : public QObject
{
    Q_OBJECT

private slots:
    void storeOutsideTheGridChangesNothing()
    {
        CascadeState st;
        // The totals' tags decode to stage 0; rows 5 to 7 exist in no stage.
        StoreStageValue(st, 0, GainRow, 40);
        StoreStageValue(st, 3, 5, 40);
        StoreStageValue(st, 6, GainRow, 40);
        for (const CascadeStage &s : st.CascadeStages) {
            QCOMPARE(s.StageGainDb, 1.0);
            QCOMPARE(s.StageNoiseFigureDb, 0.0);
            QCOMPARE(s.StageIp3OutDbm, 12.0);
        }
    }

    void firstAndLastStage_data()
    {
        QTest::addColumn<QList<int>>("unticked");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("all ticked") << QList<int>{} << 1 << 5;
        QTest::newRow("ends unticked") << QList<int>{1, 5} << 2 << 4;
        QTest::newRow("only stage 3") << QList<int>{1, 2, 4, 5} << 3 << 3;
        QTest::newRow("none ticked") << QList<int>{1, 2, 3, 4, 5} << 1 << 5;
    }
    void firstAndLastStage()
    {
        QFETCH(QList<int>, unticked);
        QFETCH(int, first);
        QFETCH(int, last);
        CascadeState st;
        for (int s : unticked)
            SetStageEnabled(st, s, false);
        QCOMPARE(st.FirstStage, first);
        QCOMPARE(st.LastStage, last);
        QCOMPARE(st.EnabledStages.isEmpty(), unticked.size() == 5);
    }

    void startValuesPerStage()
    {
        CascadeState st;
        ComputeCascade(st);
        const QStringList ip3 = {"12.00", "9.46", "8.15", "7.34", "6.78"};
        for (int s = 1; s <= 5; ++s) {
            QCOMPARE(two(st.stage(s).TotalIp3OutDbm), ip3[s - 1]);
            QCOMPARE(two(st.stage(s).TotalGainDb), two(s));
            QCOMPARE(two(st.stage(s).TotalNoiseFigureDb), "0.00");
        }
    }

    void totalsOfUntickedStagesAreKept()
    {
        CascadeState st;
        ComputeCascade(st);
        const double before = st.stage(3).TotalIp3OutDbm;
        StoreStageValue(st, 3, GainRow, 25);
        SetStageEnabled(st, 3, false);
        ComputeCascade(st);
        QCOMPARE(st.stage(3).TotalIp3OutDbm, before);
        QCOMPARE(two(st.stage(4).TotalGainDb), "3.00");
    }
};

QTEST_GUILESS_MAIN(TestCascade)
#include "tst_cascade.moc"
