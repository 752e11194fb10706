// The soak run: calibration-and-measurement cycles of the designed plan through the real main
// window (offscreen) against analyser-sim, a random fault in one cycle of five, the operator's
// recovery after each. Prints the cycles completed, the faults of each kind and their recovery,
// the measurements within 0.05 dB of the simulated DUT, and this process's resident memory,
// file descriptors and threads after cycle 10 and after the last cycle.
//
// Usage: soak [--cycles N] [--seed S] [--verbose] [--sim PATH]
//        (defaults: 1000 cycles, a seed from the clock, ../simulator/analyser-sim next to this
//        program). Exit status 0 only when every cycle ended with a good measurement, every
//        fault was seen and recovered from, and memory, descriptors and threads did not grow.

#include "bench/soak_driver.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    soak::Options options;
    options.seed = std::uint64_t(QDateTime::currentMSecsSinceEpoch());
    options.simulator = QCoreApplication::applicationDirPath() + QStringLiteral("/../simulator/analyser-sim");
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--cycles") == 0 && hasValue) {
            options.cycles = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--seed") == 0 && hasValue) {
            options.seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--verbose") == 0) {
            options.verbose = true;
        } else if (std::strcmp(argv[i], "--sim") == 0 && hasValue) {
            options.simulator = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: soak [--cycles N] [--seed S] [--verbose] [--sim PATH]\n");
            return 2;
        }
    }
    if (!QFileInfo(options.simulator).isExecutable()) {
        std::fprintf(stderr, "analyser-sim not found at %s\n", qPrintable(options.simulator));
        return 2;
    }
    options.print = [](const QString &line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    };
    return soak::Run(options).ok() ? 0 : 1;
}
