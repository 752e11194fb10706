// The bench through the window against the simulated bench: a DUT behind a loss before and
// after it, and a down-converter with a fixed LO, set in "Options > Bench ...", calibrated and
// measured with the buttons. The DUT's own figures come out, and the analyser heard only the
// IFs, in the calibration and in the measurement.

#include "helper_window.h"

#include "app/bench_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cctype>

using namespace e2e;

class TestBenchWindowRun : public QObject
{
    Q_OBJECT

    /// "Options > Bench ..." with `fill` run on the open dialog, then OK.
    static bool setBench(TForm1 &w, const std::function<void(BenchDialog &)> &fill)
    {
        bool taken = false;
        QTimer::singleShot(0, &w, [&] {
            auto *d = qobject_cast<BenchDialog *>(QApplication::activeModalWidget());
            if (!d)
                return;
            fill(*d);
            QTest::mouseClick(d->b_BenchOk, Qt::LeftButton);
            taken = !d->isVisible();
            if (!taken)
                d->reject();
        });
        w.Messaufbau1->trigger();
        return taken;
    }

private slots:
    void measureBench_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<int>("bench");
        QTest::addColumn<QList<double>>("tunedHz");
        const QStringList flat{"--format", "sci", "--dut-gain-slope", "0", "--dut-nf-slope", "0"};
        QTest::newRow("losses before and after") << (flat + QStringList{"--loss-before", "1", "--loss-after", "3@77"}) << 0
                                                 << QList<double>{400e6, 450e6, 500e6};
        QTest::newRow("down-converter") << (flat + QStringList{"--dut-type", "down", "--lo", "9.75GHz"}) << 1
                                        << QList<double>{950e6, 1200e6, 1450e6, 1700e6, 1950e6};
    }
    void measureBench()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(int, bench);
        QFETCH(QList<double>, tunedHz);
        Program p(simArgs);
        TForm1 &w = p.w();
        QVERIFY(setBench(w, [bench](BenchDialog &d) {
            if (bench == 0) {
                d.cb_LossBefore->setCurrentIndex(1);
                d.e_LossBefore->setText(QStringLiteral("1 dB"));
                d.cb_LossAfter->setCurrentIndex(1);
                d.e_LossAfter->setText(QStringLiteral("3 dB"));
                d.e_LossAfterTemp->setText(QStringLiteral("77 K"));
            } else {
                d.cb_DutType->setCurrentIndex(1);
                d.e_LO->setText(QStringLiteral("9.75 GHz"));
            }
        }));
        QVERIFY(!w.l_Bench->text().isEmpty());
        if (bench == 1) {
            w.e_Start->setText(QStringLiteral("10.7 GHz"));
            w.e_Stop->setText(QStringLiteral("11.7 GHz"));
            w.se_steps->setValue(4);
        } else {
            w.se_steps->setValue(2);
        }
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        QVERIFY(p.measure());

        const MeasurementRecord &r = w.MeasurementRecord;
        QCOMPARE(int(r.SweepPlan.Steps), int(tunedHz.size()) - 1);
        for (int i = 0; i <= r.SweepPlan.Steps; ++i) {
            const QString at = QStringLiteral("step %1: NF %2 dB, gain %3 dB").arg(i).arg(r.NoiseFigureDb[i]).arg(r.GainDb[i]);
            QVERIFY2(std::fabs(r.NoiseFigureDb[i] - 3.0) <= 0.05, qPrintable(at));
            QVERIFY2(std::fabs(r.GainDb[i] - 20.0) <= 0.05, qPrintable(at));
            QCOMPARE(r.SweepPlan.tuneHz(i), tunedHz[i]);
        }

        // The analyser heard only the IFs, each once in each pass (the set-up's own centre,
        // awaited with *OPC?, aside).
        QList<QByteArray> heard = p.sim->lines();
        heard.removeIf([](const QByteArray &l) { return l.endsWith("*OPC?"); });
        const auto tunings = std::count_if(heard.begin(), heard.end(), [](const QByteArray &l) { return l.startsWith("FREQ:CENT "); });
        QCOMPARE(int(tunings), 2 * int(tunedHz.size()));
        for (double hz : tunedHz) {
            const QByteArray command = QByteArray("FREQ:CENT ") + QByteArray::number(qint64(hz));
            const auto tuned = std::count_if(heard.begin(), heard.end(), [&](const QByteArray &l) {
                return l.startsWith(command) && (l.size() == command.size() || !std::isdigit(uchar(l[command.size()])));
            });
            QVERIFY2(tuned == 2, command.constData());
        }
    }
};

QTEST_MAIN(TestBenchWindowRun)
#include "tst_bench_window.moc"
