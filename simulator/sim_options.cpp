#include "simulator/sim_options.h"

#include "simulator/scpi.h"

#include <getopt.h>

#include <cmath>
#include <optional>

namespace {

enum OptionId {
    OptPort = 256,
    OptTcp,
    OptListen,
    OptCrlf,
    OptDut,
    OptDutGain,
    OptDutGainSlope,
    OptDutNf,
    OptDutNfSlope,
    OptAnalyserNf,
    OptEnr,
    OptEnrTable,
    OptTcold,
    OptCalEnr,
    OptCalEnrTable,
    OptLossBefore,
    OptLossAfter,
    OptDutType,
    OptLo,
    OptImageGain,
    OptTiming,
    OptJitter,
    OptSeed,
    OptFormat,
    OptDelay,
    OptBaud,
    OptStopAfter,
    OptHangupAfter,
    OptGarbageOnce,
    OptLog,
    OptVxi11,
    OptLanDevice,
    OptGpibAdapter,
    OptGpibAddress,
    OptHelp,
};

const option kLongOptions[] = {
    {"port", required_argument, nullptr, OptPort},
    {"tcp", required_argument, nullptr, OptTcp},
    {"listen", required_argument, nullptr, OptListen},
    {"crlf", no_argument, nullptr, OptCrlf},
    {"dut", required_argument, nullptr, OptDut},
    {"dut-gain", required_argument, nullptr, OptDutGain},
    {"dut-gain-slope", required_argument, nullptr, OptDutGainSlope},
    {"dut-nf", required_argument, nullptr, OptDutNf},
    {"dut-nf-slope", required_argument, nullptr, OptDutNfSlope},
    {"analyser-nf", required_argument, nullptr, OptAnalyserNf},
    {"enr", required_argument, nullptr, OptEnr},
    {"enr-table", required_argument, nullptr, OptEnrTable},
    {"tcold", required_argument, nullptr, OptTcold},
    {"cal-enr", required_argument, nullptr, OptCalEnr},
    {"cal-enr-table", required_argument, nullptr, OptCalEnrTable},
    {"loss-before", required_argument, nullptr, OptLossBefore},
    {"loss-after", required_argument, nullptr, OptLossAfter},
    {"dut-type", required_argument, nullptr, OptDutType},
    {"lo", required_argument, nullptr, OptLo},
    {"image-gain", required_argument, nullptr, OptImageGain},
    {"timing", required_argument, nullptr, OptTiming},
    {"jitter", required_argument, nullptr, OptJitter},
    {"seed", required_argument, nullptr, OptSeed},
    {"format", required_argument, nullptr, OptFormat},
    {"delay", required_argument, nullptr, OptDelay},
    {"baud", required_argument, nullptr, OptBaud},
    {"stop-after", required_argument, nullptr, OptStopAfter},
    {"hangup-after", required_argument, nullptr, OptHangupAfter},
    {"garbage-once", no_argument, nullptr, OptGarbageOnce},
    {"log", required_argument, nullptr, OptLog},
    {"vxi11", no_argument, nullptr, OptVxi11},
    {"lan-device", required_argument, nullptr, OptLanDevice},
    {"gpib-adapter", no_argument, nullptr, OptGpibAdapter},
    {"gpib-address", required_argument, nullptr, OptGpibAddress},
    {"help", no_argument, nullptr, OptHelp},
    {nullptr, 0, nullptr, 0},
};

std::string optionName(int id)
{
    for (const option &o : kLongOptions) {
        if (o.name && o.val == id)
            return std::string("--") + o.name;
    }
    return "?";
}

} // namespace

std::string helpText()
{
    return
        "Usage: analyser-sim [OPTION]...\n"
        "Simulates a spectrum analyser with a noise source and a DUT on its bench, answering\n"
        "SCPI commands on a pseudo-terminal linked as ports/COM<n> in the current folder,\n"
        "or on a TCP socket as a LAN instrument does.\n"
        "Stop it with Ctrl+C (SIGINT) or SIGTERM; the link is removed on exit.\n"
        "\n"
        "Port:\n"
        "  --port N                 serve ports/COM<N> (default 1)\n"
        "  --tcp PORT               serve a TCP socket on PORT instead of a pseudo-terminal;\n"
        "                           0 picks a free port. The first line on stdout reads\n"
        "                           \"listening on 127.0.0.1:PORT\". One client at a time: a\n"
        "                           second one is closed at once. Commands may end in LF or\n"
        "                           CR LF; answers end in LF (default: no TCP)\n"
        "  --listen ADDR            with --tcp, listen on the IPv4 or IPv6 address ADDR\n"
        "                           (default 127.0.0.1)\n"
        "  --crlf                   with --tcp, end answers in CR LF (default: LF)\n"
        "\n"
        "Bench:\n"
        "  --dut in|out|auto        DUT between noise source and analyser: always, never, or\n"
        "                           from the measurement pass's \"DIAG:SERV:NSO OFF; *WAI\" until\n"
        "                           the next \"*RST\" (default auto)\n"
        "  --dut-gain DB            DUT gain at 0 Hz (default 20)\n"
        "  --dut-gain-slope DB_PER_GHZ\n"
        "                           change of the DUT gain per GHz (default -1)\n"
        "  --dut-nf DB              DUT noise figure at 0 Hz (default 3; never below 0 dB)\n"
        "  --dut-nf-slope DB_PER_GHZ\n"
        "                           change of the DUT noise figure per GHz (default 0.1)\n"
        "  --analyser-nf DB         the analyser's own noise figure (default 7)\n"
        "  --enr DB                 constant ENR of the noise source (default 5.52)\n"
        "  --enr-table default      ENR from the program's 20-row default table, interpolated\n"
        "                           in dB over frequency (default: off, constant ENR)\n"
        "  --tcold K                bench temperature, the source's cold temperature\n"
        "                           (default 294.15)\n"
        "\n"
        "Readings:\n"
        "  --cal-enr DB             the calibration's own noise source, a constant ENR (default:\n"
        "                           the calibration uses the measurement's source)\n"
        "  --cal-enr-table default  the calibration's own source, the program's default table\n"
        "  --loss-before DB[@K]     a loss between noise source and DUT, at K kelvin (default\n"
        "                           the bench temperature); it passes Tin/L + K*(1 - 1/L)\n"
        "  --loss-after DB[@K]      a loss between DUT and analyser, the same way\n"
        "  --dut-type amplifier|down|up\n"
        "                           the DUT amplifies at the marker frequency, or converts:\n"
        "                           the marker is the IF, the signal band lies at LO + IF (down)\n"
        "                           or IF - LO (up); the DUT's gain and noise figure are taken\n"
        "                           at the RF (default amplifier)\n"
        "  --lo F                   the converter's LO, \"9.75GHz\" or 9.75e9\n"
        "  --image-gain DB          a converter's gain in its image band (LO - IF for down,\n"
        "                           IF + LO for up) relative to the signal band (default none)\n"
        "  --timing real            every sweep takes the sweep time the analyser reports: an\n"
        "                           answer after INIT comes SWE:COUN sweep times later\n"
        "  --jitter DB              standard deviation of a random error added to every\n"
        "                           reading (default 0: exact readings)\n"
        "  --seed N                 seed of the random error (default 1)\n"
        "  --format plain|sci       marker level as -75.55 (two decimals) or as -7.555012E+01\n"
        "                           (seven significant digits) (default plain)\n"
        "\n"
        "Other ways to reach the analyser:\n"
        "  --vxi11                  serve VXI-11's core channel (create_link, device_write,\n"
        "                           device_read, destroy_link, device_clear) instead of the\n"
        "                           pseudo-terminal or raw socket; registered with the system's\n"
        "                           rpcbind, or answering the portmapper on 127.0.0.1:111\n"
        "                           itself when none runs (default off)\n"
        "  --lan-device NAME        the VXI-11 device name served; other names are refused\n"
        "                           (default inst0)\n"
        "  --gpib-adapter           behave as a \"++\" GPIB adapter on the pseudo-terminal or the\n"
        "                           TCP port, with the analyser behind it (default off)\n"
        "  --gpib-address N         the analyser's GPIB address behind the adapter, 0 to 30\n"
        "                           (default 20)\n"
        "\n"
        "Fault injection:\n"
        "  --delay MS               send every answer MS milliseconds after its line arrived\n"
        "                           (default 0)\n"
        "  --baud N                 throttle the output to N baud, 10 bits a byte (8N1)\n"
        "                           (default 0: unthrottled)\n"
        "  --stop-after N           carry out and answer the first N lines only; later lines\n"
        "                           are logged and otherwise ignored (default: never)\n"
        "  --hangup-after N         after the N-th line and its answer, hang up the line and\n"
        "                           end (default: never)\n"
        "  --garbage-once           answer the first \"CALC:MARK1:Y?\" with text that is not a\n"
        "                           number (default off)\n"
        "\n"
        "Diagnostics:\n"
        "  --log FILE               write every received line to FILE, one a line, after the\n"
        "                           seconds since start: \"12.345678 FREQ:CENT 400000000\"\n"
        "                           (default: no log)\n"
        "  --help                   show this text and exit\n";
}

OptionsResult parseOptions(int argc, char **argv)
{
    OptionsResult result;
    SimOptions &o = result.options;
    auto fail = [&](const std::string &message) {
        result.kind = OptionsResult::Error;
        result.message = message;
        return result;
    };

    opterr = 0;
    optind = 1;
    int id = 0;
    bool listenGiven = false;
    while ((id = getopt_long(argc, argv, ":h", kLongOptions, nullptr)) != -1) {
        const std::string value = optarg ? optarg : "";
        const std::string name = optionName(id);
        auto number = [&]() { return scpi::parseNumber(value, scpi::Unit::None); };
        auto integer = [&]() { return scpi::parseInteger(value); };
        auto badValue = [&]() { return fail("invalid value '" + value + "' for " + name); };

        switch (id) {
        case 'h':
        case OptHelp:
            result.kind = OptionsResult::Help;
            return result;
        case OptPort: {
            const std::optional<long> n = integer();
            if (!n || *n < 1 || *n > 255)
                return fail("--port needs a port number from 1 to 255, not '" + value + "'");
            o.port = int(*n);
            break;
        }
        case OptTcp: {
            const std::optional<long> n = integer();
            if (!n || *n < 0 || *n > 65535)
                return fail("--tcp needs a port number from 0 to 65535, not '" + value + "'");
            o.tcpPort = int(*n);
            break;
        }
        case OptListen:
            if (value.empty())
                return fail("--listen needs an address");
            o.listenAddress = value;
            listenGiven = true;
            break;
        case OptCrlf:
            o.crlf = true;
            break;
        case OptDut:
            if (value == "in")
                o.dutPlace = DutPlace::In;
            else if (value == "out")
                o.dutPlace = DutPlace::Out;
            else if (value == "auto")
                o.dutPlace = DutPlace::Auto;
            else
                return fail("--dut takes in, out or auto, not '" + value + "'");
            break;
        case OptDutGain:
        case OptDutGainSlope:
        case OptDutNf:
        case OptDutNfSlope:
        case OptEnr:
        case OptJitter: {
            const std::optional<double> n = number();
            if (!n)
                return badValue();
            if (id == OptJitter && *n < 0)
                return fail("--jitter cannot be negative");
            double &target = id == OptDutGain        ? o.dutGainDb
                             : id == OptDutGainSlope ? o.dutGainSlopeDbPerGhz
                             : id == OptDutNf        ? o.dutNfDb
                             : id == OptDutNfSlope   ? o.dutNfSlopeDbPerGhz
                             : id == OptEnr          ? o.enrDb
                                                     : o.jitterDb;
            target = *n;
            if (id == OptEnr)
                o.enrFromTable = false;
            break;
        }
        case OptAnalyserNf: {
            const std::optional<double> n = number();
            if (!n || *n < 0)
                return fail("--analyser-nf needs a noise figure of 0 dB or more, not '" + value + "'");
            o.analyserNfDb = *n;
            break;
        }
        case OptEnrTable:
            if (value != "default")
                return fail("--enr-table takes 'default' (the program's default table), not '" +
                            value + "'");
            o.enrFromTable = true;
            break;
        case OptTcold: {
            const std::optional<double> n = number();
            if (!n || *n <= 0)
                return fail("--tcold needs a temperature above 0 K, not '" + value + "'");
            o.coldTempK = *n;
            break;
        }
        case OptCalEnr: {
            const std::optional<double> n = number();
            if (!n)
                return badValue();
            o.calSourceGiven = true;
            o.calEnrFromTable = false;
            o.calEnrDb = *n;
            break;
        }
        case OptCalEnrTable:
            if (value != "default")
                return fail("--cal-enr-table takes 'default' (the program's default table), not '" +
                            value + "'");
            o.calSourceGiven = true;
            o.calEnrFromTable = true;
            break;
        case OptLossBefore:
        case OptLossAfter: {
            // DB or DB@K
            const size_t at = value.find('@');
            const std::optional<double> db = scpi::parseNumber(value.substr(0, at), scpi::Unit::None);
            std::optional<double> k = -1.0;
            if (at != std::string::npos)
                k = scpi::parseNumber(value.substr(at + 1), scpi::Unit::None);
            if (!db || *db < 0 || !k || (at != std::string::npos && *k < 0))
                return fail(name + " needs a loss of 0 dB or more, optionally @ its temperature in K, not '" +
                            value + "'");
            SimLoss &loss = id == OptLossBefore ? o.lossBefore : o.lossAfter;
            loss.db = *db;
            loss.kelvin = *k;
            break;
        }
        case OptDutType:
            if (value == "amplifier")
                o.dutKind = DutKind::Amplifier;
            else if (value == "down")
                o.dutKind = DutKind::Down;
            else if (value == "up")
                o.dutKind = DutKind::Up;
            else
                return fail("--dut-type takes amplifier, down or up, not '" + value + "'");
            break;
        case OptLo: {
            const std::optional<double> n = scpi::parseNumber(value, scpi::Unit::Frequency);
            if (!n || *n <= 0)
                return fail("--lo needs a frequency above 0 Hz, not '" + value + "'");
            o.loHz = *n;
            break;
        }
        case OptImageGain: {
            const std::optional<double> n = number();
            if (!n)
                return badValue();
            o.imageGainGiven = true;
            o.imageGainDb = *n;
            break;
        }
        case OptTiming:
            if (value == "real")
                o.realTiming = true;
            else if (value == "none")
                o.realTiming = false;
            else
                return fail("--timing takes real or none, not '" + value + "'");
            break;
        case OptSeed: {
            const std::optional<long> n = integer();
            if (!n || *n < 0)
                return badValue();
            o.seed = std::uint64_t(*n);
            break;
        }
        case OptFormat:
            if (value == "plain")
                o.format = ReadingFormat::Plain;
            else if (value == "sci")
                o.format = ReadingFormat::Scientific;
            else
                return fail("--format takes plain or sci, not '" + value + "'");
            break;
        case OptDelay: {
            const std::optional<long> n = integer();
            if (!n || *n < 0 || *n > 600000)
                return fail("--delay needs milliseconds from 0 to 600000, not '" + value + "'");
            o.delayMs = int(*n);
            break;
        }
        case OptBaud: {
            const std::optional<long> n = integer();
            if (!n || *n < 0 || *n > 10000000)
                return fail("--baud needs a rate from 1 to 10000000 (0: unthrottled), not '" +
                            value + "'");
            o.baud = *n;
            break;
        }
        case OptStopAfter: {
            const std::optional<long> n = integer();
            if (!n || *n < 0)
                return fail("--stop-after needs a line count of 0 or more, not '" + value + "'");
            o.stopAfterLines = *n;
            break;
        }
        case OptHangupAfter: {
            const std::optional<long> n = integer();
            if (!n || *n < 1)
                return fail("--hangup-after needs a line count of 1 or more, not '" + value + "'");
            o.hangupAfterLines = *n;
            break;
        }
        case OptGarbageOnce:
            o.garbageOnce = true;
            break;
        case OptLog:
            if (value.empty())
                return fail("--log needs a file name");
            o.logPath = value;
            break;
        case OptVxi11:
            o.vxi11 = true;
            break;
        case OptLanDevice:
            if (value.empty())
                return fail("--lan-device needs a device name");
            o.lanDevice = value;
            break;
        case OptGpibAdapter:
            o.gpibAdapter = true;
            break;
        case OptGpibAddress: {
            const std::optional<long> n = integer();
            if (!n || *n < 0 || *n > 30)
                return fail("--gpib-address needs an address from 0 to 30, not '" + value + "'");
            o.gpibAddress = int(*n);
            break;
        }
        case ':':
            return fail("option " + std::string(argv[optind - 1]) + " needs a value");
        default:
            return fail("unknown option " + std::string(argv[optind - 1]));
        }
    }
    if (optind < argc)
        return fail("unexpected argument '" + std::string(argv[optind]) + "'");
    if (o.vxi11 && (o.gpibAdapter || o.tcpPort >= 0))
        return fail(std::string(o.gpibAdapter ? "--gpib-adapter" : "--tcp") + " cannot go with --vxi11");
    if (o.dutKind != DutKind::Amplifier && o.loHz <= 0)
        return fail("--dut-type " + std::string(o.dutKind == DutKind::Down ? "down" : "up") + " needs --lo");
    if (o.tcpPort < 0 && !o.vxi11 && (listenGiven || o.crlf))
        return fail(std::string(listenGiven ? "--listen" : "--crlf") + " needs --tcp");
    return result;
}
