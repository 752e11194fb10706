// The serial component's logic that needs no port: the buffers, the flow-control flag word,
// the DTR and RTS lines with the receive-side handshake, the mode properties, the port-number
// mapping and the termios form of the line settings.

#include "helper_pty.h"
#include "serial/pilobuffer.h"
#include "serial/piloport.h"
#include "serial/portdevice.h"
#include "serial/rxflow.h"

#include <QtTest>

#include <functional>
#include <termios.h>

Q_DECLARE_METATYPE(std::function<void(TFlowCtrl &)>)

namespace {

/// Records every move of the modem lines as "DTR+", "RTS-", ...
class RecordedLines : public TPiloModemLines
{
public:
    void SetDtr(bool on) override { moves << (on ? "DTR+" : "DTR-"); }
    void SetRts(bool on) override { moves << (on ? "RTS+" : "RTS-"); }
    QStringList moves;
};

/// The lines as the main window's "DTR/RTS" choice sets them.
constexpr quint32 BothHandshakes = PiloDcb::Binary | PiloDcb::DtrHandshake | PiloDcb::RtsHandshake;
constexpr quint32 RtsHandshakeOnly = PiloDcb::Binary | PiloDcb::RtsHandshake;

} // namespace

class TestPortLogic : public QObject
{
    Q_OBJECT

private slots:
    void txQueueHandsOutChunksAndReusesItsBlock();
    void txQueueStaysBoundedWhenNeverEmpty();
    void rxBufferStaysBoundedWithSplitLines();
    void rxBufferScansLinesAcrossReads_data();
    void rxBufferScansLinesAcrossReads();
    void flagWord_data();
    void flagWord();
    void linesAtOpening_data();
    void linesAtOpening();
    void linesWhileSending_data();
    void linesWhileSending();
    void rxHandshakeHysteresis_data();
    void rxHandshakeHysteresis();
    void rxHandshakeMarksFollowTheBufferSize();
    void modeSwitches();
    void negativeRxTimeoutRaisesAndKeepsOldValue_data();
    void negativeRxTimeoutRaisesAndKeepsOldValue();
    void writeWhileClosedRaises();
    void devicePathForPort_data();
    void devicePathForPort();
    void lineSettingsInTermios_data();
    void lineSettingsInTermios();
};

void TestPortLogic::txQueueHandsOutChunksAndReusesItsBlock()
{
    TPiloTxBuffer q;
    const QByteArray data(20000, 'x');
    q.Put(data.constData(), 20000);
    QCOMPARE(q.Capacity(), 20000u); // grown by exactly the shortfall

    QList<quint32> chunks;
    quint32 taken = 0;
    do {
        q.Take(8192, taken);
        if (taken)
            chunks << taken;
    } while (taken);
    QCOMPARE(chunks, (QList<quint32>{8192, 8192, 3616}));
    QCOMPARE(q.ReadPos, 0u);
    QCOMPARE(q.WritePos, 0u);

    const quint64 grown = TPiloCustomBuffer::GrowCount();
    q.Put(data.constData(), 20000);
    QCOMPARE(TPiloCustomBuffer::GrowCount(), grown);
}

void TestPortLogic::txQueueStaysBoundedWhenNeverEmpty()
{
    // A writer that always adds a little more before the last chunk is gone keeps the queue
    // from ever running empty; the block must still not grow with every write.
    TPiloTxBuffer q;
    QByteArray expected;
    QByteArray got;
    int next = 0;
    auto put = [&](int n) {
        QByteArray bytes;
        for (int i = 0; i < n; ++i)
            bytes.append(char('a' + (next++ % 26)));
        q.Put(bytes.constData(), quint32(n));
        expected += bytes;
    };
    put(50);
    for (int i = 0; i < 10000; ++i) {
        put(100);
        quint32 taken = 0;
        const char *chunk = q.Take(100, taken);
        got.append(chunk, taken);
    }
    QVERIFY2(q.Capacity() <= 300, qPrintable(QString::number(q.Capacity())));
    QCOMPARE(q.Count, 50u);
    QCOMPARE(got, expected.left(got.size()));
}

void TestPortLogic::rxBufferStaysBoundedWithSplitLines()
{
    // The receive thread's pattern under steady line traffic whose reads always end half-way
    // through a line: the buffer is never fully consumed, so its positions never go back to 0
    // by themselves; appending must still reuse the consumed front of the block.
    TPiloCommBuffer b;
    QByteArray stream;
    for (int i = 0; i < 3000; ++i)
        stream += QByteArray::number(100000000 + i).rightJustified(18, '0') + "\r\n";
    QByteArray consumed;
    qsizetype pos = 0;
    auto append = [&](quint32 n) {
        b.Reserve(n);
        memcpy(b.Data() + b.WritePos, stream.constData() + pos, n);
        b.WritePos += n;
        pos += n;
    };
    append(10);
    while (pos + 20 <= stream.size()) {
        append(20);
        char line[20];
        QCOMPARE(b.Take(line, 20), 20u);
        consumed.append(line, 20);
        QCOMPARE(b.Unread(), 10u);
    }
    QVERIFY2(b.Capacity() <= 60, qPrintable(QString::number(b.Capacity())));
    QCOMPARE(consumed, stream.left(consumed.size()));
}

void TestPortLogic::rxBufferScansLinesAcrossReads_data()
{
    // Reads as the driver hands them over, separated by "|"; the lines offered, separated by
    // "|", each taken whole before the next read; and the bytes left waiting.
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<QByteArray>("reads");
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QByteArray>("waiting");
    QTest::newRow("two lines in one read") << QByteArray("\r\n") << QByteArray("ab\r\ncd\r\n")
                                           << QByteArray("ab\r\n|cd\r\n") << QByteArray();
    QTest::newRow("line end split") << QByteArray("\r\n") << QByteArray("ab\r|\ncd")
                                    << QByteArray("ab\r\n") << QByteArray("cd");
    QTest::newRow("no line end") << QByteArray("\r\n") << QByteArray("abc|def") << QByteArray()
                                 << QByteArray("abcdef");
    QTest::newRow("bare line end") << QByteArray("\r\n") << QByteArray("\r|\n") << QByteArray("\r\n")
                                   << QByteArray();
    QTest::newRow("overlapping line end") << QByteArray("aa") << QByteArray("xa|aay") << QByteArray("xaa")
                                          << QByteArray("ay");
}

void TestPortLogic::rxBufferScansLinesAcrossReads()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(QByteArray, reads);
    QFETCH(QByteArray, lines);
    QFETCH(QByteArray, waiting);
    TPiloCommBuffer b;
    QByteArrayList offered;
    for (const QByteArray &read : reads.split('|')) {
        b.Reserve(quint32(read.size()));
        memcpy(b.Data() + b.WritePos, read.constData(), size_t(read.size()));
        b.WritePos += quint32(read.size());
        while (const quint32 length = b.ScanLine(lineEnd.constData(), quint32(lineEnd.size()))) {
            QByteArray line(length, '\0');
            QCOMPARE(b.Take(line.data(), length), length);
            offered << line;
        }
    }
    QCOMPARE(offered.join('|'), lines);
    QCOMPARE(QByteArray(b.Data() + b.ReadPos, b.Unread()), waiting);
    QCOMPARE(b.ScanLine("", 0), 0u);
}

void TestPortLogic::flagWord_data()
{
    using Change = std::function<void(TFlowCtrl &)>;
    QTest::addColumn<Change>("change");
    QTest::addColumn<quint32>("flags");

    QTest::newRow("new component") << Change([](TFlowCtrl &) {}) << 0x1011u;
    QTest::newRow("TxCtsFlow") << Change([](TFlowCtrl &f) { f.setTxCtsFlow(true); }) << 0x1015u;
    QTest::newRow("TxDsrFlow") << Change([](TFlowCtrl &f) { f.setTxDsrFlow(true); }) << 0x1019u;
    QTest::newRow("dtrDisable") << Change([](TFlowCtrl &f) { f.setRxDtrControl(dtrDisable); })
                                << 0x1001u;
    QTest::newRow("dtrHandshake") << Change([](TFlowCtrl &f) { f.setRxDtrControl(dtrHandshake); })
                                  << 0x1021u;
    QTest::newRow("RxDsrSensivity")
        << Change([](TFlowCtrl &f) { f.setRxDsrSensivity(true); }) << 0x1051u;
    QTest::newRow("TxContinueXoff")
        << Change([](TFlowCtrl &f) { f.setTxContinueXoff(true); }) << 0x1091u;
    QTest::newRow("XonXoff") << Change([](TFlowCtrl &f) { f.setXonXoff(true); }) << 0x1311u;
    QTest::newRow("rtsDisable") << Change([](TFlowCtrl &f) { f.setRxRtsControl(rtsDisable); })
                                << 0x0011u;
    QTest::newRow("rtsHandshake") << Change([](TFlowCtrl &f) { f.setRxRtsControl(rtsHandshake); })
                                  << 0x2011u;
    QTest::newRow("rtsToggle") << Change([](TFlowCtrl &f) { f.setRxRtsControl(rtsToggle); })
                               << 0x3011u;
    QTest::newRow("main window: dtrDisable, rtsHandshake") << Change([](TFlowCtrl &f) {
        f.setRxDtrControl(dtrDisable);
        f.setRxRtsControl(rtsHandshake);
        f.setXonXoff(false);
    }) << 0x2001u;
    QTest::newRow("XonXoff on and off again") << Change([](TFlowCtrl &f) {
        f.setXonXoff(true);
        f.setXonXoff(false);
    }) << 0x1011u;
    QTest::newRow("handshake then enable") << Change([](TFlowCtrl &f) {
        f.setRxRtsControl(rtsToggle);
        f.setRxRtsControl(rtsEnable);
        f.setRxDtrControl(dtrHandshake);
        f.setRxDtrControl(dtrEnable);
    }) << 0x1011u;
}

void TestPortLogic::flagWord()
{
    QFETCH(std::function<void(TFlowCtrl &)>, change);
    QFETCH(quint32, flags);
    TPiloComPort port;
    change(port.FlowCtrl());
    QCOMPARE(port.FlowCtrl().Flags(), flags);
}

void TestPortLogic::linesAtOpening_data()
{
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<QStringList>("moves");

    QTest::newRow("new component") << quint32(PiloDcb::Initial) << QStringList{"DTR+", "RTS+"};
    QTest::newRow("both disabled") << quint32(PiloDcb::Binary) << QStringList{"DTR-", "RTS-"};
    QTest::newRow("DTR/RTS handshake") << BothHandshakes << QStringList{"DTR+", "RTS+"};
    QTest::newRow("RTS handshake, DTR disabled") << RtsHandshakeOnly << QStringList{"DTR-", "RTS+"};
    QTest::newRow("rtsToggle starts low")
        << quint32(PiloDcb::Binary | PiloDcb::DtrEnable | PiloDcb::RtsToggle)
        << QStringList{"DTR+", "RTS-"};
}

void TestPortLogic::linesAtOpening()
{
    QFETCH(quint32, flags);
    QFETCH(QStringList, moves);
    RecordedLines lines;
    TPiloRxFlow flow(lines);
    flow.Configure(flags, 8192);
    QCOMPARE(lines.moves, moves);
    QVERIFY(!flow.Held());
}

void TestPortLogic::linesWhileSending_data()
{
    // Two chunks sent one after the other, the second announced twice.
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<QStringList>("moves");
    QTest::newRow("rtsToggle: raised while a chunk goes out")
        << quint32(PiloDcb::Binary | PiloDcb::DtrEnable | PiloDcb::RtsToggle)
        << QStringList{"RTS+", "RTS-", "RTS+", "RTS-"};
    QTest::newRow("rtsEnable: stays") << quint32(PiloDcb::Initial) << QStringList{};
    QTest::newRow("rtsDisable: stays") << quint32(PiloDcb::Binary | PiloDcb::DtrEnable) << QStringList{};
    QTest::newRow("handshake: stays") << BothHandshakes << QStringList{};
}

void TestPortLogic::linesWhileSending()
{
    QFETCH(quint32, flags);
    QFETCH(QStringList, moves);
    RecordedLines lines;
    TPiloRxFlow flow(lines);
    flow.Configure(flags, 8192);
    lines.moves.clear();
    flow.SetSending(true);
    flow.SetSending(false);
    flow.SetSending(true);
    flow.SetSending(true);
    flow.SetSending(false);
    QCOMPARE(lines.moves, moves);
}

void TestPortLogic::rxHandshakeHysteresis_data()
{
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<QList<quint64>>("fills");
    QTest::addColumn<QStringList>("moves");

    // RxBuffer 8192: dropped above 6144, raised again below 2048.
    using Fills = QList<quint64>;
    QTest::newRow("up to the high-water mark: nothing") << RtsHandshakeOnly
                                                         << Fills{0, 100, 6144} << QStringList{};
    QTest::newRow("above the high-water mark: dropped once")
        << RtsHandshakeOnly << Fills{100, 6145, 7000, 8192, 20000} << QStringList{"RTS-"};
    QTest::newRow("drained below the low-water mark: raised once")
        << RtsHandshakeOnly << Fills{7000, 4000, 2048, 2047, 1000, 0}
        << QStringList{"RTS-", "RTS+"};
    QTest::newRow("no chatter between the marks")
        << RtsHandshakeOnly << Fills{7000, 6000, 2100, 6144, 2048, 3000, 6100}
        << QStringList{"RTS-"};
    QTest::newRow("rising again after a release")
        << RtsHandshakeOnly << Fills{7000, 10, 3000, 6144, 6145, 2047}
        << QStringList{"RTS-", "RTS+", "RTS-", "RTS+"};
    QTest::newRow("DTR/RTS: both lines hold the sender")
        << BothHandshakes << Fills{6145, 0} << QStringList{"DTR-", "RTS-", "DTR+", "RTS+"};
    QTest::newRow("no handshake: the lines stay as set")
        << quint32(PiloDcb::Initial) << Fills{0, 20000, 0} << QStringList{};
    QTest::newRow("XON/XOFF: the lines stay as set")
        << quint32(PiloDcb::Binary | PiloDcb::OutX | PiloDcb::InX) << Fills{20000, 0}
        << QStringList{};
}

void TestPortLogic::rxHandshakeHysteresis()
{
    QFETCH(quint32, flags);
    QFETCH(QList<quint64>, fills);
    QFETCH(QStringList, moves);
    RecordedLines lines;
    TPiloRxFlow flow(lines);
    flow.Configure(flags, 8192);
    lines.moves.clear();
    for (quint64 fill : fills)
        flow.Update(fill);
    QCOMPARE(lines.moves, moves);
}

void TestPortLogic::rxHandshakeMarksFollowTheBufferSize()
{
    RecordedLines lines;
    TPiloRxFlow flow(lines);
    flow.Configure(RtsHandshakeOnly, 8192);
    QCOMPARE(flow.HighWater(), 6144u);
    QCOMPARE(flow.LowWater(), 2048u);
    flow.Configure(RtsHandshakeOnly, 64);
    QCOMPARE(flow.HighWater(), 48u);
    QCOMPARE(flow.LowWater(), 16u);

    // A held sender stays held across a change of the other settings...
    flow.Update(49);
    QVERIFY(flow.Held());
    lines.moves.clear();
    flow.Configure(RtsHandshakeOnly | PiloDcb::InX, 64);
    QCOMPARE(lines.moves, (QStringList{"DTR-", "RTS-"}));
    // ...and is let go when the handshake is switched off.
    flow.Configure(PiloDcb::Initial, 64);
    QVERIFY(!flow.Held());
    QCOMPARE(lines.moves.last(), QStringLiteral("RTS+"));
}

void TestPortLogic::modeSwitches()
{
    TPiloComPort port;
    port.setRxThresholdAmount(4);
    port.setRxThresholdUse(true);
    port.setRxTimeout(50);
    QVERIFY(!port.RxThresholdUse());
    QVERIFY(!port.LineMode());

    port.setLineMode(true);
    QCOMPARE(port.RxTimeout(), 0);
    QVERIFY(!port.RxThresholdUse());

    port.setRxThresholdUse(true);
    QVERIFY(!port.LineMode());
    QCOMPARE(port.RxTimeout(), 0);
    QCOMPARE(port.RxThresholdAmount(), 4);
}

void TestPortLogic::negativeRxTimeoutRaisesAndKeepsOldValue_data()
{
    QTest::addColumn<int>("old");
    QTest::newRow("from 0") << 0;
    QTest::newRow("from 50") << 50;
}

void TestPortLogic::negativeRxTimeoutRaisesAndKeepsOldValue()
{
    QFETCH(int, old);
    TPiloComPort port;
    port.setRxTimeout(old);
    QString message;
    try {
        port.setRxTimeout(-1);
    } catch (const EPiloComPort &e) {
        message = e.Message();
    }
    QCOMPARE(message, QStringLiteral("Value can not be negatieve"));
    QCOMPARE(port.RxTimeout(), old);
}

void TestPortLogic::writeWhileClosedRaises()
{
    TPiloComPort port;
    QString message;
    try {
        port.WriteStr("*idn?\r\n");
    } catch (const EPiloComPort &e) {
        message = e.Message();
    }
    QCOMPARE(message, QStringLiteral("Port not open"));
}

void TestPortLogic::devicePathForPort_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QString>("path");

    QTest::newRow("COM1") << 1 << false << "/dev/ttyS0";
    QTest::newRow("COM32") << 32 << false << "/dev/ttyS31";
    QTest::newRow("COM33") << 33 << false << "/dev/ttyUSB0";
    QTest::newRow("COM64") << 64 << false << "/dev/ttyUSB31";
    QTest::newRow("COM65") << 65 << false << "/dev/ttyACM0";
    QTest::newRow("COM96") << 96 << false << "/dev/ttyACM31";
    QTest::newRow("COM97 has only its link") << 97 << false << "ports/COM97";
    QTest::newRow("COM0") << 0 << false << "ports/COM0";
    QTest::newRow("link wins over ttyS") << 1 << true << "ports/COM1";
    QTest::newRow("link for a high number") << 200 << true << "ports/COM200";
}

void TestPortLogic::devicePathForPort()
{
    QFETCH(int, port);
    QFETCH(bool, linked);
    QFETCH(QString, path);
    TempWorkDir dir;
    QVERIFY(dir.isValid());
    if (linked)
        QVERIFY(dir.link(port, QStringLiteral("/nonexistent/serial-device")));
    QCOMPARE(DevicePathForPort(port), path);
}

void TestPortLogic::lineSettingsInTermios_data()
{
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<quint32>("flowFlags");
    QTest::addColumn<quint32>("cflagMask");
    QTest::addColumn<quint32>("cflag");
    QTest::addColumn<quint32>("iflag");

    const quint32 parityMask = PARENB | PARODD | CMSPAR;
    const quint32 main = PiloDcb::Binary | PiloDcb::RtsHandshake;
    QTest::newRow("8N1") << 8 << int(ptNone) << int(sbOne) << quint32(PiloDcb::Initial)
                         << quint32(CSIZE | parityMask | CSTOPB | CRTSCTS) << quint32(CS8) << 0u;
    QTest::newRow("7E1") << 7 << int(ptEven) << int(sbOne) << quint32(PiloDcb::Initial)
                         << quint32(CSIZE | parityMask) << quint32(CS7 | PARENB) << 0u;
    QTest::newRow("odd") << 8 << int(ptOdd) << int(sbOne) << quint32(PiloDcb::Initial) << parityMask
                         << quint32(PARENB | PARODD) << 0u;
    QTest::newRow("mark") << 8 << int(ptMark) << int(sbOne) << quint32(PiloDcb::Initial)
                          << parityMask << quint32(PARENB | PARODD | CMSPAR) << 0u;
    QTest::newRow("space") << 8 << int(ptSpace) << int(sbOne) << quint32(PiloDcb::Initial)
                           << parityMask << quint32(PARENB | CMSPAR) << 0u;
    QTest::newRow("two stop bits") << 8 << int(ptNone) << int(sbTwo) << quint32(PiloDcb::Initial)
                                   << quint32(CSTOPB) << quint32(CSTOPB) << 0u;
    QTest::newRow("one and a half stop bits with 5 bits")
        << 5 << int(ptNone) << int(sbOne_5) << quint32(PiloDcb::Initial) << quint32(CSIZE | CSTOPB)
        << quint32(CS5 | CSTOPB) << 0u;
    // The DTR/RTS handshake throttles only the input; CRTSCTS would hold back our output too.
    QTest::newRow("main window's RTS handshake")
        << 8 << int(ptNone) << int(sbOne) << main << quint32(CRTSCTS) << 0u << 0u;
    QTest::newRow("DTR and RTS handshake")
        << 8 << int(ptNone) << int(sbOne) << BothHandshakes << quint32(CRTSCTS) << 0u << 0u;
    QTest::newRow("DTR handshake")
        << 8 << int(ptNone) << int(sbOne)
        << quint32(PiloDcb::Binary | PiloDcb::DtrHandshake | PiloDcb::RtsEnable)
        << quint32(CRTSCTS) << 0u << 0u;
    QTest::newRow("CTS output flow")
        << 8 << int(ptNone) << int(sbOne) << quint32(PiloDcb::Initial | PiloDcb::OutxCtsFlow)
        << quint32(CRTSCTS) << quint32(CRTSCTS) << 0u;
    QTest::newRow("XON/XOFF") << 8 << int(ptNone) << int(sbOne)
                              << quint32(PiloDcb::Initial | PiloDcb::OutX | PiloDcb::InX)
                              << quint32(CRTSCTS) << 0u << quint32(IXON | IXOFF);
}

void TestPortLogic::lineSettingsInTermios()
{
    QFETCH(int, byteSize);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(quint32, flowFlags);
    QFETCH(quint32, cflagMask);
    QFETCH(quint32, cflag);
    QFETCH(quint32, iflag);

    // Start from a cooked terminal with everything set that must go.
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG;
    t.c_cflag = CS7 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    LineSettings s;
    s.ByteSize = quint8(byteSize);
    s.Parity = TParity(parity);
    s.StopBits = TStopBits(stopBits);
    s.FlowFlags = flowFlags;
    s.Baudrate = 19200;
    QVERIFY(ApplyLineSettings(t, s));

    QCOMPARE(quint32(t.c_cflag) & cflagMask, cflag);
    QCOMPARE(quint32(t.c_iflag) & quint32(IXON | IXOFF | ICRNL | INPCK | ISTRIP), iflag);
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QVERIFY(t.c_cflag & CLOCAL);
    QVERIFY(t.c_cflag & CREAD);
    QCOMPARE(int(t.c_cc[VMIN]), 1);
    QCOMPARE(int(t.c_cc[VTIME]), 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));

    // A rate without a standard constant is left for termios2 and never becomes B0.
    s.Baudrate = 250000;
    QVERIFY(!ApplyLineSettings(t, s));
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
}

QTEST_GUILESS_MAIN(TestPortLogic)
#include "tst_portlogic.moc"
