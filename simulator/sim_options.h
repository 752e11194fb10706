#pragma once
// Command-line options of the analyser simulator: the bench it simulates (DUT, noise source,
// analyser noise), the form of its readings, and the faults it can inject for tests.

#include <cstdint>
#include <string>

/// Where the DUT sits: always between noise source and analyser, never, or following the
/// program's dialogue (in from the measurement pass's first "DIAG:SERV:NSO OFF; *WAI" until
/// the next "*RST").
enum class DutPlace { In, Out, Auto };

/// What the DUT does with frequency: amplify where it is measured, or convert with a fixed LO.
enum class DutKind { Amplifier, Down, Up };

/// A lossy element (cable, pad, adapter) at its physical temperature.
struct SimLoss
{
    double db = 0;
    double kelvin = -1;  ///< -1: the bench temperature (--tcold)
};

/// Form of the "CALC:MARK1:Y?" answer: -75.55 or -7.555012E+01.
enum class ReadingFormat { Plain, Scientific };

struct SimOptions
{
    int port = 1;
    int tcpPort = -1;          ///< -1: the pseudo-terminal; 0: a free TCP port; else that port
    std::string listenAddress = "127.0.0.1";
    bool crlf = false;         ///< over TCP, answers end in CR LF instead of LF
    DutPlace dutPlace = DutPlace::Auto;
    // The DUT's gain and noise figure are straight lines over frequency: value + slope × f/GHz.
    double dutGainDb = 20.0;
    double dutGainSlopeDbPerGhz = -1.0;
    double dutNfDb = 3.0;
    double dutNfSlopeDbPerGhz = 0.1;
    double analyserNfDb = 7.0;
    bool enrFromTable = false; ///< the program's 20-row default table instead of `enrDb`
    double enrDb = 5.52;
    // The calibration's own noise source; without one the calibration uses the same source.
    bool calSourceGiven = false;
    bool calEnrFromTable = false;
    double calEnrDb = 5.52;
    SimLoss lossBefore;        ///< between the noise source and the DUT's input
    SimLoss lossAfter;         ///< between the DUT's output and the analyser
    DutKind dutKind = DutKind::Amplifier;
    double loHz = 0;
    bool imageGainGiven = false;
    double imageGainDb = 0;    ///< the image band's gain relative to the signal band
    bool realTiming = false;   ///< every sweep takes the sweep time the analyser reports
    double coldTempK = 294.15;
    double jitterDb = 0.0;     ///< standard deviation of the reading's random error
    std::uint64_t seed = 1;
    ReadingFormat format = ReadingFormat::Plain;
    int delayMs = 0;
    long baud = 0;             ///< 0: answers go out as fast as the pseudo-terminal takes them
    long stopAfterLines = -1;  ///< -1: never
    long hangupAfterLines = -1;
    bool garbageOnce = false;
    std::string logPath;
    bool vxi11 = false;         ///< serve VXI-11 instead of the pseudo-terminal or socket
    std::string lanDevice = "inst0";
    bool gpibAdapter = false;   ///< a "++" GPIB adapter with the analyser behind it
    int gpibAddress = 20;
};

struct OptionsResult
{
    enum Kind { Run, Help, Error };
    Kind kind = Run;
    SimOptions options;
    std::string message; ///< the error of an Error result
};

/// Reads argv (GNU long options, "--opt value" or "--opt=value").
OptionsResult parseOptions(int argc, char **argv);

/// The --help text: every option with its default.
std::string helpText();
