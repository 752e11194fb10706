// "Measure" against the calibration it follows, through the real window and the analyser
// simulator: a changed plan, mode, bandwidth, averaging, attenuation or level setting is
// refused before anything is asked or sent; the calibration's state shows on the "Options"
// page and ends with the connection.

#include "helper_window.h"

#include "app/widgets.h"
#include "run/calibration_state.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

using namespace e2e;

class TestCalibrationState : public QObject
{
    Q_OBJECT

private slots:
    void measureAfterAChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("refused");
        QTest::newRow("nothing") << QString() << false;
        QTest::newRow("start") << QStringLiteral("start") << true;
        QTest::newRow("steps") << QStringLiteral("steps") << true;
        QTest::newRow("mode") << QStringLiteral("mode") << true;
        QTest::newRow("rbw") << QStringLiteral("rbw") << true;
        QTest::newRow("stop") << QStringLiteral("stop") << true;
        QTest::newRow("vbw") << QStringLiteral("vbw") << true;
        QTest::newRow("average") << QStringLiteral("average") << true;
        QTest::newRow("rf att") << QStringLiteral("rfatt") << true;
        QTest::newRow("ref lvl") << QStringLiteral("reflvl") << true;
        QTest::newRow("range") << QStringLiteral("range") << true;
        QTest::newRow("changed and back") << QStringLiteral("back") << false;
    }

    void measureAfterAChange()
    {
        QFETCH(QString, change);
        QFETCH(bool, refused);
        Program p;
        TForm1 &w = p.w();
        w.se_steps->setValue(1);
        QVERIFY(p.connect());
        QCOMPARE(w.l_Calibrated->text(), QStringLiteral("Not calibrated"));
        QVERIFY(p.calibrate());
        QVERIFY2(QRegularExpression(QStringLiteral("^Calibrated: 400 MHz to 500 MHz, 2 points, \\d\\d:\\d\\d$"))
                     .match(w.l_Calibrated->text()).hasMatch(),
                 qPrintable(w.l_Calibrated->text()));

        if (change == QStringLiteral("start"))
            w.e_Start->setText(QStringLiteral("410 MHz"));
        else if (change == QStringLiteral("steps"))
            w.se_steps->setValue(2);
        else if (change == QStringLiteral("mode"))
            QTest::mouseClick(w.rg_Sweep->button(1), Qt::LeftButton);
        else if (change == QStringLiteral("rbw"))
            w.cb_rbw->setCurrentIndex(6);
        else if (change == QStringLiteral("stop"))
            w.e_Stop->setText(QStringLiteral("600 MHz"));
        else if (change == QStringLiteral("vbw"))
            w.cb_vbw->setCurrentIndex(4);
        else if (change == QStringLiteral("average"))
            w.cb_Average->setCurrentIndex(0);
        else if (change == QStringLiteral("rfatt"))
            w.cb_RFAtt->setCurrentIndex(1);
        else if (change == QStringLiteral("reflvl"))
            w.e_RefLvl->setText(QStringLiteral("-10 dBm"));
        else if (change == QStringLiteral("range"))
            w.e_Range->setText(QStringLiteral("50 dB"));
        else if (change == QStringLiteral("back")) {
            w.cb_rbw->setCurrentIndex(6);
            w.cb_rbw->setCurrentIndex(7);
        }

        const qsizetype sent = p.sim->lines().size();
        p.dialogs.messages.clear();
        QTest::mouseClick(w.b_Measure, Qt::LeftButton);
        if (refused) {
            QCOMPARE(p.messageTexts(), QStringList{CalibrationRefusalText()});
            QCOMPARE(p.dialogs.messages.first().type, MsgType::Error);
            QCOMPARE(CalibrationRefusalText(),
                     QStringLiteral("The settings changed since the calibration. Please calibrate again."));
            QTest::qWait(50);
            QVERIFY(!p.passRunning());
            QCOMPARE(p.sim->lines().size(), sent);
            // A new calibration with the new settings lets the measurement run.
            QVERIFY(p.calibrate());
            QVERIFY(p.measure());
        } else {
            QVERIFY(ServeEventsUntil([&] { return !p.passRunning(); }, 30000));
            QVERIFY(w.Speichern1->isEnabled());
            QCOMPARE(p.messageTexts(), QStringList{QStringLiteral("Connect DUT between Noise Source and FSP !")});
        }
    }

    void disconnectEndsTheCalibration()
    {
        Program p;
        TForm1 &w = p.w();
        w.se_steps->setValue(1);
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        QVERIFY(w.l_Calibrated->text().startsWith(QStringLiteral("Calibrated: ")));
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QCOMPARE(w.l_Calibrated->text(), QStringLiteral("Not calibrated"));
        QVERIFY(!w.Options->Calibration.valid);

        // A calibration cancelled at its question leaves none behind: the set-up has changed
        // the analyser all the same.
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        p.dialogs.answers = {MsgResult::Cancel};
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QCOMPARE(w.l_Calibrated->text(), QStringLiteral("Not calibrated"));
        p.dialogs.messages.clear();
        QTest::mouseClick(w.b_Measure, Qt::LeftButton);
        QCOMPARE(p.messageTexts(), QStringList{CalibrationRefusalText(CalibrationItem::Cancelled)});
    }

    /// A second calibration cancelled midway: "Measure" is still enabled, and refuses with the
    /// reason, not with settings that did not change.
    void cancelledCalibrationIsNamed()
    {
        Program p({QStringLiteral("--delay"), QStringLiteral("20")});
        TForm1 &w = p.w();
        w.se_steps->setValue(5);
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return p.passRunning() && w.MeasurementRecord.SweepPlan.StepIndex >= 1; }, 20000));
        QTest::mouseClick(p.progress->Button1, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return !p.passRunning(); }, 10000));
        QVERIFY(w.b_Measure->isEnabled());
        QCOMPARE(w.l_Calibrated->text(), QStringLiteral("Not calibrated"));
        p.dialogs.messages.clear();
        // The cancelled pass's last lines may still be on their way to the late simulator.
        const qsizetype sent = p.sim->settledLineCount();
        QCOMPARE(qint64(sent), w.Link->linesSent());
        QTest::mouseClick(w.b_Measure, Qt::LeftButton);
        QCOMPARE(p.messageTexts(),
                 QStringList{QStringLiteral("The last calibration was cancelled. Please calibrate again.")});
        QTest::qWait(50);
        QCOMPARE(p.sim->lines().size(), sent);
        QVERIFY(p.calibrate());
        QVERIFY(p.measure());
    }

    /// While the search or a pass runs the window takes no input: the menus do nothing and
    /// closing is refused; "Cancel" still ends the pass, and the window closes afterwards.
    void noInputWhileTheProgramWorks()
    {
        for (const bool pass : {false, true}) {
            // A silent analyser keeps the search waiting its five seconds; a slow one keeps
            // the pass running.
            Program p(pass ? QStringList{QStringLiteral("--delay"), QStringLiteral("20")}
                           : QStringList{QStringLiteral("--stop-after"), QStringLiteral("0")});
            TForm1 &w = p.w();
            if (pass) {
                w.se_steps->setValue(20);
                QVERIFY(p.connect());
                QTest::mouseClick(w.b_Start, Qt::LeftButton);
                QVERIFY(ServeEventsUntil([&] { return p.passRunning() && w.MeasurementRecord.SweepPlan.StepIndex >= 1; }, 20000));
            } else {
                w.cb_COM->setEditText(QStringLiteral("1"));
                QTest::mouseClick(w.b_connect, Qt::LeftButton);
                QVERIFY(ServeEventsUntil([&] { return w.statusText().startsWith(QStringLiteral("Searching")); }, 5000));
                QVERIFY(ServeEventsUntil([&] { return !w.MainWindowEnabled(); }, 2000));
            }
            const qsizetype asked = p.dialogs.filterIndexes.size();
            p.dialogs.messages.clear();
            w.Laden1->trigger();
            w.About1->trigger();
            w.Beenden1->trigger();
            QVERIFY(!w.close());
            QVERIFY(w.isVisible());
            QCOMPARE(p.dialogs.filterIndexes.size(), asked);
            QVERIFY2(p.dialogs.messages.isEmpty(), qPrintable(p.dialogs.lastMessage()));
            if (pass) {
                QVERIFY(p.passRunning());
                QTest::mouseClick(p.progress->Button1, Qt::LeftButton);
                QVERIFY(ServeEventsUntil([&] { return !p.passRunning(); }, 10000));
            } else {
                QVERIFY(ServeEventsUntil([&] { return w.MainWindowEnabled(); }, 10000));
                QCOMPARE(w.statusText(), QStringLiteral("Could not open FSP !"));
            }
            QVERIFY(w.MainWindowEnabled());
            QVERIFY(w.close());
        }
    }
};

QTEST_MAIN(TestCalibrationState)
#include "tst_calibration_state.moc"
