// The analyser on the LAN through the real window, against the simulator on a loopback TCP
// socket: a complete measurement with the same dialogue as over the serial line, connections
// that fail (refused, unknown host, never completed, a silent peer), a peer that goes away in a pass, Disconnect
// while the connection is still being made, and the [Ethernet] section of config.ini.

#include "helper_window.h"

#include "app/core/config.h"
#include "common/swallowing_host.h"

#include <QFile>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>

using namespace e2e;

namespace {

/// The TCP port of a simulator started with SimulatorProcess::onTcp, once it says it listens
/// on "127.0.0.1:<port>"; 0 when it does not.
quint16 LoopbackPort(SimulatorProcess &sim)
{
    const quint16 port = sim.tcpPort();
    return sim.servingLine().startsWith(QStringLiteral("listening on 127.0.0.1:")) ? port : 0;
}

const QStringList kExactReadings{QStringLiteral("--format"), QStringLiteral("sci")};

/// Chooses "Ethernet" and types the analyser's address as an operator does.
void chooseLan(TForm1 &w, const QString &host, const QString &port)
{
    w.ComboBox1->setCurrentIndex(1);
    w.e_Host->clear();
    QTest::keyClicks(w.e_Host, host);
    w.e_TcpPort->clear();
    QTest::keyClicks(w.e_TcpPort, port);
}

bool connectLan(Program &p, quint16 port)
{
    chooseLan(p.w(), QStringLiteral("127.0.0.1"), QString::number(port));
    QTest::mouseClick(p.w().b_connect, Qt::LeftButton);
    return ServeEventsUntil([&] { return p.w().statusText().startsWith(QStringLiteral("Device: ")); }, 10000);
}

bool isIdle(TForm1 &w)
{
    return w.gb_com->isEnabled() && w.b_connect->isEnabled() && w.b_connect->text() == QStringLiteral("Connect") &&
           !w.b_Start->isEnabled() && !w.Link->isOpen() && !w.Link->isConnecting();
}

/// A port on the loopback address where nobody listens any more.
quint16 closedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

/// The whole window with its progress window, in the current working folder.
struct Window
{
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>();
    std::unique_ptr<TForm2> progress = std::make_unique<TForm2>(form.get());
    Window()
    {
        form->attachSecondaryWindows(progress.get(), nullptr);
        form->show();
    }
    ~Window()
    {
        form->close();
        progress.reset();
        form.reset();
    }
};

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestLan : public QObject
{
    Q_OBJECT

private slots:
    void designedPlanOverTcp()
    {
        Program p({}, false);
        const auto sim = SimulatorProcess::onTcp(kExactReadings);
        QVERIFY(LoopbackPort(*sim) != 0);
        TForm1 &w = p.w();
        QVERIFY(connectLan(p, LoopbackPort(*sim)));
        QCOMPARE(w.b_connect->text(), QStringLiteral("Disconnect"));
        QVERIFY(w.b_Start->isEnabled());
        QVERIFY(!w.gb_com->isEnabled());

        QVERIFY(p.calibrate());
        QVERIFY(p.measure());
        const MeasurementRecord &r = w.MeasurementRecord;
        QCOMPARE(r.SweepPlan.Steps, 10);
        for (int i = 0; i <= 10; ++i) {
            const double f = r.SweepPlan.enrHz(i);
            const QString at = QStringLiteral("step %1 at %2 Hz: NF %3 dB, gain %4 dB").arg(i).arg(f, 0, 'f', 0)
                                   .arg(r.NoiseFigureDb[i]).arg(r.GainDb[i]);
            QVERIFY2(std::fabs(r.NoiseFigureDb[i] - DutNoiseFigureDb(f)) <= 0.05, qPrintable(at));
            QVERIFY2(std::fabs(r.GainDb[i] - DutGainDb(f)) <= 0.05, qPrintable(at));
        }

        // The same dialogue as over the serial line: search, set-up, both passes.
        QList<QByteArray> expected{"*idn?"};
        expected += DesignedSetup();
        for (bool measurement : {false, true}) {
            expected += "SWE:TIME?";
            for (int i = 0; i <= 10; ++i) {
                const QByteArray hz = QByteArray::number(400000000 + i * 10000000);
                expected += FrequencyDialogue(measurement, hz, measurement ? hz + ".00 Hz" : hz);
            }
        }
        QVERIFY(sim->waitLines(int(expected.size())));
        QCOMPARE(sim->lines(), expected);

        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        QVERIFY(isIdle(w));
        QVERIFY(sim->waitLines(int(expected.size()) + 1));
        QCOMPARE(sim->lines().last(), RestoreCommand);
    }

    void connectionThatCannotBeMade_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused: a port just closed") << "127.0.0.1" << "closed" << "connection refused";
        QTest::newRow("unknown host") << "fsp.invalid" << "" << "";
        // The connect's own bound of 5 s, not the system's two minutes.
        QTest::newRow("never completed") << "127.0.0.1" << "swallowing" << "timed out";
    }
    void connectionThatCannotBeMade()
    {
        QFETCH(QString, host);
        QFETCH(QString, peer);
        QFETCH(QString, reason);
        SwallowingHost swallowing;
        if (peer == QStringLiteral("swallowing") && !swallowing.start())
            QSKIP("this system completes every loopback connect");
        Program p({}, false);
        TForm1 &w = p.w();
        const quint16 port = peer == QStringLiteral("closed") ? closedPort()
                             : peer == QStringLiteral("swallowing") ? swallowing.port : 5025;
        QVERIFY(port != 0);
        chooseLan(w, host, QString::number(port));
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QCOMPARE(w.b_connect->text(), QStringLiteral("Disconnect"));
        QVERIFY(!w.gb_com->isEnabled());
        const QString prefix = QStringLiteral("Cannot connect to %1:%2: ").arg(host).arg(port);
        QVERIFY2(ServeEventsUntil([&] { return w.statusText().startsWith(prefix); }, 10000), qPrintable(w.statusText()));
        QVERIFY2(w.statusText().size() > prefix.size(), qPrintable(w.statusText()));  // with a reason
        if (!reason.isEmpty())
            QCOMPARE(w.statusText(), prefix + reason);
        QVERIFY(isIdle(w));
        QVERIFY(w.MainWindowEnabled());
        QVERIFY(p.dialogs.messages.isEmpty());
    }

    void silentPeerFailsTheSearch()
    {
        Program p({}, false);
        TForm1 &w = p.w();
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QByteArray received;
        QList<QTcpSocket *> peers;
        QObject::connect(&silent, &QTcpServer::newConnection, [&] {
            while (QTcpSocket *s = silent.nextPendingConnection()) {
                peers << s;
                QObject::connect(s, &QTcpSocket::readyRead, [&received, s] { received += s->readAll(); });
            }
        });
        chooseLan(w, QStringLiteral("127.0.0.1"), QString::number(silent.serverPort()));
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return w.statusText() == QStringLiteral("Searching for FSP ..."); }, 5000));
        QVERIFY(ServeEventsUntil([&] { return w.statusText() == QStringLiteral("Could not open FSP !"); }, 15000));
        QVERIFY(isIdle(w));
        QVERIFY(w.MainWindowEnabled());
        QCOMPARE(peers.size(), 1);
        QVERIFY(received.startsWith("*idn?"));
        QVERIFY(ServeEventsUntil([&] { return peers.first()->state() == QAbstractSocket::UnconnectedState; }, 2000));
    }

    void setUpNotAnswered()
    {
        // The search and the first nine set-up commands are answered, BAND:VID is not.
        Program p({}, false);
        const auto sim = SimulatorProcess::onTcp({QStringLiteral("--stop-after"), QStringLiteral("10")});
        QVERIFY(LoopbackPort(*sim) != 0);
        TForm1 &w = p.w();
        QCOMPARE(w.Link->replyTimeoutMs(), 10000);
        w.Link->setReplyTimeoutMs(600);  // the wait itself is the serial line's
        QVERIFY(connectLan(p, LoopbackPort(*sim)));
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QCOMPARE(p.messageTexts(), (QStringList{QStringLiteral("FSP does not answer: BAND:VID 10 Hz;*OPC?"),
                                                QStringLiteral("Error on opening!")}));
        QVERIFY(!w.Link->passRunning());
        QVERIFY(w.MainWindowEnabled());
        QCOMPARE(int(sim->lines().size()), 1 + 10);
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        QVERIFY(isIdle(w));
    }

    void peerClosesInThePass()
    {
        // Line 60 lies in the third frequency of the calibration pass.
        Program p({}, false);
        const auto sim = SimulatorProcess::onTcp({QStringLiteral("--hangup-after"), QStringLiteral("60")});
        QVERIFY(LoopbackPort(*sim) != 0);
        TForm1 &w = p.w();
        QVERIFY(connectLan(p, LoopbackPort(*sim)));
        QTest::mouseClick(w.b_Start, Qt::LeftButton);
        QVERIFY(ServeEventsUntil([&] { return w.statusText() == QStringLiteral("FSP connection lost"); }, 10000));
        // The pass ends as Cancel ends it; the window shows the disconnected state.
        QVERIFY(!w.Link->passRunning());
        QVERIFY(!p.progress->isVisible());
        QVERIFY(w.MainWindowEnabled());
        QCOMPARE(w.statusText(), QStringLiteral("FSP connection lost"));
        QVERIFY(isIdle(w));
        QVERIFY(!p.messageTexts().contains(QStringLiteral("FSP does not answer: ") + QString::fromLatin1(RestoreCommand)));
    }

    void disconnectWhileConnecting()
    {
        Program p({}, false);
        const auto sim = SimulatorProcess::onTcp();
        QVERIFY(LoopbackPort(*sim) != 0);
        TForm1 &w = p.w();
        int connectedSignals = 0;
        int failedSignals = 0;
        QObject::connect(w.Link, &AnalyserLink::connected, [&] { ++connectedSignals; });
        QObject::connect(w.Link, &AnalyserLink::connectFailed, [&] { ++failedSignals; });
        chooseLan(w, QStringLiteral("127.0.0.1"), QString::number(LoopbackPort(*sim)));
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY(w.Link->isConnecting());
        QCOMPARE(w.b_connect->text(), QStringLiteral("Disconnect"));
        QTest::mouseClick(w.b_connect, Qt::LeftButton);  // before any event is served
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        QVERIFY(isIdle(w));
        QTest::qWait(300);
        QCOMPARE(connectedSignals, 0);
        QCOMPARE(failedSignals, 0);
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        QVERIFY(isIdle(w));
        QVERIFY(w.MainWindowEnabled());
        QVERIFY(sim->lines().isEmpty());
        // And connecting again works.
        QVERIFY(connectLan(p, LoopbackPort(*sim)));
        QVERIFY(sim->waitLines(1));
        QCOMPARE(sim->lines(), QList<QByteArray>{"*idn?"});
    }

    /// The TCP port as the operator types it: 1 and 65535 are kept; 0 and 65536 are refused
    /// by Connect with the reason, and the file keeps the usual port.
    void tcpPortField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kept");
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("65535") << "65535" << 65535;
        QTest::newRow("65536") << "65536" << 5025;
        QTest::newRow("0") << "0" << 5025;
    }
    void tcpPortField()
    {
        QFETCH(QString, typed);
        QFETCH(int, kept);
        ScriptedDialogs dialogs;
        WorkDir dir;
        {
            Window w;
            chooseLan(*w.form, QStringLiteral("127.0.0.1"), typed);
            QCOMPARE(w.form->e_TcpPort->text(), typed);
            if (kept != typed.toInt()) {
                QTest::mouseClick(w.form->b_connect, Qt::LeftButton);
                QCOMPARE(w.form->statusText(),
                         "Cannot connect to 127.0.0.1:" + typed + ": no TCP port from 1 to 65535");
                QCOMPARE(w.form->b_connect->text(), QStringLiteral("Connect"));
            }
        }
        QCOMPARE(ReadLanConfig(QDir::current().filePath(QStringLiteral("config.ini"))).TcpPort, kept);
    }

    void settingsKeepTheLan()
    {
        ScriptedDialogs dialogs;
        WorkDir dir;
        const QString ini = QDir::current().filePath(QStringLiteral("config.ini"));

        // A close without the LAN writes the file as it always was: no [Ethernet] section.
        { Window first; }
        const QByteArray old = fileBytes(ini);
        QVERIFY(!old.isEmpty());
        QVERIFY(!old.contains("[Ethernet]"));
        {
            Window second;
            QCOMPARE(second.form->ComboBox1->currentIndex(), 0);
            QCOMPARE(second.form->e_Host->text(), QString());
            QCOMPARE(second.form->e_TcpPort->text(), QStringLiteral("5025"));
        }
        QCOMPARE(fileBytes(ini), old);

        {
            Window lan;
            chooseLan(*lan.form, QStringLiteral("127.0.0.1"), QStringLiteral("5026"));
        }
        const QByteArray written = fileBytes(ini);
        QVERIFY(written.startsWith(old.trimmed()));  // the other sections stay as they were
        QVERIFY2(written.contains("[Ethernet]"), written.constData());
        const LanConfig lan = ReadLanConfig(ini);
        QCOMPARE(lan.Interface, 1);
        QCOMPARE(lan.Host, QStringLiteral("127.0.0.1"));
        QCOMPARE(lan.TcpPort, 5026);
        {
            Window again;
            QCOMPARE(again.form->ComboBox1->currentIndex(), 1);
            QCOMPARE(again.form->e_Host->text(), QStringLiteral("127.0.0.1"));
            QCOMPARE(again.form->e_TcpPort->text(), QStringLiteral("5026"));
            QVERIFY(again.form->e_Host->isVisible());
            QVERIFY(!again.form->cb_COM->isEnabled());
        }
        QCOMPARE(fileBytes(ini), written);
    }
};

QTEST_MAIN(TestLan)
#include "tst_lan.moc"
