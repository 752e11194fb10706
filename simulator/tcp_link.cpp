#include "simulator/tcp_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

TcpLink::~TcpLink()
{
    closeClient();
    if (m_listener >= 0)
        ::close(m_listener);
}

bool TcpLink::listen(const std::string &address, int port, std::string &error)
{
    std::string host = address;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);

    sockaddr_storage storage{};
    socklen_t length = 0;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(uint16_t(port));
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(uint16_t(port));
        length = sizeof *v6;
    } else {
        error = "'" + address + "' is not an IPv4 or IPv6 address";
        return false;
    }

    m_listener = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listener < 0) {
        error = std::string("cannot open a socket: ") + std::strerror(errno);
        return false;
    }
    // A simulator started again at once finds its port still in TIME_WAIT otherwise.
    const int on = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&storage), length) != 0
        || ::listen(m_listener, 4) != 0) {
        error = "cannot listen on " + address + " port " + std::to_string(port) + ": "
                + std::strerror(errno);
        return false;
    }
    socklen_t bound = length;
    getsockname(m_listener, reinterpret_cast<sockaddr *>(&storage), &bound);
    const int boundPort = storage.ss_family == AF_INET ? ntohs(v4->sin_port) : ntohs(v6->sin6_port);
    m_where = (storage.ss_family == AF_INET6 ? "[" + host + "]" : host) + ":"
              + std::to_string(boundPort);
    return true;
}

bool TcpLink::acceptClient()
{
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return false;
    if (m_client >= 0) {
        // One client at a time, as an instrument's socket serves one controller.
        ::close(fd);
        std::fputs("analyser-sim: a second client was turned away\n", stderr);
        return false;
    }
    // Answers are short lines that the client waits for: no Nagle delay.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_client = fd;
    return true;
}

bool TcpLink::clientGone()
{
    closeClient();
    return true;
}

void TcpLink::hangUp()
{
    closeClient();
    if (m_listener >= 0) {
        ::close(m_listener);
        m_listener = -1;
    }
}

int TcpLink::unreadBytes() const
{
    int queued = 0;
    if (m_client < 0 || ioctl(m_client, SIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

void TcpLink::closeClient()
{
    if (m_client >= 0) {
        ::close(m_client);
        m_client = -1;
    }
}
