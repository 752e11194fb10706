#include "simulator/vxi11_server.h"

#include "simulator/scpi.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/pmap_clnt.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kPortmapper = 100000;
constexpr std::uint32_t kCall = 0;
constexpr std::uint32_t kReply = 1;

// The core channel's procedures.
enum : std::uint32_t {
    ProcNull = 0,
    ProcCreateLink = 10,
    ProcWrite = 11,
    ProcRead = 12,
    ProcReadStb = 13,
    ProcClear = 15,
    ProcDestroyLink = 23,
};

// Device_ErrorCode values.
enum : std::uint32_t {
    ErrNone = 0,
    ErrNotAccessible = 3,
    ErrInvalidLink = 4,
    ErrNotSupported = 8,
    ErrIoTimeout = 15,
};

constexpr std::uint32_t kFlagEnd = 8;       // Device_Flags: the write ends a message
constexpr std::uint32_t kReasonReqCnt = 1;  // device_read: as many bytes as asked for
constexpr std::uint32_t kReasonEnd = 4;     // device_read: the message ends here
constexpr size_t kMaxMessageBytes = 64 * 1024;
constexpr std::uint32_t kMaxIoTimeoutMs = 60'000;

void note(const std::string &text)
{
    std::fprintf(stderr, "analyser-sim: %s\n", text.c_str());
}

/// XDR decoding over one call's bytes; any read past the end marks it bad and yields zeros.
struct XdrIn
{
    const std::string &bytes;
    size_t pos = 0;
    bool bad = false;

    std::uint32_t u32()
    {
        if (bytes.size() - pos < 4 || pos > bytes.size()) {
            bad = true;
            pos = bytes.size();
            return 0;
        }
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data() + pos);
        pos += 4;
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    }
    std::string opaque(size_t most)
    {
        const std::uint32_t length = u32();
        const size_t padded = (size_t(length) + 3) & ~size_t(3);
        if (bad || length > most || bytes.size() - pos < padded) {
            bad = true;
            pos = bytes.size();
            return {};
        }
        std::string out = bytes.substr(pos, length);
        pos += padded;
        return out;
    }
};

void putU32(std::string &out, std::uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

void putOpaque(std::string &out, const std::string &data)
{
    putU32(out, std::uint32_t(data.size()));
    out += data;
    out.append((4 - data.size() % 4) % 4, '\0');
}

/// The head of an accepted reply: xid, REPLY, MSG_ACCEPTED, a null verifier, `status`.
std::string replyHead(std::uint32_t xid, std::uint32_t status = 0)
{
    std::string out;
    putU32(out, xid);
    putU32(out, kReply);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, status);
    return out;
}

struct CallHead
{
    std::uint32_t xid = 0, program = 0, version = 0, procedure = 0;
};

/// Reads a call's header up to its arguments; nullopt for anything that is not an RPC v2 call.
std::optional<CallHead> readCall(XdrIn &in)
{
    CallHead head;
    head.xid = in.u32();
    if (in.u32() != kCall || in.u32() != 2)
        return std::nullopt;
    head.program = in.u32();
    head.version = in.u32();
    head.procedure = in.u32();
    in.u32();
    in.opaque(400); // credentials
    in.u32();
    in.opaque(400); // verifier
    if (in.bad)
        return std::nullopt;
    return head;
}

int listenTcp(std::uint32_t address, int port, std::string &error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(std::uint16_t(port));
    sa.sin_addr.s_addr = address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || ::listen(fd, 8) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int boundPort(int fd)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    return ntohs(sa.sin_port);
}

bool somethingListensOn111()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(111);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
    ::close(fd);
    return ok;
}

} // namespace

struct Vxi11Server::Client
{
    int fd = -1;
    bool portmapper = false;
    std::string in;          ///< bytes of the record being received
    std::string record;      ///< fragments of the current record
    std::string out;         ///< reply bytes not yet written
    bool gone = false;
    // A device_read waiting for its answer.
    bool reading = false;
    std::uint32_t readXid = 0;
    std::uint32_t readLink = 0;
    std::uint32_t readSize = 0;
    Clock::time_point readDeadline;
    std::deque<std::pair<Clock::time_point, std::string>> deferred; ///< replies held back
};

Vxi11Server::Vxi11Server(const SimOptions &options, Instrument &instrument, CommandLog &log, int wakeFd)
    : m_options(options)
    , m_instrument(instrument)
    , m_log(log)
    , m_wakeFd(wakeFd)
{
}

Vxi11Server::~Vxi11Server()
{
    if (m_registered)
        pmap_unset(kDeviceCore, 1);
    for (const auto &c : m_clients)
        ::close(c->fd);
    for (int fd : {m_listener, m_pmapTcp, m_pmapUdp})
        if (fd >= 0)
            ::close(fd);
}

bool Vxi11Server::start(std::string &error)
{
    in_addr address{};
    if (::inet_pton(AF_INET, m_options.listenAddress.c_str(), &address) != 1) {
        error = "--listen with --vxi11 needs an IPv4 address, not '" + m_options.listenAddress + "'";
        return false;
    }
    m_listener = listenTcp(address.s_addr, 0, error);
    if (m_listener < 0) {
        error = "cannot listen for VXI-11 on " + m_options.listenAddress + ": " + error;
        return false;
    }
    m_port = boundPort(m_listener);

    if (somethingListensOn111()) {
        // A stale entry of a simulator that was killed would shadow this one.
        pmap_unset(kDeviceCore, 1);
        if (!pmap_set(kDeviceCore, 1, IPPROTO_TCP, std::uint16_t(m_port))) {
            error = "the portmapper on port 111 does not take the registration";
            return false;
        }
        m_registered = true;
        return true;
    }
    std::string why;
    m_pmapTcp = listenTcp(htonl(INADDR_LOOPBACK), 111, why);
    if (m_pmapTcp >= 0) {
        m_pmapUdp = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(111);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_pmapUdp < 0 || ::bind(m_pmapUdp, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
            why = std::strerror(errno);
            if (m_pmapUdp >= 0)
                ::close(m_pmapUdp);
            m_pmapUdp = -1;
        }
    }
    if (m_pmapTcp < 0 || m_pmapUdp < 0) {
        error = "no rpcbind runs, and the portmapper's port 111 on 127.0.0.1 cannot be bound: " + why;
        return false;
    }
    return true;
}

std::string Vxi11Server::where() const
{
    return m_options.listenAddress + ":" + std::to_string(m_port);
}

void Vxi11Server::send(Client &client, const std::string &reply)
{
    // One fragment, the last of its record.
    putU32(client.out, 0x80000000u | std::uint32_t(reply.size()));
    client.out += reply;
    flush(client);
}

void Vxi11Server::flush(Client &client)
{
    while (!client.out.empty()) {
        const ssize_t n = ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            client.out.erase(0, size_t(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN)
                client.gone = true;
            break;
        }
    }
}

bool Vxi11Server::acceptOn(int listener, bool portmapper)
{
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return false;
    auto client = std::make_unique<Client>();
    client->fd = fd;
    client->portmapper = portmapper;
    m_clients.push_back(std::move(client));
    return true;
}

void Vxi11Server::receive(Client &client)
{
    char buffer[8192];
    const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        client.gone = true;
        return;
    }
    if (n < 0)
        return;
    client.in.append(buffer, size_t(n));
    const auto now = Clock::now();
    while (client.in.size() >= 4 && !client.gone) {
        const auto *p = reinterpret_cast<const unsigned char *>(client.in.data());
        const std::uint32_t mark = std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16
                                   | std::uint32_t(p[2]) << 8 | p[3];
        const size_t length = mark & 0x7fffffffu;
        if (length + client.record.size() > kMaxRecordBytes) {
            note("an RPC record longer than " + std::to_string(kMaxRecordBytes) + " bytes; client dropped");
            client.gone = true;
            return;
        }
        if (client.in.size() < 4 + length)
            return;
        client.record.append(client.in, 4, length);
        client.in.erase(0, 4 + length);
        if (mark & 0x80000000u) {
            const std::string record = std::move(client.record);
            client.record.clear();
            if (!handleRecord(client, record, now))
                client.gone = true;
        }
    }
}

void Vxi11Server::answerPortmapper(const std::string &call, std::string &reply, bool &replied)
{
    replied = false;
    XdrIn in{call};
    const std::optional<CallHead> head = readCall(in);
    if (!head)
        return;
    replied = true;
    if (head->program != kPortmapper) {
        reply = replyHead(head->xid, 1); // PROG_UNAVAIL
        return;
    }
    if (head->version < 2 || head->version > 4) {
        reply = replyHead(head->xid, 2); // PROG_MISMATCH
        putU32(reply, 2);
        putU32(reply, 4);
        return;
    }
    if (head->procedure == ProcNull) {
        reply = replyHead(head->xid);
        return;
    }
    if (head->procedure != 3) { // GETPORT (version 2), GETADDR (versions 3 and 4)
        reply = replyHead(head->xid, 3); // PROC_UNAVAIL
        return;
    }
    const std::uint32_t program = in.u32();
    const std::uint32_t version = in.u32();
    const bool ours = program == kDeviceCore && version == 1;
    if (head->version == 2) {
        const std::uint32_t protocol = in.u32();
        reply = replyHead(head->xid, in.bad ? 4 : 0);
        if (!in.bad)
            putU32(reply, ours && protocol == IPPROTO_TCP ? std::uint32_t(m_port) : 0);
        return;
    }
    const std::string netid = in.opaque(64);
    reply = replyHead(head->xid, in.bad ? 4 : 0);
    if (in.bad)
        return;
    std::string universal;
    if (ours && (netid == "tcp" || netid.empty()))
        universal = "127.0.0.1." + std::to_string(m_port >> 8) + "." + std::to_string(m_port & 0xff);
    putOpaque(reply, universal);
}

void Vxi11Server::handleUdp()
{
    char buffer[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(m_pmapUdp, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &len);
    if (n <= 0)
        return;
    std::string reply;
    bool replied = false;
    answerPortmapper(std::string(buffer, size_t(n)), reply, replied);
    if (replied)
        ::sendto(m_pmapUdp, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from), len);
}

void Vxi11Server::handleLine(Link &link, std::string line, Clock::time_point now)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (scpi::trimmed(line).empty())
        return;
    ++m_lines;
    m_log.write(line, now);
    if (m_hangupPending)
        return;
    if (m_options.stopAfterLines >= 0 && m_lines > m_options.stopAfterLines)
        return;
    if (std::optional<std::string> answer = m_instrument.executeLine(line)) {
        std::string bytes = *answer + "\n";
        auto due = now + std::chrono::milliseconds(m_options.delayMs);
        if (m_options.baud > 0)
            due += std::chrono::nanoseconds(10'000'000'000LL / m_options.baud) * bytes.size();
        link.answers.emplace_back(due, std::move(bytes));
        // A client that never reads gets only the newest answers kept.
        while (link.answers.size() > 64)
            link.answers.pop_front();
    }
    if (m_options.hangupAfterLines >= 0 && m_lines >= m_options.hangupAfterLines)
        m_hangupPending = true;
}

bool Vxi11Server::handleRecord(Client &client, const std::string &record, Clock::time_point now)
{
    if (client.portmapper) {
        std::string reply;
        bool replied = false;
        answerPortmapper(record, reply, replied);
        if (replied)
            send(client, reply);
        return replied;
    }
    XdrIn in{record};
    const std::optional<CallHead> head = readCall(in);
    if (!head)
        return false;
    if (head->program != kDeviceCore) {
        send(client, replyHead(head->xid, 1));
        return true;
    }
    if (head->version != 1) {
        std::string reply = replyHead(head->xid, 2);
        putU32(reply, 1);
        putU32(reply, 1);
        send(client, reply);
        return true;
    }
    std::string reply = replyHead(head->xid);
    switch (head->procedure) {
    case ProcNull:
        break;
    case ProcCreateLink: {
        in.u32(); // clientId
        in.u32(); // lockDevice
        in.u32(); // lock_timeout
        const std::string device = in.opaque(256);
        if (in.bad)
            break;
        if (device != m_options.lanDevice) {
            note("create_link for '" + device + "' refused: this instrument is '" + m_options.lanDevice + "'");
            putU32(reply, ErrNotAccessible);
            putU32(reply, 0);
        } else {
            const std::uint32_t lid = m_nextLink++;
            m_links[lid];
            putU32(reply, ErrNone);
            putU32(reply, lid);
        }
        putU32(reply, 0);                           // abortPort: no abort channel
        putU32(reply, std::uint32_t(kMaxMessageBytes)); // maxRecvSize
        if (m_options.delayMs > 0) {
            // --delay: an instrument slow to take the link.
            client.deferred.emplace_back(now + std::chrono::milliseconds(m_options.delayMs), reply);
            return true;
        }
        break;
    }
    case ProcWrite: {
        const std::uint32_t lid = in.u32();
        in.u32(); // io_timeout
        in.u32(); // lock_timeout
        const std::uint32_t flags = in.u32();
        const std::string data = in.opaque(kMaxRecordBytes);
        if (in.bad)
            break;
        const auto found = m_links.find(lid);
        if (found == m_links.end()) {
            putU32(reply, ErrInvalidLink);
            putU32(reply, 0);
            break;
        }
        Link &link = found->second;
        link.pending.append(data, 0, std::min(data.size(), kMaxMessageBytes - std::min(kMaxMessageBytes, link.pending.size())));
        if (flags & kFlagEnd) {
            std::string message = std::move(link.pending);
            link.pending.clear();
            // A message with no command in it still reached the instrument: the log shows it
            // as an empty line, so a dialogue compared line by line catches it.
            if (scpi::trimmed(message).empty())
                m_log.write({}, now);
            size_t start = 0;
            while (start <= message.size()) {
                const size_t lf = message.find('\n', start);
                const size_t end = lf == std::string::npos ? message.size() : lf;
                handleLine(link, message.substr(start, end - start), now);
                if (lf == std::string::npos)
                    break;
                start = lf + 1;
            }
        }
        putU32(reply, ErrNone);
        putU32(reply, std::uint32_t(data.size()));
        break;
    }
    case ProcRead: {
        const std::uint32_t lid = in.u32();
        const std::uint32_t size = in.u32();
        const std::uint32_t ioTimeout = in.u32();
        if (in.bad)
            break;
        if (!m_links.count(lid)) {
            putU32(reply, ErrInvalidLink);
            putU32(reply, 0);
            putOpaque(reply, {});
            break;
        }
        client.reading = true;
        client.readXid = head->xid;
        client.readLink = lid;
        client.readSize = std::max<std::uint32_t>(1, size);
        client.readDeadline = now + std::chrono::milliseconds(std::min(ioTimeout, kMaxIoTimeoutMs));
        serveReads(now);
        return true;
    }
    case ProcReadStb: {
        const std::uint32_t lid = in.u32();
        putU32(reply, m_links.count(lid) ? ErrNone : ErrInvalidLink);
        putU32(reply, 0);
        break;
    }
    case ProcClear: {
        const std::uint32_t lid = in.u32();
        const auto found = m_links.find(lid);
        if (found != m_links.end())
            found->second = Link{};
        putU32(reply, found != m_links.end() ? ErrNone : ErrInvalidLink);
        break;
    }
    case ProcDestroyLink: {
        const std::uint32_t lid = in.u32();
        putU32(reply, m_links.erase(lid) ? ErrNone : ErrInvalidLink);
        break;
    }
    case 14: case 16: case 17: case 18: case 19: case 20: case 22: case 25: case 26:
        // trigger, remote, local, lock, unlock, enable_srq, docmd, the interrupt channel
        putU32(reply, ErrNotSupported);
        if (head->procedure == 22) {
            putU32(reply, 0); // docmd's empty data_out
        }
        break;
    default:
        send(client, replyHead(head->xid, 3));
        return true;
    }
    if (in.bad) {
        send(client, replyHead(head->xid, 4)); // GARBAGE_ARGS
        return true;
    }
    send(client, reply);
    return true;
}

void Vxi11Server::serveReads(Clock::time_point now)
{
    for (const auto &c : m_clients) {
        Client &client = *c;
        while (!client.deferred.empty() && client.deferred.front().first <= now && !client.gone) {
            send(client, client.deferred.front().second);
            client.deferred.pop_front();
        }
        if (!client.reading || client.gone)
            continue;
        std::string reply = replyHead(client.readXid);
        const auto found = m_links.find(client.readLink);
        if (found == m_links.end()) {
            putU32(reply, ErrInvalidLink);
            putU32(reply, 0);
            putOpaque(reply, {});
        } else if (!found->second.answers.empty() && found->second.answers.front().first <= now) {
            auto &answer = found->second.answers.front().second;
            const size_t take = std::min<size_t>(answer.size(), client.readSize);
            const bool whole = take == answer.size();
            putU32(reply, ErrNone);
            putU32(reply, whole ? kReasonEnd : kReasonReqCnt);
            putOpaque(reply, answer.substr(0, take));
            if (whole)
                found->second.answers.pop_front();
            else
                answer.erase(0, take);
        } else if (now >= client.readDeadline) {
            putU32(reply, ErrIoTimeout);
            putU32(reply, 0);
            putOpaque(reply, {});
        } else {
            continue;
        }
        client.reading = false;
        send(client, reply);
    }
}

int Vxi11Server::pollTimeoutMs(Clock::time_point now) const
{
    std::optional<Clock::time_point> wake;
    auto consider = [&wake](Clock::time_point t) {
        if (!wake || t < *wake)
            wake = t;
    };
    for (const auto &c : m_clients) {
        if (!c->deferred.empty())
            consider(c->deferred.front().first);
        if (!c->reading)
            continue;
        consider(c->readDeadline);
        const auto found = m_links.find(c->readLink);
        if (found != m_links.end() && !found->second.answers.empty())
            consider(found->second.answers.front().first);
    }
    if (m_hangupPending)
        consider(now + 10ms);
    if (!wake)
        return -1;
    if (*wake <= now)
        return 0;
    return int(std::min<long long>(std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count(), 60'000));
}

Vxi11Server::Outcome Vxi11Server::run()
{
    std::optional<Clock::time_point> drainedSince;
    for (;;) {
        Clock::time_point now = Clock::now();
        serveReads(now);
        m_clients.erase(std::remove_if(m_clients.begin(), m_clients.end(),
                                       [](const std::unique_ptr<Client> &c) {
                                           if (c->gone)
                                               ::close(c->fd);
                                           return c->gone;
                                       }),
                        m_clients.end());
        if (m_hangupPending) {
            // The last answer is read first, or given up after a second.
            const bool drained = std::all_of(m_links.begin(), m_links.end(),
                                             [](const auto &l) { return l.second.answers.empty(); });
            if (!drainedSince)
                drainedSince = now;
            if (drained || now - *drainedSince >= 1s) {
                for (const auto &c : m_clients)
                    ::shutdown(c->fd, SHUT_RDWR);
                return Outcome::HungUp;
            }
        }

        std::vector<pollfd> fds;
        fds.push_back({m_wakeFd, POLLIN, 0});
        fds.push_back({m_listener, POLLIN, 0});
        fds.push_back({m_pmapTcp, POLLIN, 0});
        fds.push_back({m_pmapUdp, POLLIN, 0});
        for (const auto &c : m_clients)
            fds.push_back({c->fd, short(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
        const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs(now));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            note(std::string("poll failed: ") + std::strerror(errno));
            return Outcome::Failed;
        }
        if (fds[0].revents)
            return Outcome::Signalled;
        // Clients first: accepting may add to the list the descriptors were taken from.
        for (size_t i = 0; i < m_clients.size() && i + 4 < fds.size(); ++i) {
            Client &client = *m_clients[i];
            const short events = fds[i + 4].revents;
            if ((events & POLLOUT) && !client.out.empty())
                flush(client);
            if (events & (POLLIN | POLLHUP | POLLERR))
                receive(client);
        }
        if (fds[1].revents & POLLIN)
            acceptOn(m_listener, false);
        if (fds[2].revents & POLLIN)
            acceptOn(m_pmapTcp, true);
        if (fds[3].revents & POLLIN)
            handleUdp();
    }
}
