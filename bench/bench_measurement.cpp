// A complete measurement through the real main window (offscreen) against analyser-sim
// answering without delay: a calibration and a measurement pass over 100 frequencies.
// Prints per pass the seconds per frequency and that figure divided by the least time a
// frequency can take (five sequencer states at one 1 ms tick each; should stay below 1.5),
// the CPU the program uses while connected and idle (Timer1 ticks every millisecond; should
// stay below 2 % of one core), and the resident memory after the measurement.
//
// Usage: bench_measurement [idle seconds] [path of analyser-sim]
//        (defaults: 10 s, ../simulator/analyser-sim next to this program)

#include "app/core/dialogs.h"
#include "app/main_window.h"
#include "serve_until.h"
#include "app/progress_form.h"
#include "run/sequencer.h"
#include "serial/piloport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr int kFrequencies = 100;

/// Every box answered with its affirmative button, as an operator who confirms each prompt.
class ConfirmAll : public Dialogs
{
public:
    MsgResult message(MsgType, MsgButtons buttons, const QString &text, bool) override
    {
        if (buttons != MsgButtons::OkCancel || !text.startsWith(QStringLiteral("Connect ")))
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
    }
    std::optional<QString> openFile(const QString &, int) override { return std::nullopt; }
    std::optional<QString> saveFile(const QString &, int) override { return std::nullopt; }
    bool choosePrinter(QPrinter &) override { return false; }
};

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
};

PassFigures runPass(TForm1 &w, QPushButton *button, const std::function<bool()> &completed)
{
    const quint64 stepsBefore = w.Link->Sequencer.ExecutedSteps();
    QElapsedTimer t;
    t.start();
    button->click();
    if (!serveUntil([&] { return !w.Link->Sequencer.SequencerRunning; }, 120000) || !completed()) {
        std::fprintf(stderr, "the pass did not complete\n");
        return {};
    }
    return {t.nsecsElapsed() * 1e-9, w.Link->Sequencer.ExecutedSteps() - stepsBefore};
}

void printPass(const char *name, const PassFigures &f)
{
    const double perFrequency = f.seconds / kFrequencies;
    const double least = Sequencer::kStatesPerFrequency * 1e-3;
    std::printf("%-12s %7.3f s   %6.2f ms per frequency   %5.2f x (%d states x 1 ms tick)   %llu steps\n", name,
                f.seconds, perFrequency * 1e3, perFrequency / least, Sequencer::kStatesPerFrequency,
                static_cast<unsigned long long>(f.steps));
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
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.setStandardOutputFile(QProcess::nullDevice());
    simulator.start(sim, {QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--format"), QStringLiteral("sci")});
    const QDeadlineTimer simReady(5000);
    while (!QFileInfo::exists(QStringLiteral("ports/COM1")) && !simReady.hasExpired())
        QThread::msleep(10);

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
        if (!serveUntil([&] { return w.statusText().startsWith(QStringLiteral("Device: ")); }, 10000)) {
            std::fprintf(stderr, "no analyser found: %s\n", qPrintable(w.statusText()));
            rc = 1;
        } else {
            std::printf("Measurement over %d frequencies against analyser-sim without answer delay\n", kFrequencies);
            const PassFigures cal = runPass(w, w.b_Start, [&] { return w.b_Measure->isEnabled(); });
            const PassFigures meas = runPass(w, w.b_Measure, [&] { return w.Speichern1->isEnabled(); });
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
            QElapsedTimer idle;
            idle.start();
            serveUntil([] { return false; }, idleSeconds * 1000);
            const double cpu = processCpuSeconds() - cpu0;
            const double wall = idle.nsecsElapsed() * 1e-9;
            std::printf("connected and idle for %.1f s: %.3f s CPU, %.2f %% of one core (Timer1 at %d ms)\n", wall,
                        cpu, 100.0 * cpu / wall, w.Link->Timer1->interval());
            w.close();

            // The floor on this machine: a bare 1 ms timer of the same kind, doing nothing.
            QTimer bare;
            bare.setTimerType(Qt::PreciseTimer);
            bare.setInterval(1);
            QObject::connect(&bare, &QTimer::timeout, [] {});
            bare.start();
            const double bare0 = processCpuSeconds();
            idle.restart();
            serveUntil([] { return false; }, idleSeconds * 1000);
            const double bareCpu = processCpuSeconds() - bare0;
            std::printf("for comparison, a bare 1 ms Qt timer in this process: %.2f %% of one core\n",
                        100.0 * bareCpu / (idle.nsecsElapsed() * 1e-9));
        }
    }
    setDialogs(nullptr);
    simulator.terminate();
    simulator.waitForFinished(3000);
    return rc;
}
