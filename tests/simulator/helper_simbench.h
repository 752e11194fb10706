#pragma once
// Test bench for the analyser simulator: analyser-sim started by the common launcher in a
// temporary folder, and a client that talks to it over its pseudo-terminal or its TCP socket
// with plain POSIX calls, as a client program would.

#include "common/simulator_process.h"

#include <QByteArray>
#include <QString>

#include <optional>

/// A client on the simulator's port: raw 8N1, CR LF lines; or on its TCP socket, where answer
/// lines end in LF with an optional CR before it.
class PortClient
{
public:
    PortClient() = default;
    ~PortClient();
    PortClient(const PortClient &) = delete;
    PortClient &operator=(const PortClient &) = delete;

    /// Opens the link (raw mode, stale input dropped). False when it cannot be opened.
    bool open(const QString &path);
    /// Connects to the simulator's TCP socket on a loopback address ("127.0.0.1" or "::1").
    bool connectTcp(quint16 port, const QByteArray &loopback = "127.0.0.1");
    /// What send() puts after a command: CR LF unless set otherwise.
    void setCommandEnd(const QByteArray &end) { m_commandEnd = end; }
    void close();
    bool isOpen() const { return m_fd >= 0; }

    /// Writes `command` followed by the command end (or the bytes as given when `raw` is set).
    bool send(const QByteArray &command, bool raw = false);
    /// Next answer line without its CR LF; nullopt on time-out, hang-up, or a line that does
    /// not end in CR LF (over TCP a bare LF ends a line too).
    std::optional<QByteArray> readLine(int timeoutMs = 2000);
    /// Everything that arrives within `ms`.
    QByteArray readFor(int ms);
    /// Sends `command` and returns its answer line (empty on time-out).
    QByteArray ask(const QByteArray &command, int timeoutMs = 2000);
    /// True when the line hangs up within `timeoutMs`.
    bool waitHangup(int timeoutMs);

private:
    int m_fd = -1;
    bool m_tcp = false;
    QByteArray m_commandEnd = "\r\n";
    QByteArray m_pending;
};

/// The reading of an answer such as "-75.55" or "-7.555012E+01"; nullopt when it is not a number.
std::optional<double> readingValue(const QByteArray &answer);
