// The simulator on a TCP socket, as a client on the LAN sees it: the port it picked, LF and
// CR LF on both sides, one client at a time, the whole dialogue, and a fault option.

#include "helper_dialogue.h"
#include "helper_simbench.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

class TestSimTcp : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimulatorProcess> m_sim;

    bool startSim(const QStringList &arguments)
    {
        m_sim = std::make_unique<SimulatorProcess>(arguments);
        QString why;
        if (!m_sim->start(&why)) {
            qWarning("%s", qPrintable(why));
            return false;
        }
        return m_sim->tcpPort() != 0;
    }

    /// Bytes up to and with the first LF (at most 2 s).
    static QByteArray rawLine(PortClient &client)
    {
        QByteArray bytes;
        for (int i = 0; i < 40 && !bytes.contains('\n'); ++i)
            bytes += client.readFor(50);
        return bytes;
    }

private slots:
    void cleanup()
    {
        if (m_sim && m_sim->process().state() != QProcess::NotRunning)
            QVERIFY(m_sim->stop());
        m_sim.reset();
    }

    void printsItsPort()
    {
        QVERIFY(startSim({"--tcp", "0"}));
        static const QRegularExpression line(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
        const QRegularExpressionMatch match = line.match(m_sim->servingLine());
        QVERIFY2(match.hasMatch(), qPrintable(m_sim->servingLine()));
        QVERIFY(match.captured(1).toUInt() > 0);
        // No pseudo-terminal link is made for a TCP simulator.
        QVERIFY(!QFile::exists(m_sim->portPath()));
    }

    void lineEnds_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("commandEnd");
        QTest::addColumn<QByteArray>("answer");

        QTest::newRow("LF commands, LF answers") << QStringList{} << QByteArray("\n") << QByteArray("1\n");
        QTest::newRow("CR LF commands, LF answers") << QStringList{} << QByteArray("\r\n") << QByteArray("1\n");
        QTest::newRow("--crlf") << QStringList{"--crlf"} << QByteArray("\n") << QByteArray("1\r\n");
    }
    void lineEnds()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, commandEnd);
        QFETCH(QByteArray, answer);
        QVERIFY(startSim(QStringList{"--tcp", "0"} + options));
        PortClient client;
        QVERIFY(client.connectTcp(m_sim->tcpPort()));
        client.setCommandEnd(commandEnd);
        QVERIFY(client.send("*OPC?"));
        QCOMPARE(rawLine(client), answer);
        const QByteArray idn = client.ask("*idn?");
        QVERIFY2(idn.size() > 3, idn.constData());
    }

    void secondClientTurnedAway()
    {
        QVERIFY(startSim({"--tcp", "0"}));
        PortClient first;
        QVERIFY(first.connectTcp(m_sim->tcpPort()));
        QCOMPARE(first.ask("*OPC?"), QByteArray("1"));

        PortClient second;
        QVERIFY(second.connectTcp(m_sim->tcpPort()));
        QVERIFY(second.waitHangup(3000));
        // The first client is served as before.
        QCOMPARE(first.ask("*OPC?"), QByteArray("1"));

        // Once it has gone, the next client is taken.
        first.close();
        QTest::qWait(100);
        PortClient third;
        QVERIFY(third.connectTcp(m_sim->tcpPort()));
        QCOMPARE(third.ask("*OPC?"), QByteArray("1"));
    }

    void wholeDialogue()
    {
        QVERIFY(startSim({"--tcp", "0", "--dut", "in"}));
        PortClient client;
        QVERIFY(client.connectTcp(m_sim->tcpPort()));
        client.setCommandEnd("\n");
        QString why;
        QVERIFY2(runSetup(client, SetupTexts(), &why), qPrintable(why));
        const QList<PassFrequency> frequencies{{4e8, "400000000", "400000000.00 Hz"},
                                               {1.5e9, "1500000000", "1.5E09 Hz"}};
        QList<PassReadings> readings;
        QVERIFY2(runPass(client, true, frequencies, "10", &readings, &why), qPrintable(why));
        QCOMPARE(readings.size(), 2);
        for (const PassReadings &r : readings) {
            QVERIFY(readingValue(r.off).has_value());
            QVERIFY(readingValue(r.on).has_value());
            QVERIFY(*readingValue(r.on) > *readingValue(r.off));
        }
    }

    void hangupAfter()
    {
        QVERIFY(startSim({"--tcp", "0", "--hangup-after", "2"}));
        PortClient client;
        QVERIFY(client.connectTcp(m_sim->tcpPort()));
        QCOMPARE(client.ask("*OPC?"), QByteArray("1"));
        QCOMPARE(client.ask("*OPC?"), QByteArray("1"));
        QVERIFY(client.waitHangup(3000));
        QVERIFY(m_sim->process().waitForFinished(5000));
        QCOMPARE(m_sim->process().exitCode(), 0);
    }

    void stopAfter()
    {
        QVERIFY(startSim({"--tcp", "0", "--stop-after", "1"}));
        PortClient client;
        QVERIFY(client.connectTcp(m_sim->tcpPort()));
        QCOMPARE(client.ask("*OPC?"), QByteArray("1"));
        QVERIFY(client.send("*OPC?"));
        QCOMPARE(client.readFor(300), QByteArray());
    }

    void ipv6Loopback()
    {
        m_sim = std::make_unique<SimulatorProcess>(QStringList{"--tcp", "0", "--listen", "::1"});
        m_sim->captureErrors();
        if (!m_sim->start())
            QSKIP("this machine has no IPv6 loopback");
        QVERIFY2(m_sim->servingLine().startsWith(QStringLiteral("listening on [::1]:")),
                 qPrintable(m_sim->servingLine()));
        PortClient client;
        QVERIFY(client.connectTcp(m_sim->tcpPort(), "::1"));
        QCOMPARE(client.ask("*OPC?"), QByteArray("1"));
    }

    void badOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");

        QTest::newRow("--crlf alone") << QStringList{"--crlf"} << "--crlf needs --tcp";
        QTest::newRow("--listen alone") << QStringList{"--listen", "::1"} << "--listen needs --tcp";
        QTest::newRow("port out of range") << QStringList{"--tcp", "70000"} << "--tcp needs a port number";
        QTest::newRow("not an address") << QStringList{"--tcp", "0", "--listen", "lab-pc"}
                                        << "'lab-pc' is not an IPv4 or IPv6 address";
    }
    void badOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QProcess sim;
        sim.start(QStringLiteral(TESSARY_SIM), arguments);
        QVERIFY(sim.waitForFinished(5000));
        QVERIFY(sim.exitCode() != 0);
        const QString errors = QString::fromUtf8(sim.readAllStandardError());
        QVERIFY2(errors.contains(message), qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestSimTcp)
#include "tst_tcp.moc"
