// The connection through the real window when things go wrong or the operator steps in:
// nothing answering the search, Cancel in a pass, the disconnect's restore, a line that hangs
// up in a pass, an analyser that stops answering the set-up, and a reading that is no number.

#include "helper_window.h"

#include "analyser/helper_link.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

using namespace e2e;
using link_test::PtyPeer;

namespace {
bool isFailedSearch(TForm1 &w)
{
    return w.statusText() == QStringLiteral("Could not open FSP !");
}
}  // namespace

class TestLinkFailures : public QObject
{
    Q_OBJECT

private slots:
    void searchWithNothingAnswering_data()
    {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<bool>("silentPeer");
        QTest::addColumn<QString>("openFailure");  // the status at once when the port does not open
        QTest::newRow("keiner: port 0 never opens") << "keiner" << false << "Could not open FSP ! COM0: no such port";
        QTest::newRow("a port that exists but stays silent") << "2" << true << "";
        QTest::newRow("no such port") << "9" << false << "Could not open FSP ! COM9: no such port";
    }
    void searchWithNothingAnswering()
    {
        QFETCH(QString, portText);
        QFETCH(bool, silentPeer);
        QFETCH(QString, openFailure);
        Program p({}, false);
        TForm1 &w = p.w();
        std::unique_ptr<PtyPeer> peer;
        if (silentPeer) {
            peer = std::make_unique<PtyPeer>(2);
            QVERIFY(peer->ok());
        }
        w.cb_COM->setEditText(portText);
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        if (!openFailure.isEmpty()) {
            // A port that cannot be opened starts no search: the reason at once, the settings free.
            QCOMPARE(w.statusText(), openFailure);
            QVERIFY(w.gb_com->isEnabled());
            QVERIFY(w.b_connect->isEnabled());
            QCOMPARE(w.b_connect->text(), QStringLiteral("Connect"));
            QVERIFY(w.MainWindowEnabled());
            QVERIFY(!w.Link->isOpen());
            QVERIFY(!w.Link->timer().isActive());
            QTest::qWait(200);
            QCOMPARE(w.statusText(), openFailure);
            return;
        }
        QCOMPARE(w.statusText(), QStringLiteral("Searching for FSP ..."));
        QVERIFY(!w.b_connect->isEnabled());
        QVERIFY(!w.gb_com->isEnabled());
        QVERIFY(ServeEventsUntil([&] { return !w.MainWindowEnabled(); }, 1000));
        QVERIFY(ServeEventsUntil([&] { return isFailedSearch(w); }, 15000));
        QVERIFY(w.gb_com->isEnabled());
        QVERIFY(w.b_connect->isEnabled());
        QCOMPARE(w.b_connect->text(), QStringLiteral("Connect"));
        QVERIFY(!w.b_Start->isEnabled());
        QVERIFY(w.MainWindowEnabled());
        QVERIFY(!w.Link->serialPort().Active());
        QVERIFY(!w.Link->timer().isActive());
        if (peer)
            QCOMPARE(peer->received(), QByteArray("*idn?\r\n"));
    }

    void searchWaitsSecondsWhateverTheTickRate_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<bool>("found");
        QTest::newRow("identification after 2 s") << QStringList{"--delay", "2000"} << true;
        QTest::newRow("300 baud") << QStringList{"--baud", "300"} << true;
        QTest::newRow("identification after 7 s") << QStringList{"--delay", "7000"} << false;
    }
    void searchWaitsSecondsWhateverTheTickRate()
    {
        // The search gives the analyser five seconds of the clock, however fast the timer ticks.
        QFETCH(QStringList, simArgs);
        QFETCH(bool, found);
        Program p(simArgs);
        TForm1 &w = p.w();
        QElapsedTimer clock;
        clock.start();
        w.cb_COM->setEditText(QStringLiteral("1"));
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return isFailedSearch(w) || w.statusText().startsWith(QStringLiteral("Device: ")); },
                        15000));
        const qint64 ms = clock.elapsed();
        QCOMPARE(w.statusText().startsWith(QStringLiteral("Device: ")), found);
        if (!found) {
            QVERIFY2(ms >= 5000 && ms < 6000, qPrintable(QString::number(ms)));
            QVERIFY(!w.Link->timer().isActive());
        }
    }

    void cancelInTheMiddleOfAPass()
    {
        // Answers 3 ms late, so the pass takes long enough to be caught in the middle.
        Program p({QStringLiteral("--delay"), QStringLiteral("3")});
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return w.MeasurementRecord.SweepPlan.StepIndex >= 2; }));
        QVERIFY(p.progress->isVisible());
        QVERIFY(!w.MainWindowEnabled());
        QVERIFY(p.progress->isEnabled());
        QCOMPARE(p.progress->windowTitle(), QStringLiteral("... calibration in progress ..."));
        QVERIFY(p.progress->Label1->text().startsWith(QStringLiteral("Step")));
        QTest::mouseClick(p.progress->Button1, Qt::LeftButton);
        // The window closes at once and the main window is usable; the sequencer stops at its
        // next tick.
        QVERIFY(!p.progress->isVisible());
        QVERIFY(w.MainWindowEnabled());
        QVERIFY(ServeEventsUntil([&] { return !w.Link->passRunning(); }, 1000));
        QCOMPARE(SequencerStateName(w.Link->sequencer().SequencerState), SequencerStateName(StateIdle));
        QVERIFY(!w.Link->sequencer().CancelRequested);
        QVERIFY(!w.b_Measure->isEnabled());  // no calibration has completed
        // Every line the program wrote has arrived, and nothing more goes out.
        const int sent = p.sim->settledLineCount();
        QCOMPARE(qint64(sent), w.Link->linesSent());
        QTest::qWait(100);
        QCOMPARE(int(p.sim->lines().size()), sent);  // nothing more goes out

        // A later calibration runs through, whatever reply the cancelled one left behind.
        QVERIFY(p.calibrate());
        QVERIFY(w.b_Measure->isEnabled());
    }

    void closingTheProgressWindowDoesNotStopThePass()
    {
        Program p({QStringLiteral("--delay"), QStringLiteral("2")});
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return w.MeasurementRecord.SweepPlan.StepIndex >= 1; }));
        p.progress->close();  // the title-bar box
        QVERIFY(w.MainWindowEnabled());
        QVERIFY(w.Link->passRunning());
        QVERIFY(ServeEventsUntil([&] { return !w.Link->passRunning(); }, 20000));
        QVERIFY(w.b_Measure->isEnabled());
    }

    void disconnectAfterCalibrationRestoresFirst()
    {
        Program p({QStringLiteral("--delay"), QStringLiteral("40")});
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        w.se_steps->setValue(1);
        QVERIFY(p.calibrate(20000));
        QVERIFY(w.Link->stateSaved());
        const int before = int(p.sim->lines().size());
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        // The port closes only after the answer to the restore command.
        QVERIFY2(t.elapsed() >= 38, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!w.Link->serialPort().Active());
        QVERIFY(!w.Link->stateSaved());
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        QCOMPARE(w.b_connect->text(), QStringLiteral("Connect"));
        QVERIFY(w.gb_com->isEnabled());
        QVERIFY(!w.b_Start->isEnabled());
        QVERIFY(!w.b_Measure->isEnabled());
        QVERIFY(!w.b_Measure2->isEnabled());
        QVERIFY(p.sim->waitLines(before + 1));
        QCOMPARE(p.sim->lines().mid(before), QList<QByteArray>{RestoreCommand});
    }

    void disconnectWithoutCalibrationSendsNoRestore()
    {
        Program p;
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        QCOMPARE(qint64(p.sim->settledLineCount()), w.Link->linesSent());
        QCOMPARE(p.sim->lines(), QList<QByteArray>{"*idn?"});
        // And connecting again works.
        QVERIFY(p.connect());
    }

    void closingTheProgramDisconnects()
    {
        Program p;
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        w.se_steps->setValue(1);
        QVERIFY(p.calibrate());
        w.close();
        QVERIFY(!w.Link->serialPort().Active());
        QCOMPARE(p.sim->lines().last(), RestoreCommand);
    }

    void hangUpInThePass_data()
    {
        // Search 1 line, set-up 23, sweep time 1, then 15 a frequency; the measurement rows
        // measure over two frequencies after a calibration of 1 + 23 + 1 + 30 lines.
        QTest::addColumn<QString>("lines");
        QTest::addColumn<bool>("measurement");
        QTest::newRow("third frequency of the calibration pass") << "60" << false;
        QTest::newRow("right after the sweep time's answer") << "25" << false;
        QTest::newRow("second frequency of the measurement pass") << "75" << true;
    }
    void hangUpInThePass()
    {
        // The pass ends as Cancel ends it and the window shows the disconnected state. An
        // answer that arrived before the hang-up must not cover the news that the line is gone.
        QFETCH(QString, lines);
        QFETCH(bool, measurement);
        Program p({QStringLiteral("--hangup-after"), lines});
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        if (measurement) {
            w.se_steps->setValue(1);
            QVERIFY(p.calibrate());
            QTest::mouseClick(w.b_Measure, Qt::LeftButton);
        } else {
            QTest::mouseClick(w.b_Start, Qt::LeftButton);
        }
        QVERIFY(ServeEventsUntil([&] { return w.statusText() == QStringLiteral("FSP connection lost"); }, 10000));
        QVERIFY(!w.Link->passRunning());
        QVERIFY(!p.progress->isVisible());
        QVERIFY(w.MainWindowEnabled());
        QTest::qWait(50);
        QCOMPARE(w.statusText(), QStringLiteral("FSP connection lost"));
        // Disconnected: the line is closed, without waiting for an answer that cannot come.
        QVERIFY(!w.Link->serialPort().Active());
        QVERIFY(!w.Link->isOpen());
        QCOMPARE(w.b_connect->text(), QStringLiteral("Connect"));
        QVERIFY(w.b_connect->isEnabled());
        QVERIFY(w.gb_com->isEnabled());
        QVERIFY(!w.b_Start->isEnabled());
        QVERIFY(!w.b_Measure->isEnabled());
        QVERIFY(!w.b_Measure2->isEnabled());
        QVERIFY(!p.messageTexts().contains(QStringLiteral("FSP does not answer: ") + QString::fromLatin1(RestoreCommand)));
        if (measurement)  // the step display and the record keep the first frequency
            QVERIFY(w.MeasurementRecord.N12on[0] != 0.0);
    }

    void silentAnalyserInEachPass_data()
    {
        QTest::addColumn<QString>("answered");
        QTest::addColumn<bool>("measurement");
        QTest::addColumn<QString>("command");
        // 25 lines to the sweep time, 8 more to the first reading's query.
        QTest::newRow("calibration, first reading") << "33" << false << "CALC:MARK1:Y?";
        QTest::newRow("calibration, settling sweeps") << "30" << false << "INIT:IMM; *WAI; *OPC?";
        // 55 lines of search, set-up and calibration over two frequencies, the sweep time,
        // then 8 more to the reading.
        QTest::newRow("measurement, first reading") << "64" << true << "CALC:MARK1:Y?";
        QTest::newRow("measurement, the sweep time") << "55" << true << "SWE:TIME?";
    }
    void silentAnalyserInEachPass()
    {
        QFETCH(QString, answered);
        QFETCH(bool, measurement);
        QFETCH(QString, command);
        Program p({QStringLiteral("--stop-after"), answered});
        TForm1 &w = p.w();
        w.Link->setReplyTimeoutMs(600);  // the pass's bound: this and the sweeps asked for
        QVERIFY(p.connect());
        w.se_steps->setValue(1);
        if (measurement) {
            QVERIFY(p.calibrate());
            QTest::mouseClick(w.b_Measure, Qt::LeftButton);
        } else {
            QTest::mouseClick(w.b_Start, Qt::LeftButton);
        }
        QElapsedTimer t;
        t.start();
        QVERIFY(ServeEventsUntil([&] { return !w.Link->passRunning(); }, 5000));
        QVERIFY2(t.elapsed() >= 550, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(p.dialogs.lastMessage(), QStringLiteral("FSP does not answer: ") + command);
        QCOMPARE(p.dialogs.messages.last().type, MsgType::Error);
        QVERIFY(!p.progress->isVisible());
        QVERIFY(w.MainWindowEnabled());
        QCOMPARE(w.b_connect->text(), QStringLiteral("Disconnect"));  // the line stays
        // Every line the program wrote has arrived, and nothing more goes out.
        const int sent = p.sim->settledLineCount();
        QCOMPARE(qint64(sent), w.Link->linesSent());
        QTest::qWait(100);
        QCOMPARE(int(p.sim->lines().size()), sent);  // nothing more goes out
    }

    void answerTakenAfterTheHangUp()
    {
        // The test plays the analyser: its answer to "SWE:TIME?" and the hang-up arrive
        // together, so the pass takes the answer only after the line is gone.
        Program p({}, false);
        TForm1 &w = p.w();
        PtyPeer peer(2);
        QVERIFY(peer.ok());
        w.cb_COM->setEditText(QStringLiteral("2"));
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY(peer.waitReceived("*idn?\r\n"));
        peer.write("Bench,FSP-SIM,1,1.0\r\n");
        QVERIFY(ServeEventsUntil([&] { return w.b_Start->isEnabled(); }));
        peer.clearReceived();
        // Every set-up command waits for its "*OPC?" answer inside the click; the calibration
        // pass then asks for the sweep time. The answers come from a timer meanwhile.
        int answered = 0;
        bool hungUp = false;
        QTimer analyser;
        QObject::connect(&analyser, &QTimer::timeout, [&] {
            const QByteArray in = peer.received();
            if (hungUp)
                return;
            if (in.contains("SWE:TIME?\r\n")) {
                peer.write("4.000000E-03\r\n");
                peer.hangUp();
                hungUp = true;
            } else if (in.count("*OPC?\r\n") > answered) {
                ++answered;
                peer.write("1\r\n");
            }
        });
        analyser.start(1);
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return hungUp; }));
        ServeEventsUntil([&] { return w.statusText() == QStringLiteral("FSP connection lost"); });
        QCOMPARE(w.statusText(), QStringLiteral("FSP connection lost"));
        QTest::qWait(50);
        QCOMPARE(w.statusText(), QStringLiteral("FSP connection lost"));
        QVERIFY(!w.Link->passRunning());
        QVERIFY(!p.progress->isVisible());
        QCOMPARE(w.b_connect->text(), QStringLiteral("Connect"));
        QVERIFY(!w.Link->isOpen());
    }

    void setUpNotAnswered()
    {
        // The search and the first nine set-up commands are answered, BAND:VID is not.
        Program p({QStringLiteral("--stop-after"), QStringLiteral("10")});
        TForm1 &w = p.w();
        w.Link->setReplyTimeoutMs(600);
        QVERIFY(p.connect());
        int ticks = 0;
        QStringList statusTexts;  // what the status bar said while the click waited
        QTimer other;
        QObject::connect(&other, &QTimer::timeout, [&] {
            ++ticks;
            if (statusTexts.isEmpty() || statusTexts.last() != w.statusText())
                statusTexts << w.statusText();
        });
        other.start(20);
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        // Half a second without an answer: the operator is told why nothing happens, and the
        // status bar has its text back once the wait is over.
        QVERIFY2(statusTexts.contains(QStringLiteral("Waiting for the analyser ...")), qPrintable(statusTexts.join(u'|')));
        QCOMPARE(statusTexts.first(), QStringLiteral("Initialize FSP ..."));
        QCOMPARE(w.statusText(), QStringLiteral("Initialize FSP ..."));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));  // events were served meanwhile
        QCOMPARE(p.messageTexts(), (QStringList{QStringLiteral("FSP does not answer: BAND:VID 10 Hz;*OPC?"),
                                                QStringLiteral("Error on opening!")}));
        QVERIFY(!w.Link->passRunning());
        QVERIFY(!p.progress->isVisible());
        QVERIFY(w.MainWindowEnabled());
        QCOMPARE(int(p.sim->lines().size()), 1 + 10);  // nothing sent after the unanswered one
        // The analyser stored its settings before the reset, so Disconnect tries to bring them
        // back, is told of the silence, and closes all the same.
        QVERIFY(w.Link->stateSaved());
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY(!w.Link->serialPort().Active());
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        QCOMPARE(p.messageTexts().last(), QStringLiteral("FSP does not answer: ") + QString::fromLatin1(RestoreCommand));
    }

    void readingThatIsNoNumber()
    {
        Program p({QStringLiteral("--garbage-once")});
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return !p.dialogs.messages.isEmpty() && p.dialogs.messages.last().type == MsgType::Error; }));
        QCOMPARE(p.dialogs.lastMessage(), QStringLiteral("'?#%garbage%#?' ist kein gültiger Gleitkommawert"));
        // After the message the pass ends as Cancel ends it; nothing more is shown or sent.
        QVERIFY(ServeEventsUntil([&] { return !w.Link->passRunning(); }, 1000));
        QCOMPARE(SequencerStateName(w.Link->sequencer().SequencerState), SequencerStateName(StateIdle));
        QVERIFY(!p.progress->isVisible());
        QVERIFY(w.MainWindowEnabled());
        // Every line the program wrote has arrived, and nothing more goes out.
        const int sent = p.sim->settledLineCount();
        QCOMPARE(qint64(sent), w.Link->linesSent());
        QTest::qWait(100);
        QCOMPARE(p.dialogs.messages.count(), 2);
        QCOMPARE(int(p.sim->lines().size()), sent);
        QVERIFY(!w.b_Measure->isEnabled());
        QCOMPARE(w.b_connect->text(), QStringLiteral("Disconnect"));
    }

    void declinedPrompts()
    {
        Program p;
        TForm1 &w = p.w();
        QVERIFY(p.connect());
        // Calibration: the operator does not confirm the noise source.
        p.dialogs.answers = {MsgResult::Cancel};
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QCOMPARE(p.messageTexts(), (QStringList{QStringLiteral("Connect Noise Source direct at FSP !"),
                                                QStringLiteral("Error on opening!")}));
        QCOMPARE(p.dialogs.messages.last().type, MsgType::Error);
        QCOMPARE(p.dialogs.messages.last().buttons, MsgButtons::OkCancel);
        QTest::qWait(20);
        QVERIFY(!w.Link->passRunning());
        QVERIFY(!p.progress->isVisible());
        // The set-up has run all the same; the pass has not.
        QVERIFY(w.Link->stateSaved());
        QCOMPARE(qint64(p.sim->settledLineCount()), w.Link->linesSent());
        QVERIFY(!p.sim->lines().contains("SWE:TIME?"));

        // Measurement: declining does nothing at all.
        w.se_steps->setValue(1);
        QVERIFY(p.calibrate());
        const int sent = int(p.sim->lines().size());
        p.dialogs.messages.clear();
        p.dialogs.answers = {MsgResult::Cancel};
        QTest::mouseClick(w.b_Measure, Qt::LeftButton);
        QCOMPARE(p.messageTexts(), QStringList{QStringLiteral("Connect DUT between Noise Source and FSP !")});
        QTest::qWait(20);
        QVERIFY(!w.Link->passRunning());
        QCOMPARE(int(p.sim->lines().size()), sent);
    }

    void calibrationWithoutAnOpenPort()
    {
        Program p({}, false);
        TForm1 &w = p.w();
        w.b_StartClick();  // the button is disabled; its handler on its own
        QCOMPARE(p.messageTexts(), QStringList{QStringLiteral("Error on opening!")});
        QVERIFY(!w.Link->passRunning());
        QVERIFY(!w.Link->stateSaved());
    }
};

QTEST_MAIN(TestLinkFailures)
#include "tst_link_failures.moc"
