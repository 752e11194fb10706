#pragma once
// Calibration-and-measurement cycles of the designed plan (400 to 500 MHz, 10 steps) through
// the real main window (offscreen) against analyser-sim on a pseudo-terminal, with a fault
// injected now and then. After a fault the driver does what an operator does (Cancel,
// Disconnect, Connect) and measures again. Shared by the `soak` benchmark and its test.

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>

namespace soak {

enum class Fault { None, HangUp, Silence, Garbage, Delay, Restart };
constexpr int kFaultKinds = 5;  ///< the kinds after None
/// "hang-up", "silence", ...
const char *FaultName(Fault fault);

struct Options
{
    QString simulator;          ///< path of analyser-sim
    int cycles = 1000;
    std::uint64_t seed = 1;
    /// The fault of each cycle (1-based); without it, one cycle in five at random.
    std::function<Fault(int cycle)> schedule;
    /// The window's bound of a waiting command for the run, lowered so that a delayed
    /// answer costs a second rather than ten.
    int replyTimeoutMs = 1000;
    /// The simulator's answer delay of a delay fault, beyond the bound.
    int delayMs = 1500;
    /// A pass that changes neither state nor step for this long has stalled (a fault cycle
    /// then cancels it; in a clean cycle it is a failure).
    int stallMs = 2000;
    /// Print each fault as it strikes, with what the window showed.
    bool verbose = false;
    /// Where the progress and the figures go, one line at a time.
    std::function<void(const QString &line)> print;
};

/// What /proc tells of this process.
struct ProcessFigures
{
    long residentKiB = -1;
    int fileDescriptors = -1;
    int threads = -1;
};
ProcessFigures ReadProcessFigures();

struct Report
{
    int cyclesCompleted = 0;  ///< cycles that ended with a measurement within the tolerance
    std::array<int, kFaultKinds> faults{};     ///< injected and seen to strike, per kind
    std::array<int, kFaultKinds> recovered{};  ///< ... followed by a good measurement
    int measurements = 0;         ///< measurement passes that ran through
    int withinTolerance = 0;      ///< of those, every step within kToleranceDb of the DUT
    int cleanCycles = 0;          ///< cycles without a fault
    int cleanWithinTolerance = 0;
    ProcessFigures afterCycle10;
    ProcessFigures atEnd;
    QStringList failures;         ///< what went wrong, one line each

    static constexpr double kToleranceDb = 0.05;
    static constexpr long kMaxGrowthKiB = 2048;
    /// Every cycle ended as described, and neither memory, descriptors nor threads grew.
    bool ok() const;
};

/// Runs the cycles in a temporary working folder and prints the figures at the end.
Report Run(const Options &options);

}  // namespace soak
