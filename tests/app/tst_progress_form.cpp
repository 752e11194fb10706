// The progress window: the step line with its moving mark, the bar, "Cancel" and closing.

#include "app/progress_form.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestProgressForm : public QObject
{
    Q_OBJECT

private slots:
    void designedWindow()
    {
        TForm2 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("measuring in progress..."));
        QCOMPARE(form.Label1->text(), QStringLiteral("Step: -"));
        QCOMPARE(form.Button1->text(), QStringLiteral("Cancel"));
        QCOMPARE(form.Timer1->interval(), 200);
        // The animation runs the whole time, also while the window is hidden.
        QVERIFY(form.Timer1->isActive());
        QVERIFY(!form.isVisible());
        QCOMPARE(form.ProgressStep, 0);
    }

    void eightMarksInOrder()
    {
        TForm2 form;
        form.ProgressStep = 7;
        const QStringList expected = {" <->     ", "  <->    ", "   <->   ", "    <->  ",
                                      "     <-> ", "      <->", " >     <-", " ->     <"};
        // The phase belongs to the unit and is never reset: start wherever it stands.
        const int first = int(unsigned(TForm2::AnimationPhase) % 8u);
        for (int n = 0; n < 16; ++n) {
            form.Timer1Timer();
            QCOMPARE(form.Label1->text(), QStringLiteral("Step 7") + expected[(first + n) % 8]);
        }
        for (const QString &mark : TForm2::Marks())
            QCOMPARE(mark.size(), 9);
    }

    void phaseWrapsInOrder()
    {
        TForm2 form;
        TForm2::AnimationPhase = std::numeric_limits<qint32>::max();  // phase 7
        form.ProgressStep = 2;
        form.Timer1Timer();
        QCOMPARE(form.Label1->text(), QStringLiteral("Step 2 ->     <"));
        form.Timer1Timer();
        QCOMPARE(form.Label1->text(), QStringLiteral("Step 2 <->     "));
    }

    void timerDrivesTheAnimation()
    {
        TForm2 form;
        form.ProgressStep = 3;
        const qint32 before = TForm2::AnimationPhase;
        QTRY_VERIFY_WITH_TIMEOUT(TForm2::AnimationPhase >= before + 2, 2000);
        QVERIFY(form.Label1->text().startsWith(QStringLiteral("Step 3")));
    }

    void gauge_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("percent");
        QTest::newRow("start") << 10 << 0 << 0;
        QTest::newRow("half") << 10 << 5 << 50;
        QTest::newRow("three of 99") << 99 << 3 << 3;
        QTest::newRow("done") << 10 << 10 << 100;
        QTest::newRow("above the maximum shows the maximum") << 10 << 11 << 100;
        QTest::newRow("single mode: empty range") << 0 << 1 << 0;
    }
    void gauge()
    {
        QFETCH(int, maximum);
        QFETCH(int, position);
        QFETCH(int, percent);
        TForm2 form;
        form.SetGaugeRange(0, maximum);
        form.SetGaugePosition(position);
        QCOMPARE(form.GaugePercent(), percent);
        QCOMPARE(form.Gauge1->value(), percent);
        QCOMPARE(form.Gauge1->maximum(), 100);  // never a busy indicator
    }

    void cancelSetsTheFlagAndCloses()
    {
        TForm2 form;
        bool cancelRequested = false;
        int closes = 0;
        form.OnCancel = [&] { cancelRequested = true; };
        form.OnClose = [&] { ++closes; };
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QVERIFY(cancelRequested);
        QCOMPARE(closes, 1);
        QVERIFY(!form.isVisible());
    }

    void closingWithoutCancelOnlyEnables()
    {
        TForm2 form;
        bool cancelRequested = false;
        int closes = 0;
        form.OnCancel = [&] { cancelRequested = true; };
        form.OnClose = [&] { ++closes; };
        form.show();
        form.close();  // the title-bar box, or the sequencer at the end of a pass
        QCOMPARE(closes, 1);
        QVERIFY(!cancelRequested);
    }
};

QTEST_MAIN(TestProgressForm)
#include "tst_progress_form.moc"
