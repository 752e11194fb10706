// A calibration and a measurement pass of the designed plan (400 MHz to 500 MHz in 10 steps,
// 11 frequencies) through the real main window (offscreen) against analyser-sim throttled to
// 9600 baud, with the designed "DTR/RTS" handshake. Prints per pass the seconds per frequency,
// the line-time bound per frequency and their ratio (should stay below 1.1).
//
// The bound is what a 9600-baud line needs for the bytes of the pass in both directions, ten
// bits a byte (8N1), spread over its frequencies, plus the simulator's sweep time per
// frequency, which is 0: its sweeps are over before it reads the next command. The simulator
// throttles only what it sends, so the figure to watch beside the ratio is how close a pass
// comes to the reply direction's own line time.
//
// Usage: bench_line_rate [path of analyser-sim]
//        (default: ../simulator/analyser-sim next to this program)

#include "app/core/dialogs.h"
#include "app/main_window.h"
#include "window_run.h"
#include "app/progress_form.h"
#include "run/sequencer.h"
#include "serial/piloport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

constexpr int kBaud = 9600;
constexpr int kSteps = 10;
constexpr int kFrequencies = kSteps + 1;
constexpr double kBitsPerByte = 10.0;  // start, 8 data, stop
constexpr double kSimSweepSeconds = 0.0;

/// Bytes that crossed the line, counted at the serial component.
struct LineCount
{
    quint64 sent = 0;
    quint64 received = 0;
};

struct PassFigures
{
    bool ok = false;
    double seconds = 0;
    LineCount bytes;
};

PassFigures runPass(TForm1 &w, QPushButton *button, LineCount &counter, const std::function<bool()> &completed)
{
    const LineCount before = counter;
    QElapsedTimer t;
    t.start();
    button->click();
    if (!ServeEventsUntil([&] { return !w.Link->passRunning(); }, 300000, kBenchCheckMs) || !completed()) {
        std::fprintf(stderr, "the pass did not complete\n");
        return {};
    }
    PassFigures f;
    f.ok = true;
    f.seconds = t.nsecsElapsed() * 1e-9;
    // What is still on its way out belongs to the pass as well.
    ServeEventsUntil([&] { return w.Link->serialPort().RxCount() == 0; }, 1000, kBenchCheckMs);
    f.bytes = {counter.sent - before.sent, counter.received - before.received};
    return f;
}

double lineSeconds(quint64 bytes)
{
    return double(bytes) * kBitsPerByte / kBaud;
}

void printPass(const char *name, const PassFigures &f)
{
    const double perFrequency = f.seconds / kFrequencies;
    const double bound = (lineSeconds(f.bytes.sent + f.bytes.received)) / kFrequencies + kSimSweepSeconds;
    const double replies = lineSeconds(f.bytes.received) / kFrequencies;
    std::printf("%-12s %7.3f s per pass  %6.1f ms per frequency  bound %6.1f ms  ratio %.3f"
                "   (%llu bytes sent, %llu received; reply direction alone %5.1f ms, ratio %.3f)\n",
                name, f.seconds, perFrequency * 1e3, bound * 1e3, perFrequency / bound,
                static_cast<unsigned long long>(f.bytes.sent), static_cast<unsigned long long>(f.bytes.received),
                replies * 1e3, perFrequency / replies);
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString sim = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                 : QCoreApplication::applicationDirPath() + QStringLiteral("/../simulator/analyser-sim");
    if (!QFileInfo(sim).isExecutable()) {
        std::fprintf(stderr, "analyser-sim not found at %s\n", qPrintable(sim));
        return 1;
    }

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    SimulatorProcess simulator({QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--format"),
                                QStringLiteral("sci"), QStringLiteral("--baud"), QString::number(kBaud)},
                               dir.path());
    simulator.setProgram(sim);
    QString why;
    if (!simulator.start(&why)) {
        std::fprintf(stderr, "analyser-sim: %s\n", qPrintable(why));
        return 1;
    }

    ConfirmAll confirm;
    setDialogs(&confirm);
    int rc = 0;
    {
        TForm1 w;
        TForm2 progress(&w);
        w.attachSecondaryWindows(&progress, nullptr);
        w.show();
        w.e_Start->setText(QStringLiteral("400 MHz"));
        w.e_Stop->setText(QStringLiteral("500 MHz"));
        w.se_steps->setValue(kSteps);
        w.cb_COM->setEditText(QStringLiteral("1"));
        w.cb_Baud->setCurrentText(QString::number(kBaud));
        w.cb_Handshake->setCurrentIndex(1);  // "DTR/RTS"

        // Count what crosses the line: each chunk handed to the driver once it has gone, each
        // received line before the window's own handler takes it.
        LineCount counter;
        const auto windowHandler = w.Link->serialPort().OnDataAvailable.Function();
        w.Link->serialPort().OnDataAvailable = [&counter, windowHandler](TPiloComPort *p) {
            counter.received += quint64(p->RxCount());
            windowHandler(p);
        };
        w.Link->serialPort().OnSendProgress = [&counter](TPiloComPort *, int count) { counter.sent += quint64(count); };

        w.b_connect->click();
        if (!ServeEventsUntil([&] { return w.statusText().startsWith(QStringLiteral("Device: ")); }, 10000, kBenchCheckMs)) {
            std::fprintf(stderr, "no analyser found: %s\n", qPrintable(w.statusText()));
            rc = 1;
        } else {
            std::printf("Designed plan (%d frequencies) against analyser-sim at %d baud, handshake \"%s\"\n",
                        kFrequencies, kBaud, qPrintable(w.cb_Handshake->currentText()));
            const PassFigures cal = runPass(w, w.b_Start, counter, [&] { return w.b_Measure->isEnabled(); });
            const PassFigures meas = runPass(w, w.b_Measure, counter, [&] { return w.Speichern1->isEnabled(); });
            if (!cal.ok || !meas.ok) {
                rc = 1;
            } else {
                printPass("calibration", cal);
                printPass("measurement", meas);
                std::printf("simulator sweep time per frequency: %.3f s (its sweeps end before the next command)\n",
                            kSimSweepSeconds);
            }
            w.close();
        }
    }
    setDialogs(nullptr);
    simulator.stop();
    return rc;
}
