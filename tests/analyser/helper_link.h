#pragma once
// Peers for the analyser-link tests, both on real pseudo-terminals linked as ports/COM<n> in
// the current working directory, where the program's serial component looks for its ports:
//   - PtyPeer: the test itself plays the analyser, byte by byte, on the master side;
//   - SimRun: the bundled analyser-sim, with its command log.
// Header-only, so that the end-to-end tests can use it too.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

namespace link_test {

/// Ends a simulator the way a user would (terminate), and for certain when it does not go.
inline void StopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000))
        process.kill();
    process.waitForFinished(3000);
}

/// Serves events until `done` holds or `ms` have passed; returns `done()`.
inline bool waitFor(const std::function<bool()> &done, int ms = 5000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return done();
}

/// A temporary folder that is the working directory while this object lives.
class WorkDir
{
public:
    WorkDir() : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
        QDir().mkpath(QStringLiteral("ports"));
    }
    ~WorkDir() { QDir::setCurrent(m_previous); }
    WorkDir(const WorkDir &) = delete;
    WorkDir &operator=(const WorkDir &) = delete;
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

/// The test as the analyser: a pseudo-terminal whose slave is linked as ports/COM<port>.
class PtyPeer
{
public:
    explicit PtyPeer(int port)
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_link = QStringLiteral("ports/COM%1").arg(port);
        QFile::remove(m_link);
        m_ok = QFile::link(QString::fromLocal8Bit(name), m_link);
    }
    ~PtyPeer()
    {
        hangUp();
        if (m_slave >= 0)
            ::close(m_slave);
        QFile::remove(m_link);
    }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool ok() const { return m_ok && m_master >= 0; }

    void write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (m_master >= 0 && done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
        }
    }

    /// Everything the program has sent so far (collected while serving events for `ms`).
    QByteArray received(int ms = 0)
    {
        const QDeadlineTimer deadline(ms);
        do {
            drain();
            if (ms > 0)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        } while (!deadline.hasExpired());
        drain();
        return m_in;
    }

    /// Waits (serving events) until the program has sent `bytes` in all; true when it has.
    bool waitReceived(const QByteArray &bytes, int ms = 5000)
    {
        return waitFor([&] {
            drain();
            return m_in.contains(bytes);
        }, ms);
    }

    void clearReceived()
    {
        drain();
        m_in.clear();
    }

    /// Closes the master side: the program's end of the line sees a hang-up.
    void hangUp()
    {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

private:
    void drain()
    {
        char buf[4096];
        for (;;) {
            if (m_master < 0)
                return;
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                return;
            m_in.append(buf, n);
        }
    }

    int m_master = -1;
    int m_slave = -1;
    bool m_ok = false;
    QString m_link;
    QByteArray m_in;
};

/// The bundled analyser simulator serving ports/COM<port> of the current working directory,
/// with every received line logged.
class SimRun
{
public:
    explicit SimRun(int port = 1, const QStringList &extra = {}) : m_port(port)
    {
        m_log = QDir::current().filePath(QStringLiteral("sim-%1.log").arg(port));
        m_process.setWorkingDirectory(QDir::currentPath());
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        QStringList args{QStringLiteral("--port"), QString::number(port), QStringLiteral("--log"), m_log};
        m_process.start(QStringLiteral(TESSARY_SIM), args + extra);
    }
    ~SimRun()
    {
        StopProcess(m_process);
    }
    SimRun(const SimRun &) = delete;
    SimRun &operator=(const SimRun &) = delete;

    /// Waits until the simulator serves its port.
    bool ready(int ms = 5000)
    {
        const QString link = QStringLiteral("ports/COM%1").arg(m_port);
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            if (QFileInfo::exists(link))
                return true;
            if (m_process.state() == QProcess::NotRunning && !m_process.waitForStarted(10))
                return false;
            QThread::msleep(10);
        }
        return false;
    }

    bool running() const { return m_process.state() != QProcess::NotRunning; }

    struct Entry
    {
        double seconds = 0;
        QByteArray line;
    };
    /// The log: every line the simulator received, with the seconds since its start.
    QList<Entry> entries() const
    {
        QList<Entry> out;
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (QByteArray l : f.readAll().split('\n')) {
            if (l.endsWith('\r'))
                l.chop(1);
            const qsizetype blank = l.indexOf(' ');
            if (blank < 0)
                continue;
            out.append({l.left(blank).toDouble(), l.mid(blank + 1)});
        }
        return out;
    }
    /// The received lines alone.
    QList<QByteArray> lines() const
    {
        QList<QByteArray> out;
        for (const Entry &e : entries())
            out.append(e.line);
        return out;
    }
    /// Waits until the log holds at least `count` lines.
    bool waitLines(int count, int ms = 5000) const
    {
        return waitFor([&] { return lines().size() >= count; }, ms);
    }

private:
    int m_port;
    QString m_log;
    QProcess m_process;
};

}  // namespace link_test
