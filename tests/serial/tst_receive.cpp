// The receive side over a pseudo-terminal: line, threshold, direct and timeout delivery, what
// Close offers, handlers without a reader or with an error, and Close in the middle of a burst.

#include "helper_pty.h"
#include "serial/piloport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int PortNo = 3;

using Clock = std::chrono::steady_clock;

/// Collects what each OnDataAvailable call reads with ReadStr.
struct Reader
{
    QList<QByteArray> deliveries;

    void attach(TPiloComPort &port)
    {
        port.OnDataAvailable = [this](TPiloComPort *p) {
            QByteArray s;
            p->ReadStr(s);
            deliveries << s;
        };
    }
};

/// Writes numbered lines "L000000\r\n" to the master side from its own thread until all are
/// out or it is told to stop.
class LineWriter
{
public:
    LineWriter(int fd, int lines) : m_fd(fd), m_lines(lines)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~LineWriter() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    static QByteArray line(int n)
    {
        return "L" + QByteArray::number(n).rightJustified(6, '0') + "\r\n";
    }

private:
    void run()
    {
        QByteArray block;
        for (int n = 0; n < m_lines && !m_stop; ++n) {
            block += line(n);
            if (block.size() < 4000 && n + 1 < m_lines)
                continue;
            qsizetype done = 0;
            while (done < block.size() && !m_stop) {
                const ssize_t w =
                    ::write(m_fd, block.constData() + done, size_t(block.size() - done));
                if (w > 0) {
                    done += w;
                } else {
                    pollfd p{m_fd, POLLOUT, 0};
                    ::poll(&p, 1, 10);
                }
            }
            block.clear();
        }
    }

    int m_fd;
    int m_lines;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

class TestReceive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lineMode_data();
    void lineMode();
    void linesSurviveAnySplit();
    void newLineEndRescansWaitingBytes();
    void thresholdMode_data();
    void thresholdMode();
    void directModeOffersUntilAllIsRead();
    void timeoutModeOffersOnceAfterThePause();
    void closeOffersOnlyReadyData_data();
    void closeOffersOnlyReadyData();
    void inputWithoutHandlerIsDiscarded();
    void handlerErrorsGoToBGException_data();
    void handlerErrorsGoToBGException();
    void handlerMayCloseAndReopen();
    void closeDuringBurstNeverDeadlocks_data();
    void closeDuringBurstNeverDeadlocks();

private:
    bool openPort(TPiloComPort &port);
    std::unique_ptr<TempWorkDir> m_dir;
    std::unique_ptr<PtyLine> m_line;
};

void TestReceive::init()
{
    m_dir = std::make_unique<TempWorkDir>();
    QVERIFY(m_dir->isValid());
    m_line = std::make_unique<PtyLine>();
    QVERIFY(m_line->isOpen());
    QVERIFY(m_dir->link(PortNo, m_line->slavePath()));
}

void TestReceive::cleanup()
{
    m_line.reset();
    m_dir.reset();
}

bool TestReceive::openPort(TPiloComPort &port)
{
    port.setPort(PortNo);
    return port.Open();
}

void TestReceive::lineMode_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<QList<QByteArray>>("parts"); // sent one after the other, each read alone
    QTest::addColumn<QList<QByteArray>>("expected");

    using L = QList<QByteArray>;
    QTest::newRow("two lines together")
        << QByteArray("\r\n") << L{"ab\r\ncd\r\n"} << L{"ab\r\n", "cd\r\n"};
    QTest::newRow("line split across reads")
        << QByteArray("\r\n") << L{"ab\r", "\ncd"} << L{"ab\r\n"};
    QTest::newRow("line end split across reads")
        << QByteArray("\r\n") << L{"12", "3\r", "\n45\r\n"} << L{"123\r\n", "45\r\n"};
    QTest::newRow("three-byte line end over three reads")
        << QByteArray("END") << L{"abE", "N", "Dxy"} << L{"abEND"};
    QTest::newRow("false start of the line end")
        << QByteArray("\r\n") << L{"a\r\r", "\n"} << L{"a\r\r\n"};
    QTest::newRow("bare line end")
        << QByteArray("\r\n") << L{"\r\n", "1\r\n"} << L{"\r\n", "1\r\n"};
    QTest::newRow("line feed only") << QByteArray("\n") << L{"a\nb\nc"} << L{"a\n", "b\n"};
    QTest::newRow("empty line end behaves as direct mode") << QByteArray() << L{"abc"} << L{"abc"};
}

void TestReceive::lineMode()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(QList<QByteArray>, parts);
    QFETCH(QList<QByteArray>, expected);

    TPiloComPort port;
    port.setLineMode(true);
    port.setLineEnd(lineEnd);
    Reader reader;
    reader.attach(port);
    QVERIFY(openPort(port));
    for (const QByteArray &part : parts) {
        QVERIFY(m_line->send(part));
        QTest::qWait(60); // the receive thread reads this part on its own
    }
    QTRY_COMPARE_WITH_TIMEOUT(reader.deliveries, expected, 2000);
    QTest::qWait(100);
    QCOMPARE(reader.deliveries, expected);
    QCOMPARE(port.RxCount(), 0);
}

void TestReceive::linesSurviveAnySplit()
{
    TPiloComPort port;
    port.setLineMode(true);
    Reader reader;
    reader.attach(port);
    QVERIFY(openPort(port));

    QList<QByteArray> lines;
    QByteArray stream;
    for (int i = 0; i < 3000; ++i) {
        lines << "MEAS " + QByteArray::number(i * 37 % 1000) + QByteArray(i % 7, 'x') + "\r\n";
        stream += lines.last();
    }
    std::thread writer([&] {
        QRandomGenerator rng(4711);
        qsizetype pos = 0;
        while (pos < stream.size()) {
            const qsizetype n = qMin<qsizetype>(1 + rng.bounded(40), stream.size() - pos);
            if (!m_line->send(stream.mid(pos, n)))
                return;
            pos += n;
            if (rng.bounded(10) == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    ServeEventsUntil([&] { return reader.deliveries.size() >= lines.size(); }, 20000);
    writer.join();
    QCOMPARE(reader.deliveries, lines);
}

void TestReceive::newLineEndRescansWaitingBytes()
{
    TPiloComPort port;
    port.setLineMode(true);
    Reader reader;
    reader.attach(port);
    QVERIFY(openPort(port));
    QVERIFY(m_line->send("ab\nx"));
    QTest::qWait(100);
    QVERIFY(reader.deliveries.isEmpty());
    port.setLineEnd("\n");
    QVERIFY(m_line->send("cd\n"));
    QTRY_COMPARE_WITH_TIMEOUT(reader.deliveries, (QList<QByteArray>{"ab\n", "xcd\n"}), 2000);
}

void TestReceive::thresholdMode_data()
{
    QTest::addColumn<int>("amount");
    QTest::addColumn<QList<QByteArray>>("expected");

    using L = QList<QByteArray>;
    QTest::newRow("blocks of 4") << 4 << L{"abcd", "efgh"};
    QTest::newRow("one block of all") << 10 << L{"abcdefghij"};
    QTest::newRow("amount 0 behaves as direct mode") << 0 << L{"abcdefghij"};
    QTest::newRow("negative amount behaves as direct mode") << -2 << L{"abcdefghij"};
}

void TestReceive::thresholdMode()
{
    QFETCH(int, amount);
    QFETCH(QList<QByteArray>, expected);

    TPiloComPort port;
    port.setRxThresholdAmount(amount);
    port.setRxThresholdUse(true);
    Reader reader;
    reader.attach(port);
    QVERIFY(openPort(port));
    QVERIFY(m_line->send("abcdefghij"));
    QTRY_COMPARE_WITH_TIMEOUT(reader.deliveries, expected, 2000);
    QTest::qWait(100);
    QCOMPARE(reader.deliveries, expected);
}

void TestReceive::directModeOffersUntilAllIsRead()
{
    // A reader that takes three bytes per call is offered the rest again and again.
    TPiloComPort port;
    QList<QByteArray> reads;
    port.OnDataAvailable = [&](TPiloComPort *p) {
        char buf[3];
        reads << QByteArray(buf, p->Read(buf, 3));
    };
    QVERIFY(openPort(port));
    QVERIFY(m_line->send("abcdefgh"));
    QTRY_COMPARE_WITH_TIMEOUT(reads.join(), QByteArray("abcdefgh"), 2000);
    QTest::qWait(100);
    QCOMPARE(reads.join(), QByteArray("abcdefgh"));
    QVERIFY(!reads.contains(QByteArray()));
}

void TestReceive::timeoutModeOffersOnceAfterThePause()
{
    TPiloComPort port;
    port.setRxTimeout(50);
    QList<QByteArray> deliveries;
    Clock::time_point delivered;
    port.OnDataAvailable = [&](TPiloComPort *p) {
        delivered = Clock::now();
        QByteArray s;
        p->ReadStr(s);
        deliveries << s;
    };
    QVERIFY(openPort(port));

    std::atomic<bool> done{false};
    Clock::time_point lastByte;
    Clock::duration longestGap{};
    std::thread writer([&] {
        Clock::time_point previous;
        for (int i = 0; i < 10; ++i) {
            m_line->send(QByteArray(1, char('0' + i)));
            const auto now = Clock::now();
            if (i > 0)
                longestGap = std::max(longestGap, now - previous);
            previous = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        lastByte = previous;
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 3000);
    writer.join();
    if (longestGap > std::chrono::milliseconds(35))
        QSKIP("The machine is too busy to send a byte every 10 ms");
    QTRY_COMPARE_WITH_TIMEOUT(deliveries.size(), 1, 3000);
    QTest::qWait(150);
    QCOMPARE(deliveries, QList<QByteArray>{"0123456789"});
    using std::chrono::milliseconds;
    const auto pause = std::chrono::duration_cast<milliseconds>(delivered - lastByte);
    QVERIFY2(pause >= milliseconds(45), qPrintable(QString::number(pause.count())));
    QVERIFY2(pause < milliseconds(1000), qPrintable(QString::number(pause.count())));
}

void TestReceive::closeOffersOnlyReadyData_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QList<QByteArray>>("beforeClose");
    QTest::addColumn<QList<QByteArray>>("fromClose");

    using L = QList<QByteArray>;
    QTest::newRow("line mode, part of a line is dropped")
        << "line" << QByteArray("ab\r\ncd") << L{"ab\r\n"} << L{};
    QTest::newRow("threshold mode, rest below the amount is dropped")
        << "threshold" << QByteArray("abcdef") << L{"abcd"} << L{};
    QTest::newRow("timeout mode, waiting bytes are offered")
        << "timeout" << QByteArray("abc") << L{} << L{"abc"};
}

void TestReceive::closeOffersOnlyReadyData()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, sent);
    QFETCH(QList<QByteArray>, beforeClose);
    QFETCH(QList<QByteArray>, fromClose);

    TPiloComPort port;
    if (mode == "line") {
        port.setLineMode(true);
    } else if (mode == "threshold") {
        port.setRxThresholdAmount(4);
        port.setRxThresholdUse(true);
    } else {
        port.setRxTimeout(5000);
    }
    Reader reader;
    reader.attach(port);
    QVERIFY(openPort(port));
    QVERIFY(m_line->send(sent));
    QTest::qWait(150);
    QCOMPARE(reader.deliveries, beforeClose);
    if (mode == "timeout")
        QCOMPARE(port.RxCount(), int(sent.size()));
    QVERIFY(port.Close());
    QCOMPARE(reader.deliveries, beforeClose + fromClose);
}

void TestReceive::inputWithoutHandlerIsDiscarded()
{
    TPiloComPort port;
    port.setLineMode(true);
    QVERIFY(openPort(port));
    QVERIFY(m_line->send("old\r\n"));
    QTest::qWait(150);
    Reader reader;
    reader.attach(port);
    QVERIFY(m_line->send("new\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(reader.deliveries, QList<QByteArray>{"new\r\n"}, 2000);
}

void TestReceive::handlerErrorsGoToBGException_data()
{
    QTest::addColumn<bool>("withBGHandler");
    QTest::newRow("OnBGException set") << true;
    QTest::newRow("no OnBGException") << false;
}

void TestReceive::handlerErrorsGoToBGException()
{
    QFETCH(bool, withBGHandler);
    TPiloComPort port;
    port.setLineMode(true);
    QList<QByteArray> lines;
    port.OnDataAvailable = [&](TPiloComPort *p) {
        QByteArray s;
        p->ReadStr(s);
        lines << s;
        if (s.startsWith("bad"))
            throw std::runtime_error("cannot evaluate the reply");
    };
    QStringList errors;
    if (withBGHandler) {
        port.OnBGException = [&](TPiloComPort *, const std::exception &e) {
            errors << QString::fromUtf8(e.what());
            throw std::runtime_error("the error handler fails too");
        };
    }
    port.OnSendProgress = [](TPiloComPort *, int) { throw 42; };
    QVERIFY(openPort(port));
    QVERIFY(m_line->send("bad\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 1, 2000);
    QVERIFY(m_line->send("good\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(lines, (QList<QByteArray>{"bad\r\n", "good\r\n"}), 2000);
    port.WriteStr("x");
    QTest::qWait(100);
    if (withBGHandler) {
        QCOMPARE(errors,
                 (QStringList{"cannot evaluate the reply", "unknown error in an event handler"}));
    }
}

void TestReceive::handlerMayCloseAndReopen()
{
    TPiloComPort port;
    port.setLineMode(true);
    QList<QByteArray> lines;
    port.OnDataAvailable = [&](TPiloComPort *p) {
        QByteArray s;
        p->ReadStr(s);
        lines << s;
        if (lines.size() == 1) {
            QVERIFY(p->Close());
            QVERIFY(p->Open());
            QByteArray after;
            p->ReadStr(after);
            QVERIFY(after.isEmpty());
        }
    };
    QVERIFY(openPort(port));
    QVERIFY(m_line->send("first\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 1, 2000);
    QVERIFY(m_line->send("second\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(lines, (QList<QByteArray>{"first\r\n", "second\r\n"}), 2000);
}

void TestReceive::closeDuringBurstNeverDeadlocks_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Close from inside OnDataAvailable") << "handler";
    QTest::newRow("Close while a delivery waits for the window thread") << "pending";
    QTest::newRow("Close from a timer in the handler's own event loop") << "nested";
    QTest::newRow("component destroyed while a delivery waits") << "destroy";
}

void TestReceive::closeDuringBurstNeverDeadlocks()
{
    QFETCH(QString, how);
    constexpr int Lines = 100000;
    constexpr int CloseAt = 30000;

    auto port = std::make_unique<TPiloComPort>();
    port->setLineMode(true);
    int count = 0;
    int wrong = 0;
    port->OnDataAvailable = [&](TPiloComPort *p) {
        QByteArray s;
        p->ReadStr(s);
        if (s != LineWriter::line(count))
            ++wrong;
        ++count;
        if (count != CloseAt)
            return;
        if (how == "handler") {
            QVERIFY(p->Close());
        } else if (how == "nested") {
            // Like a command that waits for its reply while serving events.
            QTimer::singleShot(5, p, [p] { p->Close(); });
            QEventLoop loop;
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
        }
    };
    QVERIFY(openPort(*port));
    LineWriter writer(m_line->master(), Lines);

    QVERIFY(ServeEventsUntil([&] { return count >= CloseAt; }, 60000));
    QElapsedTimer closing;
    closing.start();
    if (how == "pending" || how == "destroy") {
        // Serve nothing for a while: the receive thread is now waiting in a hand-over.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QVERIFY(port->RxCount() > 0);
        const int before = count;
        if (how == "pending") {
            QVERIFY(port->Close());
            QCOMPARE(count, before + 1); // Close offers the waiting line once more
        } else {
            port.reset();
            QCOMPARE(count, before); // a dying component calls no handler
        }
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!port->Active(), 5000);
    }
    QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
    const int afterClose = count;
    QTest::qWait(150);
    writer.stop();
    QCOMPARE(count, afterClose);
    QCOMPARE(wrong, 0);
    if (port)
        QVERIFY(!port->Active());
}

QTEST_GUILESS_MAIN(TestReceive)
#include "tst_receive.moc"
