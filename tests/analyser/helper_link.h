#pragma once
// Peers for the analyser-link tests on real pseudo-terminals linked as ports/COM<n> in the
// current working directory, where the program's serial component looks for its ports: the
// test itself plays the analyser, byte by byte, on the master side (PtyPeer), or the bundled
// analyser-sim does (SimulatorProcess::onComPort, tests/common). Header-only, so that the
// end-to-end tests can use it too.

#include "common/event_loop.h"
#include "common/simulator_process.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace link_test {

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
        return ServeEventsUntil([&] {
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

}  // namespace link_test
