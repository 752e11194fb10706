// The cascade computation without a window: where a Tag points, which stages head and end the
// chain, and the totals of the three passes for chains with unticked stages.

#include "cascade/cascade.h"

#include "base/engvalue.h"

#include <QTest>

namespace {

struct StageInput
{
    double nfDb, gainDb, ip3Dbm;
};

CascadeState chain(const QList<StageInput> &stages, const QList<int> &unticked)
{
    CascadeState st;
    for (int s = 1; s <= stages.size(); ++s) {
        StoreStageValue(st, s, NoiseFigureRow, stages[s - 1].nfDb);
        StoreStageValue(st, s, GainRow, stages[s - 1].gainDb);
        StoreStageValue(st, s, Ip3OutRow, stages[s - 1].ip3Dbm);
    }
    for (int s : unticked)
        SetStageEnabled(st, s, false);
    return st;
}

QString two(double v)
{
    return FormatValue(2, 0, v);
}

const StageInput kDefault{0, 1, 12};

}  // namespace

Q_DECLARE_METATYPE(StageInput)

class TestCascade : public QObject
{
    Q_OBJECT

private slots:
    void tagDecoding_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<int>("stage");
        QTest::addColumn<int>("row");
        QTest::newRow("Edit1") << 17 << 1 << 1;
        QTest::newRow("Edit8") << 36 << 2 << 4;
        QTest::newRow("Edit19") << 83 << 5 << 3;
        QTest::newRow("Edit20") << 84 << 5 << 4;
        QTest::newRow("total Edit23") << 2 << 0 << 2;
        QTest::newRow("stage wraps at 8") << 16 * 9 + 2 << 1 << 2;
        QTest::newRow("row wraps at 8") << 16 * 3 + 9 << 3 << 1;
    }
    void tagDecoding()
    {
        QFETCH(int, tag);
        QFETCH(int, stage);
        QFETCH(int, row);
        const CascadeFieldPlace p = DecodeCascadeTag(tag);
        QCOMPARE(p.stage, stage);
        QCOMPARE(p.row, row);
    }

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

    void totals_data()
    {
        QTest::addColumn<QList<StageInput>>("stages");
        QTest::addColumn<QList<int>>("unticked");
        QTest::addColumn<QStringList>("totals");

        const StageInput a{1, 20, 30};
        const StageInput b{6, 10, 20};
        const StageInput c{3, -5, 40};
        const StageInput wild{10, -20, 0};
        QTest::newRow("start values") << QList<StageInput>{} << QList<int>{}
                                      << QStringList{"1.00 ", "0.00", "5.00", "6.78"};
        QTest::newRow("two stages") << QList<StageInput>{a, b} << QList<int>{3, 4, 5}
                                    << QStringList{"1.29 ", "1.10", "30.00", "19.96"};
        QTest::newRow("stages 2 and 3") << QList<StageInput>{wild, b, c} << QList<int>{1, 4, 5}
                                        << QStringList{"4.08 ", "6.11", "5.00", "14.99"};
        // The lossy stage between them is skipped: its gain does not count in front of stage 3.
        QTest::newRow("unticked stage in the middle") << QList<StageInput>{a, wild, b} << QList<int>{2, 4, 5}
                                                      << QStringList{"1.29 ", "1.10", "30.00", "19.96"};
        QTest::newRow("last stage alone") << QList<StageInput>{kDefault, kDefault, kDefault, kDefault, b}
                                          << QList<int>{1, 2, 3, 4} << QStringList{"3.98 ", "6.00", "10.00", "20.00"};
        QTest::newRow("nothing ticked") << QList<StageInput>{a, b} << QList<int>{1, 2, 3, 4, 5}
                                        << QStringList{"-", "-", "-", "-"};
    }
    void totals()
    {
        QFETCH(QList<StageInput>, stages);
        QFETCH(QList<int>, unticked);
        QFETCH(QStringList, totals);
        CascadeState st = chain(stages, unticked);
        const CascadeFieldTexts f = ComputeCascade(st);
        const QStringList shown = {f.texts[20], f.texts[21], f.texts[22], f.texts[23]};
        QCOMPARE(shown, totals);
        QCOMPARE(f.totalsEnabled, unticked.size() < 5);
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
