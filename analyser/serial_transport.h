#pragma once
// The analyser over RS-232: the serial component in line mode, one reply line per delivery.

#include "analyser/transport.h"

#include <memory>

class TPiloComPort;

class SerialTransport : public Transport
{
public:
    /// Creates the port, owned here, set up as the analyser needs it: line mode with CR LF,
    /// RTS handshake on what the analyser sends.
    SerialTransport();
    ~SerialTransport() override;
    SerialTransport(const SerialTransport &) = delete;
    SerialTransport &operator=(const SerialTransport &) = delete;

    /// The port, so that the window can apply the "COM Port" group's choices before open().
    TPiloComPort &port() { return *m_port; }

    /// Opens the port at once and calls `done` before returning; on failure with the port's
    /// "Cannot open port '<device>'" and the system's reason.
    void open(std::function<void(bool ok, const QString &error)> done) override;
    void close() override;
    bool isOpen() const override;
    /// Open and not hung up.
    bool isActive() const override;
    void write(const QByteArray &bytes) override;

private:
    std::unique_ptr<TPiloComPort> m_port;
};
