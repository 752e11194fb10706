#pragma once
// The analyser over a LAN by VXI-11: the instrument protocol over ONC RPC that analysers offer
// by default (a VISA "TCPIP::<host>::INSTR" resource), through Debian's liblxi. The host's
// portmapper (port 111) tells where the instrument's core channel listens; the device name
// ("inst0" on most instruments) names the instrument behind it.
//
// liblxi's calls block, so each open runs them on a worker thread of its own: the window never
// waits. liblxi does not look at the instrument's answer to create_link, so before it links the
// worker asks for a link itself (libtirpc's RPC client) and gives it back at once: a device name
// the instrument does not know is told as refused, with nothing sent to the instrument's
// command parser. Connecting is bounded by kConnectTimeoutMs; a close while it is pending abandons it
// (the worker ends the link itself once liblxi returns). A command is one device_write; after
// a command that asks (a '?' outside quotes) the worker reads the answer with one device_read
// and hands it on as lines ended by CR LF, as the serial line mode offers them. An answer is
// bounded at kMaxReplyBytes; an answer that does not come within the read's bound is simply not
// delivered, so the command channel's own bound reports it.
//
// Threading: every call and every callback runs on the user-interface thread, which must run a
// Qt event loop.

#include "analyser/transport.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QObject;
class QTimer;

/// One device_read's answer as reply lines: each LF ends a line (a CR before it goes), an
/// answer without a final LF still ends one, and every line is offered followed by CR LF. A
/// line longer than kMaxReplyBytes keeps its first kMaxReplyBytes bytes. Stops when `line`
/// returns false.
void Vxi11ReplyLines(const QByteArray &reply, const std::function<bool(const QByteArray &line)> &line);

class Vxi11Transport : public Transport
{
public:
    static constexpr int kConnectTimeoutMs = 5000;
    /// Each device_write and device_read may take this long at the instrument.
    static constexpr int kIoTimeoutMs = 10000;
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;

    explicit Vxi11Transport(const QString &host = {}, const QString &device = QStringLiteral("inst0"));
    ~Vxi11Transport() override;
    Vxi11Transport(const Vxi11Transport &) = delete;
    Vxi11Transport &operator=(const Vxi11Transport &) = delete;

    /// Take effect at the next open().
    void setHost(const QString &host) { m_host = host; }
    void setDevice(const QString &device) { m_device = device; }
    void setConnectTimeoutMs(int ms) { m_connectTimeoutMs = ms; }
    QString host() const { return m_host; }
    QString device() const { return m_device; }

    /// Starts the connect on a worker thread and returns at once. `done` follows with true once
    /// the link stands, or with false and the reason: "unknown host", "connection refused (no
    /// portmapper on port 111)", "no VXI-11 service", "the instrument refused the link to
    /// 'inst0'", "timed out".
    void open(std::function<void(bool ok, const QString &error)> done) override;
    void close() override;
    bool isOpen() const override;
    bool isActive() const override;
    /// Sends the command (a trailing CR LF goes out as LF) and, when it asks, reads the answer.
    void write(const QByteArray &bytes) override;

    struct Worker;

private:
    enum class State { Closed, Connecting, Connected, HungUp };
    void finishOpen(bool ok, TransportError kind, const QString &error);
    void hangUp(TransportError kind);
    void abandonWorker();

    QString m_host;
    QString m_device;
    int m_connectTimeoutMs = kConnectTimeoutMs;
    State m_state = State::Closed;
    std::unique_ptr<QObject> m_context;     ///< the worker's results arrive through this object
    std::unique_ptr<QTimer> m_connectTimer;
    std::shared_ptr<Worker> m_worker;
    std::function<void(bool, const QString &)> m_done;
};

/// "Cannot connect to fsp.lab (VXI-11 inst0): connection refused (no portmapper on port 111)".
QString CannotConnectVxi11Text(const QString &host, const QString &device, const QString &reason);
