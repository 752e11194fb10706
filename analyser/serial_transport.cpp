#include "analyser/serial_transport.h"

#include "serial/piloport.h"

SerialTransport::SerialTransport()
    : m_port(std::make_unique<TPiloComPort>())
{
    m_port->setObjectName(QStringLiteral("Pilo"));
    // One analyser reply line per delivery.
    m_port->setLineEnd(QByteArrayLiteral("\r\n"));
    m_port->setLineMode(true);
    m_port->FlowCtrl().setRxDtrControl(dtrDisable);
    m_port->FlowCtrl().setRxRtsControl(rtsHandshake);
    m_port->OnDataAvailable = [this](TPiloComPort *sender) {
        QByteArray line;
        sender->ReadStr(line);
        if (OnLine)
            OnLine(line);
    };
    m_port->OnHangUp = [this](TPiloComPort *) {
        m_lastError = TransportError::HungUp;
        if (OnHangUp)
            OnHangUp();
    };
}

SerialTransport::~SerialTransport()
{
    m_port->OnDataAvailable = nullptr;
    m_port->OnHangUp = nullptr;
    m_port->Close();
}

void SerialTransport::open(std::function<void(bool ok, const QString &error)> done)
{
    const bool ok = m_port->Open();
    QString error;
    m_lastError = ok ? TransportError::None : TransportErrorFromErrno(m_port->LastErrorCode());
    if (!ok) {
        if (m_lastError == TransportError::None)
            m_lastError = TransportError::Other;
        error = m_port->LastError();
        if (!m_port->LastErrorReason().isEmpty())
            error += QStringLiteral(": ") + m_port->LastErrorReason();
    }
    if (done)
        done(ok, error);
}

void SerialTransport::close()
{
    m_port->Close();
}

bool SerialTransport::isOpen() const
{
    return m_port->Active();
}

bool SerialTransport::isActive() const
{
    return m_port->Active() && !m_port->HungUp();
}

void SerialTransport::write(const QByteArray &bytes)
{
    if (m_port->Active())
        m_port->WriteStr(bytes);
}
