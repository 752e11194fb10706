// A complete measurement through the real main window (offscreen) against analyser-sim
// answering without delay: a calibration and a measurement pass over 100 frequencies, first
// on a pseudo-terminal, then over loopback TCP to a second analyser-sim.
// Prints per pass on the pseudo-terminal the seconds per frequency and that figure divided by
// the least time a frequency can take (five sequencer states at one 1 ms tick each; should stay
// below 1.5), the resident memory after the measurement, the CPU the program uses while
// connected and idle (Timer1 stops once the sequencer is idle, so this is what the rest of the
// program costs; should stay below 2 % of one core), and a table of the milliseconds per
// frequency of both passes on both lines.
// Last, both passes with the designed plan and settings against a third analyser-sim whose
// sweeps take the sweep time it reports (--timing real): each pass against the analyser's own
// time, the sum of the sweeps the program asked for (read from the simulator's log) plus the
// line time (loopback TCP: none worth counting). The program's own share should stay under 2 %.
//
// Usage: bench_measurement [idle seconds] [path of analyser-sim]
//        (defaults: 10 s, ../simulator/analyser-sim next to this program)

#include "app/core/dialogs.h"
#include "app/main_window.h"
#include "window_run.h"
#include "app/progress_form.h"
#include "run/designed_options.h"
#include "run/sequencer.h"
#include "serial/piloport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

namespace {

constexpr int kFrequencies = 100;

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct PassFigures
{
    double seconds = 0;
    quint64 steps = 0;
    quint64 ticks = 0;
};

PassFigures runPass(TForm1 &w, QPushButton *button, const std::function<bool()> &completed)
{
    const quint64 stepsBefore = w.Link->sequencer().ExecutedSteps();
    const quint64 ticksBefore = w.Link->ticks();
    QElapsedTimer t;
    t.start();
    button->click();
    if (!ServeEventsUntil([&] { return !w.Link->passRunning(); }, 120000, kBenchCheckMs) || !completed()) {
        std::fprintf(stderr, "the pass did not complete\n");
        return {};
    }
    return {t.nsecsElapsed() * 1e-9, w.Link->sequencer().ExecutedSteps() - stepsBefore, w.Link->ticks() - ticksBefore};
}

/// Both passes on the line the window is connected to; false when one did not complete.
bool runBothPasses(TForm1 &w, PassFigures &cal, PassFigures &meas)
{
    // "Save" stays enabled from a measurement on an earlier line; only this pass's end may enable it.
    w.Speichern1->setEnabled(false);
    cal = runPass(w, w.b_Start, [&] { return w.b_Measure->isEnabled(); });
    if (cal.steps == 0)
        return false;
    meas = runPass(w, w.b_Measure, [&] { return w.Speichern1->isEnabled(); });
    return meas.steps != 0;
}

/// Follows the sweeps an analyser runs as the command log tells them: the count and sweep time
/// in force, and the seconds of every INIT's sweeps summed.
struct SweepClock
{
    double count = 1;
    double sweepS = 5e-3;  // the simulator's own until the set-up sets it
    double totalS = 0;

    void follow(const QByteArray &line)
    {
        for (QByteArray part : line.split(';')) {
            part = part.trimmed().toUpper();
            if (part == "*RST") {
                count = 1;
            } else if (part.startsWith("SWE:COUN ")) {
                count = std::max(1.0, part.mid(9).trimmed().toDouble());
            } else if (part.startsWith("SWE:TIME ")) {
                QByteArray v = part.mid(9).trimmed();
                double scale = 1;
                for (const auto &[unit, factor] : {std::pair{"MS", 1e-3}, {"US", 1e-6}, {"NS", 1e-9}, {"S", 1.0}}) {
                    if (v.endsWith(unit)) {
                        v.chop(qsizetype(std::strlen(unit)));
                        scale = factor;
                        break;
                    }
                }
                sweepS = v.toDouble() * scale;
            } else if (part.startsWith("INIT:IMM") || part == "INIT") {
                totalS += count * sweepS;
            }
        }
    }
};

/// The seconds of sweeps the lines [from, to) of the log asked for.
double SweepSecondsOf(const QList<QByteArray> &log, qsizetype from, qsizetype to)
{
    SweepClock clock;
    double before = 0;
    for (qsizetype i = 0; i < std::min(to, log.size()); ++i) {
        if (i == from)
            before = clock.totalS;
        clock.follow(log[i]);
    }
    return clock.totalS - before;
}

bool waitForDevice(TForm1 &w)
{
    if (ServeEventsUntil([&] { return w.statusText().startsWith(QStringLiteral("Device: ")); }, 10000, kBenchCheckMs))
        return true;
    std::fprintf(stderr, "no analyser found: %s\n", qPrintable(w.statusText()));
    return false;
}

void printPass(const char *name, const PassFigures &f)
{
    const double perFrequency = f.seconds / kFrequencies;
    const double least = Sequencer::kStatesPerFrequency * 1e-3;
    std::printf("%-12s %7.3f s   %6.2f ms per frequency   %5.2f x (%d states x 1 ms tick)   %llu steps\n", name,
                f.seconds, perFrequency * 1e3, perFrequency / least, Sequencer::kStatesPerFrequency,
                static_cast<unsigned long long>(f.steps));
    // Where the time beyond the bound goes: steps that found no reply yet (a poll that missed
    // costs a whole tick), and ticks that came later than the millisecond.
    std::printf("%-12s %5.2f steps per frequency (%.2f of them waiting), %.3f ms per tick\n", "", double(f.steps) / kFrequencies,
                double(f.steps) / kFrequencies - Sequencer::kStatesPerFrequency,
                f.ticks ? f.seconds * 1e3 / double(f.ticks) : 0.0);
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const QString sim = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                 : QCoreApplication::applicationDirPath() + QStringLiteral("/../simulator/analyser-sim");
    if (!QFileInfo(sim).isExecutable()) {
        std::fprintf(stderr, "analyser-sim not found at %s\n", qPrintable(sim));
        return 1;
    }

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    // Both simulators get the same options; only the line differs.
    const QStringList simOptions{QStringLiteral("--format"), QStringLiteral("sci")};
    SimulatorProcess simulator(QStringList{QStringLiteral("--port"), QStringLiteral("1")} + simOptions, dir.path());
    simulator.setProgram(sim);
    QString why;
    if (!simulator.start(&why)) {
        std::fprintf(stderr, "analyser-sim: %s\n", qPrintable(why));
        return 1;
    }
    SimulatorProcess tcpSimulator(QStringList{QStringLiteral("--tcp"), QStringLiteral("0")} + simOptions, dir.path());
    tcpSimulator.setProgram(sim);

    ConfirmAll confirm;
    setDialogs(&confirm);
    int rc = 0;
    {
        TForm1 w;
        TForm2 progress(&w);
        w.attachSecondaryWindows(&progress, nullptr);
        w.show();
        w.e_Start->setText(QStringLiteral("100 MHz"));
        w.e_Stop->setText(QStringLiteral("1.09 GHz"));
        w.se_steps->setValue(kFrequencies - 1);

        w.cb_COM->setEditText(QStringLiteral("1"));
        w.b_connect->click();
        if (!waitForDevice(w)) {
            rc = 1;
        } else {
            std::printf("Measurement over %d frequencies against analyser-sim without answer delay\n", kFrequencies);
            PassFigures cal, meas;
            if (!runBothPasses(w, cal, meas))
                rc = 1;
            printPass("calibration", cal);
            printPass("measurement", meas);
            std::printf("resident memory after the measurement: %ld KiB\n", residentKiB());

            // What the measurement pass adds per frequency: the step display (evaluation and
            // redraw of the graph with the step highlighted).
            QElapsedTimer display;
            display.start();
            for (int i = 0; i < kFrequencies; ++i) {
                w.se_Freq->setValue(i);  // runs the step display
                QCoreApplication::processEvents();
            }
            std::printf("step display: %.2f ms per step\n", display.nsecsElapsed() * 1e-6 / kFrequencies);

            const double cpu0 = processCpuSeconds();
            const quint64 ticks0 = w.Link->ticks();
            QElapsedTimer idle;
            idle.start();
            ServeEventsUntil([] { return false; }, idleSeconds * 1000, kBenchCheckMs);
            const double cpu = processCpuSeconds() - cpu0;
            const double wall = idle.nsecsElapsed() * 1e-9;
            const quint64 idleTicks = w.Link->ticks() - ticks0;
            // Timer1 runs only while the search or a pass needs it; should it tick here, say so.
            const QString timer = !w.Link->timer().isActive() && idleTicks == 0
                                      ? QStringLiteral("Timer1 stopped while idle")
                                      : QStringLiteral("Timer1 at %1 ms, %2 ticks while idle")
                                            .arg(w.Link->timer().interval())
                                            .arg(idleTicks);
            std::printf("connected and idle for %.1f s: %.3f s CPU, %.2f %% of one core (%s)\n", wall, cpu,
                        100.0 * cpu / wall, qPrintable(timer));

            // The same two passes over loopback TCP, to a second simulator.
            PassFigures tcpCal, tcpMeas;
            w.b_connect->click();  // disconnects the pseudo-terminal
            const quint16 port = tcpSimulator.start() ? tcpSimulator.tcpPort() : 0;
            if (port == 0) {
                std::fprintf(stderr, "analyser-sim did not say its TCP port\n");
                rc = 1;
            } else {
                w.ComboBox1->setCurrentIndex(1);  // "Ethernet"
                w.e_Host->setText(QStringLiteral("127.0.0.1"));
                w.e_TcpPort->setText(QString::number(port));
                w.b_connect->click();
                if (!waitForDevice(w) || !runBothPasses(w, tcpCal, tcpMeas))
                    rc = 1;
            }
            std::printf("\n%-24s %26s %26s\n", "line", "calibration ms/frequency", "measurement ms/frequency");
            const auto row = [](const char *line, const PassFigures &c, const PassFigures &m) {
                std::printf("%-24s %26.2f %26.2f\n", line, c.seconds * 1e3 / kFrequencies,
                            m.seconds * 1e3 / kFrequencies);
            };
            row("pseudo-terminal (COM1)", cal, meas);
            row(qPrintable(QStringLiteral("TCP 127.0.0.1:%1").arg(port)), tcpCal, tcpMeas);

            // Against the analyser's own time: the designed plan and settings, real sweeps.
            SimulatorProcess realSimulator(QStringList{QStringLiteral("--tcp"), QStringLiteral("0"),
                                                       QStringLiteral("--timing"), QStringLiteral("real")} + simOptions,
                                           dir.path());
            realSimulator.setProgram(sim);
            realSimulator.setCommandLog(QStringLiteral("sim-real.log"));
            w.b_connect->click();  // disconnects the TCP line
            const quint16 realPort = realSimulator.start() ? realSimulator.tcpPort() : 0;
            w.se_steps->setValue(DesignedOptions::steps);
            w.e_TcpPort->setText(QString::number(realPort));
            w.b_connect->click();
            PassFigures realCal, realMeas;
            qsizetype calFrom = 0, measFrom = 0, measTo = 0;
            bool realDone = realPort != 0 && waitForDevice(w);
            if (realDone) {
                w.Speichern1->setEnabled(false);
                calFrom = realSimulator.lines().size();
                realCal = runPass(w, w.b_Start, [&] { return w.b_Measure->isEnabled(); });
                measFrom = realSimulator.settledLineCount();
                realDone = realCal.steps != 0 && measFrom >= 0;
                if (realDone) {
                    realMeas = runPass(w, w.b_Measure, [&] { return w.Speichern1->isEnabled(); });
                    measTo = realSimulator.settledLineCount();
                    realDone = realMeas.steps != 0 && measTo >= 0;
                }
            }
            if (!realDone) {
                std::fprintf(stderr, "the passes against real sweep times did not complete\n");
                rc = 1;
            } else {
                const QList<QByteArray> log = realSimulator.lines();
                std::printf("\nDesigned plan (%d frequencies) and settings, every sweep taking its sweep time:\n",
                            DesignedOptions::steps + 1);
                const auto share = [](const char *name, const PassFigures &f, double analyserS) {
                    std::printf("%-12s %7.3f s, analyser %7.3f s (sweeps; line time over loopback none), "
                                "program's own share %5.2f %%\n",
                                name, f.seconds, analyserS, 100.0 * (f.seconds - analyserS) / f.seconds);
                };
                share("calibration", realCal, SweepSecondsOf(log, calFrom, measFrom));
                share("measurement", realMeas, SweepSecondsOf(log, measFrom, measTo));
            }
            realSimulator.stop();
            w.close();

            // What Timer1 would cost were it left running while idle: a bare 1 ms timer of the
            // same kind, doing nothing.
            QTimer bare;
            bare.setTimerType(Qt::PreciseTimer);
            bare.setInterval(1);
            QObject::connect(&bare, &QTimer::timeout, [] {});
            bare.start();
            const double bare0 = processCpuSeconds();
            idle.restart();
            ServeEventsUntil([] { return false; }, idleSeconds * 1000, kBenchCheckMs);
            const double bareCpu = processCpuSeconds() - bare0;
            std::printf("for comparison, a bare 1 ms Qt timer in this process: %.2f %% of one core\n",
                        100.0 * bareCpu / (idle.nsecsElapsed() * 1e-9));
        }
    }
    setDialogs(nullptr);
    tcpSimulator.stop();
    simulator.stop();
    return rc;
}
