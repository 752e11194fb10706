#include "analyser/connection.h"

#include "base/engvalue.h"
#include "serial/piloport.h"

void ApplyLineChoice(TPiloComPort &port, const LineChoice &c)
{
    port.setPort(LeadingInteger(c.portText));
    port.setBaudrate(LeadingInteger(c.baudText));
    const int bits = LeadingInteger(c.bitsText);
    port.setByteSize(quint8(bits > 0 && bits <= 255 ? bits : 8));

    TFlowCtrl &flow = port.FlowCtrl();
    flow.setRxDtrControl(dtrDisable);
    flow.setRxRtsControl(rtsDisable);
    flow.setXonXoff(false);
    if (c.handshake == 1) {
        flow.setRxDtrControl(dtrHandshake);
        flow.setRxRtsControl(rtsHandshake);
    } else if (c.handshake == 2) {
        flow.setXonXoff(true);
    }

    port.setParity(ptNone);
    if (c.parity == 1)
        port.setParity(ptOdd);
    else if (c.parity == 2)
        port.setParity(ptEven);

    port.setStopBits(c.stopBits == 1 ? sbTwo : sbOne);
}

bool PiloCommandPort::isActive() const
{
    return m_port && m_port->Active() && !m_port->HungUp();
}

void PiloCommandPort::write(const QByteArray &bytes)
{
    m_port->WriteStr(bytes);
}

QString CouldNotOpenText(const QString &device, int port, TransportError kind, const QString &reason)
{
    const QString why = kind == TransportError::NoSuchPort || reason.isEmpty() ? QStringLiteral("no such port") : reason;
    return QStringLiteral("Could not open %1 ! COM%2: %3").arg(device).arg(port).arg(why);
}
