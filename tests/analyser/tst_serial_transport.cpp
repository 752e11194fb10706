// The serial component behind the transport seam: opened at once, CR LF lines both ways, the
// hang-up reported once while the line stays open until closed.

#include "analyser/command_channel.h"
#include "analyser/serial_transport.h"
#include "helper_link.h"
#include "serial/piloport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <unistd.h>

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

    // Each kind of failed open from a real cause, with the kind and the reason told at once.
    void openFailureKinds_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("absent") << "absent" << int(TransportError::NoSuchPort) << "there is no such port";
        QTest::newRow("held by another process") << "held" << int(TransportError::Busy)
                                                 << "the port is in use by another program";
        QTest::newRow("a plain file") << "file" << int(TransportError::NotATerminal)
                                      << "the device is not a serial port";
        QTest::newRow("no permission") << "mode000" << int(TransportError::NoPermission)
                                       << "no permission to use the port (is the user in the group dialout?)";
    }
    void openFailureKinds()
    {
        QFETCH(QString, cause);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        if (cause == QLatin1String("mode000") && ::geteuid() == 0)
            QSKIP("root opens a device whatever its mode");
        WorkDir dir;
        QVERIFY(QDir().mkpath(QStringLiteral("ports")));
        std::optional<PtyPeer> peer;
        QProcess holder;
        if (cause == QLatin1String("file")) {
            QFile f(QStringLiteral("ports/COM4"));
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (cause != QLatin1String("absent")) {
            peer.emplace(4);
            QVERIFY(peer->ok());
            if (cause == QLatin1String("held")) {
                // Another program holds the port's lock, as a second terminal program does.
                holder.start(QStringLiteral("flock"), {QStringLiteral("ports/COM4"), QStringLiteral("sleep"),
                                                       QStringLiteral("30")});
                QVERIFY(holder.waitForStarted());
                QTest::qWait(300);
            } else {
                QVERIFY(QFile::setPermissions(QFileInfo(QStringLiteral("ports/COM4")).canonicalFilePath(), {}));
            }
        }
        SerialTransport transport;
        transport.port().setPort(4);
        std::optional<bool> opened;
        QString error;
        transport.open([&](bool ok, const QString &why) {
            opened = ok;
            error = why;
        });
        holder.kill();
        holder.waitForFinished(3000);
        QCOMPARE(opened, std::optional<bool>(false));
        QCOMPARE(int(transport.lastError()), kind);
        QVERIFY2(error.endsWith(QStringLiteral(": ") + reason), qPrintable(error));
        QVERIFY(!transport.isOpen());
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
