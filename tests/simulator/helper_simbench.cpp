#include "helper_simbench.h"

#include <QDeadlineTimer>
#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>

PortClient::~PortClient()
{
    close();
}

bool PortClient::open(const QString &path)
{
    close();
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios tio{};
    if (tcgetattr(m_fd, &tio) != 0) {
        close();
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(m_fd, TCSANOW, &tio);
    // Whatever an earlier client left unread is not ours.
    tcflush(m_fd, TCIOFLUSH);
    m_pending.clear();
    m_tcp = false;
    return true;
}

bool PortClient::connectTcp(quint16 port, const QByteArray &loopback)
{
    close();
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
    if (inet_pton(AF_INET, loopback.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, loopback.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    } else {
        return false;
    }
    m_fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&storage), length) != 0) {
        close();
        return false;
    }
    const int on = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_pending.clear();
    m_tcp = true;
    return true;
}

void PortClient::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool PortClient::send(const QByteArray &command, bool raw)
{
    if (m_fd < 0)
        return false;
    const QByteArray bytes = raw ? command : command + m_commandEnd;
    qsizetype done = 0;
    const QDeadlineTimer deadline(2000);
    while (done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd pfd{m_fd, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
        }
    }
    return done == bytes.size();
}

std::optional<QByteArray> PortClient::readLine(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype eol = m_pending.indexOf('\n');
        if (eol >= 0) {
            QByteArray line = m_pending.left(eol + 1);
            m_pending.remove(0, eol + 1);
            line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
            else if (!m_tcp)
                return std::nullopt;
            return line;
        }
        if (m_fd < 0 || deadline.hasExpired())
            return std::nullopt;
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            m_pending.append(buffer, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return std::nullopt;
    }
}

QByteArray PortClient::readFor(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (m_fd >= 0 && !deadline.hasExpired()) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            m_pending.append(buffer, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    QByteArray all;
    all.swap(m_pending);
    return all;
}

QByteArray PortClient::ask(const QByteArray &command, int timeoutMs)
{
    if (!send(command))
        return {};
    return readLine(timeoutMs).value_or(QByteArray());
}

bool PortClient::waitHangup(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_fd >= 0 && !deadline.hasExpired()) {
        pollfd pfd{m_fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, int(qMax<qint64>(1, deadline.remainingTime())));
        if (ready <= 0)
            continue;
        if (pfd.revents & (POLLHUP | POLLERR))
            return true;
        char buffer[512];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno == EIO))
            return true;
        if (n > 0)
            m_pending.append(buffer, n);
    }
    return false;
}

std::optional<double> readingValue(const QByteArray &answer)
{
    const QByteArray text = answer.trimmed();
    double value = 0.0;
    const char *first = text.constData();
    const char *last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    if (text.isEmpty() || result.ec != std::errc() || result.ptr != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}
