#pragma once
// The simulator as a VXI-11 instrument: the core channel of the TCP/IP instrument protocol
// (create_link, device_write, device_read, device_readstb, device_clear, destroy_link) over
// ONC RPC on a TCP port of its own, for the same SCPI bench as the serial line.
//
// Clients find the port through the portmapper on port 111: the simulator registers with the
// system's rpcbind where one runs, and otherwise answers the portmapper's port requests itself
// on 127.0.0.1 (TCP and UDP, versions 2 to 4) when it may bind the port.
//
// One thread, one poll() over the listeners, the clients and the wake-up descriptor, as the
// serial side. The fault options act as there: --delay and --baud hold an answer back,
// --stop-after leaves later queries unanswered (their reads time out), --hangup-after ends
// every link once the last answer was read, --garbage-once spoils a reading.

#include "simulator/command_log.h"
#include "simulator/instrument.h"
#include "simulator/sim_options.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Vxi11Server
{
public:
    enum class Outcome { Signalled, HungUp, Failed };

    Vxi11Server(const SimOptions &options, Instrument &instrument, CommandLog &log, int wakeFd);
    ~Vxi11Server();
    Vxi11Server(const Vxi11Server &) = delete;
    Vxi11Server &operator=(const Vxi11Server &) = delete;

    /// Binds the core channel and makes it findable. False with `error` set when neither the
    /// system's rpcbind nor a portmapper of its own can tell clients the port.
    bool start(std::string &error);
    /// "127.0.0.1:40123": the core channel's address.
    std::string where() const;
    /// How clients find the port.
    std::string finder() const { return m_registered ? "system's rpcbind" : "portmapper of its own on 127.0.0.1"; }

    Outcome run();

    /// Longest RPC record taken; a client that sends more is dropped.
    static constexpr size_t kMaxRecordBytes = 1024 * 1024;
    static constexpr std::uint32_t kDeviceCore = 0x0607AF;

    using Clock = std::chrono::steady_clock;

    struct Client;
    struct Link
    {
        std::string pending;                 ///< command bytes of a message not yet ended
        std::deque<std::pair<Clock::time_point, std::string>> answers;
    };

private:
    bool acceptOn(int listener, bool portmapper);
    void receive(Client &client);
    bool handleRecord(Client &client, const std::string &record, Clock::time_point now);
    void answerPortmapper(const std::string &call, std::string &reply, bool &replied);
    void handleUdp();
    void serveReads(Clock::time_point now);
    void handleLine(Link &link, std::string line, Clock::time_point now);
    int pollTimeoutMs(Clock::time_point now) const;
    void send(Client &client, const std::string &reply);
    void flush(Client &client);

    const SimOptions &m_options;
    Instrument &m_instrument;
    CommandLog &m_log;
    int m_wakeFd;

    int m_listener = -1;
    int m_port = 0;
    int m_pmapTcp = -1;
    int m_pmapUdp = -1;
    bool m_registered = false;

    std::vector<std::unique_ptr<Client>> m_clients;
    std::map<std::uint32_t, Link> m_links;
    std::uint32_t m_nextLink = 1;
    long m_lines = 0;
    bool m_hangupPending = false;
    bool m_garbled = false;
};
