// The demo of the README against the bundled simulator, through the real window: with its
// default bench every step keeps every guideline, and the unhealthy bench one option away
// shows the notes the README describes. With TESSARY_SCREENSHOTS naming a folder (and a real
// display, such as Xvfb), the run also writes the README's pictures there.

#include "helper_window.h"

#include "app/widgets.h"

#include <QDir>
#include <QLabel>
#include <QTabWidget>

using namespace e2e;

class TestDemo : public QObject
{
    Q_OBJECT

    static void save(QWidget &window, const QString &name)
    {
        const QString folder = qEnvironmentVariable("TESSARY_SCREENSHOTS");
        if (folder.isEmpty())
            return;
        QTest::qWait(300);  // let the window manager and the paint events settle
        QVERIFY(window.grab().save(QDir(folder).filePath(name)));
    }

private slots:
    void startWindow()
    {
        Program p;
        QVERIFY(QTest::qWaitForWindowExposed(&p.w()));
        QCOMPARE(p.w().l_Calibrated->text(), QStringLiteral("Not calibrated"));
        save(p.w(), QStringLiteral("main-window.png"));
    }

    void guidelines_data()
    {
        QTest::addColumn<QStringList>("bench");
        QTest::addColumn<QString>("notes");
        QTest::newRow("demo bench") << QStringList() << QString();
        QTest::newRow("noisy analyser") << QStringList{QStringLiteral("--analyser-nf"), QStringLiteral("20")}
                                        << QStringLiteral("2 guideline notes: low Y-factor, analyser dominates");
    }
    void guidelines()
    {
        QFETCH(QStringList, bench);
        QFETCH(QString, notes);
        Program p(bench);
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        QVERIFY(p.measure());
        QCOMPARE(w.PageControl1->currentIndex(), 1);
        for (int i = 0; i <= 10; ++i) {
            w.se_Freq->setValue(i);
            QCOMPARE(w.l_Guidelines->text(), notes);
            QCOMPARE(w.Graphic->Confidence.outsideGuidelines[size_t(i)], !notes.isEmpty());
            const double hz = w.MeasurementRecord.SweepPlan.enrHz(i);
            QVERIFY(std::abs(w.MeasurementRecord.NoiseFigureDb[i] - DutNoiseFigureDb(hz)) < 0.1);
        }
        QVERIFY2(p.messageTexts().size() == 2, qPrintable(p.messageTexts().join(u'\n')));
        if (notes.isEmpty()) {
            w.se_Freq->setValue(4);
            save(w, QStringLiteral("demo-measurement.png"));
        }
    }
};

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
