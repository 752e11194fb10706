#pragma once
// A loopback host that swallows connection attempts, for the bounds of connecting.

#include <QtGlobal>

#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

/// A loopback listener that never completes another connection: it listens with a backlog of
/// 0 and never accepts, and its accept queue is filled with connections of its own. Linux then
/// drops every further SYN, so a connect to it stays pending until the caller gives up, as one
/// to a host that swallows the attempt does.
struct SwallowingHost
{
    int listener = -1;
    std::vector<int> fillers;
    quint16 port = 0;

    ~SwallowingHost()
    {
        for (int fd : fillers)
            ::close(fd);
        if (listener >= 0)
            ::close(listener);
    }

    /// True once a probe connect has been seen to hang.
    bool start()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&a), size) != 0
            || ::listen(listener, 0) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &size) != 0)
            return false;
        port = ntohs(a.sin_port);
        for (int i = 0; i < 16; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (fd < 0)
                return false;
            ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 300) == 0) {
                ::close(fd);  // pending: the queue is full
                return true;
            }
            fillers.push_back(fd);
        }
        return false;
    }
};

