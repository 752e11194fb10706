#include "app/cli_parts.h"

#include "analyser/analyser_setup.h"
#include "analyser/connection.h"
#include "app/measurement_controller.h"
#include "app/core/config.h"
#include "base/errors.h"
#include "base/files.h"
#include "noise/calculator.h"
#include "noise/enr_store.h"
#include "results/measurement_file.h"
#include "run/analyser_link.h"
#include "run/designed_options.h"
#include "run/sweep_plan.h"
#include "base/engvalue.h"
#include "noise/bench_correction.h"

#include <QEventLoop>

#include <functional>
#include <optional>

namespace cli {

namespace {

/// What the command line hears of a search and a pass: an end or a failure stops the loop.
struct Progress
{
    QEventLoop loop;
    bool searchDone = false;
    bool passDone = false;
    std::optional<QString> failure;

    void fail(const QString &reason)
    {
        if (!failure)
            failure = reason;
        loop.quit();
    }
};

/// The caption of the progress window as the command line names a pass.
QString PassName(PassKind pass)
{
    return pass == PassKind::Measurement ? QStringLiteral("measure") : QStringLiteral("calibration");
}

/// The link's news without a window: the steps go to the record, the progress to stderr.
void Connect(AnalyserLink &link, Progress &progress, MeasurementRecord &record, const EvaluationContext &context)
{
    QObject::connect(&link, &AnalyserLink::noAnswer, [&progress](const QString &m) { progress.fail(m); });
    QObject::connect(&link, &AnalyserLink::connectFailed, [&progress](const QString &m) { progress.fail(m); });
    QObject::connect(&link, &AnalyserLink::connectionLost,
                     [&progress] { progress.fail(QStringLiteral("FSP connection lost")); });
    QObject::connect(&link, &AnalyserLink::readingRefused, [&progress](const QString &m) { progress.fail(m); });
    QObject::connect(&link, &AnalyserLink::searchEnded, [&progress](bool found, const QByteArray &reply) {
        if (!found) {
            progress.fail(QStringLiteral("Could not open FSP !"));
            return;
        }
        Note(QStringLiteral("Device: ") + QString::fromLatin1(reply));
        progress.searchDone = true;
        progress.loop.quit();
    });
    QObject::connect(&link, &AnalyserLink::sweepTimeRead, [](PassKind pass, const QString &sweepTime) {
        if (pass == PassKind::Calibration)
            Note(QStringLiteral("sweep time ") + sweepTime + QStringLiteral(" s"));
    });
    QObject::connect(&link, &AnalyserLink::frequencyStarted, [&record](PassKind pass, int step, double hz) {
        Note(QStringLiteral("%1 %2/%3 %4")
                 .arg(PassName(pass))
                 .arg(step + 1)
                 .arg(record.SweepPlan.Steps + 1)
                 .arg(ProgressInfoText(pass, hz).trimmed()));
    });
    QObject::connect(&link, &AnalyserLink::stepCompleted,
                     [&progress, &record, context](PassKind pass, int index) {
        if (pass != PassKind::Measurement)
            return;
        // The step display's evaluation: the levels as its fields show them, the ENR at the
        // step's frequency, the room temperature; gain and noise figure go into the record.
        try {
            const StepEvaluation e = StoreStepEvaluation(record, index, index, context);
            const CalculationResult r = CalculationResultOf(e);
            if (e.corrected && e.benchStatus != BenchStepStatus::Ok)
                Note(BenchStepStatusText(e.benchStatus));
            else if (!r.failed)
                Note(r.gainText + QStringLiteral(", ") + r.noiseFigureText);
            else
                Note(CalculationErrorText());
        } catch (const AppError &e) {
            progress.fail(e.message());
        }
    });
    QObject::connect(&link, &AnalyserLink::passFailed, [&progress](PassKind, PassFailure why, const QString &m) {
        progress.fail(why == PassFailure::HungUp ? QStringLiteral("FSP connection lost") : m);
    });
    QObject::connect(&link, &AnalyserLink::passEnded, [&progress](PassKind) {
        progress.passDone = true;
        progress.loop.quit();
    });
}

/// Serves events until `done` holds or the pass fails. Every wait of a pass has its bound in the
/// sequencer, the search's in seconds and a waiting command's in the channel.
void RunUntil(Progress &progress, const std::function<bool()> &done)
{
    if (done() || progress.failure)
        return;
    progress.loop.exec();
}

}  // namespace

int RunMeasure(const Invocation &inv)
{
    if (!inv.has("output"))
        Usage(QStringLiteral("measure needs -o FILE.mea"));
    RefuseStandardOutput(inv, "output", QStringLiteral("a measurement file"));
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
    const EnrChoice enr = ChooseEnrOrFile(inv, -1);
    const BenchChoice bench = ChooseBench(inv);
    const bool nfm = IsCompleteMeasurementFileName(inv.value("output"));

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
    // A converter's plan is refused before anything is sent when its IFs cannot be measured.
    const IfPlan ifPlan = PlanIfs(bench.bench.dutType, bench.bench.loHz, PlanRfs(record.SweepPlan));
    if (!ifPlan.ok())
        Usage(ifPlan.refusal);
    record.SweepPlan.Conversion = bench.bench.dutType;
    record.SweepPlan.LoHz = bench.bench.loHz;
    AnalyserLink link(record);
    const EvaluationContext context = BenchContextOf(enr, bench, roomK);
    Progress hostSide;
    Connect(link, hostSide, record, context);
    const PassInputs inputs{AverageItems()[average], single};

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
    RunUntil(hostSide, [&] { return hostSide.searchDone; });
    if (hostSide.failure)
        return failWith(*hostSide.failure);

    MakeSweepPlan(record.SweepPlan, sweep);
    SetupSettings settings = DesignedOptions::setupSettings(record.SweepPlan.Start);
    settings.vbwText = VbwItems()[vbw];
    settings.vbwIndex = vbw;
    settings.rbwText = RbwItems()[rbw];
    settings.averageText = AverageItems()[average];
    Note(QStringLiteral("Initialize FSP ..."));
    if (!link.setUp(settings))
        return failWith(hostSide.failure.value_or(QStringLiteral("Error on opening!")));
    record.SweepPlan.StepIndex = 0;

    link.startCalibration(inputs);
    RunUntil(hostSide, [&] { return hostSide.passDone; });
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

    QDateTime measured;
    if (!inv.has("cal-only")) {
        hostSide.passDone = false;
        link.startMeasurement(inputs);
        RunUntil(hostSide, [&] { return hostSide.passDone; });
        if (hostSide.failure)
            return failWith(*hostSide.failure);
        measured = QDateTime::currentDateTime();
    }

    const QString out = inv.value("output");
    CompleteMeasurement complete = CompleteOf(record, enr, bench, roomK);
    complete.measuredAt = measured;
    try {
        if (nfm) {
            SaveCompleteMeasurementFile(out, complete);
        } else {
            SaveMeasurementFile(out, record);
            const QStringList lost = SettingsMeaCannotHold(complete);
            if (!lost.isEmpty())
                Note(QStringLiteral("%1 does not keep: %2 (save as .nfm to keep them)").arg(out, lost.join(QStringLiteral(", "))));
        }
    } catch (const AppError &e) {
        link.close();
        Fail(out, e.message());
    }
    if (inv.has("csv")) {
        try {
            if (BenchGiven(bench) || nfm)
                WriteBenchCsv(inv.value("csv"), complete);
            else
                WriteCsv(inv.value("csv"), record, context, enr.csvSourceText, measured);
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
