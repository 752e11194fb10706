#include "analyser/gpib_transport.h"

#include "analyser/serial_transport.h"
#include "analyser/tcp_transport.h"
#include "serial/piloport.h"

#include <QTimer>

QByteArray GpibReplyLine(const QByteArray &received)
{
    QByteArray line = received.left(GpibTransport::kMaxLineBytes + 2);
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    line.truncate(GpibTransport::kMaxLineBytes);
    line.append("\r\n");
    return line;
}

QByteArray GpibCommandBytes(const QByteArray &command)
{
    QByteArray text = command;
    if (text.endsWith("\r\n"))
        text.chop(2);
    QByteArray out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == '\x1b' || c == '+')
            out.append('\x1b');
        out.append(c);
    }
    out.append('\n');
    return out;
}

GpibTransport::GpibTransport()
    : m_serial(std::make_unique<SerialTransport>())
    , m_tcp(std::make_unique<TcpTransport>(QString(), kDefaultAdapterPort))
    , m_answerTimer(std::make_unique<QTimer>())
{
    m_serial->port().setObjectName(QStringLiteral("GpibAdapterPort"));
    // The adapter ends each line it passes on with the instrument's LF.
    m_serial->port().setLineEnd(QByteArrayLiteral("\n"));
    m_answerTimer->setSingleShot(true);
    QObject::connect(m_answerTimer.get(), &QTimer::timeout, m_answerTimer.get(), [this] {
        if (m_state == State::Greeting) {
            inner().close();
            finishOpen(false, TransportError::TimedOut, QStringLiteral("no GPIB adapter answers"));
        }
    });
    for (Transport *t : {static_cast<Transport *>(m_serial.get()), static_cast<Transport *>(m_tcp.get())}) {
        t->OnLine = [this](const QByteArray &line) { receive(line); };
        t->OnHangUp = [this] {
            if (m_state == State::Greeting) {
                inner().close();
                finishOpen(false, TransportError::HungUp, QStringLiteral("the adapter hung up"));
                return;
            }
            m_lastError = TransportError::HungUp;
            if (m_state == State::Ready && OnHangUp)
                OnHangUp();
        };
    }
}

GpibTransport::~GpibTransport()
{
    m_done = nullptr;
    m_serial->OnLine = nullptr;
    m_serial->OnHangUp = nullptr;
    m_tcp->OnLine = nullptr;
    m_tcp->OnHangUp = nullptr;
}

void GpibTransport::useSerialAdapter()
{
    m_onSerial = true;
}

void GpibTransport::useTcpAdapter(const QString &host, quint16 port)
{
    m_onSerial = false;
    m_tcp->setHost(host);
    m_tcp->setPort(port);
}

Transport &GpibTransport::inner()
{
    return m_onSerial ? static_cast<Transport &>(*m_serial) : static_cast<Transport &>(*m_tcp);
}

void GpibTransport::open(std::function<void(bool ok, const QString &error)> done)
{
    close();
    m_done = std::move(done);
    m_state = State::Opening;
    m_lastError = TransportError::None;
    m_version.clear();
    inner().open([this](bool ok, const QString &error) {
        if (m_state != State::Opening)
            return;
        if (!ok) {
            finishOpen(false, inner().lastError(), error);
            return;
        }
        m_state = State::Greeting;
        m_answerTimer->start(m_answerMs);
        inner().write(QByteArrayLiteral("++ver\n"));
    });
}

void GpibTransport::close()
{
    m_answerTimer->stop();
    m_done = nullptr;
    m_state = State::Closed;
    m_serial->close();
    m_tcp->close();
}

bool GpibTransport::isOpen() const
{
    return m_state == State::Ready;
}

bool GpibTransport::isActive() const
{
    return m_state == State::Ready && const_cast<GpibTransport *>(this)->inner().isActive();
}

void GpibTransport::write(const QByteArray &bytes)
{
    if (!isActive() || bytes.isEmpty())
        return;
    QByteArray out = GpibCommandBytes(bytes);
    if (CommandAsksForAnswer(bytes))
        out.append("++read eoi\n");
    inner().write(out);
}

void GpibTransport::receive(const QByteArray &line)
{
    if (m_state == State::Greeting) {
        m_version = GpibReplyLine(line);
        m_version.chop(2);
        m_answerTimer->stop();
        // Controller, the analyser's address, no read after every command, EOI and LF at the
        // end of each command.
        inner().write(QByteArrayLiteral("++mode 1\n++addr ") + QByteArray::number(m_address)
                      + QByteArrayLiteral("\n++auto 0\n++eoi 1\n++eos 2\n"));
        finishOpen(true, TransportError::None, QString());
        return;
    }
    if (m_state == State::Ready && OnLine)
        OnLine(GpibReplyLine(line));
}

void GpibTransport::finishOpen(bool ok, TransportError kind, const QString &error)
{
    m_answerTimer->stop();
    m_lastError = kind;
    m_state = ok ? State::Ready : State::Closed;
    const auto done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(ok, error);
}
