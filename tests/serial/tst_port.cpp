// The serial port component over a pseudo-terminal: opening and closing, exclusive use, the
// port list, line settings on the open port, the transmit queue and a hang-up of the line.

#include "helper_pty.h"
#include "serial/piloport.h"
#include "serial/portdevice.h"

#include <QElapsedTimer>
#include <QtTest>

#include <functional>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

Q_DECLARE_METATYPE(std::function<void(TPiloComPort &)>)

namespace {
constexpr int PortNo = 7;
}

class TestPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensAndCloses();
    void openFailures_data();
    void openFailures();
    void portHeldByAnotherProcessIsListedButDoesNotOpen();
    void openPortCannotBeTakenTwice();
    void enumeratesPresentPortsOnly();
    void lineSettingsApplyToOpenPort_data();
    void lineSettingsApplyToOpenPort();
    void handshakeNeverHoldsOurOutput_data();
    void handshakeNeverHoldsOurOutput();
    void sameValueTouchesNothing();
    void writeHandsOverFirstChunkAndQueuesRest();
    void writesFromSendProgressJoinTheQueue();
    void hangUpEndsThreadAndCloseStillWorks();
    void realPortWithLoopbackPlug();

private:
    std::unique_ptr<TempWorkDir> m_dir;
    std::unique_ptr<PtyLine> m_line;
};

void TestPort::init()
{
    m_dir = std::make_unique<TempWorkDir>();
    QVERIFY(m_dir->isValid());
    m_line = std::make_unique<PtyLine>();
    QVERIFY(m_line->isOpen());
    QVERIFY(m_dir->link(PortNo, m_line->slavePath()));
}

void TestPort::cleanup()
{
    m_line.reset();
    m_dir.reset();
}

void TestPort::opensAndCloses()
{
    TPiloComPort port;
    port.setPort(PortNo);
    QVERIFY(!port.Close());
    QVERIFY(port.Open());
    QVERIFY(port.Active());
    QVERIFY(port.Open()); // opening an open port does nothing
    QCOMPARE(port.DevicePath(), QStringLiteral("ports/COM7"));
    QVERIFY(port.LastError().isEmpty());
    QVERIFY(port.Close());
    QVERIFY(!port.Active());
    QVERIFY(!port.Close());
    // The port is free again, for this program and any other.
    QVERIFY(port.Open());
}

void TestPort::openFailures_data()
{
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("reason");

    QTest::newRow("port 0") << 0 << "Cannot open port 'ports/COM0'"
                            << "there is no port 0";
    QTest::newRow("negative port") << -3 << "Cannot open port 'ports/COM-3'"
                                   << "there is no port -3";
    QTest::newRow("dangling link") << 8 << "Cannot open port 'ports/COM8'"
                                   << "there is no such port";
    QTest::newRow("not a serial port") << 9 << "Cannot open port 'ports/COM9'"
                                       << "the device is not a serial port";
    QTest::newRow("no device for the number") << 150 << "Cannot open port 'ports/COM150'"
                                              << "there is no such port";
}

void TestPort::openFailures()
{
    QFETCH(int, portNumber);
    QFETCH(QString, error);
    QFETCH(QString, reason);
    QVERIFY(m_dir->link(8, QStringLiteral("/nonexistent/ttyUSB9")));
    QVERIFY(m_dir->link(9, QStringLiteral("/dev/null")));
    // Port 0 never opens, even when somebody made a link for it.
    QVERIFY(m_dir->link(0, m_line->slavePath()));

    TPiloComPort port;
    port.setPort(portNumber);
    QVERIFY(!port.Open());
    QVERIFY(!port.Active());
    QCOMPARE(port.LastError(), error);
    QCOMPARE(port.LastErrorReason(), reason);
}

void TestPort::portHeldByAnotherProcessIsListedButDoesNotOpen()
{
    int ready[2];
    int release[2];
    QCOMPARE(::pipe(ready), 0);
    QCOMPARE(::pipe(release), 0);
    const QByteArray path = QFile::encodeName(m_line->slavePath());
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Another program holding the port the way serial programs do.
        ::close(ready[0]);
        ::close(release[1]);
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const bool held =
            fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCEXCL) == 0;
        const char answer = held ? 'y' : 'n';
        [[maybe_unused]] ssize_t w = ::write(ready[1], &answer, 1);
        char c;
        [[maybe_unused]] ssize_t r = ::read(release[0], &c, 1); // until the parent lets go
        if (fd >= 0)
            ::ioctl(fd, TIOCNXCL);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char answer = 0;
    QCOMPARE(::read(ready[0], &answer, 1), ssize_t(1));
    ::close(ready[0]);
    QCOMPARE(answer, 'y');

    QStringList ports;
    TPiloComPort::EnumComPorts(ports);
    QVERIFY2(ports.contains(QStringLiteral("7")), qPrintable(ports.join(',')));

    TPiloComPort port;
    port.setPort(PortNo);
    QVERIFY(!port.Open());
    QCOMPARE(port.LastError(), QStringLiteral("Cannot open port 'ports/COM7'"));
    QCOMPARE(port.LastErrorReason(), QStringLiteral("the port is in use by another program"));

    ::close(release[1]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(port.Open());
}

void TestPort::openPortCannotBeTakenTwice()
{
    TPiloComPort first;
    first.setPort(PortNo);
    QVERIFY(first.Open());

    TPiloComPort second;
    second.setPort(PortNo);
    QVERIFY(!second.Open());
    QCOMPARE(second.LastErrorReason(), QStringLiteral("the port is in use by another program"));

    // Nor can another program: a child process tries the usual open and lock.
    const QByteArray path = QFile::encodeName(m_line->slavePath());
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::_exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 1);

    first.Close();
    QVERIFY(second.Open());
}

void TestPort::enumeratesPresentPortsOnly()
{
    PtyLine other;
    QVERIFY(other.isOpen());
    QVERIFY(m_dir->link(120, other.slavePath()));
    QVERIFY(m_dir->link(8, QStringLiteral("/nonexistent/ttyUSB9")));
    QVERIFY(m_dir->link(9, QStringLiteral("/dev/null")));
    QVERIFY(m_dir->link(10, QStringLiteral("/tmp")));

    QStringList ports{QStringLiteral("kept")};
    TPiloComPort::EnumComPorts(ports);
    QCOMPARE(ports.first(), QStringLiteral("kept")); // appended to, not cleared
    QVERIFY(ports.contains(QStringLiteral("7")));
    QVERIFY(ports.contains(QStringLiteral("120")));
    QVERIFY(!ports.contains(QStringLiteral("8")));
    QVERIFY(!ports.contains(QStringLiteral("9")));
    QVERIFY(!ports.contains(QStringLiteral("10")));
    // Ascending, as decimal text.
    QList<int> numbers;
    for (qsizetype i = 1; i < ports.size(); ++i)
        numbers << ports[i].toInt();
    QVERIFY(std::is_sorted(numbers.begin(), numbers.end()));
    // Everything listed is really there.
    for (int n : numbers)
        QVERIFY2(SerialDevicePresent(DevicePathForPort(n)), qPrintable(DevicePathForPort(n)));
}

void TestPort::lineSettingsApplyToOpenPort_data()
{
    using Change = std::function<void(TPiloComPort &)>;
    QTest::addColumn<Change>("change");
    QTest::addColumn<int>("baudrate");
    QTest::addColumn<quint32>("cflagMask");
    QTest::addColumn<quint32>("cflag");
    QTest::addColumn<quint32>("iflag");

    QTest::newRow("as opened") << Change([](TPiloComPort &) {}) << 9600 << quint32(CSTOPB | CRTSCTS)
                               << 0u << 0u;
    QTest::newRow("baud rate") << Change([](TPiloComPort &p) { p.setBaudrate(115200); }) << 115200
                               << 0u << 0u << 0u;
    QTest::newRow("non-standard baud rate")
        << Change([](TPiloComPort &p) { p.setBaudrate(250000); }) << 250000 << 0u << 0u << 0u;
    QTest::newRow("two stop bits") << Change([](TPiloComPort &p) { p.setStopBits(sbTwo); }) << 9600
                                   << quint32(CSTOPB) << quint32(CSTOPB) << 0u;
    QTest::newRow("RTS handshake")
        << Change([](TPiloComPort &p) { p.FlowCtrl().setRxRtsControl(rtsHandshake); }) << 9600
        << quint32(CRTSCTS) << 0u << 0u;
    QTest::newRow("CTS output flow")
        << Change([](TPiloComPort &p) { p.FlowCtrl().setTxCtsFlow(true); }) << 9600
        << quint32(CRTSCTS) << quint32(CRTSCTS) << 0u;
    QTest::newRow("XON/XOFF") << Change([](TPiloComPort &p) { p.FlowCtrl().setXonXoff(true); })
                              << 9600 << 0u << 0u << quint32(IXON | IXOFF);
}

void TestPort::lineSettingsApplyToOpenPort()
{
    QFETCH(std::function<void(TPiloComPort &)>, change);
    QFETCH(int, baudrate);
    QFETCH(quint32, cflagMask);
    QFETCH(quint32, cflag);
    QFETCH(quint32, iflag);

    TPiloComPort port;
    port.setPort(PortNo);
    QVERIFY(port.Open());
    change(port);

    // The test's own descriptor of the same terminal shows what the driver holds.
    termios t{};
    QCOMPARE(::tcgetattr(m_line->slave(), &t), 0);
    QCOMPARE(CurrentBaudrate(m_line->slave()), baudrate);
    QCOMPARE(quint32(t.c_cflag) & cflagMask, cflag);
    QCOMPARE(quint32(t.c_iflag) & quint32(IXON | IXOFF), iflag);
    QCOMPARE(t.c_lflag & (ICANON | ECHO), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
}

void TestPort::handshakeNeverHoldsOurOutput_data()
{
    QTest::addColumn<int>("handshake");
    QTest::addColumn<bool>("setBeforeOpening");

    // The three handshake choices of the "COM Port" group, set as the connection sets them.
    const char *names[] = {"keine", "DTR/RTS", "Software"};
    for (int h = 0; h < 3; ++h) {
        QTest::addRow("%s, set before opening", names[h]) << h << true;
        QTest::addRow("%s, set on the open port", names[h]) << h << false;
    }
}

void TestPort::handshakeNeverHoldsOurOutput()
{
    QFETCH(int, handshake);
    QFETCH(bool, setBeforeOpening);

    // A terminal that an earlier program left with the hardware handshake on.
    termios t{};
    QCOMPARE(::tcgetattr(m_line->slave(), &t), 0);
    t.c_cflag |= CRTSCTS;
    QCOMPARE(::tcsetattr(m_line->slave(), TCSANOW, &t), 0);

    TPiloComPort port;
    port.setPort(PortNo);
    auto choose = [&] {
        TFlowCtrl &flow = port.FlowCtrl();
        flow.setRxDtrControl(dtrDisable);
        flow.setRxRtsControl(rtsDisable);
        flow.setXonXoff(false);
        if (handshake == 1) {
            flow.setRxDtrControl(dtrHandshake);
            flow.setRxRtsControl(rtsHandshake);
        } else if (handshake == 2) {
            flow.setXonXoff(true);
        }
    };
    if (setBeforeOpening)
        choose();
    QVERIFY(port.Open());
    if (!setBeforeOpening)
        choose();

    QCOMPARE(::tcgetattr(m_line->slave(), &t), 0);
    QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(bool(t.c_iflag & IXON), handshake == 2);

    // And what is written reaches the other side.
    QCOMPARE(port.WriteStr("*idn?\r\n"), 7);
    QCOMPARE(m_line->receiveServingEvents(7, 2000), QByteArray("*idn?\r\n"));
}

void TestPort::sameValueTouchesNothing()
{
    TPiloComPort port;
    port.setPort(PortNo);
    port.setBaudrate(19200);
    QVERIFY(port.Open());

    // Somebody changes the line behind the component's back...
    termios t{};
    QCOMPARE(::tcgetattr(m_line->slave(), &t), 0);
    cfsetospeed(&t, B4800);
    cfsetispeed(&t, B4800);
    t.c_cflag |= CSTOPB;
    QCOMPARE(::tcsetattr(m_line->slave(), TCSANOW, &t), 0);

    // ...assigning the values the component already holds must leave the port alone.
    port.setBaudrate(19200);
    port.setStopBits(sbOne);
    port.setParity(ptNone);
    port.setByteSize(8);
    port.FlowCtrl().setXonXoff(false);
    port.FlowCtrl().setRxRtsControl(rtsEnable);
    QCOMPARE(CurrentBaudrate(m_line->slave()), 4800);
    QCOMPARE(::tcgetattr(m_line->slave(), &t), 0);
    QVERIFY(t.c_cflag & CSTOPB);

    // A new value is applied at once.
    port.setBaudrate(38400);
    QCOMPARE(CurrentBaudrate(m_line->slave()), 38400);
}

void TestPort::writeHandsOverFirstChunkAndQueuesRest()
{
    TPiloComPort port;
    port.setPort(PortNo);
    QList<int> notifications; // chunk sizes, then -1 for OnDataSent
    port.OnSendProgress = [&](TPiloComPort *, int count) { notifications << count; };
    port.OnDataSent = [&](TPiloComPort *) { notifications << -1; };
    QVERIFY(port.Open());

    QByteArray data(20000, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 256);
    QCOMPARE(port.Write(data.constData(), int(data.size())), 20000);

    // The first chunk goes out at once, without the window thread serving anything; the
    // rest waits for the transmit-empty notifications.
    const QByteArray first = m_line->receive(20000, 300);
    QCOMPARE(first.size(), 8192);
    QVERIFY(notifications.isEmpty());

    const QByteArray rest = m_line->receiveServingEvents(20000 - 8192, 5000);
    QCOMPARE(first + rest, data);
    QTRY_COMPARE_WITH_TIMEOUT(notifications, (QList<int>{8192, 8192, 3616, -1}), 2000);

    // The queue is empty again: the next write is a first chunk once more.
    notifications.clear();
    QCOMPARE(port.WriteStr("*OPC?\r\n"), 7);
    QCOMPARE(m_line->receive(7, 2000), QByteArray("*OPC?\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(notifications, (QList<int>{7, -1}), 2000);
    QCOMPARE(port.Write(data.constData(), 0), 0);
    QCOMPARE(port.Write(nullptr, 5), 0);
}

void TestPort::writesFromSendProgressJoinTheQueue()
{
    TPiloComPort port;
    port.setPort(PortNo);
    port.setTxBuffer(4);
    QList<int> notifications;
    port.OnSendProgress = [&](TPiloComPort *p, int count) {
        notifications << count;
        if (notifications.size() == 1)
            p->WriteStr("XY");
    };
    port.OnDataSent = [&](TPiloComPort *) { notifications << -1; };
    QVERIFY(port.Open());
    QCOMPARE(port.WriteStr("abcdefghij"), 10);
    QCOMPARE(m_line->receiveServingEvents(12, 3000), QByteArray("abcdefghijXY"));
    QTRY_COMPARE_WITH_TIMEOUT(notifications, (QList<int>{4, 4, 4, -1}), 2000);
}

void TestPort::hangUpEndsThreadAndCloseStillWorks()
{
    TPiloComPort port;
    port.setPort(PortNo);
    port.setLineMode(true);
    QList<quint32> errors;
    int hangUps = 0;
    QList<QByteArray> lines;
    port.OnDataAvailable = [&](TPiloComPort *p) {
        QByteArray s;
        p->ReadStr(s);
        lines << s;
    };
    port.OnError = [&](TPiloComPort *, quint32 flags) { errors << flags; };
    port.OnHangUp = [&](TPiloComPort *) { ++hangUps; };
    QVERIFY(port.Open());
    QVERIFY(m_line->send("1\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 1, 2000);

    // The USB adapter is pulled.
    m_line->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(hangUps, 1, 2000);
    QCOMPARE(errors, QList<quint32>{PiloError::HangUp});
    QVERIFY(port.HungUp());
    QVERIFY(port.Active());
    QCOMPARE(port.WriteStr("*idn?\r\n"), 0);
    QTest::qWait(50);
    QCOMPARE(hangUps, 1); // reported once, not again and again

    QElapsedTimer closing;
    closing.start();
    QVERIFY(port.Close());
    QVERIFY(closing.elapsed() < 1000);
    QVERIFY(!port.Active());
    QVERIFY(!port.HungUp());
    QCOMPARE(lines.size(), 1);
}

void TestPort::realPortWithLoopbackPlug()
{
    // Pseudo-terminals have no modem lines; those need a real port.
    const QByteArray named = qgetenv("TESSARY_SERIAL_LOOPBACK");
    if (named.isEmpty())
        QSKIP("Set TESSARY_SERIAL_LOOPBACK to the number of a real port with a loopback plug "
              "(TX-RX, RTS-CTS and DTR-DSR joined) to test the modem lines");
    m_dir.reset(); // the real port is named by number, in the program's own working folder

    TPiloComPort port;
    port.setPort(named.toInt());
    port.setLineMode(true);
    port.setPortOptions({EventCtsDsr, EventError});
    port.FlowCtrl().setRxRtsControl(rtsEnable);
    port.FlowCtrl().setRxDtrControl(dtrEnable);
    QList<QByteArray> lines;
    QList<bool> cts;
    QList<bool> dsr;
    port.OnDataAvailable = [&](TPiloComPort *p) {
        QByteArray s;
        p->ReadStr(s);
        lines << s;
    };
    port.OnCtsChanged = [&](TPiloComPort *, bool on) { cts << on; };
    port.OnDsrChanged = [&](TPiloComPort *, bool on) { dsr << on; };
    QVERIFY2(port.Open(), qPrintable(port.LastError() + ": " + port.LastErrorReason()));

    // RTS and DTR are up, so the plug shows CTS and DSR on, reported at the start.
    QTRY_COMPARE_WITH_TIMEOUT(cts, QList<bool>{true}, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(dsr, QList<bool>{true}, 2000);

    QCOMPARE(port.WriteStr("*IDN?\r\n"), 7);
    QTRY_COMPARE_WITH_TIMEOUT(lines, QList<QByteArray>{"*IDN?\r\n"}, 2000);

    port.FlowCtrl().setRxRtsControl(rtsDisable);
    QTRY_COMPARE_WITH_TIMEOUT(cts, (QList<bool>{true, false}), 2000);
    port.FlowCtrl().setRxDtrControl(dtrDisable);
    QTRY_COMPARE_WITH_TIMEOUT(dsr, (QList<bool>{true, false}), 2000);
    QVERIFY(port.Close());

    // RTS handshake over the plug: RTS (seen as CTS) falls when more than 3/4 of the 64-byte
    // receive buffer waits for the reader and rises when the reader has taken it. The reader
    // takes nothing until told; timeout mode keeps the bytes offered, so they all count.
    cts.clear();
    port.setRxBuffer(64);
    port.FlowCtrl().setRxRtsControl(rtsHandshake);
    port.setRxTimeout(20);
    bool reading = false;
    QByteArray got;
    port.OnDataAvailable = [&](TPiloComPort *p) {
        if (!reading)
            return;
        QByteArray s;
        p->ReadStr(s);
        got += s;
    };
    QVERIFY2(port.Open(), qPrintable(port.LastError() + ": " + port.LastErrorReason()));
    QTRY_COMPARE_WITH_TIMEOUT(cts, QList<bool>{true}, 2000);
    const QByteArray burst(100, 'x');
    QCOMPARE(port.WriteStr(burst), 100);
    QTRY_COMPARE_WITH_TIMEOUT(cts, (QList<bool>{true, false}), 2000);
    // Our own output still goes while CTS is low.
    QCOMPARE(port.WriteStr("y"), 1);
    QTRY_COMPARE_WITH_TIMEOUT(port.RxCount(), 101, 2000);
    reading = true;
    QByteArray s;
    port.ReadStr(s);
    got += s;
    QTRY_COMPARE_WITH_TIMEOUT(cts, (QList<bool>{true, false, true}), 2000);
    QCOMPARE(got, burst + "y");
    QVERIFY(port.Close());
}

QTEST_GUILESS_MAIN(TestPort)
#include "tst_port.moc"
