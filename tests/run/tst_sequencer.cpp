// The sequencer's decisions, driven tick by tick through a host that records the window's
// effects and answers like an analyser would. The same passes against the real window and
// the simulator over a pseudo-terminal are in the end-to-end tests.

#include "common/designed_setup.h"
#include "analyser/command_channel.h"
#include "run/sequencer.h"

#include <QTest>

#include <deque>
#include <functional>

namespace {

/// The analyser at the other end of the command channel, answering at once into the channel's
/// one reply slot (the newest wins), and a record of everything the sequencer told.
class FakeHost : public CommandPort
{
public:
    // ---- The analyser's side ----
    CommandChannel *channel = nullptr;
    bool answer = true;
    int answersLeft = -1;  ///< answered commands still to answer; -1: all of them
    QByteArray sweepTimeReply = "4.0E-03";
    const qint64 *clock = nullptr;  ///< the sequencer's clock, for when the last line went out
    qint64 lastSendMs = 0;
    bool sourceOn = false;
    std::deque<QByteArray> scriptedReadings;  ///< readings to give instead of the computed ones
    QList<QByteArray> sent;

    /// The channel's reply slot.
    QByteArray &slot() { return channel->PendingReply; }

    bool isActive() const override { return true; }
    void write(const QByteArray &bytes) override
    {
        const QByteArray c = bytes.chopped(2);
        sent.append(c);
        if (clock)
            lastSendMs = *clock;
        if (c.startsWith("DIAG:SERV:NSO ON"))
            sourceOn = true;
        if (c.startsWith("DIAG:SERV:NSO OFF"))
            sourceOn = false;
        if (!answer)
            return;
        const bool answered = c.endsWith("*OPC?") || c == "SWE:TIME?" || c == "*idn?" || c == "CALC:MARK1:Y?";
        if (answered && answersLeft >= 0 && answersLeft-- == 0) {
            answersLeft = 0;
            return;
        }
        if (c.endsWith("*OPC?"))
            slot() = "1";
        else if (c == "SWE:TIME?")
            slot() = sweepTimeReply;
        else if (c == "*idn?")
            slot() = "Tessary Bench Simulator,FSP-SIM,000001,1.0";
        else if (c == "CALC:MARK1:Y?") {
            if (!scriptedReadings.empty()) {
                slot() = scriptedReadings.front();
                scriptedReadings.pop_front();
            } else {
                slot() = sourceOn ? "-70.25" : "-75.55";
            }
        }
    }

    // ---- What the pass is given ----
    QString average = QStringLiteral("10");
    bool single = false;
    PassInputs inputs() const { return {average, single}; }

    // ---- What the sequencer told ----
    bool windowEnabled = true;  ///< false from a search's or a pass's start to the pass's end
    QList<PassKind> started;
    QString sweepTime;
    QList<double> levels[2][2];  ///< [measurement][source on], every reading in order
    int progressSteps = -1;
    QList<int> progressStepsShown;
    bool progressOpen = false;
    QList<double> frequencies;
    QList<bool> completed;  ///< measurement pass of every completed pass
    QList<int> shownSteps;  ///< steps of the measurement pass to evaluate
    int recomputed = 0;     ///< measurement starts, which clear the results
    QStringList errors;
    int searchFailed = 0;
    QByteArray found;
    struct Failure
    {
        PassKind pass;
        PassFailure why;
        QString message;
        qint64 waitedMs;  ///< clock from the last line sent to the failure
    };
    QList<Failure> failures;
    std::function<void()> duringError;  ///< runs while the error "box" is open

    void listen(Sequencer &s)
    {
        QObject::connect(&s, &Sequencer::searchStarted, [this] { windowEnabled = false; });
        QObject::connect(&s, &Sequencer::searchEnded, [this](bool ok, const QByteArray &r) {
            if (ok)
                found = r;
            else
                ++searchFailed;
        });
        QObject::connect(&s, &Sequencer::passStarted, [this](PassKind pass, int steps) {
            started.append(pass);
            windowEnabled = false;
            progressSteps = steps;
            progressOpen = true;
            progressStepsShown = {1};
            if (pass == PassKind::Measurement)
                ++recomputed;
        });
        QObject::connect(&s, &Sequencer::sweepTimeRead, [this](PassKind, const QString &t) { sweepTime = t; });
        QObject::connect(&s, &Sequencer::frequencyStarted,
                         [this](PassKind, int, double hz) { frequencies.append(hz); });
        QObject::connect(&s, &Sequencer::levelRead, [this](PassKind pass, SourceState source, int, double dbm) {
            levels[pass == PassKind::Measurement][source == SourceState::On].append(dbm);
        });
        QObject::connect(&s, &Sequencer::stepCompleted, [this](PassKind pass, int step) {
            if (pass == PassKind::Measurement)
                shownSteps.append(step);
            progressStepsShown.append(step + 1);
        });
        QObject::connect(&s, &Sequencer::passEnded, [this](PassKind pass) {
            progressOpen = false;
            windowEnabled = true;
            completed.append(pass == PassKind::Measurement);
        });
        QObject::connect(&s, &Sequencer::passFailed, [this](PassKind pass, PassFailure why, const QString &m) {
            failures.append({pass, why, m, clock ? *clock - lastSendMs : 0});
            progressOpen = false;
            windowEnabled = true;
        });
        QObject::connect(&s, &Sequencer::readingRefused, [this](const QString &m) {
            errors.append(m);
            if (duringError)
                duringError();
        });
    }
};


/// Where the idle-tick and NeedsTicks tests start from.
enum class Scenario {
    StartedUp,
    CalibrationDone,
    MeasurementDone,
    PassCancelled,
    AnalyserFound,
    SearchFailed,
    CalibrationRunning,
    MeasurementRunning,
    Searching,
    CancelWaiting,
    TimeoutArmed,
};

}  // namespace

class TestSequencer : public QObject
{
    Q_OBJECT

    MeasurementRecord record;
    CommandChannel channel;
    FakeHost host;
    Sequencer *seq = nullptr;
    qint64 nowMs = 1000;  ///< the sequencer's clock; only the tests move it

    /// Ticks with the clock moving `periodMs` before each tick, until `done` or 20 s of clock.
    void tickEvery(int periodMs, const std::function<bool()> &done)
    {
        const qint64 end = nowMs + 20000;
        while (!done() && nowMs < end) {
            nowMs += periodMs;
            seq->Tick();
        }
    }

    void bringTo(Scenario scenario)
    {
        plan(400e6, 10e6, 2);
        switch (scenario) {
        case Scenario::StartedUp:
            break;
        case Scenario::CalibrationDone:
            seq->StartCalibration(host.inputs());
            runToEnd();
            break;
        case Scenario::MeasurementDone:
            seq->TickDivider = 0;
            seq->StartMeasurement(host.inputs());
            runToEnd();
            break;
        case Scenario::PassCancelled:
            seq->StartCalibration(host.inputs());
            for (int i = 0; i < 8; ++i)
                seq->Tick();
            seq->CancelRequested = true;
            seq->Tick();
            break;
        case Scenario::AnalyserFound:
            seq->StartSearch();
            runToEnd();
            break;
        case Scenario::SearchFailed:
            host.answer = false;
            seq->StartSearch();
            tickEvery(1, [&] { return host.searchFailed > 0; });
            break;
        case Scenario::CalibrationRunning:
            seq->StartCalibration(host.inputs());
            break;
        case Scenario::MeasurementRunning:
            seq->StartMeasurement(host.inputs());
            break;
        case Scenario::Searching:
            seq->StartSearch();
            break;
        case Scenario::CancelWaiting:
            seq->CancelRequested = true;
            break;
        case Scenario::TimeoutArmed:
            seq->ArmTimeout(100);
            break;
        }
    }

    /// Ticks until the sequencer is idle or not running; returns the ticks taken.
    int runToEnd(int limit = 100000)
    {
        int ticks = 0;
        while (seq->SequencerRunning && ticks < limit) {
            seq->Tick();
            ++ticks;
        }
        return ticks;
    }

    void plan(double start, double step, int steps)
    {
        record.SweepPlan = SweepPlan{start, start + step * steps, step, 0, steps};
    }

private slots:
    void init()
    {
        record = MeasurementRecord{};
        host = FakeHost{};
        host.channel = &channel;
        host.clock = &nowMs;
        channel.PendingReply.clear();
        channel.setPort(&host);
        nowMs = 1000;
        seq = new Sequencer(record, channel, DefaultDialect(), [this] { return nowMs; });
        host.listen(*seq);
        seq->SetIdle();
    }
    void cleanup() { delete seq; }

    void stateNames()
    {
        QCOMPARE(SequencerStateName(CalibrationSourceOn), QStringLiteral("CalibrationSourceOn"));
        QCOMPARE(SequencerStateName(513), QStringLiteral("SearchWait"));
        QCOMPARE(SequencerStateName(8), QStringLiteral("unknown state 8"));
    }

    void tickDivider_data()
    {
        QTest::addColumn<int>("divider");
        QTest::addColumn<QList<bool>>("stepOnTick");  // whether tick n executes a step
        QTest::newRow("divider 1: every second tick") << 1 << QList<bool>{false, true, false, true, false, true};
        QTest::newRow("divider 0: every tick") << 0 << QList<bool>{true, true, true, true};
        QTest::newRow("divider 2: every third tick") << 2 << QList<bool>{false, false, true, false, false, true};
    }
    void tickDivider()
    {
        QFETCH(int, divider);
        QFETCH(QList<bool>, stepOnTick);
        // Every step of the state 7 of an unfinished reading does nothing visible, so count steps.
        seq->SequencerState = StateIdle;
        seq->SequencerRunning = true;
        seq->TickDivider = divider;
        seq->RestartCountdown = true;
        for (int n = 0; n < stepOnTick.size(); ++n) {
            const quint64 before = seq->ExecutedSteps();
            seq->Tick();
            QVERIFY2((seq->ExecutedSteps() > before) == stepOnTick[n], qPrintable(QStringLiteral("tick %1").arg(n)));
        }
    }

    void notRunningExecutesNothing()
    {
        seq->SequencerState = CalibrationStart;
        seq->SequencerRunning = false;
        for (int i = 0; i < 10; ++i)
            seq->Tick();
        QCOMPARE(seq->ExecutedSteps(), quint64(0));
        QVERIFY(host.sent.isEmpty());
    }

    void unknownStateFallsIdle()
    {
        seq->SequencerState = 42;
        seq->SequencerRunning = true;
        seq->TickDivider = 0;
        seq->TickCountdown = 0;
        seq->Tick();
        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(StateIdle));
    }

    void timeoutCountsTheClockNotTicks()
    {
        seq->TimeoutReload = 100;
        seq->ArmTimeout(3000);
        for (int i = 0; i < 10000; ++i)
            seq->Tick();
        QVERIFY(seq->TimeoutArmed);
        QCOMPARE(seq->TimeoutCountdown, 3000);
        nowMs += 2999;
        seq->Tick();
        QVERIFY(seq->TimeoutArmed);
        QCOMPARE(seq->TimeoutCountdown, 1);
        nowMs += 1;
        seq->Tick();  // the last millisecond: disarms and reloads
        QVERIFY(!seq->TimeoutArmed);
        QCOMPARE(seq->TimeoutCountdown, 100);

        seq->ArmTimeout(50);
        seq->TimeoutStop = true;
        nowMs += 10;
        seq->Tick();
        QVERIFY(!seq->TimeoutArmed);
        QCOMPARE(seq->TimeoutCountdown, 40);
    }

    void cancelTakesEffectAtTheNextTick()
    {
        plan(400e6, 10e6, 10);
        seq->StartCalibration(host.inputs());
        for (int i = 0; i < 10; ++i)
            seq->Tick();
        QVERIFY(seq->SequencerRunning);
        seq->CancelRequested = true;
        const int sentBefore = host.sent.size();
        seq->Tick();
        QVERIFY(!seq->CancelRequested);
        QVERIFY(!seq->SequencerRunning);
        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(StateIdle));
        seq->Tick();
        QCOMPARE(host.sent.size(), sentBefore);
        QVERIFY(host.completed.isEmpty());  // a cancelled pass changes no buttons
    }

    void calibrationPass_data()
    {
        QTest::addColumn<bool>("single");
        QTest::addColumn<int>("steps");
        QTest::newRow("designed 10 steps") << false << 10;
        QTest::newRow("3 steps") << false << 3;
        QTest::newRow("single") << true << 0;
    }
    void calibrationPass()
    {
        QFETCH(bool, single);
        QFETCH(int, steps);
        host.single = single;
        host.average = QStringLiteral("30");
        plan(400e6, single ? 0 : 10e6, steps);
        host.slot() = "stale";  // a reply from earlier must not end the first wait
        seq->StartCalibration(host.inputs());
        runToEnd();

        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(StateIdle));
        // The window's captions, pages and texts of a pass are the controller's (tests/app).
        QCOMPARE(host.started, QList<PassKind>{PassKind::Calibration});
        QCOMPARE(host.sweepTime, QStringLiteral("4.0E-03"));
        QCOMPARE(host.progressSteps, steps);
        QCOMPARE(host.completed, QList<bool>{false});
        QVERIFY(!host.progressOpen);
        QVERIFY(host.windowEnabled);
        QCOMPARE(seq->TickDivider, 0);

        QList<QByteArray> expected{"SWE:TIME?"};
        for (int i = 0; i <= steps; ++i) {
            const QByteArray hz = QByteArray::number(qint64(400e6 + i * (single ? 0 : 10e6)));
            expected += FrequencyDialogue(false, hz, hz, "30");
        }
        QCOMPARE(host.sent, expected);
        for (int i = 0; i <= steps; ++i) {
            QCOMPARE(record.N2off[i], -75.55);
            QCOMPARE(record.N2on[i], -70.25);
        }
        QCOMPARE(record.N2off[steps + 1], 0.0);
        QCOMPARE(host.levels[0][0], QList<double>(steps + 1, -75.55));
        QCOMPARE(host.levels[0][1], QList<double>(steps + 1, -70.25));
        QCOMPARE(host.frequencies.last(), single ? 400e6 : 400e6 + 10e6 * steps);
        QList<int> shown{1};
        for (int i = 1; i <= steps + 1; ++i)
            shown << i;
        QCOMPARE(host.progressStepsShown, shown);
    }

    void calibrationStepsOnEveryTick()
    {
        plan(400e6, 10e6, 10);
        seq->StartCalibration(host.inputs());
        const int ticks = runToEnd();
        // The start and the sweep time each on a second tick (the start's own reload still uses
        // divider 1), then five states per frequency, one on every tick.
        QCOMPARE(ticks, 2 + 2 + 11 * Sequencer::kStatesPerFrequency);
    }

    void measurementPass_data()
    {
        QTest::addColumn<bool>("single");
        QTest::newRow("sweep") << false;
        QTest::newRow("single") << true;
    }
    void measurementPass()
    {
        QFETCH(bool, single);
        host.single = single;
        const int steps = single ? 0 : 2;
        plan(1.5e9, single ? 0 : 250e6, steps);
        record.NoiseFigureDb.fill(9);
        record.GainDb.fill(9);
        seq->TickDivider = 0;  // as a calibration leaves it
        seq->StartMeasurement(host.inputs());
        runToEnd();

        QCOMPARE(host.started, QList<PassKind>{PassKind::Measurement});
        QCOMPARE(host.recomputed, 1);
        for (int i = 0; i <= steps; ++i) {
            QCOMPARE(record.NoiseFigureDb[i], 0.0);
            QCOMPARE(record.GainDb[i], 1.0);
            QCOMPARE(record.N12off[i], -75.55);
            QCOMPARE(record.N12on[i], -70.25);
        }
        QCOMPARE(record.NoiseFigureDb[steps + 1], 9.0);  // slots beyond the plan are left alone
        QList<int> shownSteps;
        for (int i = 0; i <= steps; ++i)
            shownSteps << i;
        QCOMPARE(host.shownSteps, shownSteps);
        QCOMPARE(host.levels[1][0], QList<double>(steps + 1, -75.55));
        QCOMPARE(host.levels[1][1], QList<double>(steps + 1, -70.25));
        QVERIFY(host.levels[0][0].isEmpty());
        QCOMPARE(host.completed, QList<bool>{true});
        // The marker position of the measurement pass carries two decimals and the unit; at
        // 1.5 GHz that is the scientific form.
        QCOMPARE(host.sent.mid(1, 15), FrequencyDialogue(true, "1500000000", "1.5E09 Hz", "10"));
        QCOMPARE(host.frequencies.last(), single ? 1.5e9 : 2e9);
    }

    void unreadableReadingEndsThePass_data()
    {
        QTest::addColumn<bool>("measurement");
        QTest::addColumn<QList<QByteArray>>("readings");
        QTest::addColumn<int>("keptSteps");  // steps whose both levels were in before
        QTest::newRow("calibration, first reading") << false << QList<QByteArray>{"?#%garbage%#?"} << 0;
        QTest::newRow("calibration, second frequency")
            << false << QList<QByteArray>{"-75.55", "-70.25", "?#%garbage%#?"} << 1;
        QTest::newRow("measurement, source on") << true << QList<QByteArray>{"-75.55", "?#%garbage%#?"} << 0;
    }
    void unreadableReadingEndsThePass()
    {
        QFETCH(bool, measurement);
        QFETCH(QList<QByteArray>, readings);
        QFETCH(int, keptSteps);
        plan(400e6, 10e6, 3);
        host.scriptedReadings.assign(readings.begin(), readings.end());
        if (measurement)
            seq->StartMeasurement(host.inputs());
        else
            seq->StartCalibration(host.inputs());
        runToEnd();
        // The conversion's message first, then the pass ends as Cancel ends it.
        QCOMPARE(host.errors.size(), 1);
        QVERIFY(host.errors[0].contains(QStringLiteral("kein gültiger Gleitkommawert")));
        QCOMPARE(host.failures.size(), 1);
        QCOMPARE(host.failures[0].why, PassFailure::NoNumber);
        QCOMPARE(host.failures[0].message, host.errors[0]);
        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(StateIdle));
        QVERIFY(!seq->NeedsTicks());
        QVERIFY(host.completed.isEmpty());
        QVERIFY(!host.progressOpen);
        const MeasurementRecord::Slots &off = measurement ? record.N12off : record.N2off;
        const MeasurementRecord::Slots &on = measurement ? record.N12on : record.N2on;
        for (int i = 0; i < keptSteps; ++i) {
            QCOMPARE(off[i], -75.55);
            QCOMPARE(on[i], -70.25);
        }
        QCOMPARE(host.shownSteps.size(), measurement ? keptSteps : 0);
        const int sent = host.sent.size();
        tickEvery(1, [] { return false; });
        QCOMPARE(host.sent.size(), sent);  // nothing more goes out
    }

    void silentAnalyserEndsThePassAtTheBound_data()
    {
        QTest::addColumn<bool>("measurement");
        QTest::addColumn<int>("answered");  // answered commands of the pass before the silence
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<qint64>("boundMs");  // 10 s and the sweeps asked for at 4 ms each
        for (const bool m : {false, true}) {
            const char *pass = m ? "measurement" : "calibration";
            QTest::addRow("%s: the sweep time", pass) << m << 0 << QByteArray("SWE:TIME?") << qint64(10000);
            QTest::addRow("%s: settling, source off", pass) << m << 1 << QByteArray("INIT:IMM; *WAI; *OPC?") << qint64(10012);
            QTest::addRow("%s: reading, source off", pass) << m << 2 << QByteArray("CALC:MARK1:Y?") << qint64(10040);
            QTest::addRow("%s: settling, source on", pass) << m << 3 << QByteArray("INIT:IMM; *WAI; *OPC?") << qint64(10012);
            QTest::addRow("%s: reading, second frequency", pass) << m << 6 << QByteArray("CALC:MARK1:Y?") << qint64(10040);
        }
    }
    void silentAnalyserEndsThePassAtTheBound()
    {
        QFETCH(bool, measurement);
        QFETCH(int, answered);
        QFETCH(QByteArray, command);
        QFETCH(qint64, boundMs);
        plan(400e6, 10e6, 3);
        host.answersLeft = answered;
        if (measurement)
            seq->StartMeasurement(host.inputs());
        else
            seq->StartCalibration(host.inputs());
        tickEvery(1, [&] { return !host.failures.isEmpty() || !seq->SequencerRunning; });
        QCOMPARE(host.failures.size(), 1);
        QCOMPARE(host.failures[0].why, PassFailure::NoAnswer);
        QCOMPARE(host.failures[0].pass, measurement ? PassKind::Measurement : PassKind::Calibration);
        QCOMPARE(host.failures[0].message, QStringLiteral("FSP does not answer: ") + QString::fromLatin1(command));
        QCOMPARE(host.sent.last(), command);
        QCOMPARE(seq->AnswerBoundMs(), boundMs);
        // Given up once the bound has passed, on the next tick.
        QVERIFY2(host.failures[0].waitedMs > boundMs && host.failures[0].waitedMs <= boundMs + 2,
                 qPrintable(QString::number(host.failures[0].waitedMs)));
        QVERIFY(!seq->NeedsTicks());
        QVERIFY(host.completed.isEmpty());
        if (answered == 6) {  // the first frequency is kept
            QCOMPARE((measurement ? record.N12on : record.N2on)[0], -70.25);
        }
    }

    void longAveragedSweepIsWaitedFor_data()
    {
        // 100 sweeps of 0.5 s: the sweeps alone take 50 s, the bound is 10 s more.
        QTest::addColumn<qint64>("answerAfterMs");
        QTest::addColumn<bool>("taken");
        QTest::newRow("later than the sweeps alone, inside the bound") << qint64(55000) << true;
        QTest::newRow("at the bound") << qint64(60000) << true;
        QTest::newRow("past the bound") << qint64(60002) << false;
    }
    void longAveragedSweepIsWaitedFor()
    {
        QFETCH(qint64, answerAfterMs);
        QFETCH(bool, taken);
        plan(400e6, 10e6, 0);
        host.sweepTimeReply = "5.000000E-01";
        host.average = QStringLiteral("100");
        host.answersLeft = 2;  // the sweep time and the settling; the reading is late
        seq->StartCalibration(host.inputs());
        bool answeredLate = false;
        for (int i = 0; i < 100000 && seq->SequencerRunning; ++i) {
            nowMs += 1;
            if (!answeredLate && !host.sent.isEmpty() && host.sent.last() == "CALC:MARK1:Y?" && nowMs - host.lastSendMs >= answerAfterMs) {
                answeredLate = true;
                host.slot() = "-75.55";
                host.answersLeft = -1;
            }
            seq->Tick();
        }
        QCOMPARE(seq->AnswerBoundMs() >= 10012, true);
        QCOMPARE(host.completed, taken ? QList<bool>{false} : QList<bool>{});
        QCOMPARE(host.failures.size(), taken ? 0 : 1);
        QCOMPARE(record.N2off[0], taken ? -75.55 : 0.0);
        if (!taken)
            QCOMPARE(host.failures[0].message, QStringLiteral("FSP does not answer: CALC:MARK1:Y?"));
    }

    void lineLostEndsThePassOrTheSearch_data()
    {
        QTest::addColumn<int>("start");  // the start state
        QTest::newRow("calibration") << int(CalibrationStart);
        QTest::newRow("measurement") << int(MeasurementStart);
        QTest::newRow("search") << int(SearchStart);
    }
    void lineLostEndsThePassOrTheSearch()
    {
        QFETCH(int, start);
        plan(400e6, 10e6, 3);
        host.answer = false;
        if (start == CalibrationStart)
            seq->StartCalibration(host.inputs());
        else if (start == MeasurementStart)
            seq->StartMeasurement(host.inputs());
        else
            seq->StartSearch();
        for (int i = 0; i < 20; ++i)
            seq->Tick();
        seq->LineLost();
        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(StateIdle));
        QVERIFY(!seq->NeedsTicks());
        if (start == SearchStart) {
            QCOMPARE(host.searchFailed, 1);
            QVERIFY(host.failures.isEmpty());
        } else {
            QCOMPARE(host.failures.size(), 1);
            QCOMPARE(host.failures[0].why, PassFailure::HungUp);
            QVERIFY(host.completed.isEmpty());
        }
        seq->LineLost();  // once only
        QCOMPARE(host.failures.size() + host.searchFailed, 1);
    }

    void ticksDuringAnErrorBoxDoNothing()
    {
        plan(400e6, 10e6, 1);
        host.scriptedReadings = {"garbage"};
        int nestedSteps = -1;
        host.duringError = [&] {
            const quint64 before = seq->ExecutedSteps();
            for (int i = 0; i < 10; ++i)
                seq->Tick();
            nestedSteps = int(seq->ExecutedSteps() - before);
        };
        seq->StartCalibration(host.inputs());
        for (int i = 0; i < 20; ++i)
            seq->Tick();
        QCOMPARE(nestedSteps, 0);
    }

    void cancelWhileWaitingForTheReading()
    {
        plan(400e6, 10e6, 10);
        host.answer = true;
        seq->StartCalibration(host.inputs());
        while (seq->SequencerState != CalibrationSourceOn)
            seq->Tick();
        host.slot().clear();  // the reading has not come yet
        host.answer = false;
        seq->Tick();
        seq->CancelRequested = true;
        seq->Tick();
        QVERIFY(!seq->SequencerRunning);
        QCOMPARE(record.N2off[0], 0.0);
        QVERIFY(host.completed.isEmpty());
        // The reading that arrives afterwards stays until the next pass drops it.
        host.slot() = "-75.55";
        host.answer = true;
        seq->StartCalibration(host.inputs());
        seq->Tick();
        seq->Tick();  // state 1: drops the old reply, asks for the sweep time
        QCOMPARE(host.sent.last(), QByteArray("SWE:TIME?"));
        QCOMPARE(host.slot(), QByteArray("4.0E-03"));
    }

    void searchFindsTheAnalyser()
    {
        seq->StartSearch();
        seq->Tick();
        QCOMPARE(seq->ExecutedSteps(), quint64(0));
        seq->Tick();
        QVERIFY(!host.windowEnabled);
        QVERIFY(seq->TimeoutArmed);
        QCOMPARE(host.sent, QList<QByteArray>{"*idn?"});
        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(SearchWait));
        seq->Tick();
        seq->Tick();
        QCOMPARE(host.found, QByteArray("Tessary Bench Simulator,FSP-SIM,000001,1.0"));
        QVERIFY(!seq->SequencerRunning);
        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(StateIdle));
        QVERIFY(!seq->TimeoutArmed);  // the time-out ends with the search
    }

    void ticksAloneNeverTimeTheSearchOut()
    {
        host.answer = false;
        seq->StartSearch();
        for (int i = 0; i < 100000; ++i)
            seq->Tick();
        QCOMPARE(host.searchFailed, 0);
        QVERIFY(seq->TimeoutArmed);
        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(SearchWait));
    }

    void searchBoundedInSeconds_data()
    {
        QTest::addColumn<int>("tickMs");
        QTest::addColumn<int>("answerAtMs");  // after the search start; -1: never
        QTest::newRow("1 ms ticks, answer after 0.7 s") << 1 << 700;
        QTest::newRow("1 ms ticks, 600 baud: answer after 1.5 s") << 1 << 1500;
        QTest::newRow("100 ms ticks, answer after 4.9 s") << 100 << 4900;
        QTest::newRow("1 ms ticks, no answer") << 1 << -1;
        QTest::newRow("16 ms ticks, no answer") << 16 << -1;
        QTest::newRow("100 ms ticks, no answer") << 100 << -1;
    }
    void searchBoundedInSeconds()
    {
        QFETCH(int, tickMs);
        QFETCH(int, answerAtMs);
        const QByteArray id = "Tessary Bench Simulator,FSP-SIM,000001,1.0";
        host.answer = false;
        const qint64 startMs = nowMs;
        seq->StartSearch();
        tickEvery(tickMs, [&] {
            if (answerAtMs >= 0 && nowMs - startMs >= answerAtMs && host.slot().isEmpty() && host.found.isEmpty())
                host.slot() = id;
            return !host.found.isEmpty() || host.searchFailed > 0;
        });
        QVERIFY(!seq->SequencerRunning);
        QCOMPARE(SequencerStateName(seq->SequencerState), SequencerStateName(StateIdle));
        if (answerAtMs >= 0) {
            QCOMPARE(host.found, id);
            QCOMPARE(host.searchFailed, 0);
            return;
        }
        QCOMPARE(host.searchFailed, 1);
        QVERIFY(host.found.isEmpty());
        // Given up once 5 s of clock have passed, within a few ticks.
        const qint64 waitedMs = nowMs - startMs;
        QVERIFY2(waitedMs >= Sequencer::kSearchTimeoutMs && waitedMs <= Sequencer::kSearchTimeoutMs + 4 * tickMs,
                 qPrintable(QString::number(waitedMs)));
        // The failure is reported once, however long the timer goes on ticking.
        tickEvery(tickMs, [] { return false; });
        QCOMPARE(host.searchFailed, 1);
    }

    void needsTicks_data()
    {
        QTest::addColumn<Scenario>("scenario");
        QTest::addColumn<bool>("needed");
        QTest::newRow("started up") << Scenario::StartedUp << false;
        QTest::newRow("calibration done") << Scenario::CalibrationDone << false;
        QTest::newRow("measurement done") << Scenario::MeasurementDone << false;
        QTest::newRow("pass cancelled") << Scenario::PassCancelled << false;
        QTest::newRow("analyser found") << Scenario::AnalyserFound << false;
        QTest::newRow("search failed") << Scenario::SearchFailed << false;
        QTest::newRow("calibration running") << Scenario::CalibrationRunning << true;
        QTest::newRow("measurement running") << Scenario::MeasurementRunning << true;
        QTest::newRow("searching") << Scenario::Searching << true;
        QTest::newRow("cancel waiting") << Scenario::CancelWaiting << true;
        QTest::newRow("time-out armed") << Scenario::TimeoutArmed << true;
    }
    void needsTicks()
    {
        QFETCH(Scenario, scenario);
        QFETCH(bool, needed);
        bringTo(scenario);
        QCOMPARE(seq->NeedsTicks(), needed);
    }

    void idleTicksChangeNothing_data()
    {
        QTest::addColumn<Scenario>("scenario");
        QTest::newRow("started up") << Scenario::StartedUp;
        QTest::newRow("calibration done") << Scenario::CalibrationDone;
        QTest::newRow("measurement done") << Scenario::MeasurementDone;
        QTest::newRow("pass cancelled") << Scenario::PassCancelled;
        QTest::newRow("analyser found") << Scenario::AnalyserFound;
        QTest::newRow("search failed") << Scenario::SearchFailed;
    }
    void idleTicksChangeNothing()
    {
        // Stopping the timer while idle must look the same as letting it tick.
        QFETCH(Scenario, scenario);
        bringTo(scenario);
        QVERIFY(!seq->NeedsTicks());
        const Sequencer &s = *seq;
        const auto variables = [&s] {
            return QList<qint64>{s.SequencerState,   s.SequencerRunning, s.CancelRequested,  s.TickDivider,
                                 s.TickCountdown,    s.RestartCountdown, s.TimeoutArmed,     s.TimeoutStop,
                                 s.TimeoutCountdown, s.TimeoutReload,    qint64(s.ExecutedSteps())};
        };
        const QList<qint64> before = variables();
        const FakeHost hostBefore = host;
        const int stepIndex = record.SweepPlan.StepIndex;
        seq->Tick();  // one tick alone, since countdowns may come round again over many
        QCOMPARE(variables(), before);
        tickEvery(7, [] { return false; });
        QCOMPARE(variables(), before);
        QCOMPARE(host.sent, hostBefore.sent);
        QCOMPARE(host.sweepTime, hostBefore.sweepTime);
        QCOMPARE(host.started, hostBefore.started);
        QCOMPARE(host.progressStepsShown, hostBefore.progressStepsShown);
        QCOMPARE(host.completed, hostBefore.completed);
        QCOMPARE(host.searchFailed, hostBefore.searchFailed);
        QCOMPARE(host.windowEnabled, hostBefore.windowEnabled);
        QCOMPARE(record.SweepPlan.StepIndex, stepIndex);
    }
};

QTEST_GUILESS_MAIN(TestSequencer)
#include "tst_sequencer.moc"
