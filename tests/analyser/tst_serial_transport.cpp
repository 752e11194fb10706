// The serial component behind the transport seam: opened at once, CR LF lines both ways, the
// hang-up reported once while the line stays open until closed.

#include "analyser/command_channel.h"
#include "analyser/serial_transport.h"
#include "helper_link.h"
#include "serial/piloport.h"

#include <QTest>

#include <optional>

using namespace link_test;

class TestSerialTransport : public QObject
{
    Q_OBJECT

private slots:
    void setUpForTheAnalyser()
    {
        SerialTransport transport;
        QVERIFY(transport.port().LineMode());
        QCOMPARE(transport.port().LineEnd(), QByteArray("\r\n"));
        QCOMPARE(transport.port().FlowCtrl().RxRtsControl(), rtsHandshake);
        QCOMPARE(transport.port().FlowCtrl().RxDtrControl(), dtrDisable);
    }

    void openFailsAtOnce()
    {
        WorkDir dir;
        SerialTransport transport;
        transport.port().setPort(0);
        std::optional<bool> opened;
        QString error;
        transport.open([&](bool ok, const QString &why) {
            opened = ok;
            error = why;
        });
        QVERIFY(opened.has_value());
        QVERIFY(!*opened);
        QVERIFY2(error.startsWith(QStringLiteral("Cannot open port '")), qPrintable(error));
        QVERIFY(!transport.isOpen());
        QVERIFY(!transport.isActive());
    }

    void linesBothWays()
    {
        WorkDir dir;
        PtyPeer peer(3);
        QVERIFY(peer.ok());
        SerialTransport transport;
        transport.port().setPort(3);
        QList<QByteArray> lines;
        int hangUps = 0;
        transport.OnLine = [&](const QByteArray &line) { lines.append(line); };
        transport.OnHangUp = [&] { ++hangUps; };
        std::optional<bool> opened;
        transport.open([&](bool ok, const QString &) { opened = ok; });
        QCOMPARE(opened, std::optional<bool>(true));
        QVERIFY(transport.isOpen());
        QVERIFY(transport.isActive());

        CommandChannel channel(&transport);
        QVERIFY(channel.SendCommand("*idn?", 0));
        QVERIFY(peer.waitReceived("*idn?\r\n"));

        peer.write("-75.");
        QTest::qWait(30);
        peer.write("55\r\n");
        QVERIFY(ServeEventsUntil([&] { return !lines.isEmpty(); }));
        QCOMPARE(lines, QList<QByteArray>{"-75.55\r\n"});

        peer.hangUp();
        QVERIFY(ServeEventsUntil([&] { return hangUps > 0; }));
        QTest::qWait(50);
        QCOMPARE(hangUps, 1);
        QVERIFY(transport.isOpen());
        QVERIFY(!transport.isActive());
        QVERIFY(!channel.SendCommand("*idn?", 0));
        transport.close();
        QVERIFY(!transport.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestSerialTransport)
#include "tst_serial_transport.moc"
