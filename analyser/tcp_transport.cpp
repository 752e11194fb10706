#include "analyser/tcp_transport.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

namespace {

/// The reason of a failed connect in the operator's words; the window puts
/// "Cannot connect to <host>:<port>: " before it.
TransportError connectFailureKind(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return TransportError::Refused;
    case QAbstractSocket::HostNotFoundError:
        return TransportError::UnknownHost;
    case QAbstractSocket::SocketTimeoutError:
        return TransportError::TimedOut;
    default:
        return TransportError::Other;
    }
}

QString connectFailure(QAbstractSocket::SocketError error, const QString &systemText)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("unknown host");
    case QAbstractSocket::NetworkError:
        // The system's "host unreachable" and "network unreachable": no route leads there.
        return QStringLiteral("no route to host");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("timed out");
    default:
        return systemText;
    }
}

} // namespace

TcpTransport::TcpTransport(const QString &host, quint16 port)
    : m_host(host)
    , m_port(port)
    , m_connectTimer(std::make_unique<QTimer>())
{
    m_connectTimer->setSingleShot(true);
    QObject::connect(m_connectTimer.get(), &QTimer::timeout, m_connectTimer.get(), [this] {
        if (m_state == State::Connecting) {
            m_lastError = TransportError::TimedOut;
            finishOpen(false, QStringLiteral("timed out"));
        }
    });
}

TcpTransport::~TcpTransport()
{
    m_done = nullptr;
    dropSocket();
}

void TcpTransport::open(std::function<void(bool ok, const QString &error)> done)
{
    close();
    m_done = std::move(done);
    m_state = State::Connecting;
    m_lastError = TransportError::None;
    if (m_host.trimmed().isEmpty()) {
        m_lastError = TransportError::UnknownHost;
        finishOpen(false, QStringLiteral("unknown host"));
        return;
    }

    m_socket = new QTcpSocket;
    // Qt stops reading from the system once this much waits untaken, so a peer that floods is
    // held back by TCP's own flow control instead of filling the program's memory.
    m_socket->setReadBufferSize(kReadBufferBytes);
    QTcpSocket *socket = m_socket;
    QObject::connect(socket, &QTcpSocket::connected, socket, [this] {
        // Each command is one short line that waits for its answer: send it at once rather than
        // let Nagle's algorithm hold it back for an acknowledgement.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        finishOpen(true, QString());
    });
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] { receive(); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { hangUp(); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [this](QAbstractSocket::SocketError error) {
                         if (m_state == State::Connecting) {
                             m_lastError = connectFailureKind(error);
                             finishOpen(false, connectFailure(error, m_socket->errorString()));
                         }
                         else if (m_state == State::Connected
                                  && m_socket->state() != QAbstractSocket::ConnectedState)
                             hangUp();
                     });
    m_connectTimer->start(m_connectTimeoutMs);
    socket->connectToHost(m_host, m_port);
}

void TcpTransport::close()
{
    m_connectTimer->stop();
    m_done = nullptr;
    dropSocket();
    m_framer.clear();
    m_state = State::Closed;
}

bool TcpTransport::isOpen() const
{
    return m_state == State::Connected || m_state == State::HungUp;
}

bool TcpTransport::isActive() const
{
    return m_state == State::Connected;
}

void TcpTransport::write(const QByteArray &bytes)
{
    if (!isActive() || bytes.isEmpty())
        return;
    if (bytes.endsWith("\r\n")) {
        QByteArray line = bytes;
        line.chop(2);
        line.append('\n');
        m_socket->write(line);
    } else {
        m_socket->write(bytes);
    }
}

qsizetype TcpTransport::bufferedBytes() const
{
    return m_framer.partialBytes() + (m_socket ? qsizetype(m_socket->bytesAvailable()) : 0);
}

void TcpTransport::finishOpen(bool ok, const QString &error)
{
    m_connectTimer->stop();
    if (ok) {
        m_state = State::Connected;
    } else {
        dropSocket();
        m_state = State::Closed;
    }
    // `done` may close or open again: take it out first.
    const auto done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(ok, error);
}

void TcpTransport::receive()
{
    // OnLine may close the transport, which drops this socket: stop reading then.
    QTcpSocket *const socket = m_socket;
    char chunk[4096];
    while (socket && m_socket == socket && isOpen() && socket->bytesAvailable() > 0) {
        const qint64 n = socket->read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        m_framer.take(chunk, qsizetype(n), [this, socket](const QByteArray &line) {
            if (OnLine)
                OnLine(line);
            return m_socket == socket;
        });
    }
}

void TcpLineFramer::take(const char *data, qsizetype size,
                         const std::function<bool(const QByteArray &line)> &line)
{
    while (size > 0) {
        const auto *lf = static_cast<const char *>(std::memchr(data, '\n', size_t(size)));
        const qsizetype length = lf ? qsizetype(lf - data) : size;
        if (!m_discarding) {
            const qsizetype room = kMaxLineBytes - m_partial.size();
            m_partial.append(data, qMin(length, room));
            m_discarding = length > room;
        }
        if (!lf)
            return;
        data += length + 1;
        size -= length + 1;

        // Only the CR right before the LF goes: a cut line ending in CR at the bound keeps it.
        const bool cut = m_discarding;
        QByteArray complete;
        complete.swap(m_partial);
        m_discarding = false;
        if (!cut && complete.endsWith('\r'))
            complete.chop(1);
        complete.append("\r\n");
        if (!line(complete))
            return;
    }
}

void TcpLineFramer::clear()
{
    m_partial.clear();
    m_discarding = false;
}

void TcpTransport::hangUp()
{
    if (m_state != State::Connected)
        return;
    // Answers that came in before the peer closed are still lines to deliver.
    receive();
    if (m_state != State::Connected)
        return;
    m_state = State::HungUp;
    m_lastError = TransportError::HungUp;
    m_framer.clear();
    if (OnHangUp)
        OnHangUp();
}

void TcpTransport::dropSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    socket->abort();
    // This may run inside one of the socket's own signals.
    socket->deleteLater();
}

QString CannotConnectText(const QString &host, quint16 port, const QString &reason)
{
    const QHostAddress address(host);
    const QString where = address.protocol() == QAbstractSocket::IPv6Protocol
                              ? QStringLiteral("[%1]").arg(host)
                              : host;
    return QStringLiteral("Cannot connect to %1:%2: %3").arg(where).arg(port).arg(reason);
}
