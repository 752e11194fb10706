// VXI-11 through liblxi and GPIB through a "++" adapter, against the bundled simulator on
// loopback and on pseudo-terminals: answers come back as serial lines, and each failure says
// what kind it is (refused link, unknown host, timed out, no adapter), while the analyser at
// another GPIB address hears nothing.

#include "analyser/gpib_transport.h"
#include "analyser/serial_transport.h"
#include "analyser/tcp_transport.h"
#include "analyser/vxi11_transport.h"
#include "helper_lansim.h"
#include "serial/piloport.h"

#include <QElapsedTimer>
#include <QTest>

#include <optional>

using namespace link_test;

namespace {

struct Opened
{
    std::optional<bool> ok;
    QString error;
    QList<QByteArray> lines;
};

void openAndWait(Transport &transport, Opened &o, int ms = 8000)
{
    transport.OnLine = [&o](const QByteArray &line) { o.lines.append(line); };
    transport.open([&o](bool ok, const QString &error) {
        o.ok = ok;
        o.error = error;
    });
    ServeEventsUntil([&o] { return o.ok.has_value(); }, ms);
}

} // namespace

class TestLanTransports : public QObject
{
    Q_OBJECT

private slots:
    void vxi11AnswersAsLines()
    {
        WorkDir dir;
        LanSim sim({QStringLiteral("--vxi11")});
        if (!sim.ready())
            QSKIP("no portmapper for the simulator: neither rpcbind nor port 111 of its own");
        Vxi11Transport transport(QStringLiteral("127.0.0.1"));
        Opened o;
        openAndWait(transport, o);
        QVERIFY2(o.ok.value_or(false), qPrintable(o.error));
        QVERIFY(transport.isActive());
        transport.write("FREQ:CENT 400000000\r\n");
        transport.write("FREQ:CENT?;*IDN?\r\n");
        QVERIFY(ServeEventsUntil([&] { return !o.lines.isEmpty(); }));
        QCOMPARE(o.lines.first(), QByteArray("400000000;Tessary Bench Simulator,FSP-SIM,000001,1.0\r\n"));
        // The link's probe, an empty message, is no line of the dialogue.
        QCOMPARE(sim.lines(), (QList<QByteArray>{"FREQ:CENT 400000000", "FREQ:CENT?;*IDN?"}));
    }

    void vxi11Failures_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused link") << QStringList{"--vxi11", "--lan-device", "gpib0,20"} << "127.0.0.1"
                                      << int(TransportError::Refused)
                                      << "the instrument refused the link to 'inst0'";
        QTest::newRow("unknown host") << QStringList() << "fsp.invalid" << int(TransportError::UnknownHost)
                                      << "unknown host";
        QTest::newRow("slow to link") << QStringList{"--vxi11", "--delay", "9000"} << "127.0.0.1"
                                      << int(TransportError::TimedOut) << "timed out";
    }
    void vxi11Failures()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, host);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        WorkDir dir;
        std::optional<LanSim> sim;
        if (!simArgs.isEmpty()) {
            sim.emplace(simArgs);
            if (!sim->ready())
                QSKIP("no portmapper for the simulator");
        }
        Vxi11Transport transport(host);
        Opened o;
        QElapsedTimer clock;
        clock.start();
        openAndWait(transport, o);
        QCOMPARE(o.ok, std::optional<bool>(false));
        QCOMPARE(o.error, reason);
        QCOMPARE(int(transport.lastError()), kind);
        QVERIFY2(clock.elapsed() < Vxi11Transport::kConnectTimeoutMs + 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!transport.isOpen());
    }

    void vxi11CloseWhileConnecting()
    {
        WorkDir dir;
        LanSim sim({QStringLiteral("--vxi11"), QStringLiteral("--delay"), QStringLiteral("3000")});
        if (!sim.ready())
            QSKIP("no portmapper for the simulator");
        Vxi11Transport transport(QStringLiteral("127.0.0.1"));
        Opened o;
        transport.open([&o](bool ok, const QString &error) {
            o.ok = ok;
            o.error = error;
        });
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        transport.close();
        QVERIFY(clock.elapsed() < 100);
        // The abandoned connect completes in the worker, and nothing of it comes back.
        QTest::qWait(4000);
        QVERIFY(!o.ok.has_value());
        QVERIFY(!transport.isOpen());
    }

    void gpibAdapter_data()
    {
        QTest::addColumn<bool>("onTcp");
        QTest::addColumn<int>("simAddress");
        QTest::addColumn<bool>("answers");
        QTest::newRow("pseudo-terminal") << false << 20 << true;
        QTest::newRow("TCP") << true << 20 << true;
        QTest::newRow("TCP, analyser at another address") << true << 7 << false;
        QTest::newRow("pseudo-terminal, analyser at another address") << false << 7 << false;
    }
    void gpibAdapter()
    {
        QFETCH(bool, onTcp);
        QFETCH(int, simAddress);
        QFETCH(bool, answers);
        WorkDir dir;
        QStringList args = onTcp ? QStringList{"--tcp", "0"} : QStringList{"--port", "2"};
        LanSim sim(args + QStringList{"--gpib-adapter", "--gpib-address", QString::number(simAddress)});
        const quint16 port = sim.ready();
        QVERIFY(sim.running());
        GpibTransport transport;
        if (onTcp) {
            QVERIFY(port != 0);
            transport.useTcpAdapter(QStringLiteral("127.0.0.1"), port);
        } else {
            transport.serial().port().setPort(2);
        }
        Opened o;
        openAndWait(transport, o);
        QVERIFY2(o.ok.value_or(false), qPrintable(o.error));
        QCOMPARE(transport.adapterVersion(), QByteArray("analyser-sim GPIB adapter version 1.0"));
        transport.write("*IDN?\r\n");
        transport.write("SENS:FREQ:CENT 1E+9\r\n");
        transport.write("SENS:FREQ:CENT?\r\n");
        if (answers) {
            QVERIFY(ServeEventsUntil([&] { return o.lines.size() >= 2; }));
            QCOMPARE(o.lines, (QList<QByteArray>{"Tessary Bench Simulator,FSP-SIM,000001,1.0\r\n", "1000000000\r\n"}));
            // The adapter's own commands are no part of the analyser's dialogue; the '+' went
            // through escaped.
            QCOMPARE(sim.lines(), (QList<QByteArray>{"*IDN?", "SENS:FREQ:CENT 1E+9", "SENS:FREQ:CENT?"}));
        } else {
            QTest::qWait(500);
            QVERIFY(o.lines.isEmpty());
            QVERIFY(sim.lines().isEmpty());
        }
    }

    // A port with no adapter on it: a simulator that is only the analyser, which says nothing
    // to "++ver".
    void gpibSilentAdapter()
    {
        WorkDir dir;
        const auto sim = SimulatorProcess::onComPort(3);
        QVERIFY(sim->ready());
        GpibTransport transport;
        transport.serial().port().setPort(3);
        transport.setAdapterAnswerMs(500);
        Opened o;
        openAndWait(transport, o);
        QCOMPARE(o.ok, std::optional<bool>(false));
        QCOMPARE(o.error, QStringLiteral("no GPIB adapter answers"));
        QCOMPARE(transport.lastError(), TransportError::TimedOut);
        QVERIFY(!transport.isOpen());
        QVERIFY(!transport.serial().isOpen());
    }

    void gpibAdapterPortMissing()
    {
        WorkDir dir;
        GpibTransport transport;
        transport.serial().port().setPort(9);
        Opened o;
        openAndWait(transport, o);
        QCOMPARE(o.ok, std::optional<bool>(false));
        QCOMPARE(transport.lastError(), TransportError::NoSuchPort);
    }

    void framing_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QList<QByteArray>>("vxi11");
        QTest::addColumn<QByteArray>("gpib");
        QTest::newRow("LF") << QByteArray("-75.55\n") << QList<QByteArray>{"-75.55\r\n"} << QByteArray("-75.55\r\n");
        QTest::newRow("CR LF") << QByteArray("1\r\n") << QList<QByteArray>{"1\r\n"} << QByteArray("1\r\n");
        QTest::newRow("no end") << QByteArray("1") << QList<QByteArray>{"1\r\n"} << QByteArray("1\r\n");
        QTest::newRow("two lines") << QByteArray("1\n2\n") << QList<QByteArray>{"1\r\n", "2\r\n"}
                                   << QByteArray("1\n2\r\n");
        QTest::newRow("empty") << QByteArray() << QList<QByteArray>{} << QByteArray("\r\n");
    }
    void framing()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QList<QByteArray>, vxi11);
        QFETCH(QByteArray, gpib);
        QList<QByteArray> lines;
        Vxi11ReplyLines(reply, [&](const QByteArray &l) {
            lines.append(l);
            return true;
        });
        QCOMPARE(lines, vxi11);
        QCOMPARE(GpibReplyLine(reply), gpib);
        const QByteArray huge(200000, 'x');
        QCOMPARE(GpibReplyLine(huge).size(), GpibTransport::kMaxLineBytes + 2);
        QCOMPARE(GpibCommandBytes("A+\x1b\r\n"), QByteArray("A\x1b+\x1b\x1b\n"));
    }
};

QTEST_GUILESS_MAIN(TestLanTransports)
#include "tst_lan_transports.moc"
