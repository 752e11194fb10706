#include "helper_pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

TempWorkDir::TempWorkDir() : m_previous(QDir::currentPath())
{
    m_valid = m_dir.isValid() && QDir(m_dir.path()).mkdir(QStringLiteral("ports")) &&
              QDir::setCurrent(m_dir.path());
}

TempWorkDir::~TempWorkDir()
{
    QDir::setCurrent(m_previous);
}

bool TempWorkDir::link(int n, const QString &target)
{
    const QString path = QStringLiteral("ports/COM%1").arg(n);
    QFile::remove(path);
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) ==
           0;
}

PtyLine::PtyLine()
{
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // The master side passes bytes unchanged too: no echo, no CR/LF translation.
    termios t{};
    ::tcgetattr(m_master, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_master, TCSANOW, &t);
}

PtyLine::~PtyLine()
{
    hangUp();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyLine::send(const QByteArray &bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(5000);
    while (done < bytes.size()) {
        const ssize_t w = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (w > 0) {
            done += w;
        } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (deadline.hasExpired())
                return false;
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        } else {
            return false;
        }
    }
    return true;
}

static QByteArray receiveFrom(int fd, int want, int timeoutMs, bool serveEvents)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    char buf[4096];
    while (got.size() < want && !deadline.hasExpired()) {
        if (serveEvents)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{fd, POLLIN, 0};
        const int wait = serveEvents ? 5 : int(qMax<qint64>(0, deadline.remainingTime()));
        if (::poll(&p, 1, wait) <= 0)
            continue;
        const ssize_t r =
            ::read(fd, buf,
                   sizeof buf < size_t(want - got.size()) ? sizeof buf : size_t(want - got.size()));
        if (r > 0)
            got.append(buf, r);
        else if (r == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return got;
}

QByteArray PtyLine::receive(int want, int timeoutMs)
{
    return receiveFrom(m_master, want, timeoutMs, false);
}

QByteArray PtyLine::receiveServingEvents(int want, int timeoutMs)
{
    return receiveFrom(m_master, want, timeoutMs, true);
}

void PtyLine::hangUp()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}
