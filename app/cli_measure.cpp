#include "app/cli_parts.h"

#include "analyser/analyser_setup.h"
#include "analyser/connection.h"
#include "app/core/config.h"
#include "base/errors.h"
#include "base/files.h"
#include "noise/calculator.h"
#include "noise/enr_store.h"
#include "results/measurement_file.h"
#include "run/analyser_link.h"
#include "run/designed_options.h"
#include "run/sweep_plan.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <optional>

namespace cli {

namespace {

/// The sequencer's host without a window: the levels and steps go to the record, the progress
/// to stderr, and an end or a failure stops the caller's event loop.
class CliSequencerHost : public SequencerHost
{
public:
    CliSequencerHost(AnalyserLink &link, MeasurementRecord &record, QString averageText, bool single,
                     EvaluationContext context)
        : m_link(link), m_record(record), m_average(std::move(averageText)), m_single(single),
          m_context(std::move(context))
    {
    }

    QEventLoop loop;
    bool searchDone = false;
    bool passDone = false;
    std::optional<QString> failure;
    QByteArray lastCommand;

    void fail(const QString &reason)
    {
        if (!failure)
            failure = reason;
        loop.quit();
    }

    void SendCommand(const QByteArray &command) override
    {
        lastCommand = command;
        m_link.Channel.SendCommand(command, 0);
    }
    bool ReadReply(QByteArray &reply) override { return m_link.Channel.ReadReply(reply); }
    QString AverageText() const override { return m_average; }
    bool SingleMode() const override { return m_single; }
    void SetMainWindowEnabled(bool) override {}
    void ShowPage(Page) override {}
    void SetStatusText(const QString &) override {}
    void SetSweepTimeText(const QString &text) override { Note(QStringLiteral("sweep time ") + text); }
    void SetLevelText(LevelField, const QString &) override {}
    void ProgressOpen(const QString &caption, const QString &, int steps) override
    {
        m_caption = caption;
        m_caption.remove(QStringLiteral("...")).remove(QStringLiteral(" in progress"));
        m_caption = m_caption.trimmed();
        m_steps = steps;
        m_step = 0;
    }
    void ProgressInfo(const QString &info) override
    {
        Note(QStringLiteral("%1 %2/%3 %4").arg(m_caption).arg(m_step + 1).arg(m_steps + 1).arg(info.trimmed()));
    }
    void ProgressStep(int step) override { m_step = step; }
    void ProgressClose() override {}
    void PassCompleted(bool) override
    {
        passDone = true;
        loop.quit();
    }
    void ShowStep(int index) override
    {
        // The step display's evaluation: the levels as its fields show them, the ENR at the
        // step's frequency, the room temperature; gain and noise figure go into the record.
        try {
            const CalculationResult r = CalculationResultOf(StoreStepEvaluation(m_record, index, index, m_context));
            if (!r.failed)
                Note(r.gainText + QStringLiteral(", ") + r.noiseFigureText);
            else
                Note(CalculationErrorText());
        } catch (const AppError &e) {
            fail(e.message());
        }
    }
    void RecomputeResults() override {}
    void ShowError(const QString &message) override { fail(message); }
    void SearchFailed() override
    {
        m_link.abandon();
        fail(QStringLiteral("Could not open FSP !"));
    }
    void SearchSucceeded(const QByteArray &reply) override
    {
        Note(QStringLiteral("Device: ") + QString::fromLatin1(reply));
        searchDone = true;
        loop.quit();
    }

private:
    AnalyserLink &m_link;
    MeasurementRecord &m_record;
    QString m_average;
    bool m_single;
    EvaluationContext m_context;
    QString m_caption;
    int m_steps = 0;
    int m_step = 0;
};

/// Serves events until `done` holds or the host fails. A pass that stands in one state for
/// longer than a waiting command may wait (10 s) has lost its analyser.
void RunUntil(CliSequencerHost &host, AnalyserLink &link, const std::function<bool()> &done)
{
    if (done() || host.failure)
        return;
    QTimer watchdog;
    QElapsedTimer still;
    still.start();
    int state = link.Sequencer.SequencerState;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (link.Sequencer.SequencerState != state) {
            state = link.Sequencer.SequencerState;
            still.restart();
        }
        // The search bounds itself; a pass would wait for as long as it takes.
        if (link.Sequencer.SequencerRunning && state != StateIdle && state < SearchStart
            && still.elapsed() > link.Channel.ReplyTimeoutMs)
            host.fail(QStringLiteral("FSP does not answer: ") + QString::fromLatin1(host.lastCommand));
    });
    watchdog.start(100);
    host.loop.exec();
}

}  // namespace

int RunMeasure(const Invocation &inv)
{
    if (!inv.has("output"))
        Usage(QStringLiteral("measure needs -o FILE.mea"));
    if (inv.has("port") && inv.has("host"))
        Usage(QStringLiteral("--port and --host exclude each other"));
    if (inv.has("tcp-port") && !inv.has("host"))
        Usage(QStringLiteral("--tcp-port needs --host"));

    // The Options page as it starts, with what the command line gives.
    const bool single = inv.has("single");
    if (single && (inv.has("start") || inv.has("stop") || inv.has("steps")))
        Usage(QStringLiteral("--single excludes --start, --stop and --steps"));
    const SweepInputs sweep{single,
                            FieldValue(inv, "start", EntryKind::Frequency, DesignedOptions::startText()),
                            FieldValue(inv, "stop", EntryKind::Frequency, DesignedOptions::stopText()),
                            FieldValue(inv, "single", EntryKind::Frequency, DesignedOptions::singleText()),
                            IntegerValue(inv, "steps", 1, 99, DesignedOptions::steps)};
    const int rbw = SelectorValue(inv, "rbw", RbwItems(), DesignedOptions::rbwIndex);
    const int vbw = SelectorValue(inv, "vbw", VbwItems(), DesignedOptions::vbwIndex);
    const int average = SelectorValue(inv, "average", AverageItems(), DesignedOptions::averageIndex);
    const double roomK = RoomTemperatureK(inv);
    const EnrChoice enr = ChooseEnr(inv, -1);

    // The line as the window would take it: config.ini for what is not given.
    const std::optional<ConfigValues> config = ReadConfig();
    const LanConfig lan = ReadLanConfig();
    const bool tcp = inv.has("host") || (!inv.has("port") && lan.Interface == 1 && !lan.Host.isEmpty());
    QString subject;
    LineChoice line;
    QString host = inv.has("host") ? inv.value("host") : lan.Host;
    const int tcpPort = IntegerValue(inv, "tcp-port", 1, 65535, lan.TcpPort);
    if (tcp) {
        subject = QStringLiteral("%1:%2").arg(host).arg(tcpPort);
    } else {
        if (!inv.has("port") && !config)
            Usage(QStringLiteral("measure needs --port N or --host HOST (or a config.ini naming them)"));
        const int port = IntegerValue(inv, "port", 0, 255, config ? config->Port : 0);
        line.portText = QString::number(port);
        line.baudText = ItemText(BaudItems(), config ? config->Baudrate : DesignedOptions::baudIndex);
        line.bitsText = ItemText(BitsItems(), config ? config->Bits : DesignedOptions::bitsIndex);
        line.handshake = config ? config->HandShake : DesignedOptions::handshakeIndex;
        line.parity = config ? config->Parity : DesignedOptions::parityIndex;
        line.stopBits = config ? config->StopBits : DesignedOptions::stopBitsIndex;
        subject = QStringLiteral("COM%1").arg(port);
    }

    MeasurementRecord record;
    MakeSweepPlan(record.SweepPlan, sweep);
    AnalyserLink link(record);
    const EvaluationContext context = ContextOf(enr, roomK);
    CliSequencerHost hostSide(link, record, AverageItems()[average], single, context);
    link.setHost(&hostSide);
    QObject::connect(&link, &AnalyserLink::noAnswer, [&](const QString &m) { hostSide.fail(m); });
    QObject::connect(&link, &AnalyserLink::connectFailed, [&](const QString &m) { hostSide.fail(m); });
    QObject::connect(&link, &AnalyserLink::connectionLost,
                     [&] { hostSide.fail(QStringLiteral("FSP connection lost")); });

    const auto failWith = [&](const QString &reason) -> int {
        // A silent or lost analyser cannot take its settings back; any other gets them.
        const bool silent = !hostSide.failure || hostSide.failure->startsWith(QStringLiteral("FSP"))
                            || hostSide.failure->startsWith(QStringLiteral("Could not"));
        if (link.isOpen()) {
            if (silent)
                link.abandon();
            else
                link.close();
        }
        Fail(subject, reason);
    };

    Note(QStringLiteral("Searching for FSP on ") + subject + QStringLiteral(" ..."));
    if (tcp)
        link.openTcp(host, quint16(tcpPort));
    else
        link.openSerial(line);
    RunUntil(hostSide, link, [&] { return hostSide.searchDone; });
    if (hostSide.failure)
        return failWith(*hostSide.failure);

    SetupSettings settings;
    MakeSweepPlan(record.SweepPlan, sweep);
    settings.startHz = record.SweepPlan.Start;
    settings.vbwText = VbwItems()[vbw];
    settings.vbwIndex = vbw;
    settings.rbwText = RbwItems()[rbw];
    settings.averageText = AverageItems()[average];
    settings.rfAttText = ItemText(RfAttItems(), DesignedOptions::rfAttIndex);
    settings.refLevelText = DesignedOptions::refLevelText();
    settings.rangeText = DesignedOptions::rangeText();
    Note(QStringLiteral("Initialize FSP ..."));
    if (!link.setUp(settings))
        return failWith(hostSide.failure.value_or(QStringLiteral("Error on opening!")));
    record.SweepPlan.StepIndex = 0;

    link.startCalibration();
    RunUntil(hostSide, link, [&] { return hostSide.passDone; });
    if (hostSide.failure)
        return failWith(*hostSide.failure);

    // What the measurement start records, also for a file that holds the calibration only.
    MeasurementHeader &h = record.MeasurementHeader;
    h.RbwIndex = rbw;
    h.VbwIndex = vbw;
    h.AverageIndex = average;
    h.EnrSource = enr.source.mode;
    h.NoiseSourceText = ToWindows1252(enr.noiseSourceText.left(kNoiseSourceTextLimit));
    MakeSweepPlan(record.SweepPlan, sweep);
    h.StepsCount = record.SweepPlan.Steps;
    h.StartSingle = float(record.SweepPlan.Start);
    h.StopSingle = float(record.SweepPlan.Stop);

    if (!inv.has("cal-only")) {
        hostSide.passDone = false;
        link.startMeasurement();
        RunUntil(hostSide, link, [&] { return hostSide.passDone; });
        if (hostSide.failure)
            return failWith(*hostSide.failure);
    }

    const QString out = inv.value("output");
    try {
        SaveMeasurementFile(out, record);
    } catch (const AppError &e) {
        link.close();
        Fail(out, e.message());
    }
    if (inv.has("csv")) {
        try {
            WriteCsv(inv.value("csv"), record, context);
        } catch (const CliFailure &) {
            link.close();
            throw;
        }
    }
    link.close();
    if (hostSide.failure)
        Fail(subject, *hostSide.failure);
    return CliOk;
}

}  // namespace cli
