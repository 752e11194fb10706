#pragma once
// The analyser over a LAN: SCPI lines on a raw TCP socket (port 5025 on most instruments).
//
// On the socket a command ends in LF and an answer in LF, some instruments putting a CR before
// it. The command channel speaks the serial line's CR LF on both sides, so the transport turns
// the CR LF that ends each write into LF and hands every answer on as the line followed by
// CR LF, exactly as the serial component's line mode offers it.
//
// What the instrument sends is not trusted: a line that never ends keeps at most
// kMaxLineBytes (the rest of it is dropped), and the socket's own read buffer is bounded, so a
// peer that floods cannot make the program grow.
//
// Threading: every call and every callback runs on the user-interface thread, which must run a
// Qt event loop. Name lookup and connecting never block it.

#include "analyser/transport.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QTcpSocket;
class QTimer;

/// The socket's line framing on its own: bytes in whatever chunks the socket hands over, answer
/// lines out, each ended by LF on the wire and offered without a CR right before the LF,
/// followed by CR LF. A line longer than kMaxLineBytes keeps its first kMaxLineBytes bytes.
class TcpLineFramer
{
public:
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;

    /// Takes `size` bytes and offers each line they complete to `line`. When `line` returns
    /// false (the consumer went away) the rest of the chunk is dropped and take() returns at
    /// once, without touching the framer again: `line` may have cleared or destroyed it.
    void take(const char *data, qsizetype size, const std::function<bool(const QByteArray &line)> &line);
    /// Forgets the line received so far.
    void clear();
    /// Bytes of the line received so far (never more than kMaxLineBytes).
    qsizetype partialBytes() const { return m_partial.size(); }

private:
    QByteArray m_partial;            ///< the answer line received so far, without its LF
    bool m_discarding = false;       ///< the rest of an over-long line is being dropped
};

class TcpTransport : public Transport
{
public:
    /// The usual port of an instrument's raw SCPI socket.
    static constexpr quint16 kDefaultPort = 5025;
    /// Name lookup and connecting together may take this long before the open fails.
    static constexpr int kConnectTimeoutMs = 5000;
    /// Longest answer line kept; the rest of a longer line is dropped up to its LF.
    static constexpr qsizetype kMaxLineBytes = TcpLineFramer::kMaxLineBytes;
    /// Most bytes the socket holds that the transport has not taken yet.
    static constexpr qsizetype kReadBufferBytes = 16 * 1024;

    /// `host` is a name, an IPv4 or an IPv6 address.
    explicit TcpTransport(const QString &host = {}, quint16 port = kDefaultPort);
    ~TcpTransport() override;
    TcpTransport(const TcpTransport &) = delete;
    TcpTransport &operator=(const TcpTransport &) = delete;

    /// Take effect at the next open().
    void setHost(const QString &host) { m_host = host; }
    void setPort(quint16 port) { m_port = port; }
    /// Tests shorten the bound of name lookup and connecting with this.
    void setConnectTimeoutMs(int ms) { m_connectTimeoutMs = ms; }
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }

    /// Starts name lookup and connecting and returns at once. `done` follows with true once
    /// connected, or with false and the reason: "connection refused", "unknown host",
    /// "no route to host", "timed out" or the system's own words for anything else.
    void open(std::function<void(bool ok, const QString &error)> done) override;
    void close() override;
    bool isOpen() const override;
    bool isActive() const override;
    /// Sends the bytes; a trailing CR LF goes out as LF. Nothing is sent unless active.
    void write(const QByteArray &bytes) override;

    /// Received bytes held by the transport and its socket that no line has taken yet; never
    /// more than kMaxLineBytes + kReadBufferBytes.
    qsizetype bufferedBytes() const;

private:
    enum class State { Closed, Connecting, Connected, HungUp };

    void finishOpen(bool ok, const QString &error);
    void receive();
    void hangUp();
    void dropSocket();

    QString m_host;
    quint16 m_port;
    int m_connectTimeoutMs = kConnectTimeoutMs;
    State m_state = State::Closed;
    QTcpSocket *m_socket = nullptr;  ///< owned; deleted later, as a close may come from its signal
    std::unique_ptr<QTimer> m_connectTimer;
    std::function<void(bool, const QString &)> m_done;
    TcpLineFramer m_framer;
};

/// The operator's message of a failed open: "Cannot connect to fsp.lab:5025: timed out".
/// An IPv6 address is written in brackets: "Cannot connect to [::1]:5025: connection refused".
QString CannotConnectText(const QString &host, quint16 port, const QString &reason);
