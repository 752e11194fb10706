// The analyser set-up: the 23 commands for the Options texts, the sweep-time table, and the
// sequence as the simulator receives it over a pseudo-terminal, each command only after the
// previous one's answer.

#include "common/designed_setup.h"
#include "analyser/analyser_setup.h"
#include "analyser/command_channel.h"
#include "analyser/analyser_dialect.h"
#include "analyser/connection.h"
#include "serial/piloport.h"

#include "helper_link.h"

#include <QTest>

using namespace link_test;

namespace {

const QList<QByteArray> &kDesignedSetup = DesignedSetupCommands();
const char kStoreState[] = "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?";
const char kRestoreState[] = "MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?";

/// The real serial component and the command channel on ports/COM<port>.
struct Link
{
    QStringList noAnswers;  // what the channel reported of commands left unanswered
    TPiloComPort port;
    PiloCommandPort commandPort{&port};
    CommandChannel channel{&commandPort};

    explicit Link(int n)
    {
        channel.OnNoAnswer = [this](const QString &m) { noAnswers.append(m); };
        port.setLineMode(true);
        port.setPort(n);
        port.OnDataAvailable = [this](TPiloComPort *sender) {
            QByteArray line;
            sender->ReadStr(line);
            channel.PiloDataAvailable(line);
        };
    }
};

}  // namespace

class TestAnalyserSetup : public QObject
{
    Q_OBJECT

private slots:
    void sweepTime_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QByteArray>("time");
        QTest::newRow("1 Hz") << 0 << QByteArray("40ms");
        QTest::newRow("3 Hz") << 1 << QByteArray("12ms");
        QTest::newRow("10 Hz") << 2 << QByteArray("4ms");
        QTest::newRow("30 Hz") << 3 << QByteArray("1.2ms");
        QTest::newRow("100 Hz") << 4 << QByteArray("0.4ms");
        QTest::newRow("300 Hz") << 5 << QByteArray("0.12ms");
        QTest::newRow("1 kHz") << 6 << QByteArray("0.12ms");
        QTest::newRow("nothing selected: the longest") << -1 << QByteArray("40ms");
        QTest::newRow("beyond the list: the longest") << 7 << QByteArray("40ms");
    }
    void sweepTime()
    {
        QFETCH(int, position);
        QFETCH(QByteArray, time);
        QCOMPARE(FspDialect::SweepTimeForVbw(position), time);
        SetupSettings s = DesignedSetupSettings();
        s.vbwIndex = position;
        QCOMPARE(FspDialect().SetupCommands(s).at(13), "SWE:TIME " + time + ";*OPC?");
    }

    void designedCommands()
    {
        QCOMPARE(FspDialect().SetupCommands(DesignedSetupSettings()), kDesignedSetup);
    }

    void textsGoOutAsTheyStand()
    {
        SetupSettings s = DesignedSetupSettings();
        s.startHz = 1234567890.5;
        s.vbwText = QStringLiteral("3 kHz");  // typed, not an item: sent all the same
        s.averageText = QStringLiteral("1000");
        s.rfAttText = QStringLiteral("20 dB");
        s.refLevelText = QStringLiteral("-20 dBm");
        s.rangeText = QStringLiteral("50 dB");
        const QList<QByteArray> c = FspDialect().SetupCommands(s);
        QCOMPARE(c.size(), kSetupCommandCount);
        QCOMPARE(c[7], QByteArray("FREQ:CENT 1234567890.5;*OPC?"));
        QCOMPARE(c[9], QByteArray("BAND:VID 3 kHz;*OPC?"));
        QCOMPARE(c[12], QByteArray("SWE:COUN 1000;*OPC?"));
        QCOMPARE(c[15], QByteArray("INP:ATT 20 dB;*OPC?"));
        QCOMPARE(c[16], QByteArray("DISP:TRAC:Y:RLEV -20 dBm;*OPC?"));
        QCOMPARE(c[17], QByteArray("DISP:TRAC:Y 50 dB;*OPC?"));
        for (const QByteArray &command : c)
            QVERIFY2(command.endsWith("*OPC?"), command.constData());
    }

    void setupAgainstTheSimulator()
    {
        WorkDir dir;
        // Every answer 25 ms after its line: a command sent before the previous answer would
        // follow it by less.
        const auto sim = SimulatorProcess::onComPort(4, {QStringLiteral("--delay"), QStringLiteral("25")});
        QVERIFY(sim->ready());
        Link l(4);
        QVERIFY(l.port.Open());
        bool stateSaved = false;
        QVERIFY(RunSetup(l.channel, DefaultDialect(), DesignedSetupSettings(), stateSaved));
        QVERIFY(stateSaved);
        QVERIFY(l.noAnswers.isEmpty());
        QVERIFY(sim->waitLines(23));
        const QList<SimulatorProcess::Entry> log = sim->entries();
        QList<QByteArray> lines;
        for (const SimulatorProcess::Entry &e : log)
            lines.append(e.line);
        QCOMPARE(lines, kDesignedSetup);
        for (int i = 1; i < log.size(); ++i)
            QVERIFY2(log[i].seconds - log[i - 1].seconds >= 0.024,
                     qPrintable(QStringLiteral("%1 followed %2 after %3 s")
                                    .arg(QString::fromLatin1(log[i].line), QString::fromLatin1(log[i - 1].line))
                                    .arg(log[i].seconds - log[i - 1].seconds)));
        // The answer of the last command is left in the slot.
        QCOMPARE(l.channel.PendingReply, QByteArray("1"));
    }

    void secondSetupStoresTheStateAgain()
    {
        WorkDir dir;
        const auto sim = SimulatorProcess::onComPort(4);
        QVERIFY(sim->ready());
        Link l(4);
        QVERIFY(l.port.Open());
        bool stateSaved = false;
        QVERIFY(RunSetup(l.channel, DefaultDialect(), DesignedSetupSettings(), stateSaved));
        SetupSettings second = DesignedSetupSettings();
        second.startHz = 1e9;
        second.vbwText = QStringLiteral("1 kHz");
        second.vbwIndex = 6;
        QVERIFY(RunSetup(l.channel, DefaultDialect(), second, stateSaved));
        QVERIFY(sim->waitLines(46));
        const QList<QByteArray> lines = sim->lines();
        QCOMPARE(lines.count(QByteArray(kStoreState)), 2);
        QCOMPARE(lines.indexOf(QByteArray(kStoreState), 23), 23 + 5);
        QCOMPARE(lines[23 + 13], QByteArray("SWE:TIME 0.12ms;*OPC?"));

        // What the second set-up stored is what the first one left: 400 MHz and 10 Hz.
        QVERIFY(l.channel.SendCommand(kRestoreState, 1));
        QVERIFY(l.channel.SendCommand("FREQ:CENT?", 1));
        QCOMPARE(l.channel.PendingReply, QByteArray("400000000"));
        QVERIFY(l.channel.SendCommand("BAND:VID?", 1));
        QCOMPARE(l.channel.PendingReply, QByteArray("10"));
    }

    void analyserStopsAnsweringMidway()
    {
        WorkDir dir;
        const auto sim = SimulatorProcess::onComPort(4, {QStringLiteral("--stop-after"), QStringLiteral("7")});
        QVERIFY(sim->ready());
        Link l(4);
        l.channel.ReplyTimeoutMs = 500;
        QVERIFY(l.port.Open());
        bool stateSaved = false;
        QVERIFY(!RunSetup(l.channel, DefaultDialect(), DesignedSetupSettings(), stateSaved));
        // Its settings were stored before the reset: the disconnect must bring them back.
        QVERIFY(stateSaved);
        QCOMPARE(l.noAnswers.size(), 1);
        QCOMPARE(l.noAnswers.last(), QStringLiteral("FSP does not answer: FREQ:CENT 400000000;*OPC?"));
        QTest::qWait(100);
        QCOMPARE(sim->lines(), kDesignedSetup.mid(0, 8));  // nothing more was sent
    }

    void noAnswerBeforeTheStoreLeavesNothingToRestore()
    {
        WorkDir dir;
        const auto sim = SimulatorProcess::onComPort(4, {QStringLiteral("--stop-after"), QStringLiteral("3")});
        QVERIFY(sim->ready());
        Link l(4);
        l.channel.ReplyTimeoutMs = 300;
        QVERIFY(l.port.Open());
        bool stateSaved = false;
        QVERIFY(!RunSetup(l.channel, DefaultDialect(), DesignedSetupSettings(), stateSaved));
        QVERIFY(!stateSaved);
        QCOMPARE(l.noAnswers.last(), QStringLiteral("FSP does not answer: MMEM:SEL:LIN:ALL OFF;*OPC?"));
    }
};

QTEST_GUILESS_MAIN(TestAnalyserSetup)
#include "tst_analyser_setup.moc"
