// The analyser link over its two lines: the set-up and a calibration and a measurement pass
// over a number of frequencies, through the command channel, once over the pseudo-terminal
// that stands for RS-232 and once over a loopback TCP socket, both served by analyser-sim.
// Prints the milliseconds each frequency took on each line.
//
// The pass is driven straight through the channel, each awaited answer taken as soon as it is
// there; the sequencer's 1 ms ticks, which pace the program's own pass, are left out, so the
// figures are what the line itself costs.
//
// Usage: bench_link [frequencies] [path of analyser-sim]      (default: 100, next to bench/)

#include "analyser/analyser_dialect.h"
#include "analyser/analyser_setup.h"
#include "analyser/command_channel.h"
#include "analyser/serial_transport.h"
#include "analyser/tcp_transport.h"
#include "base/engvalue.h"
#include "common/simulator_process.h"
#include "run/designed_options.h"
#include "serial/piloport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

struct Figures
{
    double setupMs = 0;
    double perFrequencyMs = 0;
    bool ok = false;
};

/// Sends `lines`, waiting for the answer to the last one, as the sequencer's states do.
bool send(CommandChannel &channel, const QList<QByteArray> &lines)
{
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!channel.SendCommand(lines[i], 0))
            return false;
    }
    return channel.SendCommand(lines.last(), 1);
}

/// One pass as the sequencer sends it, per frequency: the dialect's lines for source off,
/// marker and settling sweeps, the averaged reading; source on, settling sweeps, the reading.
bool pass(CommandChannel &channel, const AnalyserDialect &dialect, PassKind kind, const SetupSettings &settings,
          int frequencies)
{
    const double stepHz = 10e6;
    QByteArray reply;
    if (!send(channel, {dialect.SweepTimeQuery()}))
        return false;
    for (int i = 0; i < frequencies; ++i) {
        const double hz = settings.startHz + i * stepHz;
        const bool ok = send(channel, dialect.SourceOffAndSettle(kind, hz))
                        && send(channel, dialect.Reading(settings.averageText)) && channel.ReadReply(reply)
                        && send(channel, dialect.SourceOnAndSettle(kind))
                        && send(channel, dialect.Reading(settings.averageText)) && channel.ReadReply(reply);
        if (!ok)
            return false;
    }
    return true;
}

Figures run(Transport &transport, int frequencies)
{
    Figures figures;
    std::optional<bool> opened;
    transport.open([&](bool ok, const QString &error) {
        opened = ok;
        if (!ok)
            std::fprintf(stderr, "bench_link: %s\n", qPrintable(error));
    });
    const QDeadlineTimer deadline(6000);
    while (!opened && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!opened.value_or(false))
        return figures;

    CommandChannel channel(&transport);
    channel.OnNoAnswer = [](const QString &message) {
        std::fprintf(stderr, "bench_link: %s\n", qPrintable(message));
    };
    transport.OnLine = [&channel](const QByteArray &line) { channel.PiloDataAvailable(line); };
    transport.OnHangUp = [&channel] { channel.WakeWaiting(); };

    // The set-up of the Options page as it starts.
    const AnalyserDialect &dialect = DefaultDialect();
    const SetupSettings settings = DesignedOptions::setupSettings(ParseValue(DesignedOptions::startText()));
    bool stateSaved = false;

    QElapsedTimer timer;
    timer.start();
    if (!RunSetup(channel, dialect, settings, stateSaved))
        return figures;
    figures.setupMs = double(timer.nsecsElapsed()) * 1e-6;

    timer.restart();
    if (!pass(channel, dialect, PassKind::Calibration, settings, frequencies)
        || !pass(channel, dialect, PassKind::Measurement, settings, frequencies))
        return figures;
    // Two passes: every frequency is visited twice.
    figures.perFrequencyMs = double(timer.nsecsElapsed()) * 1e-6 / (2.0 * frequencies);
    transport.close();
    figures.ok = true;
    return figures;
}

void print(const char *line, const Figures &f)
{
    if (f.ok)
        std::printf("%-28s set-up %8.2f ms   %8.3f ms per frequency\n", line, f.setupMs,
                    f.perFrequencyMs);
    else
        std::printf("%-28s failed\n", line);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int frequencies = argc > 1 ? qMax(1, atoi(argv[1])) : 100;
    const QString simPath = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                     : QCoreApplication::applicationDirPath()
                                           + QStringLiteral("/../simulator/analyser-sim");

    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    std::printf("%d frequencies, a calibration and a measurement pass, 15 lines a frequency "
                "(4 of them awaited)\n",
                frequencies);

    {
        SimulatorProcess sim({"--port", "1"}, dir.path());
        sim.setProgram(simPath);
        if (!sim.start()) {
            std::fprintf(stderr, "bench_link: cannot start %s\n", qPrintable(simPath));
            return 1;
        }
        SerialTransport serial;
        serial.port().setPort(1);
        serial.port().setBaudrate(9600);
        print("pseudo-terminal (serial)", run(serial, frequencies));
        sim.stop();
    }

    const QList<QStringList> tcpOptions{{}, {"--crlf"}};
    for (const QStringList &extra : tcpOptions) {
        SimulatorProcess sim(QStringList{"--tcp", "0"} + extra, dir.path());
        sim.setProgram(simPath);
        const quint16 port = sim.start() ? sim.tcpPort() : 0;
        if (port == 0) {
            std::fprintf(stderr, "bench_link: no TCP port from %s\n", qPrintable(simPath));
            return 1;
        }
        TcpTransport tcp(QStringLiteral("127.0.0.1"), port);
        print(extra.isEmpty() ? "loopback TCP, LF answers" : "loopback TCP, CR LF answers",
              run(tcp, frequencies));
        sim.stop();
    }
    QDir::setCurrent(previous);
    return 0;
}
