#pragma once
// The simulator's event loop: one thread, one poll() over the line (the pseudo-terminal master,
// or a TCP listener and its client) and a wake-up descriptor (written by the signal handler). Received bytes become lines, lines go to
// the instrument, answers go out after the configured delay and at the configured baud rate.
// Nothing spins: poll() sleeps until a byte arrives, an answer falls due or a signal comes.

#include "simulator/command_log.h"
#include "simulator/instrument.h"
#include "simulator/sim_line.h"
#include "simulator/sim_options.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>

class SimServer
{
public:
    enum class Outcome { Signalled, HungUp, Failed };

    SimServer(const SimOptions &options, Instrument &instrument, SimLine &line, CommandLog &log,
              int wakeFd);

    /// Serves until the wake-up descriptor becomes readable (a signal), the line is hung up by
    /// --hangup-after, or poll() fails.
    Outcome run();

    /// Longest line taken; a longer one is dropped up to its LF.
    static constexpr size_t kMaxLineBytes = 4096;
    /// Most answer bytes held back for a client that does not read.
    static constexpr size_t kMaxQueuedBytes = 64 * 1024;

private:
    using Clock = std::chrono::steady_clock;

    struct Answer
    {
        Clock::time_point due;
        std::string bytes;
    };

    void receive(const char *data, size_t size, Clock::time_point now);
    void handleLine(std::string line, Clock::time_point now);
    void handleAdapterCommand(const std::string &line, Clock::time_point now);
    void queueAnswer(std::string bytes, Clock::time_point now, bool delayed = true);
    void release(Clock::time_point now);
    bool transmit(Clock::time_point now);
    int pollTimeoutMs(Clock::time_point now) const;
    bool hangupDue(Clock::time_point now);
    void forgetClient();
    void lineTrouble();

    const SimOptions &m_options;
    Instrument &m_instrument;
    SimLine &m_line;
    CommandLog &m_log;
    int m_wakeFd;

    std::string m_lineBuffer;
    bool m_discarding = false;
    long m_lines = 0;

    std::deque<Answer> m_answers;  ///< waiting for their delay
    Clock::time_point m_sweepsEnd{};  ///< --timing real: when the sweeps started so far are over
    size_t m_queuedBytes = 0;      ///< in m_answers and m_wire together
    std::string m_wire;            ///< released, not yet written
    bool m_writeBlocked = false;   ///< the client's input queue is full: wait for POLLOUT
    bool m_dropping = false;       ///< answers are being dropped (noted once)
    Clock::duration m_byteTime{};  ///< with --baud: 10 bit times
    Clock::time_point m_lineFree;  ///< with --baud: when the line has sent all it was given

    // With --gpib-adapter: the address the adapter talks to, its read-after-write, and the
    // answer the instrument holds until it is addressed to talk.
    int m_gpibAddress = 0;
    bool m_gpibAuto = false;
    std::string m_gpibTalk;

    bool m_hangupPending = false;
    std::optional<Clock::time_point> m_drainedSince;
    std::optional<Clock::time_point> m_masterQuietUntil;
};
