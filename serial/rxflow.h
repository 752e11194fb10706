#pragma once
// The DTR and RTS lines of an open port: raised or dropped as their controls say, toggled
// around each chunk for rtsToggle, and moved by the component itself for the DTR/RTS
// handshake, which throttles only what the other side sends.
//
// Linux's own hardware handshake (CRTSCTS) is not used for it: the kernel would then also hold
// back our output while CTS is low, and on a three-wire cable CTS is always low.

#include <QtGlobal>

/// The modem-control outputs of a port. The component's only way to move DTR and RTS, so that
/// the logic above it can be tested without a port.
class TPiloModemLines
{
public:
    virtual ~TPiloModemLines() = default;
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
};

/// TPiloModemLines of an open port descriptor (TIOCMBIS/TIOCMBIC). Pseudo-terminals have no
/// modem lines and refuse the calls, which is harmless.
class TPiloPortModemLines : public TPiloModemLines
{
public:
    explicit TPiloPortModemLines(int fd) : m_fd(fd) {}
    void SetDtr(bool on) override;
    void SetRts(bool on) override;

private:
    const int m_fd;
};

/// What DTR and RTS show while the port is open, and the receive-side handshake.
///
/// With dtrHandshake or rtsHandshake in the flag word the line is raised while the receive
/// side has room and dropped while the bytes waiting for the reader lie above the high-water
/// mark, until they have come down below the low-water mark. Not thread-safe: the owner
/// serialises the calls.
class TPiloRxFlow
{
public:
    explicit TPiloRxFlow(TPiloModemLines &lines) : m_lines(lines) {}

    /// Takes the flag word (PiloDcb layout) and the receive buffer's size in bytes, and sets
    /// both lines as their controls say. Called at the opening and at every change of the
    /// flag word. A line that stays in handshake mode keeps its held state.
    void Configure(quint32 flowFlags, quint32 rxBufferBytes);

    /// The bytes received and not yet taken by the reader. Drops the handshake lines when the
    /// fill rises above HighWater, raises them again when it falls below LowWater; between
    /// the marks nothing moves.
    void Update(quint64 fillBytes);

    /// rtsToggle: RTS is raised while a chunk is being sent.
    void SetSending(bool sending);

    /// Whether DTR or RTS is in handshake mode.
    bool Handshake() const noexcept { return m_dtrHandshake || m_rtsHandshake; }
    /// Whether the handshake lines are dropped to hold the sender.
    bool Held() const noexcept { return m_held; }
    quint32 HighWater() const noexcept { return m_highWater; }
    quint32 LowWater() const noexcept { return m_lowWater; }

private:
    void applyDtr();
    void applyRts();

    TPiloModemLines &m_lines;
    bool m_dtrHandshake = false;
    bool m_dtrOn = true;
    bool m_rtsHandshake = false;
    bool m_rtsToggle = false;
    bool m_rtsOn = true;
    bool m_sending = false;
    bool m_held = false;
    quint32 m_highWater = 0;
    quint32 m_lowWater = 0;
};
