// The analyser's LAN socket: the test plays the instrument on a loopback listener and checks
// what goes over the wire, how answer lines are handed on, failed opens, a peer that floods or
// closes, and a close while the open is still under way.

#include "analyser/command_channel.h"
#include "analyser/tcp_transport.h"
#include "common/swallowing_host.h"
#include "common/event_loop.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <QElapsedTimer>

#include <optional>

Q_DECLARE_METATYPE(QList<QByteArray>)

namespace {

/// The instrument's side: a loopback listener and the one connection it accepts.
struct Peer
{
    QTcpServer server;
    QPointer<QTcpSocket> socket;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost)
    {
        return server.listen(address, 0);
    }
    quint16 port() const { return server.serverPort(); }
    bool accept()
    {
        if (!server.hasPendingConnections() && !server.waitForNewConnection(5000))
            return false;
        socket = server.nextPendingConnection();
        return socket != nullptr;
    }
    void send(const QByteArray &bytes)
    {
        socket->write(bytes);
        socket->flush();
    }
};

/// A transport with its callbacks recorded.
struct Client
{
    TcpTransport transport;
    QList<QByteArray> lines;
    int hangUps = 0;
    std::optional<bool> opened;
    QString error;

    Client()
    {
        transport.OnLine = [this](const QByteArray &line) { lines.append(line); };
        transport.OnHangUp = [this] { ++hangUps; };
    }
    void open(const QString &host, quint16 port)
    {
        transport.setHost(host);
        transport.setPort(port);
        transport.open([this](bool ok, const QString &why) {
            opened = ok;
            error = why;
        });
    }
};

/// Opens `client` to `peer` and accepts the connection on the peer's side.
bool connectPair(Client &client, Peer &peer)
{
    if (!peer.listen())
        return false;
    client.open(QStringLiteral("127.0.0.1"), peer.port());
    return peer.accept() && ServeEventsUntil([&] { return client.opened.has_value(); }) && *client.opened;
}

} // namespace

class TestTcpTransport : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QList<QByteArray>>("packets");
        QTest::addColumn<QList<QByteArray>>("lines");

        using L = QList<QByteArray>;
        QTest::newRow("LF") << L{"1\n"} << L{"1\r\n"};
        QTest::newRow("CR LF") << L{"1\r\n"} << L{"1\r\n"};
        QTest::newRow("split across packets") << L{"-75.", "55\r", "\n"} << L{"-75.55\r\n"};
        QTest::newRow("two lines in one packet") << L{"4.000000E-03\n1\r\n"}
                                                 << L{"4.000000E-03\r\n", "1\r\n"};
        QTest::newRow("empty line") << L{"\n"} << L{"\r\n"};
        QTest::newRow("CR inside a line stays") << L{"a\rb\n"} << L{"a\rb\r\n"};
        QTest::newRow("no LF yet: nothing") << L{"1\r"} << L{};
    }
    void answers()
    {
        QFETCH(QList<QByteArray>, packets);
        QFETCH(QList<QByteArray>, lines);
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        QVERIFY(client.transport.isOpen());
        QVERIFY(client.transport.isActive());
        for (const QByteArray &packet : packets) {
            const qsizetype before = client.lines.size();
            peer.send(packet);
            // Let each packet arrive on its own before the next is sent.
            ServeEventsUntil([&] { return client.lines.size() > before || client.transport.bufferedBytes() > 0; },
                    500);
        }
        QVERIFY(ServeEventsUntil([&] { return client.lines.size() >= lines.size(); }, 2000));
        QTest::qWait(20);
        QCOMPARE(client.lines, lines);
    }

    void framerOnBuffers_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<int>("linesTaken");  ///< the consumer goes away after this many; -1 never
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<int>("partial");

        using L = QList<QByteArray>;
        const qsizetype max = TcpLineFramer::kMaxLineBytes;
        const QByteArray full(max, 'A');
        QTest::newRow("lines across chunks") << L{"-75.", "55\r\n4", "\n1"} << -1 << L{"-75.55\r\n", "4\r\n"} << 1;
        QTest::newRow("exactly the longest line") << L{full + "\n"} << -1 << L{full + "\r\n"} << 0;
        QTest::newRow("a longer line is cut") << L{full, "BC\r", "\nD"} << -1 << L{full + "\r\n"} << 1;
        QTest::newRow("a cut line keeps a CR at the bound")
            << L{full.left(max - 1) + "\r" + "X\n"} << -1 << L{full.left(max - 1) + "\r\r\n"} << 0;
        QTest::newRow("the CR before the LF of the longest line goes")
            << L{full.left(max - 1) + "\r\n"} << -1 << L{full.left(max - 1) + "\r\n"} << 0;
        QTest::newRow("consumer gone: the rest of the chunk dropped") << L{"1\n2\n3", "4\n"} << 1 << L{"1\r\n"} << 0;
    }
    void framerOnBuffers()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, linesTaken);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(int, partial);
        TcpLineFramer framer;
        QList<QByteArray> got;
        bool gone = false;
        for (const QByteArray &chunk : chunks) {
            if (gone)
                break;
            framer.take(chunk.constData(), chunk.size(), [&](const QByteArray &line) {
                got.append(line);
                if (int(got.size()) == linesTaken) {
                    gone = true;
                    framer.clear();  // as the transport's close does
                    return false;
                }
                return true;
            });
        }
        QCOMPARE(got, lines);
        QCOMPARE(int(framer.partialBytes()), partial);
    }

    void commandsOnTheWire_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("wire");

        QTest::newRow("*idn?") << QByteArray("*idn?") << QByteArray("*idn?\n");
        QTest::newRow("unchanged text") << QByteArray(" swe:time? ") << QByteArray(" swe:time? \n");
        QTest::newRow("only the last CR LF") << QByteArray("A\r\nB") << QByteArray("A\r\nB\n");
    }
    void commandsOnTheWire()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, wire);
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        CommandChannel channel(&client.transport);
        QVERIFY(channel.SendCommand(command, 0));
        QByteArray received;
        QVERIFY(ServeEventsUntil([&] {
            received += peer.socket->readAll();
            return received.size() >= wire.size();
        }));
        QCOMPARE(received, wire);
    }

    void replyThroughTheChannel()
    {
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        CommandChannel channel(&client.transport);
        client.transport.OnLine = [&](const QByteArray &line) { channel.PiloDataAvailable(line); };
        QObject::connect(peer.socket, &QTcpSocket::readyRead, peer.socket, [&] {
            if (peer.socket->readAll() == "*OPC?\n")
                peer.send("1\n");
        });
        QVERIFY(channel.SendCommand("*OPC?", 1));
        QCOMPARE(channel.PendingReply, QByteArray("1"));
    }

    void rawWriteUnchanged()
    {
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        client.transport.write("\r\n");
        client.transport.write("x");
        QByteArray received;
        QVERIFY(ServeEventsUntil([&] {
            received += peer.socket->readAll();
            return received.size() >= 2;
        }));
        QCOMPARE(received, QByteArray("\nx"));
    }

    void refused()
    {
        quint16 closedPort = 0;
        {
            Peer gone;
            QVERIFY(gone.listen());
            closedPort = gone.port();
        }
        Client client;
        client.open(QStringLiteral("127.0.0.1"), closedPort);
        QVERIFY(ServeEventsUntil([&] { return client.opened.has_value(); }, 6000));
        QCOMPARE(*client.opened, false);
        QCOMPARE(client.error, QStringLiteral("connection refused"));
        QVERIFY(!client.transport.isOpen());
        QVERIFY(!client.transport.isActive());
    }

    void connectNeverCompletes()
    {
        SwallowingHost host;
        if (!host.start())
            QSKIP("this system completes every loopback connect");
        Client client;
        client.transport.setConnectTimeoutMs(400);
        QElapsedTimer waited;
        waited.start();
        client.open(QStringLiteral("127.0.0.1"), host.port);
        QVERIFY(ServeEventsUntil([&] { return client.opened.has_value(); }, 5000));
        QVERIFY2(waited.elapsed() >= 350, qPrintable(QString::number(waited.elapsed())));
        QCOMPARE(*client.opened, false);
        QCOMPARE(client.error, QStringLiteral("timed out"));
        QVERIFY(!client.transport.isOpen());
        QVERIFY(!client.transport.isActive());
    }

    void unknownHost()
    {
        Client client;
        // The .invalid domain is reserved never to resolve.
        client.open(QStringLiteral("fsp.invalid"), TcpTransport::kDefaultPort);
        QVERIFY(ServeEventsUntil([&] { return client.opened.has_value(); }, 7000));
        QCOMPARE(*client.opened, false);
        QCOMPARE(client.error, QStringLiteral("unknown host"));
        QVERIFY(!client.transport.isOpen());
    }

    void cannotConnectText_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("text");

        QTest::newRow("name") << "fsp.lab" << 5025 << "timed out"
                              << "Cannot connect to fsp.lab:5025: timed out";
        QTest::newRow("IPv4") << "127.0.0.1" << 1 << "connection refused"
                              << "Cannot connect to 127.0.0.1:1: connection refused";
        QTest::newRow("IPv6 in brackets") << "::1" << 5025 << "no route to host"
                                          << "Cannot connect to [::1]:5025: no route to host";
    }
    void cannotConnectText()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, reason);
        QFETCH(QString, text);
        QCOMPARE(CannotConnectText(host, quint16(port), reason), text);
    }

    void ipv6Loopback()
    {
        Client client;
        Peer peer;
        if (!peer.listen(QHostAddress::LocalHostIPv6))
            QSKIP("this machine has no IPv6 loopback");
        client.open(QStringLiteral("::1"), peer.port());
        QVERIFY(peer.accept());
        QVERIFY(ServeEventsUntil([&] { return client.opened.has_value(); }));
        QVERIFY(*client.opened);
        peer.send("Bench,SA-1,0001,1.0\n");
        QVERIFY(ServeEventsUntil([&] { return !client.lines.isEmpty(); }));
        QCOMPARE(client.lines.first(), QByteArray("Bench,SA-1,0001,1.0\r\n"));
    }

    void endlessLine()
    {
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        const qsizetype bound = TcpTransport::kMaxLineBytes + TcpTransport::kReadBufferBytes;
        const QByteArray chunk(32 * 1024, 'A');
        qsizetype most = 0;
        for (int i = 0; i < 64; ++i) {  // 2 MiB without a LF
            peer.socket->write(chunk);
            QTest::qWait(1);
            most = qMax(most, client.transport.bufferedBytes());
        }
        QVERIFY(ServeEventsUntil([&] {
            most = qMax(most, client.transport.bufferedBytes());
            return peer.socket->bytesToWrite() == 0;
        }, 10000));
        QTest::qWait(50);
        most = qMax(most, client.transport.bufferedBytes());
        QVERIFY2(most <= bound, qPrintable(QString::number(most)));
        QVERIFY(client.lines.isEmpty());

        // The line ends: its first kMaxLineBytes arrive, and the next line is whole again.
        peer.send("B\n1\n");
        QVERIFY(ServeEventsUntil([&] { return client.lines.size() >= 2; }, 10000));
        QCOMPARE(client.lines[0].size(), TcpTransport::kMaxLineBytes + 2);
        QVERIFY(client.lines[0].startsWith("AAAA"));
        QVERIFY(client.lines[0].endsWith("A\r\n"));
        QCOMPARE(client.lines[1], QByteArray("1\r\n"));
        QVERIFY(client.transport.bufferedBytes() <= bound);
    }

    void floodOfLines()
    {
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        const int count = 50000;
        QByteArray flood;
        for (int i = 0; i < count; ++i)
            flood += "-75.55\n";
        peer.socket->write(flood);
        qsizetype most = 0;
        QVERIFY(ServeEventsUntil([&] {
            most = qMax(most, client.transport.bufferedBytes());
            return client.lines.size() >= count;
        }, 20000));
        QCOMPARE(client.lines.size(), count);
        QCOMPARE(client.lines.last(), QByteArray("-75.55\r\n"));
        QVERIFY2(most <= TcpTransport::kMaxLineBytes + TcpTransport::kReadBufferBytes,
                 qPrintable(QString::number(most)));
    }

    void peerCloses()
    {
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        peer.send("1\n");
        peer.socket->disconnectFromHost();
        QVERIFY(ServeEventsUntil([&] { return client.hangUps > 0; }));
        QTest::qWait(100);
        QCOMPARE(client.hangUps, 1);
        // Answers that came before the close are still delivered.
        QCOMPARE(client.lines, QList<QByteArray>{"1\r\n"});
        QVERIFY(client.transport.isOpen());
        QVERIFY(!client.transport.isActive());
        client.transport.write("*idn?\r\n");  // goes nowhere, harmlessly
        client.transport.close();
        QVERIFY(!client.transport.isOpen());
        QCOMPARE(client.hangUps, 1);
    }

    void closeInsideCallback()
    {
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        client.transport.OnLine = [&](const QByteArray &line) {
            client.lines.append(line);
            client.transport.close();
        };
        peer.send("1\n2\n");
        QVERIFY(ServeEventsUntil([&] { return !client.lines.isEmpty(); }));
        QTest::qWait(50);
        QCOMPARE(client.lines, QList<QByteArray>{"1\r\n"});
        QVERIFY(!client.transport.isOpen());
        QCOMPARE(client.hangUps, 0);
    }

    void closeWhilePending_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("during name lookup") << "fsp.invalid";
        QTest::newRow("during connect") << "127.0.0.1";
    }
    void closeWhilePending()
    {
        QFETCH(QString, host);
        Peer peer;
        QVERIFY(peer.listen());
        Client client;
        client.open(host, peer.port());
        QVERIFY(!client.opened.has_value());
        client.transport.close();
        QVERIFY(!client.transport.isOpen());
        QTest::qWait(300);
        QVERIFY(!client.opened.has_value());
        QVERIFY(!client.transport.isOpen());
    }

    void reopenAfterClose()
    {
        Client client;
        Peer peer;
        QVERIFY(connectPair(client, peer));
        client.transport.close();
        client.opened.reset();
        client.open(QStringLiteral("127.0.0.1"), peer.port());
        QVERIFY(peer.accept());
        QVERIFY(ServeEventsUntil([&] { return client.opened.has_value(); }));
        QVERIFY(*client.opened);
        peer.send("1\n");
        QVERIFY(ServeEventsUntil([&] { return !client.lines.isEmpty(); }));
    }
};

QTEST_GUILESS_MAIN(TestTcpTransport)
#include "tst_tcp_transport.moc"
