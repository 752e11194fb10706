#include "analyser/vxi11_transport.h"

#include "analyser/tcp_transport.h"

#include <QObject>
#include <QTimer>

#include <lxi.h>
#include <rpc/rpc.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
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

// The core channel's program, its version and the two calls the link check makes.
constexpr rpcprog_t kDeviceCore = 0x0607AF;
constexpr rpcvers_t kDeviceCoreVersion = 1;
constexpr rpcproc_t kCreateLink = 10;
constexpr rpcproc_t kDestroyLink = 23;

struct CreateLinkParms
{
    long clientId = 0;
    bool_t lockDevice = 0;
    u_long lockTimeout = 0;
    char *device = nullptr;
};

struct CreateLinkResp
{
    long error = 0;
    long lid = 0;
    u_short abortPort = 0;
    u_long maxRecvSize = 0;
};

// libtirpc calls an XDR routine through a variadic pointer, with the object's address as its
// one argument after the stream.
template <typename T>
T *xdrObject(va_list args)
{
    return static_cast<T *>(va_arg(args, void *));
}

bool_t xdrCreateLinkParms(XDR *xdrs, ...)
{
    va_list args;
    va_start(args, xdrs);
    auto *parms = xdrObject<CreateLinkParms>(args);
    va_end(args);
    return xdr_long(xdrs, &parms->clientId) && xdr_bool(xdrs, &parms->lockDevice)
           && xdr_u_long(xdrs, &parms->lockTimeout) && xdr_string(xdrs, &parms->device, 256);
}

bool_t xdrCreateLinkResp(XDR *xdrs, ...)
{
    va_list args;
    va_start(args, xdrs);
    auto *resp = xdrObject<CreateLinkResp>(args);
    va_end(args);
    return xdr_long(xdrs, &resp->error) && xdr_long(xdrs, &resp->lid) && xdr_u_short(xdrs, &resp->abortPort)
           && xdr_u_long(xdrs, &resp->maxRecvSize);
}

bool_t xdrLong(XDR *xdrs, ...)
{
    va_list args;
    va_start(args, xdrs);
    long *value = xdrObject<long>(args);
    va_end(args);
    return xdr_long(xdrs, value);
}

timeval toTimeval(int ms)
{
    return timeval{ms / 1000, (ms % 1000) * 1000};
}

/// Asks the instrument for a link to `device` and gives it back at once, within `ms`: liblxi's
/// connect does not look at the instrument's answer, so a device the instrument does not know
/// would otherwise seem linked. Link calls only; nothing reaches the instrument's command parser.
Outcome checkLink(const QByteArray &host, const QByteArray &device, int ms)
{
    const auto start = std::chrono::steady_clock::now();
    auto left = [&] {
        const auto used = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start).count();
        return int(qMax<long long>(1, ms - used));
    };
    timeval bound = toTimeval(ms);
    CLIENT *client = ::clnt_create_timed(host.constData(), kDeviceCore, kDeviceCoreVersion, "tcp", &bound);
    if (!client) {
        const clnt_stat why = rpc_createerr.cf_stat;
        if (why == RPC_TIMEDOUT)
            return {TransportError::TimedOut, QStringLiteral("timed out")};
        return {TransportError::Refused, QStringLiteral("no VXI-11 service")};
    }
    Outcome outcome;
    QByteArray name = device;
    CreateLinkParms parms;
    parms.clientId = long(reinterpret_cast<quintptr>(client) & 0x7fffffff);
    parms.device = name.data();
    CreateLinkResp resp;
    const clnt_stat called = clnt_call(client, kCreateLink, xdrCreateLinkParms, &parms,
                                       xdrCreateLinkResp, &resp, toTimeval(left()));
    if (called == RPC_TIMEDOUT) {
        outcome = {TransportError::TimedOut, QStringLiteral("timed out")};
    } else if (called != RPC_SUCCESS) {
        outcome = {TransportError::Refused, QStringLiteral("no VXI-11 service")};
    } else if (resp.error != 0) {
        outcome = {TransportError::Refused,
                   QStringLiteral("the instrument refused the link to '%1'").arg(QString::fromUtf8(device))};
    } else {
        long lid = resp.lid;
        long error = 0;
        clnt_call(client, kDestroyLink, xdrLong, &lid, xdrLong,
                  &error, toTimeval(qMin(1000, left())));
    }
    clnt_destroy(client);
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

        const Outcome link = checkLink(host, name, left());
        if (link.kind != TransportError::None)
            return fail(link.kind, link.text);

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
