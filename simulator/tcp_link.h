#pragma once
// The simulator's end of a LAN link: a TCP listener, as an instrument's raw SCPI socket, that
// serves one client at a time. A second client is closed at once while the first is there.

#include "simulator/sim_line.h"

#include <string>

class TcpLink : public SimLine
{
public:
    /// `crlf`: answers end in CR LF instead of the socket's usual LF.
    explicit TcpLink(bool crlf) : m_answerEnd(crlf ? "\r\n" : "\n") {}
    ~TcpLink() override;
    TcpLink(const TcpLink &) = delete;
    TcpLink &operator=(const TcpLink &) = delete;

    /// Listens on `address` (IPv4 or IPv6, brackets allowed) and `port` (0: a free one). False
    /// with `error` set when the address is not one or cannot be bound.
    bool listen(const std::string &address, int port, std::string &error);
    /// "127.0.0.1:40123" or "[::1]:40123", with the port actually bound.
    const std::string &where() const { return m_where; }

    int fd() const override { return m_client; }
    int listenFd() const override { return m_listener; }
    bool acceptClient() override;
    bool clientGone() override;
    void hangUp() override;
    int unreadBytes() const override;
    const std::string &answerEnd() const override { return m_answerEnd; }

private:
    void closeClient();

    int m_listener = -1;
    int m_client = -1;
    std::string m_where;
    std::string m_answerEnd;
};
