#include "bench/soak_driver.h"
#include "common/dut_model.h"
#include "common/event_loop.h"
#include "common/simulator_process.h"

#include "app/core/dialogs.h"
#include "app/main_window.h"
#include "app/progress_form.h"
#include "run/sequencer.h"

#include <QAction>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace soak {

namespace {

constexpr int kSteps = 10;
/// Lines the program sends from Connect to the end of the measurement: the search 1, the
/// set-up 23, then each pass the sweep time 1 and 15 a frequency.
constexpr int kLinesPerCycle = 1 + 23 + 2 * (1 + 15 * (kSteps + 1));
constexpr int kPassTimeoutMs = 60000;

int FaultIndex(Fault f) { return int(f) - 1; }

/// Every box answered with its affirmative button; the error boxes are counted.
class OperatorDialogs : public Dialogs
{
public:
    OperatorDialogs() : m_previous(setDialogs(this)) {}
    ~OperatorDialogs() override { setDialogs(m_previous); }
    OperatorDialogs(const OperatorDialogs &) = delete;
    OperatorDialogs &operator=(const OperatorDialogs &) = delete;

    MsgResult message(MsgType type, MsgButtons buttons, const QString &text, bool) override
    {
        if (type == MsgType::Error) {
            ++errors;
            errorTexts << text;
            if (errorTexts.size() > 8)
                errorTexts.removeFirst();
        }
        return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
    }
    std::optional<QString> openFile(const QString &, int) override { return std::nullopt; }
    std::optional<QString> saveFile(const QString &, int) override { return std::nullopt; }
    bool choosePrinter(QPrinter &) override { return false; }

    /// The error boxes since `before` errors had been shown (of the last few), joined.
    QString errorsSince(int before) const
    {
        return errorTexts.mid(std::max<qsizetype>(0, errorTexts.size() - (errors - before))).join(QStringLiteral(" / "));
    }

    int errors = 0;
    QStringList errorTexts;  ///< the last few

private:
    Dialogs *m_previous;
};

/// Serves events until `done` holds or `ms` have passed, asking every 5 ms.
bool ServeUntil(const std::function<bool()> &done, int ms)
{
    return ServeEventsUntil(done, ms, 5);
}

/// analyser-sim on ports/COM1 of the current folder, started again whenever its options change.
class Simulator
{
public:
    explicit Simulator(const QString &path) : m_process({}, QDir::currentPath())
    {
        m_process.setProgram(path);
        m_process.setCommandLog(QStringLiteral("sim.log"));
        // Its notes (a replaced stale link) go to a file rather than into the figures.
        m_process.setErrorFile(QStringLiteral("sim.err"));
    }

    bool start(const QStringList &faultOptions)
    {
        m_process.stop();
        // A killed simulator leaves its link behind; the new one must be seen to make its own.
        QFile::remove(QStringLiteral("ports/COM1"));
        m_options = faultOptions;
        m_process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--format"),
                                           QStringLiteral("sci")}
                               + faultOptions);
        m_process.launch();
        return m_process.ready(10000);
    }

    /// Running with exactly these fault options, or started with them now.
    bool ensure(const QStringList &faultOptions)
    {
        if (running() && m_options == faultOptions)
            return true;
        return start(faultOptions);
    }

    void stop() { m_process.stop(); }
    /// Killed at once, without a chance to tidy up.
    void kill() { m_process.kill(); }

    bool running() const { return m_process.process().state() == QProcess::Running; }
    bool clean() const { return m_options.isEmpty(); }

    /// Lines received since its start.
    int loggedLines() const { return int(m_process.lines().size()); }

private:
    SimulatorProcess m_process;
    QStringList m_options;
};

class Driver
{
public:
    Driver(const Options &options, Report &report)
        : m_options(options), m_report(report), m_rng(options.seed), m_sim(options.simulator)
    {
        m_form = std::make_unique<TForm1>();
        m_progress = std::make_unique<TForm2>(m_form.get());
        m_form->attachSecondaryWindows(m_progress.get(), nullptr);
        m_form->show();
        w().Link->setReplyTimeoutMs(options.replyTimeoutMs);
    }
    ~Driver()
    {
        m_form->close();
        m_progress.reset();
        m_form.reset();
    }
    Driver(const Driver &) = delete;
    Driver &operator=(const Driver &) = delete;

    void run()
    {
        if (!m_sim.start({})) {
            fail(0, QStringLiteral("analyser-sim did not start: %1").arg(m_options.simulator));
            return;
        }
        if (!connect()) {
            fail(0, QStringLiteral("no analyser found: %1").arg(w().statusText()));
            return;
        }
        for (int cycle = 1; cycle <= m_options.cycles; ++cycle) {
            runCycle(cycle);
            if (cycle == std::min(10, m_options.cycles))
                m_report.afterCycle10 = ReadProcessFigures();
            if (cycle % 100 == 0)
                say(QStringLiteral("cycle %1: %2 completed, %3 failures").arg(cycle).arg(m_report.cyclesCompleted)
                        .arg(m_report.failures.size()));
        }
        m_report.atEnd = ReadProcessFigures();
        disconnect();
    }

private:
    TForm1 &w() { return *m_form; }
    void say(const QString &line) const
    {
        if (m_options.print)
            m_options.print(line);
    }
    void fail(int cycle, const QString &what)
    {
        const QString line = QStringLiteral("cycle %1: %2").arg(cycle).arg(what);
        m_report.failures << line;
        if (m_report.failures.size() <= 20)
            say(QStringLiteral("FAILED ") + line);
    }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

    Fault faultOf(int cycle)
    {
        if (m_options.schedule)
            return m_options.schedule(cycle);
        if (uniform(1, 5) != 1)
            return Fault::None;
        return Fault(uniform(1, kFaultKinds));
    }

    bool connected() { return w().statusText().startsWith(QStringLiteral("Device: ")); }
    /// Connected, found, and the line still there: Calibration can be clicked.
    bool usable()
    {
        return w().Link->isOpen() && w().b_Start->isEnabled() && !connectionLost() && !passRunning();
    }
    bool passRunning() { return w().Link->passRunning(); }
    bool connectionLost() { return w().statusText().endsWith(QStringLiteral(" connection lost")); }

    bool connect()
    {
        w().cb_COM->setEditText(QStringLiteral("1"));
        w().b_connect->click();
        // The search gives up after 5 s; then the status tells so.
        ServeUntil([&] { return connected() || w().b_connect->isEnabled(); }, 15000);
        return connected();
    }

    void disconnect()
    {
        if (!w().b_connect->isEnabled())  // a search in progress ends on its own
            ServeUntil([&] { return w().b_connect->isEnabled(); }, 15000);
        if (w().Link->isOpen())
            w().b_connect->click();
    }

    enum class Outcome { Done, Struck, Failed };

    /// Clicks `button` (Calibration or Measure) and serves events until the pass ends. With
    /// `faultArmed` an error box, a lost line or a stall ends the wait as the fault striking.
    Outcome pass(QPushButton *button, bool faultArmed, QString &why)
    {
        const int errorsBefore = m_dialogs.errors;
        button->click();  // the set-up of a calibration runs inside the click
        auto struck = [&] { return m_dialogs.errors != errorsBefore || connectionLost(); };
        if (!passRunning()) {
            why = struck() ? m_dialogs.errorsSince(errorsBefore) : QStringLiteral("the pass did not start");
            return faultArmed && struck() ? Outcome::Struck : Outcome::Failed;
        }
        const Sequencer &s = w().Link->sequencer();
        const SweepPlan &plan = w().MeasurementRecord.SweepPlan;
        QElapsedTimer sinceChange;
        sinceChange.start();
        QElapsedTimer total;
        total.start();
        int state = s.SequencerState;
        int step = plan.StepIndex;
        bool stalled = false;
        ServeUntil([&] {
            if (s.SequencerState != state || plan.StepIndex != step) {
                state = s.SequencerState;
                step = plan.StepIndex;
                sinceChange.restart();
            }
            stalled = sinceChange.elapsed() > m_options.stallMs;
            return !passRunning() || (faultArmed && (struck() || stalled)) || total.elapsed() > kPassTimeoutMs;
        }, kPassTimeoutMs + 1000);
        if (faultArmed && (struck() || stalled)) {
            why = struck() ? (connectionLost() ? w().statusText() : m_dialogs.errorsSince(errorsBefore)) : QStringLiteral("stalled");
            return Outcome::Struck;
        }
        if (passRunning()) {
            why = QStringLiteral("the pass did not end in %1 s (state %2, step %3)")
                      .arg(kPassTimeoutMs / 1000).arg(SequencerStateName(s.SequencerState)).arg(plan.StepIndex);
            return Outcome::Failed;
        }
        if (m_dialogs.errors != errorsBefore) {
            why = m_dialogs.errorsSince(errorsBefore);
            return Outcome::Failed;
        }
        return Outcome::Done;
    }

    /// Calibration, measurement and the check of every step against the DUT.
    bool measureAndCheck(int cycle)
    {
        QString why;
        if (pass(w().b_Start, false, why) != Outcome::Done || !w().b_Measure->isEnabled()) {
            fail(cycle, QStringLiteral("calibration: ") + why);
            return false;
        }
        if (pass(w().b_Measure, false, why) != Outcome::Done || !w().Speichern1->isEnabled()) {
            fail(cycle, QStringLiteral("measurement: ") + why);
            return false;
        }
        ++m_report.measurements;
        const MeasurementRecord &r = w().MeasurementRecord;
        if (r.SweepPlan.Steps != kSteps) {
            fail(cycle, QStringLiteral("the plan has %1 steps").arg(r.SweepPlan.Steps));
            return false;
        }
        for (int i = 0; i <= kSteps; ++i) {
            const double f = r.SweepPlan.enrHz(i);
            if (std::fabs(r.NoiseFigureDb[i] - DutNoiseFigureDb(f)) > Report::kToleranceDb
                || std::fabs(r.GainDb[i] - DutGainDb(f)) > Report::kToleranceDb) {
                fail(cycle, QStringLiteral("step %1 at %2 MHz: NF %3 dB, gain %4 dB")
                                .arg(i).arg(f / 1e6).arg(r.NoiseFigureDb[i]).arg(r.GainDb[i]));
                return false;
            }
        }
        ++m_report.withinTolerance;
        return true;
    }

    /// What an operator does after a fault: Cancel, Disconnect, Connect (to an analyser that
    /// works again).
    bool recover(int cycle)
    {
        if (m_progress->isVisible())
            m_progress->Button1->click();
        ServeUntil([&] { return !passRunning(); }, 2000);
        disconnect();
        if (!m_sim.ensure({})) {
            fail(cycle, QStringLiteral("analyser-sim did not start again"));
            return false;
        }
        if (!connect()) {
            fail(cycle, QStringLiteral("no analyser found after the fault: ") + w().statusText());
            return false;
        }
        return true;
    }

    QStringList faultOptions(Fault fault)
    {
        switch (fault) {
        case Fault::HangUp:
            return {QStringLiteral("--hangup-after"), QString::number(uniform(1, kLinesPerCycle - 1))};
        case Fault::Silence:
            return {QStringLiteral("--stop-after"), QString::number(uniform(1, kLinesPerCycle - 1))};
        case Fault::Garbage:
            return {QStringLiteral("--garbage-once")};
        case Fault::Delay:
            return {QStringLiteral("--delay"), QString::number(m_options.delayMs)};
        case Fault::Restart:
            // The options of a clean simulator: the kill comes from here.
            return {};
        case Fault::None:
            break;
        }
        return {};
    }

    /// The fault's part of a cycle: Connect, Calibration and Measure until the fault strikes.
    /// True when it was seen to strike.
    bool inject(int cycle, Fault fault)
    {
        disconnect();
        const QStringList options = faultOptions(fault);
        if (!m_sim.start(options)) {
            fail(cycle, QStringLiteral("analyser-sim did not start with ") + options.join(u' '));
            return false;
        }
        // The simulator is killed once it has received this many lines, and started again.
        QTimer killer;
        const int killAt = uniform(1, kLinesPerCycle - 1);
        bool killed = false;
        if (fault == Fault::Restart) {
            QObject::connect(&killer, &QTimer::timeout, [&] {
                if (killed || m_sim.loggedLines() < killAt)
                    return;
                killed = true;
                killer.stop();
                m_sim.kill();
                m_sim.start({});
            });
            killer.start(5);
        }

        const int errorsBefore = m_dialogs.errors;
        auto struck = [&] { return m_dialogs.errors != errorsBefore || connectionLost(); };
        QString why;
        bool seen = false;
        if (!connect()) {
            seen = true;
            why = w().statusText();
        } else {
            for (QPushButton *button : {w().b_Start, w().b_Measure}) {
                const Outcome o = pass(button, true, why);
                if (o == Outcome::Struck) {
                    seen = true;
                    break;
                }
                if (o == Outcome::Failed) {
                    fail(cycle, QStringLiteral("%1 fault, %2: %3").arg(QString::fromLatin1(FaultName(fault)),
                                                                       button->text(), why));
                    return false;
                }
            }
        }
        if (!seen) {
            // The last lines of a cycle: the fault comes after the passes have run through.
            seen = ServeUntil(struck, 3000);
            why = w().statusText();
        }
        if (!seen) {
            fail(cycle, QStringLiteral("%1 fault (%2) did not show").arg(QString::fromLatin1(FaultName(fault)),
                                                                         options.join(u' ')));
            return false;
        }
        if (m_options.verbose)
            say(QStringLiteral("cycle %1: %2 fault %3: %4").arg(cycle).arg(QString::fromLatin1(FaultName(fault)),
                    fault == Fault::Restart ? QStringLiteral("at line %1").arg(killAt) : options.join(u' '), why));
        return true;
    }

    void runCycle(int cycle)
    {
        const Fault fault = faultOf(cycle);
        if (fault == Fault::None) {
            ++m_report.cleanCycles;
            const int errorsBefore = m_dialogs.errors;
            if (!usable() && !recover(cycle))
                return;
            if (measureAndCheck(cycle)) {
                if (m_dialogs.errors != errorsBefore) {
                    fail(cycle, QStringLiteral("error shown: ") + m_dialogs.errorsSince(errorsBefore));
                    return;
                }
                ++m_report.cleanWithinTolerance;
                ++m_report.cyclesCompleted;
            } else {
                recover(cycle);
            }
            return;
        }
        const bool struck = inject(cycle, fault);
        if (struck)
            ++m_report.faults[size_t(FaultIndex(fault))];
        if (!recover(cycle))
            return;
        if (measureAndCheck(cycle) && struck) {
            ++m_report.recovered[size_t(FaultIndex(fault))];
            ++m_report.cyclesCompleted;
        }
    }

    const Options &m_options;
    Report &m_report;
    std::mt19937_64 m_rng;
    OperatorDialogs m_dialogs;
    Simulator m_sim;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<TForm2> m_progress;
};

QString FiguresText(const ProcessFigures &f)
{
    return QStringLiteral("resident %1 KiB, %2 file descriptors, %3 threads")
        .arg(f.residentKiB).arg(f.fileDescriptors).arg(f.threads);
}

}  // namespace

const char *FaultName(Fault fault)
{
    switch (fault) {
    case Fault::None:
        return "none";
    case Fault::HangUp:
        return "hang-up";
    case Fault::Silence:
        return "silence";
    case Fault::Garbage:
        return "reading not a number";
    case Fault::Delay:
        return "answer delayed past the bound";
    case Fault::Restart:
        return "simulator killed and restarted";
    }
    return "?";
}

ProcessFigures ReadProcessFigures()
{
    ProcessFigures f;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                f.residentKiB = line.mid(6).trimmed().split(' ').value(0).toLong();
            else if (line.startsWith("Threads:"))
                f.threads = line.mid(8).trimmed().toInt();
        }
    }
    f.fileDescriptors = int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System
                                                                             | QDir::NoDotAndDotDot).size());
    return f;
}

bool Report::ok() const
{
    int faultCycles = 0;
    for (int i = 0; i < kFaultKinds; ++i) {
        if (recovered[size_t(i)] != faults[size_t(i)])
            return false;
        faultCycles += faults[size_t(i)];
    }
    return failures.isEmpty() && cleanWithinTolerance == cleanCycles && cyclesCompleted == cleanCycles + faultCycles
           && atEnd.residentKiB - afterCycle10.residentKiB < kMaxGrowthKiB
           && atEnd.fileDescriptors <= afterCycle10.fileDescriptors && atEnd.threads <= afterCycle10.threads;
}

Report Run(const Options &options)
{
    Report report;
    auto say = [&](const QString &line) {
        if (options.print)
            options.print(line);
    };
    say(QStringLiteral("soak: %1 cycles of the designed plan (400 to 500 MHz, 10 steps) against analyser-sim, seed %2")
            .arg(options.cycles).arg(options.seed));
    say(QStringLiteral("the window's reply bound is lowered to %1 ms for the run (delay faults answer after %2 ms)")
            .arg(options.replyTimeoutMs).arg(options.delayMs));

    QElapsedTimer clock;
    clock.start();
    {
        const QString previous = QDir::currentPath();
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        QDir().mkpath(QStringLiteral("ports"));
        {
            Driver driver(options, report);
            driver.run();
        }
        QDir::setCurrent(previous);
    }

    say(QStringLiteral("cycles completed: %1 of %2 in %3 s").arg(report.cyclesCompleted).arg(options.cycles)
            .arg(clock.elapsed() / 1000.0, 0, 'f', 1));
    for (int i = 0; i < kFaultKinds; ++i)
        say(QStringLiteral("  fault %1: %2, recovered %3").arg(QString::fromLatin1(FaultName(Fault(i + 1))))
                .arg(report.faults[size_t(i)]).arg(report.recovered[size_t(i)]));
    say(QStringLiteral("measurements within %1 dB of the simulated DUT: %2 of %3 (cycles without a fault: %4 of %5)")
            .arg(Report::kToleranceDb).arg(report.withinTolerance).arg(report.measurements)
            .arg(report.cleanWithinTolerance).arg(report.cleanCycles));
    say(QStringLiteral("after cycle 10:   ") + FiguresText(report.afterCycle10));
    say(QStringLiteral("after the last:   ") + FiguresText(report.atEnd));
    say(QStringLiteral("growth: %1 KiB (bound %2), %3 file descriptors, %4 threads")
            .arg(report.atEnd.residentKiB - report.afterCycle10.residentKiB).arg(Report::kMaxGrowthKiB)
            .arg(report.atEnd.fileDescriptors - report.afterCycle10.fileDescriptors)
            .arg(report.atEnd.threads - report.afterCycle10.threads));
    if (!report.failures.isEmpty())
        say(QStringLiteral("failures: %1").arg(report.failures.size()));
    say(report.ok() ? QStringLiteral("soak: PASS") : QStringLiteral("soak: FAIL"));
    return report;
}

}  // namespace soak
