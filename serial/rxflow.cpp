#include "serial/rxflow.h"

#include "serial/pilotypes.h"

#include <sys/ioctl.h>

void TPiloPortModemLines::SetDtr(bool on)
{
    int dtr = TIOCM_DTR;
    ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &dtr);
}

void TPiloPortModemLines::SetRts(bool on)
{
    int rts = TIOCM_RTS;
    ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &rts);
}

void TPiloRxFlow::Configure(quint32 flowFlags, quint32 rxBufferBytes)
{
    const quint32 dtr = flowFlags & PiloDcb::DtrControlMask;
    const quint32 rts = flowFlags & PiloDcb::RtsControlMask;
    m_dtrHandshake = dtr == PiloDcb::DtrHandshake;
    m_dtrOn = dtr == PiloDcb::DtrEnable || m_dtrHandshake;
    m_rtsHandshake = rts == PiloDcb::RtsHandshake;
    m_rtsToggle = rts == PiloDcb::RtsToggle;
    m_rtsOn = rts == PiloDcb::RtsEnable || m_rtsHandshake;
    if (!Handshake())
        m_held = false;

    // Drop at three quarters: the sender sees the line only between characters and may
    // still send what its UART FIFO and its current reply hold, and the last quarter
    // (2048 bytes of the usual 8192, two seconds at 9600 baud) takes that without loss.
    // Raise at one quarter: the wide gap keeps the line from toggling with every line the
    // reader takes, and the quarter still waiting keeps the reader busy while the sender
    // starts again. The stored XON/XOFF limits are not used: they belong to the character
    // handshake, and their start values release above the point where they hold.
    m_highWater = rxBufferBytes / 4 * 3;
    m_lowWater = rxBufferBytes / 4;

    applyDtr();
    applyRts();
}

void TPiloRxFlow::Update(quint64 fillBytes)
{
    if (!Handshake())
        return;
    if (!m_held && fillBytes > m_highWater) {
        m_held = true;
    } else if (m_held && fillBytes < m_lowWater) {
        m_held = false;
    } else {
        return;
    }
    if (m_dtrHandshake)
        applyDtr();
    if (m_rtsHandshake)
        applyRts();
}

void TPiloRxFlow::SetSending(bool sending)
{
    if (sending == m_sending)
        return;
    m_sending = sending;
    if (m_rtsToggle)
        applyRts();
}

void TPiloRxFlow::applyDtr()
{
    m_lines.SetDtr(m_dtrOn && !(m_dtrHandshake && m_held));
}

void TPiloRxFlow::applyRts()
{
    if (m_rtsToggle)
        m_lines.SetRts(m_sending);
    else
        m_lines.SetRts(m_rtsOn && !(m_rtsHandshake && m_held));
}
