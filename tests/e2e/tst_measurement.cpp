// A complete measurement through the real window against the analyser simulator: connect,
// calibrate, measure; the results against the simulated DUT, the analyser's command log byte
// for byte, Single mode, and the 99-step plan.

#include "helper_window.h"

#include "base/engvalue.h"
#include "app/widgets.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

using namespace e2e;

namespace {
// Readings with seven significant digits. With two decimals (-75.55) the rounding of the four
// levels alone moves the gain by up to a tenth of a dB: with the noise source at the analyser
// the source-on level lies only some 0.15 dB above the source-off level.
const QStringList kExactReadings{QStringLiteral("--format"), QStringLiteral("sci")};
}  // namespace

class TestMeasurement : public QObject
{
    Q_OBJECT

    static void checkResults(TForm1 &w, int steps)
    {
        const MeasurementRecord &r = w.MeasurementRecord;
        for (int i = 0; i <= steps; ++i) {
            const double f = r.SweepPlan.enrHz(i);
            const QString at = QStringLiteral("step %1 at %2 Hz: NF %3 dB, gain %4 dB").arg(i).arg(f, 0, 'f', 0)
                                   .arg(r.NoiseFigureDb[i]).arg(r.GainDb[i]);
            QVERIFY2(std::fabs(r.NoiseFigureDb[i] - DutNoiseFigureDb(f)) <= 0.05, qPrintable(at));
            QVERIFY2(std::fabs(r.GainDb[i] - DutGainDb(f)) <= 0.05, qPrintable(at));
            QVERIFY2(!w.Graphic->StepEvaluationFailed[i], qPrintable(at));
        }
    }

    static void expectNoTicksWhileIdle(TForm1 &w)
    {
        QVERIFY(!w.Link->timer().isActive());
        const quint64 ticks = w.Link->ticks();
        QTest::qWait(50);
        QCOMPARE(w.Link->ticks(), ticks);
    }

private slots:
    void designedPlan()
    {
        Program p(kExactReadings);
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        QCOMPARE(w.b_connect->text(), QStringLiteral("Disconnect"));
        QVERIFY(w.b_Start->isEnabled());
        QVERIFY(!w.gb_com->isEnabled());
        QVERIFY(w.MainWindowEnabled());
        QCOMPARE(w.Link->timer().interval(), 1);
        QCOMPARE(w.Link->timer().timerType(), Qt::PreciseTimer);
        // Connected and idle: the timer stands still until a pass needs it.
        expectNoTicksWhileIdle(w);

        QVERIFY(p.calibrate());
        expectNoTicksWhileIdle(w);
        QCOMPARE(w.PageControl1->currentIndex(), 0);
        QVERIFY(w.b_Measure2->isEnabled());
        QVERIFY(!w.Speichern1->isEnabled());
        QVERIFY(!p.progress->isVisible());
        QVERIFY(w.MainWindowEnabled());
        QCOMPARE(w.e_Sweep->text(), QStringLiteral("4.000000E-03 s"));
        QVERIFY(p.messageTexts().contains(QStringLiteral("Connect Noise Source direct at FSP !")));

        QVERIFY(p.measure());
        expectNoTicksWhileIdle(w);
        QCOMPARE(w.PageControl1->currentIndex(), 1);
        QVERIFY(!p.progress->isVisible());
        QCOMPARE(w.se_Freq->maximum(), 10);
        QCOMPARE(w.se_Freq->value(), 10);
        checkResults(w, 10);
        QVERIFY(!p.messageTexts().contains(QStringLiteral("Error by calculating!")));

        const MeasurementHeader &h = w.MeasurementRecord.MeasurementHeader;
        QCOMPARE(h.RbwIndex, 7);
        QCOMPARE(h.VbwIndex, 2);
        QCOMPARE(h.AverageIndex, 2);
        QCOMPARE(h.StepsCount, 10);
        QCOMPARE(h.EnrSource, 0);
        QCOMPARE(h.StartSingle, 400e6f);
        QCOMPARE(h.StopSingle, 500e6f);

        // The analyser's log, byte for byte: search, set-up, calibration pass, measurement pass.
        QList<QByteArray> expected{"*idn?"};
        expected += DesignedSetup();
        expected += "SWE:TIME?";
        for (int i = 0; i <= 10; ++i) {
            const QByteArray hz = QByteArray::number(400000000 + i * 10000000);
            expected += FrequencyDialogue(false, hz, hz);
        }
        expected += "SWE:TIME?";
        for (int i = 0; i <= 10; ++i) {
            const QByteArray hz = QByteArray::number(400000000 + i * 10000000);
            expected += FrequencyDialogue(true, hz, hz + ".00 Hz");
        }
        QVERIFY(p.sim->waitLines(int(expected.size())));
        QCOMPARE(p.sim->lines(), expected);

        // A bandwidth typed by hand is none of the list's positions. Measuring with it needs a
        // calibration with it.
        w.cb_rbw->setEditText(QStringLiteral("2 MHz"));
        QVERIFY(p.calibrate());
        QVERIFY(p.measure());
        QCOMPARE(h.RbwIndex, -1);
    }

    void ninetyNineSteps()
    {
        Program p(kExactReadings);
        TForm1 &w = p.w();
        w.e_Start->setText(QStringLiteral("100 MHz"));
        w.e_Stop->setText(QStringLiteral("1.09 GHz"));
        w.se_steps->setValue(99);
        QVERIFY(p.connect());
        QElapsedTimer t;
        t.start();
        QVERIFY(p.calibrate());
        const qint64 calibrationMs = t.restart();
        QVERIFY(p.measure());
        const qint64 measurementMs = t.elapsed();
        qInfo("99-step plan: calibration %lld ms, measurement %lld ms", calibrationMs, measurementMs);
        QCOMPARE(w.MeasurementRecord.SweepPlan.Steps, 99);
        QCOMPARE(w.MeasurementRecord.SweepPlan.tuneHz(99), 1.09e9);
        checkResults(w, 99);
        // The set-up centres the analyser on the first frequency.
        QVERIFY(p.sim->lines().contains("FREQ:CENT 100000000;*OPC?"));
        QVERIFY(p.sim->lines().contains("CALC:MARK1:X 1.09E09 Hz"));
    }

    void singleMode()
    {
        Program p(kExactReadings);
        TForm1 &w = p.w();
        QTest::mouseClick(w.rg_Sweep->button(1), Qt::LeftButton);
        QVERIFY(!w.PageControl1->isTabEnabled(1));
        QVERIFY(w.e_Single->isEnabled());
        QVERIFY(!w.e_Start->isEnabled());
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        QCOMPARE(w.se_Freq->maximum(), 0);
        QVERIFY(p.measure());
        QCOMPARE(w.PageControl1->currentIndex(), 2);  // "F - Calculator"
        const SweepPlan &plan = w.MeasurementRecord.SweepPlan;
        QCOMPARE(plan.Start, 100e6);
        QCOMPARE(plan.Steps, 0);
        checkResults(w, 0);
        // One frequency in each pass; the status at a pass start shows e_Start even so.
        const QList<QByteArray> lines = p.sim->lines();
        QCOMPARE(lines.count("CALC:MARK1:Y?"), 4);
        QVERIFY(lines.contains("FREQ:CENT 100000000;*OPC?"));
        QVERIFY(lines.contains("CALC:MARK1:X 100000000.00 Hz"));
    }

    void editingTheStartChangesNothingUntilTheNextPlan()
    {
        Program p({}, false);
        TForm1 &w = p.w();
        QCOMPARE(w.MeasurementRecord.SweepPlan.Start, 400e6);
        w.e_Start->setText(QStringLiteral("200 MHz"));
        QCOMPARE(w.MeasurementRecord.SweepPlan.Start, 400e6);
        QTest::mouseClick(w.rg_Sweep->button(1), Qt::LeftButton);
        QCOMPARE(w.MeasurementRecord.SweepPlan.Start, 100e6);
        QTest::mouseClick(w.rg_Sweep->button(0), Qt::LeftButton);
        QCOMPARE(w.MeasurementRecord.SweepPlan.Start, 200e6);
        QVERIFY(w.PageControl1->isTabEnabled(1));
        QVERIFY(!w.e_Single->isEnabled());
    }

    void refLevelAutoOnlyDisablesTheField()
    {
        Program p;
        TForm1 &w = p.w();
        QTest::mouseClick(w.cb_RefLvlAuto, Qt::LeftButton);
        QVERIFY(w.cb_RefLvlAuto->isChecked());
        QVERIFY(!w.e_RefLvl->isEnabled());
        QVERIFY(p.connect());
        QVERIFY(w.Options->InitialiseAnalyser());
        QVERIFY(p.sim->lines().contains("DISP:TRAC:Y:RLEV 0 dBm;*OPC?"));
        QCOMPARE(w.statusText(), QStringLiteral("Initialize FSP ..."));
        QTest::mouseClick(w.cb_RefLvlAuto, Qt::LeftButton);
        QVERIFY(w.e_RefLvl->isEnabled());
    }

    void manualCommandLine()
    {
        Program p;
        TForm1 &w = p.w();
        w.e_command->setText(QStringLiteral("SYST:DISP:UPD ON"));
        QTest::keyClick(w.e_command, Qt::Key_Return);  // not connected: nothing goes out
        QVERIFY(p.connect());
        QTest::keyClick(w.e_command, Qt::Key_Return);
        QVERIFY(p.sim->waitLines(2));
        QCOMPARE(p.sim->lines(), (QList<QByteArray>{"*idn?", "SYST:DISP:UPD ON"}));
        QCOMPARE(w.e_command->text(), QStringLiteral("SYST:DISP:UPD ON"));
    }
};

QTEST_MAIN(TestMeasurement)
#include "tst_measurement.moc"
