#include "app/cli.h"

#include "analyser/analyser_setup.h"
#include "analyser/connection.h"
#include "app/core/config.h"
#include "app/results_out.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/version.h"
#include "noise/calculator.h"
#include "noise/enr_files.h"
#include "noise/enr_store.h"
#include "report/print_report.h"
#include "results/measurement_file.h"
#include "run/analyser_link.h"
#include "run/designed_options.h"
#include "run/sweep_plan.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

const QStringList kCommands{QStringLiteral("export"), QStringLiteral("report"), QStringLiteral("measure"),
                            QStringLiteral("help")};

/// A failure that ends the command: what it concerns (a file, the connection) and why.
struct CliFailure
{
    QString subject;
    QString reason;
    int status = CliFailed;
};

[[noreturn]] void Fail(const QString &subject, const QString &reason, int status = CliFailed)
{
    throw CliFailure{subject, reason, status};
}

[[noreturn]] void Usage(const QString &reason)
{
    Fail(QString(), reason + QStringLiteral(" (see tessary --help)"), CliUsage);
}

void Note(const QString &text)
{
    std::fputs(qPrintable(QStringLiteral("tessary: ") + text + u'\n'), stderr);
    std::fflush(stderr);
}

// ---- Options ----------------------------------------------------------------------------------

struct Option
{
    const char *name;
    const char *valueName;  ///< nullptr for a switch
    QStringList commands;   ///< the commands it applies to
};

const QList<Option> &Options()
{
    static const QList<Option> options{
        {"output", "FILE", {QStringLiteral("export"), QStringLiteral("report"), QStringLiteral("measure")}},
        {"temperature", "T", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"enr", "DB", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"enr-table", "FILE", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"remarks", "FILE", {QStringLiteral("report")}},
        {"title", "TEXT", {QStringLiteral("report")}},
        {"port", "N", {QStringLiteral("measure")}},
        {"host", "HOST", {QStringLiteral("measure")}},
        {"tcp-port", "P", {QStringLiteral("measure")}},
        {"start", "F", {QStringLiteral("measure")}},
        {"stop", "F", {QStringLiteral("measure")}},
        {"steps", "N", {QStringLiteral("measure")}},
        {"single", "F", {QStringLiteral("measure")}},
        {"rbw", "TEXT", {QStringLiteral("measure")}},
        {"vbw", "TEXT", {QStringLiteral("measure")}},
        {"average", "N", {QStringLiteral("measure")}},
        {"cal-only", nullptr, {QStringLiteral("measure")}},
        {"csv", "FILE", {QStringLiteral("measure")}},
    };
    return options;
}

/// The parsed command line: the command, its file and the options given.
struct Invocation
{
    QCommandLineParser parser;
    QString command;
    QString file;

    bool has(const char *name) const { return parser.isSet(QString::fromLatin1(name)); }
    QString value(const char *name) const { return parser.value(QString::fromLatin1(name)); }
};

void Parse(Invocation &inv, const QStringList &arguments)
{
    QCommandLineParser &p = inv.parser;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    p.addOption(QCommandLineOption(QStringList{QStringLiteral("v"), QStringLiteral("version")}));
    for (const Option &o : Options()) {
        QStringList names{QString::fromLatin1(o.name)};
        if (qstrcmp(o.name, "output") == 0)
            names.prepend(QStringLiteral("o"));
        p.addOption(o.valueName ? QCommandLineOption(names, QString(), QString::fromLatin1(o.valueName))
                                : QCommandLineOption(names));
    }
    if (!p.parse(arguments))
        Usage(p.errorText());
    if (p.isSet(QStringLiteral("help")) || p.isSet(QStringLiteral("version")))
        return;

    const QStringList positional = p.positionalArguments();
    if (positional.isEmpty())
        Usage(QStringLiteral("no command given"));
    inv.command = positional.first();
    if (!kCommands.contains(inv.command))
        Usage(QStringLiteral("unknown command '%1'").arg(inv.command));
    const int files = inv.command == QLatin1String("export") || inv.command == QLatin1String("report") ? 1 : 0;
    if (positional.size() - 1 != files && inv.command != QLatin1String("help"))
        Usage(files ? QStringLiteral("%1 takes one measurement file").arg(inv.command)
                    : QStringLiteral("%1 takes no file but options").arg(inv.command));
    if (files)
        inv.file = positional[1];
    for (const Option &o : Options())
        if (inv.has(o.name) && !o.commands.contains(inv.command))
            Usage(QStringLiteral("--%1 does not apply to %2").arg(QString::fromLatin1(o.name), inv.command));
}

/// A value option read as its field reads typed text; `what` names it in a failure.
QString FieldValue(const Invocation &inv, const char *name, EntryKind kind, const QString &designed)
{
    if (!inv.has(name))
        return designed;
    const QString text = FieldTextOf(kind, inv.value(name), designed);
    try {
        ParseValue(text);
    } catch (const AppError &e) {
        Usage(QStringLiteral("--%1 '%2': %3").arg(QString::fromLatin1(name), inv.value(name), e.message()));
    }
    return text;
}

/// A selector option: the item it names (letter case ignored), as the box selects it on leaving.
int SelectorValue(const Invocation &inv, const char *name, const QStringList &items, int designed)
{
    if (!inv.has(name))
        return designed;
    const QString typed = inv.value(name).trimmed();
    const int index = SelectorIndexOnExit(items, typed);
    if (items[index].compare(typed, Qt::CaseInsensitive) != 0)
        Usage(QStringLiteral("--%1 must be one of %2").arg(QString::fromLatin1(name), items.join(QStringLiteral(", "))));
    return index;
}

int IntegerValue(const Invocation &inv, const char *name, int low, int high, int designed)
{
    if (!inv.has(name))
        return designed;
    bool ok = false;
    const int v = inv.value(name).toInt(&ok);
    if (!ok || v < low || v > high)
        Usage(QStringLiteral("--%1 needs a whole number from %2 to %3").arg(QString::fromLatin1(name)).arg(low).arg(high));
    return v;
}

// ---- Measurement files and the ENR in use -------------------------------------------------------

MeasurementRecord LoadMea(const QString &path)
{
    MeasurementLoadResult loaded;
    try {
        loaded = LoadMeasurementFile(path);
    } catch (const AppError &e) {
        Fail(path, e.message());
    }
    switch (loaded.status) {
    case MeasurementLoadStatus::Missing: Fail(path, QStringLiteral("File do not exists !"));
    case MeasurementLoadStatus::Corrupt: Fail(path, QStringLiteral("File corrupt !"));
    case MeasurementLoadStatus::Loaded: break;
    }
    return std::move(loaded.record);
}

/// The ENR in use and the text that names it, as the "Noise Source" page would have them.
struct EnrChoice
{
    CsvEnrSource source;
    QString noiseSourceText;
};

/// --enr or --enr-table when given; otherwise the window's: the constant "5.52 dB" and the
/// tables of default.tbl in the working folder, with `mode` (the shown table of default.tbl for
/// a new measurement, the measurement's own source for a loaded one; -1: default.tbl decides).
EnrChoice ChooseEnr(const Invocation &inv, int mode)
{
    EnrChoice c;
    c.source.enrAllText = FieldValue(inv, "enr", EntryKind::Range, DesignedOptions::enrAllText());
    if (inv.has("enr") && inv.has("enr-table"))
        Usage(QStringLiteral("--enr and --enr-table exclude each other"));
    if (inv.has("enr-table")) {
        const QString path = inv.value("enr-table");
        if (!QFileInfo(path).isFile())
            Fail(path, QStringLiteral("File do not exists !"));
        try {
            c.source.rows = LimitEnrRows(ReadEnrTabFile(path));
        } catch (const AppError &e) {
            Fail(path, e.message());
        }
        c.source.mode = EnrTable1;
        c.noiseSourceText = NoiseSourceTextForTable(1, path);
        return c;
    }
    EnrTableStore store;
    try {
        if (std::optional<EnrTableStore> read = ReadEnrStoreFile(DefaultTblName()))
            store = *read;
    } catch (const AppError &e) {
        Fail(DefaultTblName(), e.message());
    }
    if (inv.has("enr"))
        mode = EnrAll;
    else if (mode < 0)
        mode = store.ShownTable;
    c.source.mode = mode >= EnrAll && mode <= EnrTable2 ? mode : EnrAll;
    if (c.source.mode == EnrAll) {
        c.noiseSourceText = NoiseSourceTextForConstant(c.source.enrAllText);
    } else {
        c.source.rows = store.Table(c.source.mode).Rows;
        c.noiseSourceText = NoiseSourceTextForTable(c.source.mode, store.Table(c.source.mode).FileName);
    }
    return c;
}

double RoomTemperatureK(const Invocation &inv)
{
    return ParseValue(FieldValue(inv, "temperature", EntryKind::Temperature, DesignedOptions::temperatureText()));
}

void WriteCsv(const QString &path, const MeasurementRecord &record, const CsvEnrSource &enr, double roomK)
{
    QString error;
    try {
        if (!WriteMeasurementCsv(path, record, MeasurementCsvDetails(record, enr, roomK), &error))
            Fail(path, error);
    } catch (const AppError &e) {
        Fail(path, e.message());
    }
}

// ---- export ------------------------------------------------------------------------------------

int RunExport(const Invocation &inv)
{
    const MeasurementRecord record = LoadMea(inv.file);
    const EnrChoice enr = ChooseEnr(inv, record.MeasurementHeader.EnrSource);
    const QFileInfo mea(inv.file);
    const QString out = inv.has("output") ? inv.value("output")
                                          : mea.dir().filePath(mea.completeBaseName() + QStringLiteral(".csv"));
    WriteCsv(out, record, enr.source, RoomTemperatureK(inv));
    return CliOk;
}

// ---- report ------------------------------------------------------------------------------------

int RunReport(const Invocation &inv)
{
    if (!inv.has("output"))
        Usage(QStringLiteral("report needs -o FILE.pdf"));
    const MeasurementRecord record = LoadMea(inv.file);
    ReportInput input = ReportInput::fromRecord(record);
    input.Texts = ReportTextsOf(record, NoiseSourceTextOf(record.MeasurementHeader));
    input.Texts.DUT = inv.value("title");
    if (inv.has("remarks")) {
        const QString path = inv.value("remarks");
        QFile f(path);
        if (!QFileInfo(path).isFile())
            Fail(path, QStringLiteral("File do not exists !"));
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            Fail(path, f.errorString());
        QString text = QString::fromUtf8(f.readAll());
        if (text.endsWith(u'\n'))
            text.chop(1);
        input.Remarks = text.isEmpty() ? QStringList() : text.split(u'\n');
    }

    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setCreator(QStringLiteral("Tessary ") + VersionText());
        writer.setTitle(QStringLiteral("Test Report"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        TestReport report(std::move(input));
        if (!report.PrintReport(writer))
            Fail(inv.value("output"), QStringLiteral("the PDF cannot be started"));
    }
    QString error;
    if (!WriteFileAtomically(inv.value("output"), pdf.data(), &error))
        Fail(inv.value("output"), error);
    return CliOk;
}

// ---- measure -----------------------------------------------------------------------------------

/// The sequencer's host without a window: the levels and steps go to the record, the progress
/// to stderr, and an end or a failure stops the caller's event loop.
class CliSequencerHost : public SequencerHost
{
public:
    CliSequencerHost(AnalyserLink &link, MeasurementRecord &record, QString averageText, bool single,
                     EnrLookupFunction lookupEnr, double roomK)
        : m_link(link), m_record(record), m_average(std::move(averageText)), m_single(single),
          m_lookupEnr(std::move(lookupEnr)), m_roomK(roomK)
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
            const CalculationResult r = CalculateFromLevels(StepLevels(m_record, index), m_lookupEnr,
                                                            [this] { return m_roomK; }, m_record, index);
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
    EnrLookupFunction m_lookupEnr;
    double m_roomK;
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
    const CsvEnrSource enrSource = enr.source;
    CliSequencerHost hostSide(link, record, AverageItems()[average], single,
                              [enrSource](double hz) {
                                  return LookupEnr(hz, enrSource.mode, enrSource.enrAllText, enrSource.rows);
                              },
                              roomK);
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
            WriteCsv(inv.value("csv"), record, enr.source, roomK);
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

int Dispatch(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    Invocation inv;
    Parse(inv, arguments);
    if (inv.parser.isSet(QStringLiteral("help")) || inv.command == QLatin1String("help")) {
        std::fputs(qPrintable(CliHelpText()), stdout);
        return CliOk;
    }
    if (inv.parser.isSet(QStringLiteral("version"))) {
        std::fputs(qPrintable(QStringLiteral("tessary ") + VersionText() + u'\n'), stdout);
        return CliOk;
    }
    if (inv.command == QLatin1String("export"))
        return RunExport(inv);
    if (inv.command == QLatin1String("report"))
        return RunReport(inv);
    return RunMeasure(inv);
}

}  // namespace

bool IsCommandLine(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return false;
    const QString &first = arguments[1];
    return kCommands.contains(first) || first.startsWith(QStringLiteral("--")) || first == QLatin1String("-h")
           || first == QLatin1String("-v");
}

int RunCommandLine(int argc, char **argv)
{
    // The report paints text, which needs fonts and so a GUI application; none of the commands
    // shows anything, so the display is never needed.
    // Qt's notes (a missing runtime folder, font fall-backs) would break the rule of one line
    // on stderr per failure; the command line says what it has to say itself.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fputs(qPrintable(QStringLiteral("tessary: ") + message + u'\n'), stderr);
    });
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && qstrcmp(argv[1], "report") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    try {
        return Dispatch(argc, argv);
    } catch (const CliFailure &f) {
        std::fputs(qPrintable(QStringLiteral("tessary: ") + (f.subject.isEmpty() ? QString() : f.subject + QStringLiteral(": "))
                              + f.reason + u'\n'),
                   stderr);
        return f.status;
    } catch (const AppError &e) {
        std::fputs(qPrintable(QStringLiteral("tessary: ") + e.message() + u'\n'), stderr);
        return CliFailed;
    }
}

QString FieldTextOf(EntryKind kind, const QString &typed, const QString &before)
{
    EntryText field;
    QString pendingUnit;
    for (const QChar key : typed) {
        const EntryKeyResult r = EntryKeyPress(kind, field, key, pendingUnit);
        if (!r.key.isNull()) {
            field.text.insert(field.cursor, r.key);
            ++field.cursor;
        }
        if (r.endEntry)
            break;
    }
    return ApplyExitRule(field.text, before, pendingUnit);
}

QString CliHelpText()
{
    return QStringLiteral(
        "Usage: tessary                      the window\n"
        "       tessary export RUN.mea [-o RUN.csv] [--temperature T] [--enr DB | --enr-table FILE.tab]\n"
        "       tessary report RUN.mea -o RUN.pdf [--remarks FILE] [--title TEXT]\n"
        "       tessary measure (--port N | --host HOST [--tcp-port P]) -o RUN.mea [--csv RUN.csv]\n"
        "                       [--start F] [--stop F] [--steps N] [--single F]\n"
        "                       [--rbw TEXT] [--vbw TEXT] [--average N] [--temperature T]\n"
        "                       [--enr DB | --enr-table FILE.tab] [--cal-only]\n"
        "       tessary --help | --version\n"
        "\n"
        "export   writes the measurement as CSV (default: RUN.csv beside RUN.mea), evaluated\n"
        "         with the room temperature T (default 21 \u00B0C) and the ENR the window would use\n"
        "         for it: the measurement's own source, the constant 5.52 dB or the tables of\n"
        "         default.tbl in the working folder.\n"
        "report   prints the test report into a PDF (A4, 10 mm margins); --title is the DUT,\n"
        "         --remarks a text file whose lines are the remarks.\n"
        "measure  connects, sets the analyser up, calibrates and measures without prompts: the\n"
        "         noise source goes straight to the analyser for the calibration, and the DUT\n"
        "         must be in place when the measurement pass follows (the analyser's dialogue\n"
        "         switches between them). --cal-only stops after the calibration. Settings not\n"
        "         given are the window's: the line from config.ini in the working folder, the\n"
        "         Options page's start-up values (RBW 3 MHz, VBW 10 Hz, averaging 10, 400 MHz to\n"
        "         500 MHz in 10 steps) and the ENR of default.tbl or 5.52 dB.\n"
        "\n"
        "Frequencies and levels are read as the entry fields read them: 400M is 400 MHz, a bare\n"
        "number is MHz, 1.2G and \"1.2 GHz\" are 1.2 GHz; a temperature is \u00B0C unless it ends in K.\n"
        "\n"
        "Exit status: 0 success, 1 a file or the analyser failed, 2 a wrong command line; a\n"
        "failure is one line on stderr naming the file or connection and the reason.\n");
}
