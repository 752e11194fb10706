// Serial port component: line-mode delivery through a pseudo-terminal against a plain blocking
// read() loop over the same kind of line, allocations of the receive buffer in steady state,
// and the CPU that an open port with no traffic uses.
//
// Usage: bench_serial [lines] [idle seconds]      (defaults: 1000000 lines, 10 s)

#include "serial/pilobuffer.h"
#include "serial/piloport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int PortNo = 1;
constexpr int LineBytes = 20;

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

/// "L0000042 MEAS -12.5\r\n" style lines of exactly LineBytes bytes.
QByteArray makeLine(int n)
{
    QByteArray line = "L" + QByteArray::number(n).rightJustified(7, '0') + " MEAS -12.5";
    line = line.leftJustified(LineBytes - 2, ' ', true);
    return line + "\r\n";
}

struct Pty
{
    int master = -1;
    int slave = -1;
    QString slavePath;

    bool open()
    {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        slavePath = QString::fromLocal8Bit(name);
        termios t{};
        for (int fd : {master, slave}) {
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
        return true;
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
};

/// Writes the lines to the master side from its own thread, in blocks as a fast instrument
/// would; measures its own CPU so that it can be taken out of the receiver's figure.
class Writer
{
public:
    Writer(int fd, int lines) : m_fd(fd), m_lines(lines)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~Writer() { join(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    double cpuSeconds() const { return m_cpu; }

private:
    void run()
    {
        const double cpu0 = threadCpuSeconds();
        QByteArray block;
        block.reserve(64 * LineBytes);
        for (int n = 0; n < m_lines; ++n) {
            block += makeLine(n);
            if (block.size() < 64 * LineBytes && n + 1 < m_lines)
                continue;
            qsizetype done = 0;
            while (done < block.size()) {
                const ssize_t w =
                    ::write(m_fd, block.constData() + done, size_t(block.size() - done));
                if (w > 0)
                    done += w;
                else if (w < 0 && errno != EINTR && errno != EAGAIN)
                    return;
            }
            block.clear();
        }
        m_cpu = threadCpuSeconds() - cpu0;
    }

    int m_fd;
    int m_lines;
    double m_cpu = 0;
    std::thread m_thread;
};

struct Figures
{
    double seconds = 0;
    double cpu = 0;
    long lines = 0;
    double perSecond() const { return seconds > 0 ? double(lines) / seconds : 0; }
};

Figures plainRead(int lines)
{
    Pty pty;
    if (!pty.open())
        return {};
    Figures f;
    QElapsedTimer clock;
    const double cpu0 = processCpuSeconds();
    clock.start();
    Writer writer(pty.master, lines);
    char buf[65536];
    long seen = 0;
    while (seen < lines) {
        const ssize_t r = ::read(pty.slave, buf, sizeof buf);
        if (r <= 0)
            break;
        for (ssize_t i = 0; i < r; ++i)
            seen += buf[i] == '\n';
    }
    writer.join();
    f.seconds = double(clock.nsecsElapsed()) * 1e-9;
    f.cpu = processCpuSeconds() - cpu0 - writer.cpuSeconds();
    f.lines = seen;
    return f;
}

Figures componentLineMode(int lines, quint64 &steadyGrowths, bool &allWhole)
{
    Pty pty;
    if (!pty.open())
        return {};
    QFile::remove(QStringLiteral("ports/COM1"));
    QFile::link(pty.slavePath, QStringLiteral("ports/COM1"));

    TPiloComPort port;
    port.setPort(PortNo);
    port.setLineMode(true);
    long seen = 0;
    long wrong = 0;
    quint64 growthsAtWarmUp = 0;
    QByteArray line;
    line.reserve(256);
    port.OnDataAvailable = [&](TPiloComPort *p) {
        p->ReadStr(line);
        if (line.size() != LineBytes || !line.endsWith("\r\n"))
            ++wrong;
        if (++seen == 1000)
            growthsAtWarmUp = TPiloCustomBuffer::GrowCount();
        if (seen == lines)
            QCoreApplication::quit();
    };
    if (!port.Open()) {
        std::fprintf(stderr, "cannot open the pseudo-terminal: %s\n",
                     qPrintable(port.LastErrorReason()));
        return {};
    }
    Figures f;
    QElapsedTimer clock;
    const double cpu0 = processCpuSeconds();
    clock.start();
    Writer writer(pty.master, lines);
    QCoreApplication::exec();
    writer.join();
    f.seconds = double(clock.nsecsElapsed()) * 1e-9;
    f.cpu = processCpuSeconds() - cpu0 - writer.cpuSeconds();
    f.lines = seen;
    steadyGrowths = TPiloCustomBuffer::GrowCount() - growthsAtWarmUp;
    allWhole = wrong == 0;
    port.Close();
    return f;
}

double idleCpu(int seconds)
{
    Pty pty;
    if (!pty.open())
        return -1;
    QFile::remove(QStringLiteral("ports/COM1"));
    QFile::link(pty.slavePath, QStringLiteral("ports/COM1"));
    TPiloComPort port;
    port.setPort(PortNo);
    port.setLineMode(true);
    port.setPortOptions({EventCtsDsr, EventError});
    port.OnDataAvailable = [](TPiloComPort *p) {
        QByteArray s;
        p->ReadStr(s);
    };
    if (!port.Open())
        return -1;
    const double cpu0 = processCpuSeconds();
    QTimer::singleShot(seconds * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    const double cpu = processCpuSeconds() - cpu0;
    port.Close();
    return cpu;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(2000, atoi(argv[1])) : 1000000;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 10;

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir(dir.path()).mkdir(QStringLiteral("ports")) ||
        !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "cannot make a working folder\n");
        return 1;
    }

    std::printf("Serial port component, line mode, %d lines of %d bytes through a "
                "pseudo-terminal\n\n",
                lines, LineBytes);

    const Figures plain = plainRead(lines);
    std::printf("plain blocking read() loop : %9.0f lines/s  %6.2f s  CPU %6.2f s\n",
                plain.perSecond(), plain.seconds, plain.cpu);

    quint64 growths = 0;
    bool whole = false;
    const Figures comp = componentLineMode(lines, growths, whole);
    std::printf("TPiloComPort line mode     : %9.0f lines/s  %6.2f s  CPU %6.2f s  (%ld lines, "
                "%s)\n",
                comp.perSecond(), comp.seconds, comp.cpu, comp.lines,
                whole ? "each one whole line" : "SOME NOT WHOLE LINES");
    if (plain.perSecond() > 0)
        std::printf("ratio component / plain    : %9.3f (lines/s), CPU per line %.1f x\n",
                    comp.perSecond() / plain.perSecond(),
                    plain.cpu > 0 && comp.lines > 0
                        ? (comp.cpu / double(comp.lines)) / (plain.cpu / double(plain.lines))
                        : 0.0);
    // For scale: 10 bits per character on the line, so a 115200-baud line carries at most
    // 576 such lines a second, and the analyser's 9600 baud 48.
    std::printf("fastest line (115200 baud) : %9.0f lines/s; the analyser at 9600 baud: %.0f "
                "lines/s\n",
                115200.0 / 10 / LineBytes, 9600.0 / 10 / LineBytes);
    std::printf("receive buffer growths after the first 1000 lines: %llu %s\n",
                static_cast<unsigned long long>(growths),
                growths == 0 ? "(no allocation per line)" : "(ALLOCATES IN STEADY STATE)");

    const double idle = idleCpu(idleSeconds);
    std::printf("\nopen port, no traffic, %d s: CPU %.4f s (%.3f %% of one core)\n", idleSeconds,
                idle, idle >= 0 ? 100.0 * idle / idleSeconds : -1.0);
    return 0;
}
