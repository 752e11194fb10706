#include "simulator/sim_server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

using namespace std::chrono_literals;

// After the last answer of --hangup-after, the client gets up to kHangupGrace to read it before
// the line goes down (a hang-up discards what the client has not read). The kernel hands
// written bytes on to the client's side a little later, so the unread count means something
// only after kHangupSettle.
constexpr auto kHangupGrace = 1s;
constexpr auto kHangupSettle = 50ms;
constexpr auto kHangupPoll = 10ms;

void note(const std::string &text)
{
    std::fprintf(stderr, "analyser-sim: %s\n", text.c_str());
}

} // namespace

SimServer::SimServer(const SimOptions &options, Instrument &instrument, SimLine &line,
                     CommandLog &log, int wakeFd)
    : m_options(options)
    , m_instrument(instrument)
    , m_line(line)
    , m_log(log)
    , m_wakeFd(wakeFd)
{
    m_gpibAddress = options.gpibAddress;
    if (options.baud > 0)
        m_byteTime = std::chrono::duration_cast<Clock::duration>(
            std::chrono::nanoseconds(10'000'000'000LL / options.baud));
}

void SimServer::receive(const char *data, size_t size, Clock::time_point now)
{
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\n') {
            if (!m_discarding) {
                std::string line;
                line.swap(m_lineBuffer);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                handleLine(std::move(line), now);
            }
            m_discarding = false;
            m_lineBuffer.clear();
        } else if (!m_discarding) {
            m_lineBuffer += c;
            if (m_lineBuffer.size() > kMaxLineBytes) {
                note("line longer than " + std::to_string(kMaxLineBytes) + " bytes dropped");
                m_lineBuffer.clear();
                m_discarding = true;
            }
        }
    }
}

void SimServer::handleAdapterCommand(const std::string &line, Clock::time_point now)
{
    // "++cmd [arg]": the adapter's own commands; it answers the ones that ask at once.
    const std::string rest = line.substr(2);
    std::string command(scpi::trimmed(rest));
    std::string argument;
    if (const size_t space = command.find(' '); space != std::string::npos) {
        const std::string tail = command.substr(space + 1);
        argument = std::string(scpi::trimmed(tail));
        command.resize(space);
    }
    std::optional<std::string> answer;
    auto number = [&argument]() -> std::optional<int> {
        if (argument.empty() || argument.find_first_not_of("0123456789") != std::string::npos
            || argument.size() > 4)
            return std::nullopt;
        return std::stoi(argument);
    };
    if (command == "ver") {
        answer = "analyser-sim GPIB adapter version 1.0";
    } else if (command == "addr") {
        if (argument.empty())
            answer = std::to_string(m_gpibAddress);
        else if (const std::optional<int> n = number(); n && *n <= 30)
            m_gpibAddress = *n;
    } else if (command == "auto") {
        if (argument.empty())
            answer = m_gpibAuto ? "1" : "0";
        else
            m_gpibAuto = argument == "1";
    } else if (command == "read") {
        // The addressed instrument talks; an instrument with nothing to say, or one at
        // another address, leaves the adapter silent until its read times out.
        if (!m_gpibTalk.empty())
            queueAnswer(std::exchange(m_gpibTalk, std::string()), now);
    } else if (command == "clr") {
        m_gpibTalk.clear();
    } else if (command == "mode" || command == "eoi" || command == "eos" || command == "eot_enable"
               || command == "eot_char" || command == "read_tmo_ms" || command == "savecfg"
               || command == "ifc" || command == "loc" || command == "rst") {
        // Taken; the simulated bus has no use for them.
    } else {
        note("unknown adapter command '++" + command + "' ignored");
    }
    if (answer)
        queueAnswer(*answer + "\n", now, false);
}

void SimServer::queueAnswer(std::string bytes, Clock::time_point now, bool delayed)
{
    if (m_queuedBytes + bytes.size() > kMaxQueuedBytes) {
        if (!m_dropping)
            note("the client does not read; answers dropped until it does");
        m_dropping = true;
        return;
    }
    m_dropping = false;
    m_queuedBytes += bytes.size();
    auto due = delayed ? now + std::chrono::milliseconds(m_options.delayMs) : now;
    if (delayed && m_options.realTiming)
        due = std::max(due, m_sweepsEnd);  // an answer comes once the sweeps are over
    m_answers.push_back({due, std::move(bytes)});
}

void SimServer::handleLine(std::string line, Clock::time_point now)
{
    if (scpi::trimmed(line).empty())
        return;
    if (m_options.gpibAdapter) {
        if (line.compare(0, 2, "++") == 0) {
            handleAdapterCommand(line, now);
            return;
        }
        // ESC keeps a CR, LF, ESC or '+' of the command from the adapter's own reading.
        std::string plain;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\x1b' && i + 1 < line.size())
                ++i;
            plain += line[i];
        }
        line.swap(plain);
        // Only the instrument at the adapter's address listens.
        if (m_gpibAddress != m_options.gpibAddress)
            return;
    }
    ++m_lines;
    m_log.write(line, now);
    if (m_hangupPending)
        return;
    if (m_options.stopAfterLines >= 0 && m_lines > m_options.stopAfterLines)
        return;

    std::optional<std::string> answer = m_instrument.executeLine(line);
    const double sweepS = m_instrument.takeSweepSeconds();
    if (m_options.realTiming && sweepS > 0)
        m_sweepsEnd = std::max(m_sweepsEnd, now) +
                      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(sweepS));
    if (answer) {
        if (m_options.gpibAdapter) {
            // On the bus an answer ends in LF (with EOI); it waits in the instrument until
            // the adapter addresses it to talk.
            m_gpibTalk = *answer + "\n";
            if (m_gpibAuto)
                queueAnswer(std::exchange(m_gpibTalk, std::string()), now);
        } else {
            queueAnswer(*answer + m_line.answerEnd(), now);
        }
    }
    if (m_options.hangupAfterLines >= 0 && m_lines >= m_options.hangupAfterLines)
        m_hangupPending = true;
}

void SimServer::release(Clock::time_point now)
{
    while (!m_answers.empty() && m_answers.front().due <= now) {
        if (m_wire.empty())
            m_lineFree = std::max(m_lineFree, now);
        m_wire += m_answers.front().bytes;
        m_answers.pop_front();
    }
}

bool SimServer::transmit(Clock::time_point now)
{
    if (m_wire.empty() || m_writeBlocked || m_line.fd() < 0)
        return true;
    size_t allowed = m_wire.size();
    if (m_options.baud > 0) {
        // A byte is there once its ten bit times have passed.
        const auto sent = now > m_lineFree ? (now - m_lineFree) / m_byteTime : 0;
        allowed = std::min(allowed, size_t(sent));
        if (allowed == 0)
            return true;
    }
    // SIGPIPE is ignored: a client that went away shows up here as EPIPE.
    const ssize_t n = ::write(m_line.fd(), m_wire.data(), allowed);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            m_writeBlocked = errno == EAGAIN;
            return true;
        }
        if (m_line.clientGone()) {
            forgetClient();
            return true;
        }
        note(std::string("cannot write to the line: ") + std::strerror(errno));
        return false;
    }
    m_wire.erase(0, size_t(n));
    m_queuedBytes -= size_t(n);
    m_lineFree += m_byteTime * n;
    if (size_t(n) < allowed)
        m_writeBlocked = true;
    return true;
}

bool SimServer::hangupDue(Clock::time_point now)
{
    if (!m_hangupPending || !m_answers.empty() || !m_wire.empty())
        return false;
    if (!m_drainedSince)
        m_drainedSince = now;
    const auto waited = now - *m_drainedSince;
    return (waited >= kHangupSettle && m_line.unreadBytes() == 0) || waited >= kHangupGrace;
}

void SimServer::forgetClient()
{
    // A new client starts with a clean line: nothing half-received, no answers meant for the
    // one before. The instrument keeps its state, as a real one does between controllers.
    m_lineBuffer.clear();
    m_discarding = false;
    m_gpibTalk.clear();
    m_answers.clear();
    m_wire.clear();
    m_queuedBytes = 0;
    m_writeBlocked = false;
    m_dropping = false;
}

int SimServer::pollTimeoutMs(Clock::time_point now) const
{
    std::optional<Clock::time_point> wake;
    auto consider = [&wake](Clock::time_point t) {
        if (!wake || t < *wake)
            wake = t;
    };
    if (!m_answers.empty())
        consider(m_answers.front().due);
    if (!m_wire.empty() && !m_writeBlocked && m_options.baud > 0)
        consider(m_lineFree + m_byteTime);
    if (m_hangupPending && m_answers.empty() && m_wire.empty())
        consider(now + kHangupPoll);
    if (m_masterQuietUntil)
        consider(*m_masterQuietUntil);
    if (!wake)
        return -1;
    if (*wake <= now)
        return 0;
    // Rounded up: waking a little early would only find nothing due and poll again at once.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
    return int(std::min<long long>(ms, 60'000));
}

void SimServer::lineTrouble()
{
    if (m_line.clientGone()) {
        forgetClient();
        return;
    }
    // The pseudo-terminal's slave stays open here, so this should not happen; if it does, do
    // not spin on it.
    m_masterQuietUntil = Clock::now() + 100ms;
}

SimServer::Outcome SimServer::run()
{
    std::array<char, 4096> buffer{};
    for (;;) {
        Clock::time_point now = Clock::now();
        release(now);
        if (!transmit(now))
            return Outcome::Failed;
        if (hangupDue(now)) {
            m_line.hangUp();
            return Outcome::HungUp;
        }
        if (m_masterQuietUntil && *m_masterQuietUntil <= now)
            m_masterQuietUntil.reset();

        std::array<pollfd, 3> fds{};
        fds[0] = {m_wakeFd, POLLIN, 0};
        // A master in trouble is left out of the poll for a while: poll() reports a hang-up
        // whatever events are asked for.
        fds[1] = {m_masterQuietUntil ? -1 : m_line.fd(), POLLIN, 0};
        fds[2] = {m_line.listenFd(), POLLIN, 0};
        if (m_writeBlocked)
            fds[1].events |= POLLOUT;
        const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs(now));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            note(std::string("poll failed: ") + std::strerror(errno));
            return Outcome::Failed;
        }
        if (fds[0].revents)
            return Outcome::Signalled;

        const short events = fds[1].revents;
        if (events & POLLOUT)
            m_writeBlocked = false;
        if (events & POLLIN) {
            const ssize_t n = ::read(m_line.fd(), buffer.data(), buffer.size());
            if (n > 0)
                receive(buffer.data(), size_t(n), Clock::now());
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                lineTrouble();
        } else if (events & (POLLHUP | POLLERR)) {
            lineTrouble();
        }
        if ((fds[2].revents & POLLIN) && m_line.acceptClient())
            forgetClient();
    }
}
