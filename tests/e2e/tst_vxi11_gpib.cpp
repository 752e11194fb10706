// The analyser by VXI-11 and on GPIB through a "++" adapter, through the real window, against
// the simulator: the designed plan with the same dialogue as over the serial line, and the
// failures that say why at once (a refused link, a silent adapter, the analyser at another
// address, a port that is not there), Disconnect while the link is still being made, and the
// [Ethernet] and [GPIB] sections of config.ini.

#include "helper_window.h"

#include "analyser/helper_lansim.h"
#include "analyser/gpib_transport.h"
#include "app/core/config.h"

#include <QFile>
#include <QLineEdit>

using namespace e2e;
using link_test::LanSim;

namespace {

enum class Way { Vxi11, GpibPty, GpibTcp };

bool isIdle(TForm1 &w)
{
    return w.gb_com->isEnabled() && w.b_connect->isEnabled() && w.b_connect->text() == QStringLiteral("Connect")
           && !w.b_Start->isEnabled() && !w.Link->isOpen() && !w.Link->isConnecting();
}

void chooseVxi11(TForm1 &w, const QString &device = QStringLiteral("inst0"))
{
    w.ComboBox1->setCurrentIndex(1);
    w.cb_LanProtocol->setCurrentIndex(1);
    w.e_Host->clear();
    QTest::keyClicks(w.e_Host, QStringLiteral("127.0.0.1"));
    w.e_LanDevice->clear();
    QTest::keyClicks(w.e_LanDevice, device);
}

void chooseGpib(TForm1 &w, bool onLan, quint16 tcpPort, int comPort)
{
    w.ComboBox1->setCurrentIndex(2);
    w.cb_GpibAdapter->setCurrentIndex(onLan ? 1 : 0);
    w.se_GpibAddress->setValue(20);
    if (onLan) {
        w.e_Host->clear();
        QTest::keyClicks(w.e_Host, QStringLiteral("127.0.0.1"));
        w.e_GpibPort->clear();
        QTest::keyClicks(w.e_GpibPort, QString::number(tcpPort));
    } else {
        w.cb_COM->setEditText(QString::number(comPort));
    }
}

QList<QByteArray> designedDialogue()
{
    QList<QByteArray> expected{"*idn?"};
    expected += DesignedSetup();
    for (bool measurement : {false, true}) {
        expected += "SWE:TIME?";
        for (int i = 0; i <= 10; ++i) {
            const QByteArray hz = QByteArray::number(400000000 + i * 10000000);
            expected += FrequencyDialogue(measurement, hz, measurement ? hz + ".00 Hz" : hz);
        }
    }
    return expected;
}

} // namespace

class TestVxi11Gpib : public QObject
{
    Q_OBJECT

private slots:
    void designedPlan_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("VXI-11") << int(Way::Vxi11);
        QTest::newRow("GPIB adapter on a pseudo-terminal") << int(Way::GpibPty);
        QTest::newRow("GPIB adapter on TCP") << int(Way::GpibTcp);
    }
    void designedPlan()
    {
        QFETCH(int, way);
        Program p({}, false);
        TForm1 &w = p.w();
        const QStringList readings{QStringLiteral("--format"), QStringLiteral("sci")};
        QStringList args = way == int(Way::Vxi11)     ? QStringList{"--vxi11"}
                           : way == int(Way::GpibTcp) ? QStringList{"--tcp", "0", "--gpib-adapter"}
                                                      : QStringList{"--port", "2", "--gpib-adapter"};
        LanSim sim(args + readings);
        const quint16 port = sim.ready();
        if (way == int(Way::Vxi11) && port == 0)
            QSKIP("no portmapper for the simulator");
        QVERIFY(sim.running());
        if (way == int(Way::Vxi11))
            chooseVxi11(w);
        else
            chooseGpib(w, way == int(Way::GpibTcp), port, 2);
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY2(ServeEventsUntil([&] { return w.statusText().startsWith(QStringLiteral("Device: ")); }, 10000),
                 qPrintable(w.statusText()));
        QVERIFY(p.calibrate());
        QVERIFY(p.measure());
        const MeasurementRecord &r = w.MeasurementRecord;
        for (int i = 0; i <= 10; ++i) {
            const double f = r.SweepPlan.enrHz(i);
            QVERIFY2(std::fabs(r.NoiseFigureDb[i] - DutNoiseFigureDb(f)) <= 0.05, qPrintable(QString::number(i)));
            QVERIFY2(std::fabs(r.GainDb[i] - DutGainDb(f)) <= 0.05, qPrintable(QString::number(i)));
        }
        const QList<QByteArray> expected = designedDialogue();
        QVERIFY(ServeEventsUntil([&] { return sim.lines().size() >= expected.size(); }));
        QCOMPARE(sim.lines(), expected);

        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY(isIdle(w));
        QVERIFY(ServeEventsUntil([&] { return sim.lines().size() > expected.size(); }));
        QCOMPARE(sim.lines().last(), RestoreCommand);

        // The choices are kept: [Ethernet] with the protocol, [GPIB] once GPIB was used.
        p.form->close();
        if (way == int(Way::Vxi11)) {
            const LanConfig lan = ReadLanConfig();
            QVERIFY(lan.Vxi11);
            QCOMPARE(lan.LanDevice, QStringLiteral("inst0"));
            QVERIFY(!ReadGpibConfig().Selected);
        } else {
            const GpibConfig gpib = ReadGpibConfig();
            QVERIFY(gpib.Selected);
            QCOMPARE(gpib.OnLan, way == int(Way::GpibTcp));
            QCOMPARE(gpib.Address, 20);
        }
    }

    void failuresSayWhy_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("status");
        QTest::newRow("refused VXI-11 link")
            << "refused" << "Cannot connect to 127.0.0.1 (VXI-11 inst0): the instrument refused the link to 'inst0'";
        QTest::newRow("silent adapter") << "silent" << "Could not open FSP ! COM3: no GPIB adapter answers";
        QTest::newRow("analyser at another GPIB address") << "address" << "Could not open FSP !";
        QTest::newRow("serial port not there") << "absent" << "Could not open FSP ! COM7: no such port";
        QTest::newRow("adapter's port not there") << "gpib absent" << "Could not open FSP ! COM7: no such port";
    }
    void failuresSayWhy()
    {
        QFETCH(QString, what);
        QFETCH(QString, status);
        Program p({}, false);
        TForm1 &w = p.w();
        std::unique_ptr<LanSim> sim;
        std::unique_ptr<SimulatorProcess> plain;
        if (what == QLatin1String("refused")) {
            sim = std::make_unique<LanSim>(QStringList{"--vxi11", "--lan-device", "gpib0,20"});
            if (sim->ready() == 0)
                QSKIP("no portmapper for the simulator");
            chooseVxi11(w);
        } else if (what == QLatin1String("silent")) {
            plain = SimulatorProcess::onComPort(3);
            QVERIFY(plain->ready());
            chooseGpib(w, false, 0, 3);
        } else if (what == QLatin1String("address")) {
            sim = std::make_unique<LanSim>(QStringList{"--port", "3", "--gpib-adapter", "--gpib-address", "5"});
            sim->ready();
            chooseGpib(w, false, 0, 3);
        } else if (what == QLatin1String("gpib absent")) {
            chooseGpib(w, false, 0, 7);
        } else {
            w.cb_COM->setEditText(QStringLiteral("7"));
        }
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY2(ServeEventsUntil([&] { return w.statusText() == status; }, 15000), qPrintable(w.statusText()));
        QVERIFY(isIdle(w));
        QVERIFY(w.MainWindowEnabled());
        if (sim && what == QLatin1String("address"))
            QVERIFY(sim->lines().isEmpty());
    }

    /// Disconnect while the link is still being made or the adapter has not answered yet: the
    /// window is idle at once, and the abandoned attempt comes to nothing when it ends.
    void disconnectWhileLinking_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("VXI-11 link being made") << int(Way::Vxi11);
        QTest::newRow("adapter greeting on a pseudo-terminal") << int(Way::GpibPty);
        QTest::newRow("adapter greeting on TCP") << int(Way::GpibTcp);
    }
    void disconnectWhileLinking()
    {
        QFETCH(int, way);
        Program p({}, false);
        TForm1 &w = p.w();
        // A slow instrument, or a simulator that is no adapter and never answers "++ver".
        LanSim sim(way == int(Way::Vxi11)     ? QStringList{"--vxi11", "--delay", "3000"}
                   : way == int(Way::GpibTcp) ? QStringList{"--tcp", "0"}
                                              : QStringList{"--port", "3"});
        const quint16 port = sim.ready();
        if (way == int(Way::Vxi11) && port == 0)
            QSKIP("no portmapper for the simulator");
        QVERIFY(sim.running());
        if (way == int(Way::Vxi11))
            chooseVxi11(w);
        else
            chooseGpib(w, way == int(Way::GpibTcp), port, 3);
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QCOMPARE(w.b_connect->text(), QStringLiteral("Disconnect"));
        QVERIFY(w.b_connect->isEnabled());
        QVERIFY(w.Link->isConnecting());
        QVERIFY(!w.gb_com->isEnabled());
        QTest::qWait(300);
        QTest::mouseClick(w.b_connect, Qt::LeftButton);
        QVERIFY(isIdle(w));
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        // Past the link's and the adapter's own bounds: nothing comes of the attempt.
        QTest::qWait(way == int(Way::Vxi11) ? 4000 : GpibTransport::kAdapterAnswerMs + 500);
        QVERIFY(isIdle(w));
        QCOMPARE(w.statusText(), QStringLiteral("FSP closed..."));
        // Connecting again works at once, and the next Disconnect frees the port.
        if (way == int(Way::GpibPty)) {
            QTest::mouseClick(w.b_connect, Qt::LeftButton);
            QVERIFY(w.Link->isConnecting());
            QTest::mouseClick(w.b_connect, Qt::LeftButton);
            QVERIFY(isIdle(w));
        }
        // Nothing reached the instrument; the adapter was only greeted, never set up.
        if (way == int(Way::Vxi11))
            QCOMPARE(sim.lines(), QList<QByteArray>());
        for (const QByteArray &line : sim.lines())
            QCOMPARE(line, QByteArrayLiteral("++ver"));
    }
};

QTEST_MAIN(TestVxi11Gpib)
#include "tst_vxi11_gpib.moc"
