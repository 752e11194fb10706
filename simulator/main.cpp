// analyser-sim: a spectrum analyser with a noise source and a DUT on its bench, answering the
// program's SCPI dialogue on a pseudo-terminal linked as ports/COM<n>, so that the demo and
// the end-to-end tests run whole measurements without an instrument.

#include "simulator/bench_model.h"
#include "simulator/command_log.h"
#include "simulator/instrument.h"
#include "simulator/port_link.h"
#include "simulator/sim_options.h"
#include "simulator/sim_server.h"
#include "simulator/tcp_link.h"
#include "simulator/vxi11_server.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int g_wakeWrite = -1;

extern "C" void onSignal(int)
{
    // Only async-signal-safe work here: wake the event loop, which ends in order.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wakeWrite, &byte, 1);
    errno = saved;
}

int fail(const std::string &message)
{
    std::fprintf(stderr, "analyser-sim: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    const OptionsResult parsed = parseOptions(argc, argv);
    if (parsed.kind == OptionsResult::Help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    if (parsed.kind == OptionsResult::Error) {
        std::fprintf(stderr, "analyser-sim: %s\nTry 'analyser-sim --help'.\n", parsed.message.c_str());
        return 2;
    }
    const SimOptions &options = parsed.options;
    const auto start = std::chrono::steady_clock::now();

    int wake[2] = {-1, -1};
    if (pipe(wake) != 0)
        return fail(std::string("cannot create a pipe: ") + std::strerror(errno));
    for (int fd : wake) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    g_wakeWrite = wake[1];
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string error;
    CommandLog log;
    if (!options.logPath.empty() && !log.open(options.logPath, start, error))
        return fail(error);

    BenchModel bench(options);
    Instrument instrument(options, bench, [](const std::string &text) {
        std::fprintf(stderr, "analyser-sim: %s\n", text.c_str());
    });

    if (options.vxi11) {
        Vxi11Server server(options, instrument, log, wake[0]);
        if (!server.start(error))
            return fail(error);
        // Tests read the core channel's port from this line.
        std::printf("listening on %s (VXI-11 %s, found through the %s)\n", server.where().c_str(),
                    options.lanDevice.c_str(), server.finder().c_str());
        std::fflush(stdout);
        const Vxi11Server::Outcome outcome = server.run();
        if (outcome == Vxi11Server::Outcome::HungUp)
            std::fprintf(stderr, "analyser-sim: ended the VXI-11 links after %ld lines\n",
                         options.hangupAfterLines);
        return outcome == Vxi11Server::Outcome::Failed ? 1 : 0;
    }

    if (options.tcpPort >= 0) {
        TcpLink tcp(options.crlf);
        if (!tcp.listen(options.listenAddress, options.tcpPort, error))
            return fail(error);
        // Tests read the port of --tcp 0 from this line.
        std::printf("listening on %s\n", tcp.where().c_str());
        std::fflush(stdout);
        SimServer server(options, instrument, tcp, log, wake[0]);
        const SimServer::Outcome outcome = server.run();
        if (outcome == SimServer::Outcome::HungUp)
            std::fprintf(stderr, "analyser-sim: hung up %s after %ld lines\n", tcp.where().c_str(),
                         options.hangupAfterLines);
        return outcome == SimServer::Outcome::Failed ? 1 : 0;
    }

    PtyPair pty;
    if (!pty.open(error))
        return fail(error);
    PortLink link;
    if (!link.claim(options.port, pty.slavePath(), error))
        return fail(error);

    std::printf("analyser-sim: serving COM%d on %s\n", options.port, pty.slavePath().c_str());
    std::fflush(stdout);

    SimServer server(options, instrument, pty, log, wake[0]);
    const SimServer::Outcome outcome = server.run();
    link.release();
    if (outcome == SimServer::Outcome::HungUp)
        std::fprintf(stderr, "analyser-sim: hung up COM%d after %ld lines\n", options.port,
                     options.hangupAfterLines);
    return outcome == SimServer::Outcome::Failed ? 1 : 0;
}
