#include "analyser/vxi11_transport.h"

#include "analyser/tcp_transport.h"

#include <QObject>
#include <QTimer>

#include <lxi.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr quint16 kPortmapperPort = 111;

struct Outcome
{
    TransportError kind = TransportError::None;
    QString text;
};

/// Resolves `host` and knocks at its portmapper, within `ms`: the two reasons liblxi's connect
/// does not tell apart from the rest.
Outcome checkPortmapper(const QByteArray &host, int ms)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo *found = nullptr;
    const int rc = ::getaddrinfo(host.constData(), "111", &hints, &found);
    if (rc != 0 || !found)
        return {TransportError::UnknownHost, QStringLiteral("unknown host")};

    Outcome outcome{TransportError::TimedOut, QStringLiteral("timed out")};
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        int err = 0;
        if (::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, ms) == 1) {
                    socklen_t len = sizeof err;
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                } else {
                    err = ETIMEDOUT;
                }
            }
        }
        if (err == 0)
            outcome = {};
        else if (err == ECONNREFUSED)
            outcome = {TransportError::Refused,
                       QStringLiteral("connection refused (no portmapper on port %1)").arg(kPortmapperPort)};
        else if (err == ETIMEDOUT)
            outcome = {TransportError::TimedOut, QStringLiteral("timed out")};
        else if (err == ENETUNREACH || err == EHOSTUNREACH)
            outcome = {TransportError::Other, QStringLiteral("no route to host")};
        else
            outcome = {TransportError::Other, QString::fromLocal8Bit(std::strerror(err))};
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return outcome;
}

} // namespace

/// The state a worker thread shares with its transport. The worker posts to the transport's
/// context only while it holds `mutex` and `abandoned` is false; close() sets `abandoned` under
/// the same mutex, so nothing reaches a transport that has let the worker go.
struct Vxi11Transport::Worker
{
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<QByteArray> commands;
    bool abandoned = false;
    QObject *context = nullptr;

    /// Runs `what` on the user-interface thread unless the transport let this worker go.
    template <typename F>
    void post(F what)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!abandoned)
            QMetaObject::invokeMethod(context, std::move(what), Qt::QueuedConnection);
    }
};

void Vxi11ReplyLines(const QByteArray &reply, const std::function<bool(const QByteArray &line)> &line)
{
    TcpLineFramer framer;
    bool going = true;
    auto take = [&line, &going](const QByteArray &l) {
        going = line(l);
        return going;
    };
    framer.take(reply.constData(), reply.size(), take);
    if (going && framer.partialBytes() > 0)
        framer.take("\n", 1, take);
}

Vxi11Transport::Vxi11Transport(const QString &host, const QString &device)
    : m_host(host)
    , m_device(device)
    , m_context(std::make_unique<QObject>())
    , m_connectTimer(std::make_unique<QTimer>())
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { lxi_init(); });
    m_connectTimer->setSingleShot(true);
    QObject::connect(m_connectTimer.get(), &QTimer::timeout, m_context.get(), [this] {
        if (m_state == State::Connecting) {
            abandonWorker();
            finishOpen(false, TransportError::TimedOut, QStringLiteral("timed out"));
        }
    });
}

Vxi11Transport::~Vxi11Transport()
{
    m_done = nullptr;
    abandonWorker();
}

void Vxi11Transport::open(std::function<void(bool ok, const QString &error)> done)
{
    close();
    m_done = std::move(done);
    m_state = State::Connecting;
    m_lastError = TransportError::None;
    if (m_host.trimmed().isEmpty()) {
        finishOpen(false, TransportError::UnknownHost, QStringLiteral("unknown host"));
        return;
    }
    const QString device = m_device.trimmed().isEmpty() ? QStringLiteral("inst0") : m_device.trimmed();

    auto worker = std::make_shared<Worker>();
    worker->context = m_context.get();
    m_worker = worker;
    m_connectTimer->start(m_connectTimeoutMs);

    const QByteArray host = m_host.trimmed().toUtf8();
    const QByteArray name = device.toUtf8();
    const int boundMs = m_connectTimeoutMs;
    std::thread([worker, host, name, device, boundMs, this] {
        const auto start = std::chrono::steady_clock::now();
        auto left = [&] {
            const auto used = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - start).count();
            return int(qMax<long long>(0, boundMs - used));
        };
        auto fail = [&](TransportError kind, const QString &text) {
            worker->post([this, worker, kind, text] {
                if (m_worker == worker)
                    finishOpen(false, kind, text);
            });
        };

        const Outcome reach = checkPortmapper(host, left());
        if (reach.kind != TransportError::None)
            return fail(reach.kind, reach.text);

        // liblxi bounds its connect in whole seconds (it adds the rest wrongly to the time it
        // waits for), and must give up before this worker's own bound does.
        const int seconds = qMax(1, (left() - 500) / 1000);
        const auto tried = std::chrono::steady_clock::now();
        const int id = lxi_connect(host.constData(), 0, name.constData(), seconds * 1000, VXI11);
        if (id < 0) {
            // liblxi says only that it failed: one that took its whole bound timed out.
            if (std::chrono::steady_clock::now() - tried >= std::chrono::milliseconds(seconds * 1000 - 100))
                return fail(TransportError::TimedOut, QStringLiteral("timed out"));
            return fail(TransportError::Refused, QStringLiteral("no VXI-11 service"));
        }
        // liblxi does not look at the instrument's answer to create_link: an empty program
        // message (a lone LF, which every IEEE 488.2 instrument ignores) shows whether the
        // link was taken.
        if (lxi_send(id, "\n", 1, qMax(1000, left())) != 1) {
            lxi_disconnect(id);
            return fail(TransportError::Refused,
                        QStringLiteral("the instrument refused the link to '%1'").arg(device));
        }
        worker->post([this, worker] {
            if (m_worker == worker)
                finishOpen(true, TransportError::None, QString());
        });

        QByteArray reply(int(kMaxReplyBytes), '\0');
        for (;;) {
            QByteArray command;
            {
                std::unique_lock<std::mutex> lock(worker->mutex);
                worker->wake.wait(lock, [&] { return worker->abandoned || !worker->commands.empty(); });
                if (worker->abandoned)
                    break;
                command = std::move(worker->commands.front());
                worker->commands.pop_front();
            }
            const int sent = lxi_send(id, command.constData(), int(command.size()), kIoTimeoutMs);
            if (sent != int(command.size())) {
                worker->post([this, worker] {
                    if (m_worker == worker)
                        hangUp(TransportError::HungUp);
                });
                std::unique_lock<std::mutex> lock(worker->mutex);
                worker->wake.wait(lock, [&] { return worker->abandoned; });
                break;
            }
            if (!CommandAsksForAnswer(command))
                continue;
            const int got = lxi_receive(id, reply.data(), int(reply.size()), kIoTimeoutMs);
            if (got > 0) {
                QByteArray answer(reply.constData(), qMin(got, int(reply.size())));
                worker->post([this, worker, answer] {
                    if (m_worker != worker || m_state != State::Connected)
                        return;
                    Vxi11ReplyLines(answer, [this, worker](const QByteArray &line) {
                        if (OnLine)
                            OnLine(line);
                        return m_worker == worker && m_state == State::Connected;
                    });
                });
            }
        }
        lxi_disconnect(id);
    }).detach();
}

void Vxi11Transport::close()
{
    m_connectTimer->stop();
    m_done = nullptr;
    abandonWorker();
    m_state = State::Closed;
}

void Vxi11Transport::abandonWorker()
{
    if (!m_worker)
        return;
    {
        std::lock_guard<std::mutex> lock(m_worker->mutex);
        m_worker->abandoned = true;
        m_worker->commands.clear();
    }
    m_worker->wake.notify_all();
    m_worker.reset();
}

bool Vxi11Transport::isOpen() const
{
    return m_state == State::Connected || m_state == State::HungUp;
}

bool Vxi11Transport::isActive() const
{
    return m_state == State::Connected;
}

void Vxi11Transport::write(const QByteArray &bytes)
{
    if (!isActive() || bytes.isEmpty() || !m_worker)
        return;
    QByteArray command = bytes;
    if (command.endsWith("\r\n")) {
        command.chop(2);
        command.append('\n');
    }
    {
        std::lock_guard<std::mutex> lock(m_worker->mutex);
        m_worker->commands.push_back(std::move(command));
    }
    m_worker->wake.notify_all();
}

void Vxi11Transport::finishOpen(bool ok, TransportError kind, const QString &error)
{
    m_connectTimer->stop();
    m_lastError = kind;
    if (ok) {
        m_state = State::Connected;
    } else {
        abandonWorker();
        m_state = State::Closed;
    }
    const auto done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(ok, error);
}

void Vxi11Transport::hangUp(TransportError kind)
{
    if (m_state != State::Connected)
        return;
    m_state = State::HungUp;
    m_lastError = kind;
    if (OnHangUp)
        OnHangUp();
}

QString CannotConnectVxi11Text(const QString &host, const QString &device, const QString &reason)
{
    return QStringLiteral("Cannot connect to %1 (VXI-11 %2): %3").arg(host, device, reason);
}
