// The command channel over the real serial component in line mode, against a pseudo-terminal
// on which the test plays the analyser byte by byte.

#include "analyser/command_channel.h"
#include "analyser/connection.h"
#include "serial/piloport.h"

#include "helper_link.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace link_test;

class TestCommandChannel : public QObject
{
    Q_OBJECT

    struct Link
    {
        QStringList noAnswers;  // what the channel reported of commands left unanswered
        WorkDir dir;
        PtyPeer peer{3};
        TPiloComPort port;
        PiloCommandPort commandPort{&port};
        CommandChannel channel{&commandPort};
        int deliveries = 0;

        Link()
        {
            channel.OnNoAnswer = [this](const QString &m) { noAnswers.append(m); };
            port.setLineMode(true);
            port.setLineEnd("\r\n");
            port.setPort(3);
            port.OnDataAvailable = [this](TPiloComPort *sender) {
                QByteArray line;
                sender->ReadStr(line);
                ++deliveries;
                channel.PiloDataAvailable(line);
            };
            port.OnHangUp = [this](TPiloComPort *) { channel.WakeWaiting(); };
        }
        bool open() { return peer.ok() && port.Open(); }
    };

private slots:
    void waitingCommandSendsAndWaitsForItsLine()
    {
        Link l;
        QVERIFY(l.open());
        QTimer::singleShot(50, [&] {
            // The analyser answers only once the whole command has arrived.
            if (l.peer.received() == "*OPC?\r\n")
                l.peer.write("1\r\n");
        });
        QVERIFY(l.channel.SendCommand("*OPC?", 1));
        QCOMPARE(l.channel.PendingReply, QByteArray("1"));
        QCOMPARE(l.peer.received(), QByteArray("*OPC?\r\n"));
        QVERIFY(l.noAnswers.isEmpty());
    }

    void commandGoesOutUnchanged()
    {
        Link l;
        QVERIFY(l.open());
        QVERIFY(l.channel.SendCommand(" calc:mark1:y? ", 0));
        QVERIFY(l.peer.waitReceived(" calc:mark1:y? \r\n"));
        QCOMPARE(l.peer.received(), QByteArray(" calc:mark1:y? \r\n"));
    }

    void splitReplyEndsTheWaitOnce()
    {
        Link l;
        QVERIFY(l.open());
        QTimer::singleShot(30, [&] { l.peer.write("-75"); });
        QTimer::singleShot(120, [&] { l.peer.write(".55\r"); });
        QTimer::singleShot(200, [&] { l.peer.write("\n"); });
        QElapsedTimer t;
        t.start();
        QVERIFY(l.channel.SendCommand("CALC:MARK1:Y?", 1));
        QVERIFY(t.elapsed() >= 180);
        QCOMPARE(l.channel.PendingReply, QByteArray("-75.55"));
        QCOMPARE(l.deliveries, 1);
    }

    void newestOfTwoLinesWins()
    {
        Link l;
        QVERIFY(l.open());
        l.peer.write("4.0E-03\r\n-70.25\r\n");
        QVERIFY(ServeEventsUntil([&] { return l.deliveries == 2; }));
        QByteArray reply;
        QVERIFY(l.channel.ReadReply(reply));
        QCOMPARE(reply, QByteArray("-70.25"));
        QVERIFY(!l.channel.ReadReply(reply));
        QCOMPARE(reply, QByteArray("-70.25"));  // unchanged when nothing is waiting
    }

    void bareLineEndEndsNoWait()
    {
        Link l;
        QVERIFY(l.open());
        QTimer::singleShot(30, [&] { l.peer.write("\r\n"); });
        QTimer::singleShot(250, [&] { l.peer.write("1\r\n"); });
        QElapsedTimer t;
        t.start();
        QVERIFY(l.channel.SendCommand("*OPC?", 1));
        QVERIFY2(t.elapsed() >= 230, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(l.deliveries, 2);
        QCOMPARE(l.channel.PendingReply, QByteArray("1"));
    }

    void shortLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("bare CR LF") << QByteArray("\r\n") << QByteArray();
        QTest::newRow("two bytes") << QByteArray("1\n") << QByteArray();
        QTest::newRow("three bytes") << QByteArray("1\r\n") << QByteArray("1");
        QTest::newRow("last two bytes dropped whatever they are") << QByteArray("abcd") << QByteArray("ab");
    }
    void shortLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, reply);
        CommandChannel channel;
        channel.PiloDataAvailable(line);
        QCOMPARE(channel.PendingReply, reply);
    }

    void noWaitKeepsAnEarlierReply()
    {
        Link l;
        QVERIFY(l.open());
        l.peer.write("old\r\n");
        QVERIFY(ServeEventsUntil([&] { return l.deliveries == 1; }));
        QVERIFY(l.channel.SendCommand("SWE:TIME?", 0));
        QCOMPARE(l.channel.PendingReply, QByteArray("old"));
    }

    void waitDropsAStaleReplyFirst()
    {
        Link l;
        QVERIFY(l.open());
        l.peer.write("old\r\n");
        QVERIFY(ServeEventsUntil([&] { return l.deliveries == 1; }));
        QTimer::singleShot(100, [&] { l.peer.write("1\r\n"); });
        QElapsedTimer t;
        t.start();
        QVERIFY(l.channel.SendCommand("*RST;*OPC?", 1));
        QVERIFY(t.elapsed() >= 80);
        QCOMPARE(l.channel.PendingReply, QByteArray("1"));
    }

    void boundExpiresWithTheMessage()
    {
        Link l;
        QVERIFY(l.open());
        l.channel.ReplyTimeoutMs = 400;
        int ticks = 0;
        QTimer other;  // the user-interface thread keeps serving events meanwhile
        QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
        other.start(10);
        QElapsedTimer t;
        t.start();
        QVERIFY(!l.channel.SendCommand("*RST;*OPC?", 1));
        const qint64 waited = t.elapsed();
        QVERIFY2(waited >= 400 && waited < 2000, qPrintable(QString::number(waited)));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QCOMPARE(l.noAnswers.size(), 1);
        QCOMPARE(l.noAnswers[0], QStringLiteral("FSP does not answer: *RST;*OPC?"));
        // A late answer is an ordinary reply for whoever polls next.
        l.peer.write("1\r\n");
        QVERIFY(ServeEventsUntil([&] { return l.channel.PendingReply == "1"; }));
    }

    void defaultBoundIsTenSeconds()
    {
        QCOMPARE(CommandChannel().ReplyTimeoutMs, 10000);
    }

    void closedPortSendsNothing()
    {
        Link l;
        QVERIFY(l.peer.ok());
        QVERIFY(!l.channel.SendCommand("*OPC?", 1));
        QVERIFY(!l.channel.SendCommand("*OPC?", 0));
        QVERIFY(l.noAnswers.isEmpty());
        QVERIFY(l.peer.received(50).isEmpty());
    }

    void hangUpEndsTheWaitWithoutAMessage()
    {
        Link l;
        QVERIFY(l.open());
        QTimer::singleShot(100, [&] { l.peer.hangUp(); });
        QElapsedTimer t;
        t.start();
        QVERIFY(!l.channel.SendCommand("MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?", 1));
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(l.noAnswers.isEmpty());
        // Nothing more goes out on a line that has hung up, and no wait hangs on it.
        QVERIFY(!l.channel.SendCommand("*OPC?", 1));
        QVERIFY(l.port.Active());
        QVERIFY(l.port.Close());
    }

    void nestedWaitsBothEnd()
    {
        // A handler that runs inside a wait (a click, a tick) may wait itself; the next line
        // ends both, since whatever arrives is the reply.
        Link l;
        QVERIFY(l.open());
        bool innerDone = false;
        QTimer::singleShot(20, [&] { innerDone = l.channel.SendCommand("*OPC?", 1); });
        QTimer::singleShot(150, [&] { l.peer.write("1\r\n"); });
        QVERIFY(l.channel.SendCommand("*IDN?", 1));
        QVERIFY(innerDone);
        QVERIFY(!l.channel.IsWaiting());
    }
};

QTEST_GUILESS_MAIN(TestCommandChannel)
#include "tst_command_channel.moc"
