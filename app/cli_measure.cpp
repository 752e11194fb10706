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
#include "run/calibration_file.h"
#include "run/sweep_plan.h"
#include "base/engvalue.h"
#include "noise/bench_correction.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

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

/// The kept calibration of --calibration, checked against the plan and settings of this run and
/// against --max-age (hours, default 24, 0 for any age); a mismatch or an old calibration ends
/// the command with what differs.
CalibrationFile KeptCalibration(const Invocation &inv, bool single, const SweepPlan &plan, const SetupSettings &settings)
{
    const QString path = inv.value("calibration");
    const CalibrationDecodeResult loaded = LoadCalibrationFile(path);
    if (!loaded.calibration)
        Fail(QString(), loaded.error, CliUsage);
    const CalibrationFile &c = *loaded.calibration;
    const CalibrationItem item = CalibrationDifference(c.state, single, plan, settings);
    if (item != CalibrationItem::None)
        Fail(path, QStringLiteral("the calibration does not match this measurement: %1 differs").arg(CalibrationItemText(item)),
             CliUsage);
    double maxAgeHours = 24;
    if (inv.has("max-age")) {
        bool ok = false;
        maxAgeHours = inv.value("max-age").toDouble(&ok);
        if (!ok || !(maxAgeHours >= 0) || maxAgeHours > 1e6)
            Usage(QStringLiteral("--max-age needs a number of hours, 0 for any age"));
    }
    const qint64 age = CalibrationAgeSeconds(c.state.endedAt, QDateTime::currentDateTime());
    if (maxAgeHours > 0 && age < 0)
        Fail(path, QStringLiteral("the calibration is dated in the future, so its age cannot be held to --max-age %1 h "
                                  "(is the clock right?)").arg(maxAgeHours), CliUsage);
    if (maxAgeHours > 0 && double(age) > maxAgeHours * 3600)
        Fail(path, QStringLiteral("the calibration is %1 old, older than --max-age %2 h")
                       .arg(CalibrationAgeText(age)).arg(maxAgeHours), CliUsage);
    return c;
}

}  // namespace

int RunMeasure(const Invocation &inv)
{
    const bool calibrate = inv.command == QLatin1String("calibrate");
    if (!inv.has("output"))
        Usage(calibrate ? QStringLiteral("calibrate needs -o FILE.cal") : QStringLiteral("measure needs -o FILE.mea"));
    RefuseStandardOutput(inv, "output", calibrate ? QStringLiteral("a calibration file") : QStringLiteral("a measurement file"));
    if (inv.has("calibration") && inv.has("cal-only"))
        Usage(QStringLiteral("--calibration excludes --cal-only"));
    if (inv.has("port") && inv.has("host"))
        Usage(QStringLiteral("--port and --host exclude each other"));
    if (inv.has("tcp-port") && !inv.has("host"))
        Usage(QStringLiteral("--tcp-port needs --host"));
    if (inv.has("vxi11") && !inv.has("host"))
        Usage(QStringLiteral("--vxi11 needs --host"));
    if (inv.has("vxi11") && inv.has("tcp-port"))
        Usage(QStringLiteral("--vxi11 and --tcp-port exclude each other"));
    if (inv.has("lan-device") && !inv.has("vxi11"))
        Usage(QStringLiteral("--lan-device needs --vxi11"));
    const bool gpib = inv.has("gpib");
    if ((inv.has("adapter-host") || inv.has("adapter-port")) && !gpib)
        Usage(QStringLiteral("--adapter-host and --adapter-port need --gpib"));
    if (gpib && inv.has("host"))
        Usage(QStringLiteral("--gpib and --host exclude each other (the adapter's host is --adapter-host)"));
    if (gpib && inv.has("port") == inv.has("adapter-host"))
        Usage(QStringLiteral("--gpib needs --port N or --adapter-host HOST"));
    if (inv.has("adapter-port") && !inv.has("adapter-host"))
        Usage(QStringLiteral("--adapter-port needs --adapter-host"));
    const int gpibAddress = gpib ? IntegerValue(inv, "gpib", 0, 30, 20) : 20;
    const bool vxi11 = inv.has("vxi11");
    const QString lanDevice = inv.has("lan-device") ? inv.value("lan-device").trimmed() : QStringLiteral("inst0");
    if (lanDevice.isEmpty())
        Usage(QStringLiteral("--lan-device needs a device name"));
    const bool gpibTcp = gpib && inv.has("adapter-host");
    const QString adapterHost = inv.value("adapter-host").trimmed();
    const int adapterPort = IntegerValue(inv, "adapter-port", 1, 65535, 1234);

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
    double roomK = RoomTemperatureK(inv);
    EnrChoice enr = ChooseEnrOrFile(inv, -1);
    const BenchChoice bench = ChooseBench(inv);
    const bool nfm = IsCompleteMeasurementFileName(inv.value("output"));
    const LimitSet limits = LimitsOption(inv);

    // A kept calibration must fit this run before anything is sent.
    SweepPlan wantedPlan;
    MakeSweepPlan(wantedPlan, sweep);
    SetupSettings wanted = DesignedOptions::setupSettings(wantedPlan.Start);
    wanted.vbwText = VbwItems()[vbw];
    wanted.vbwIndex = vbw;
    wanted.rbwText = RbwItems()[rbw];
    wanted.averageText = AverageItems()[average];
    std::optional<CalibrationFile> kept;
    QString calibrationText = QStringLiteral("calibrated at ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (inv.has("calibration")) {
        kept = KeptCalibration(inv, single, wantedPlan, wanted);
        // The calibration's noise source and room temperature, unless this run names its own.
        if (!inv.has("enr") && !inv.has("enr-table") && !inv.has("enr-file")) {
            enr.source = EnrSourceOfCalibration(kept->enr);
            enr.noiseSourceText = kept->enr.noiseSourceText;
            enr.csvSourceText = kept->enr.noiseSourceText;
        }
        if (!inv.has("temperature"))
            roomK = kept->roomTemperatureK;
        calibrationText = QFileInfo(inv.value("calibration")).fileName() + QStringLiteral(", calibrated at ")
                          + kept->state.endedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    }
    // Between the passes the DUT goes in: someone must say when, or a switch does it (--yes).
    const bool stopBetween = !calibrate && !kept && !inv.has("cal-only") && !inv.has("yes");

    // The line as the window would take it: config.ini for what is not given.
    const std::optional<ConfigValues> config = ReadConfig();
    const LanConfig lan = ReadLanConfig();
    const bool tcp = inv.has("host") || (!inv.has("port") && lan.Interface == 1 && !lan.Host.isEmpty());
    QString subject;
    LineChoice line;
    QString host = inv.has("host") ? inv.value("host") : lan.Host;
    const int tcpPort = IntegerValue(inv, "tcp-port", 1, 65535, lan.TcpPort);
    if (gpibTcp) {
        subject = QStringLiteral("GPIB %1 at %2:%3").arg(gpibAddress).arg(adapterHost).arg(adapterPort);
    } else if (tcp && vxi11) {
        subject = QStringLiteral("%1 (VXI-11 %2)").arg(host, lanDevice);
    } else if (tcp && !gpib) {
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
        subject = gpib ? QStringLiteral("GPIB %1 on COM%2").arg(gpibAddress).arg(port) : QStringLiteral("COM%1").arg(port);
    }

    if (stopBetween && !isatty(STDIN_FILENO))
        Fail(QString(), QStringLiteral("measure stops between the passes to have the DUT connected, which needs a "
                                       "terminal: give --yes when a switch connects it, or --calibration CAL.cal"),
             CliUsage);

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
    QString identity;
    QObject::connect(&link, &AnalyserLink::searchEnded,
                     [&identity](bool, const QByteArray &reply) { identity = QString::fromLatin1(reply); });

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
    if (gpibTcp)
        link.openGpibTcp(adapterHost, quint16(adapterPort), gpibAddress);
    else if (gpib)
        link.openGpibSerial(line, gpibAddress);
    else if (tcp && vxi11)
        link.openVxi11(host, lanDevice);
    else if (tcp)
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

    if (kept) {
        ApplyCalibrationLevels(*kept, record);
        Note(QStringLiteral("calibration of ") + inv.value("calibration") + QStringLiteral(", ")
             + CalibrationAgeText(CalibrationAgeSeconds(kept->state.endedAt, QDateTime::currentDateTime()))
             + QStringLiteral(" old"));
    } else {
        link.startCalibration(inputs);
        RunUntil(hostSide, [&] { return hostSide.passDone; });
        if (hostSide.failure)
            return failWith(*hostSide.failure);
    }
    if (calibrate) {
        CalibrationFile c;
        c.state = CompletedCalibration(single, record.SweepPlan, settings, QDateTime::currentDateTime());
        c.steps = CalibrationStepsOf(record, record.SweepPlan);
        c.enr = {enr.source.mode, enr.source.enrAllText, enr.source.rows, enr.noiseSourceText, enr.source.dataFileRows};
        c.roomTemperatureK = roomK;
        c.analyserIdentity = identity;
        link.close();
        QString error;
        if (!SaveCalibrationFile(inv.value("output"), c, &error))
            Fail(QString(), error);
        return CliOk;
    }
    if (stopBetween) {
        std::fputs("Connect the DUT between noise source and analyser, then press Enter.\n", stderr);
        std::fflush(stderr);
        char answer[256];
        if (!std::fgets(answer, sizeof answer, stdin))
            return failWith(QStringLiteral("no DUT connected: the input ended"));
    }

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
    const QList<StepLimitResult> results = StepResults(record, context, limits);
    if (inv.has("csv")) {
        try {
            if (BenchGiven(bench) || nfm)
                WriteBenchCsv(inv.value("csv"), complete, LimitCsvColumns(limits, results));
            else
                WriteCsv(inv.value("csv"), record, context, enr.csvSourceText, measured, LimitCsvColumns(limits, results));
        } catch (const CliFailure &) {
            link.close();
            throw;
        }
    }
    link.close();
    if (hostSide.failure)
        Fail(subject, *hostSide.failure);
    if (inv.has("cal-only"))
        return CliOk;
    WriteJson(inv, record, context, enr.csvSourceText, limits, results, calibrationText);
    RecordRun(inv, complete, limits, results, calibrationText);
    return ReportVerdict(limits, results);
}

}  // namespace cli
