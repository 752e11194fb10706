#pragma once
// The analyser on GPIB through a "++" adapter: a USB- or LAN-to-GPIB controller that takes its
// own commands, each starting with "++", on a serial port or a TCP socket (port 1234), and
// passes every other line to the instrument at the address it was given.
//
// At open the transport asks the adapter for its version ("++ver") and waits up to
// kAdapterAnswerMs for it; no answer means no adapter, and the open fails saying so. Then it
// makes the adapter the bus's controller ("++mode 1"), sets the analyser's address ("++addr"),
// turns off the adapter's reading after every command ("++auto 0"), has it end each command
// with EOI and LF ("++eoi 1", "++eos 2"), and from then on asks it to read ("++read eoi") after
// each command that asks, so the analyser's answers come back as on a serial line. CR, LF, ESC
// and '+' inside a command are escaped with ESC, as the adapter expects.
//
// Threading: every call and every callback runs on the user-interface thread.

#include "analyser/transport.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QTimer;
class SerialTransport;
class TcpTransport;

/// One line from the adapter as a reply line: the LF, and a CR before it, go; the rest is cut
/// to kMaxLineBytes; CR LF follows.
QByteArray GpibReplyLine(const QByteArray &received);
/// A command as the adapter takes it for the instrument: the CR LF at its end goes, CR, LF, ESC
/// and '+' are escaped with ESC, LF follows.
QByteArray GpibCommandBytes(const QByteArray &command);

class GpibTransport : public Transport
{
public:
    static constexpr int kDefaultAddress = 20;
    static constexpr quint16 kDefaultAdapterPort = 1234;
    static constexpr int kAdapterAnswerMs = 2000;
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;

    GpibTransport();
    ~GpibTransport() override;
    GpibTransport(const GpibTransport &) = delete;
    GpibTransport &operator=(const GpibTransport &) = delete;

    /// The adapter on a serial port: apply the "COM Port" group to serial().port() before open().
    void useSerialAdapter();
    /// The adapter at a host and TCP port.
    void useTcpAdapter(const QString &host, quint16 port);
    bool onSerial() const { return m_onSerial; }
    SerialTransport &serial() { return *m_serial; }
    TcpTransport &tcp() { return *m_tcp; }
    /// The analyser's primary GPIB address, 0 to 30; takes effect at the next open().
    void setAddress(int address) { m_address = address; }
    int address() const { return m_address; }
    void setAdapterAnswerMs(int ms) { m_answerMs = ms; }
    /// What the adapter answered to "++ver", after a good open.
    QByteArray adapterVersion() const { return m_version; }

    /// Opens the adapter's line, then greets and sets up the adapter. Fails with the line's own
    /// reason, or with "no GPIB adapter answers" when the version does not come.
    void open(std::function<void(bool ok, const QString &error)> done) override;
    void close() override;
    bool isOpen() const override;
    bool isActive() const override;
    void write(const QByteArray &bytes) override;

private:
    enum class State { Closed, Opening, Greeting, Ready };
    Transport &inner();
    void receive(const QByteArray &line);
    void finishOpen(bool ok, TransportError kind, const QString &error);

    std::unique_ptr<SerialTransport> m_serial;
    std::unique_ptr<TcpTransport> m_tcp;
    std::unique_ptr<QTimer> m_answerTimer;
    bool m_onSerial = true;
    int m_address = kDefaultAddress;
    int m_answerMs = kAdapterAnswerMs;
    State m_state = State::Closed;
    QByteArray m_version;
    std::function<void(bool, const QString &)> m_done;
};
