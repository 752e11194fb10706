// The bench through the window against the simulated bench: a DUT behind a loss before and
// after it, and a down-converter with a fixed LO, set in "Options > Bench ...", calibrated and
// measured with the buttons. The DUT's own figures come out, and the analyser heard only the
// IFs, in the calibration and in the measurement.

#include "helper_window.h"

#include "app/bench_dialog.h"
#include "common/working_folder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
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

    /// A down-converter with a fixed LO of 9 GHz in "Options > Bench ...", planned over
    /// 10, 11 and 12 GHz: IFs of 1, 2 and 3 GHz.
    static bool setConverter(Program &p)
    {
        TForm1 &w = p.w();
        if (!setBench(w, [](BenchDialog &d) {
                d.cb_DutType->setCurrentIndex(1);
                d.e_LO->setText(QStringLiteral("9 GHz"));
            }))
            return false;
        w.e_Start->setText(QStringLiteral("10 GHz"));
        w.e_Stop->setText(QStringLiteral("12 GHz"));
        w.se_steps->setValue(2);
        return true;
    }

    /// The frequencies the analyser was tuned to in the lines it heard from `from` on.
    static QList<double> TunedFrom(const Program &p, int from)
    {
        QList<double> tuned;
        const QList<QByteArray> heard = p.sim->lines();
        for (qsizetype i = from; i < heard.size(); ++i) {
            if (heard[i].startsWith("FREQ:CENT ") && !heard[i].endsWith("*OPC?"))
                tuned << heard[i].mid(10).split(';').first().toDouble();
        }
        return tuned;
    }

    /// What "Export CSV ..." of `w` writes to `name`, without the line of when it was written.
    static QByteArray ExportedCsv(Program &p, TForm1 &w, const QString &name)
    {
        p.dialogs.files = {QDir::current().filePath(name)};
        w.ExportCSV1->trigger();
        QByteArray kept;
        for (const QByteArray &line : ReadFileBytes(name).split('\n'))
            if (!line.startsWith("# Exported"))
                kept += line + '\n';
        return kept;
    }

    static const QStringList &ConverterSimulator()
    {
        static const QStringList args{"--format", "sci", "--dut-gain-slope", "0", "--dut-nf-slope", "0",
                                      "--dut-type", "down", "--lo", "9GHz"};
        return args;
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

    void untunablePlanIsRefusedBeforeAnythingIsSent_data()
    {
        QTest::addColumn<bool>("measurement");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("calibration across the LO") << false << "8 GHz" << "10.5 GHz"
                                                   << "Step 2 (9.25 GHz): the plan crosses the LO at 9 GHz.";
        QTest::newRow("measurement with an IF of 0 Hz") << true << "11 GHz" << "9 GHz"
                                                        << "Step 3 (9 GHz): the IF would be 0 Hz, at or below 0 Hz.";
    }
    void untunablePlanIsRefusedBeforeAnythingIsSent()
    {
        QFETCH(bool, measurement);
        QFETCH(QString, start);
        QFETCH(QString, stop);
        QFETCH(QString, refusal);
        Program p(ConverterSimulator());
        TForm1 &w = p.w();
        QVERIFY(setConverter(p));
        QVERIFY(p.connect());
        if (measurement)
            QVERIFY(p.calibrate());
        const int heard = p.sim->settledLineCount();
        QVERIFY(heard > 0);
        w.e_Start->setText(start);
        w.e_Stop->setText(stop);
        p.dialogs.messages.clear();
        QTest::mouseClick(measurement ? w.b_Measure : w.b_Start, Qt::LeftButton);
        QCOMPARE(p.messageTexts(), QStringList{refusal});
        QCOMPARE(p.dialogs.messages.first().type, MsgType::Error);
        QVERIFY(!p.passRunning());
        QCOMPARE(p.sim->settledLineCount(), heard);
    }

    void converterMeasurementInFiles()
    {
        Program p(ConverterSimulator());
        TForm1 &w = p.w();
        QVERIFY(setConverter(p));
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        QVERIFY(p.measure());
        const QByteArray csv = ExportedCsv(p, w, QStringLiteral("window.csv"));
        const QList<QByteArray> lines = csv.split('\n');
        const auto titles = std::find_if(lines.begin(), lines.end(), [](const QByteArray &l) { return l.startsWith("Frequency (Hz),"); });
        QVERIFY(titles != lines.end());
        for (const char *column : {"IF (Hz)", "Loss before (dB)", "Loss after (dB)", "Uncertainty (dB)"})
            QVERIFY2(titles->contains(column), titles->constData());
        QVERIFY(csv.contains("# DUT type: Down-converter"));
        QVERIFY(csv.contains("\n10000000000,1000000000,"));

        // Saved as a measurement file, the operator hears what it cannot keep.
        p.dialogs.messages.clear();
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("run"))};
        w.Speichern1->trigger();
        QCOMPARE(p.dialogs.messages.size(), 1);
        QVERIFY2(p.dialogs.lastMessage().contains(QStringLiteral("DUT type, LO and image rejection")),
                 qPrintable(p.dialogs.lastMessage()));
        QCOMPARE(ReadFileBytes(QStringLiteral("run.mea")).size(), 5040);
        // A complete measurement file keeps everything, without a question.
        p.dialogs.messages.clear();
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("run.nfm"))};
        w.Speichern1->trigger();
        QVERIFY2(p.dialogs.messages.isEmpty(), qPrintable(p.dialogs.lastMessage()));

        // The measurement file loaded, the plan is still tuned to the IFs: the next calibration
        // tunes the analyser to them, and the measurement against it is the DUT's.
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("run.mea"))};
        w.Laden1->trigger();
        QCOMPARE(w.MeasurementRecord.SweepPlan.Conversion, DutType::DownConverter);
        QCOMPARE(w.MeasurementRecord.SweepPlan.tuneHz(2), 3e9);
        const int before = p.sim->settledLineCount();
        QVERIFY(p.calibrate());
        QCOMPARE(TunedFrom(p, before), (QList<double>{1e9, 2e9, 3e9}));
        QVERIFY(p.measure());
        for (int i = 0; i <= 2; ++i)
            QVERIFY2(std::fabs(w.MeasurementRecord.NoiseFigureDb[i] - 3.0) <= 0.05,
                     qPrintable(QString::number(w.MeasurementRecord.NoiseFigureDb[i])));

        // A fresh window at the designed bench loads the complete file: the bench, the plan's
        // tuning and the same CSV come back.
        TForm1 fresh;
        fresh.show();
        QVERIFY(fresh.Bench.isDefault());
        p.dialogs.messages.clear();
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("run.nfm"))};
        fresh.Laden1->trigger();
        QVERIFY2(p.dialogs.messages.isEmpty(), qPrintable(p.dialogs.lastMessage()));
        QVERIFY(fresh.Bench == w.Bench);
        QCOMPARE(fresh.l_Bench->text(), w.l_Bench->text());
        QCOMPARE(fresh.MeasurementRecord.SweepPlan.tuneHz(0), 1e9);
        QCOMPARE(ExportedCsv(p, fresh, QStringLiteral("fresh.csv")), csv);
    }
};

QTEST_MAIN(TestBenchWindowRun)
#include "tst_bench_window.moc"
