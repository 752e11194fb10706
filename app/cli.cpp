#include "app/cli.h"

#include "app/cli_parts.h"
#include "app/core/config.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "base/version.h"
#include "noise/enr_files.h"
#include "noise/enr_store.h"
#include "run/designed_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace cli {

namespace {

const QStringList kCommands{QStringLiteral("export"),    QStringLiteral("report"), QStringLiteral("measure"),
                            QStringLiteral("calibrate"), QStringLiteral("history"), QStringLiteral("help")};

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
        {"vxi11", nullptr, {QStringLiteral("measure")}},
        {"lan-device", "NAME", {QStringLiteral("measure")}},
        {"gpib", "ADDR", {QStringLiteral("measure")}},
        {"adapter-host", "HOST", {QStringLiteral("measure")}},
        {"adapter-port", "P", {QStringLiteral("measure")}},
        {"start", "F", {QStringLiteral("measure")}},
        {"stop", "F", {QStringLiteral("measure")}},
        {"steps", "N", {QStringLiteral("measure")}},
        {"single", "F", {QStringLiteral("measure")}},
        {"rbw", "TEXT", {QStringLiteral("measure")}},
        {"vbw", "TEXT", {QStringLiteral("measure")}},
        {"average", "N", {QStringLiteral("measure")}},
        {"cal-only", nullptr, {QStringLiteral("measure")}},
        {"csv", "FILE", {QStringLiteral("measure")}},
        {"enr-file", "FILE", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"loss-before", "DB|FILE.csv", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"loss-before-temp", "T", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"loss-after", "DB|FILE.csv", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"loss-after-temp", "T", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"dut", "TYPE|TEXT", {QStringLiteral("export"), QStringLiteral("measure"), QStringLiteral("history")}},
        {"lo", "F", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"image-rejection", "DB", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"cal-enr", "DB", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"cal-enr-table", "FILE", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"limits", "FILE", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"json", "FILE", {QStringLiteral("export"), QStringLiteral("measure"), QStringLiteral("history")}},
        {"calibration", "FILE", {QStringLiteral("measure")}},
        {"max-age", "HOURS", {QStringLiteral("measure")}},
        {"yes", nullptr, {QStringLiteral("measure")}},
        {"history", "PATH", {QStringLiteral("measure"), QStringLiteral("history"), QStringLiteral("export"), QStringLiteral("report")}},
        {"no-history", nullptr, {QStringLiteral("measure")}},
        {"serial", "TEXT", {QStringLiteral("measure"), QStringLiteral("history")}},
        {"dut-name", "TEXT", {QStringLiteral("measure")}},
        {"since", "DATE", {QStringLiteral("history")}},
        {"run", "ID", {QStringLiteral("export"), QStringLiteral("report")}},
    };
    return options;
}

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
    if (!kCommands.contains(inv.command)) {
        // The synopsis follows the line, so that a mistyped command shows what it could be.
        const QString help = CliHelpText();
        Fail(QString(), QStringLiteral("unknown command '%1' (see tessary --help)\n").arg(inv.command)
                            + help.left(help.indexOf(QStringLiteral("\n\n"))),
             CliUsage);
    }
    const int files = (inv.command == QLatin1String("export") || inv.command == QLatin1String("report"))
                              && !p.isSet(QStringLiteral("run"))
                          ? 1
                          : 0;
    if (positional.size() - 1 != files && inv.command != QLatin1String("help"))
        Usage(files ? QStringLiteral("%1 takes one measurement file").arg(inv.command)
                    : QStringLiteral("%1 takes no file but options").arg(inv.command));
    if (files)
        inv.file = positional[1];
    const QString asCommand = inv.command == QLatin1String("calibrate") ? QStringLiteral("measure") : inv.command;
    static const QStringList notForCalibrate{QStringLiteral("calibration"), QStringLiteral("max-age"), QStringLiteral("yes"),
                                             QStringLiteral("limits"), QStringLiteral("json"), QStringLiteral("csv"),
                                             QStringLiteral("history"), QStringLiteral("no-history"), QStringLiteral("serial"),
                                             QStringLiteral("dut-name"), QStringLiteral("cal-only")};
    for (const Option &o : Options())
        if (inv.has(o.name) && (!o.commands.contains(asCommand)
                                || (inv.command == QLatin1String("calibrate") && notForCalibrate.contains(QLatin1String(o.name)))))
            Usage(QStringLiteral("--%1 does not apply to %2").arg(QString::fromLatin1(o.name), inv.command));
}

int Dispatch(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // For history, --json is a switch: the listing goes to standard output as JSON.
    if (arguments.size() > 1 && arguments[1] == QLatin1String("history"))
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^--json$")), QStringLiteral("--json=-"));
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
    if (inv.command == QLatin1String("history"))
        return RunHistory(inv);
    return RunMeasure(inv);
}

}  // namespace

[[noreturn]] void Fail(const QString &subject, const QString &reason, int status)
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

namespace {

/// The typed text as a value field of `kind` reads it, or nothing when the field would not
/// read it as a number at all. The field drops keys it does not take (other letters, a sign,
/// a second point) and falls back to its old text when nothing is left; an option must not
/// change its value that way without a word, so only a number, blanks and the field's own
/// unit keys pass ("3M", "3MHz", "3 MHz", "10Hz", "300K", "15.2 dB").
std::optional<QString> OptionFieldText(EntryKind kind, const QString &typed)
{
    QString unit;
    switch (kind) {
    case EntryKind::Frequency: unit = QStringLiteral("[GMK]?HZ|[GMKH]"); break;
    case EntryKind::Temperature: unit = QStringLiteral("\\x{00B0}?C|K"); break;
    case EntryKind::Range: unit = QStringLiteral("DB|D"); break;
    case EntryKind::RefLevel:
    case EntryKind::Plain: break;
    }
    const QRegularExpression form(QStringLiteral("^\\s*(\\d+([.,]\\d*)?|[.,]\\d+)\\s*(") + unit
                                      + QStringLiteral(")?\\s*$"),
                                  QRegularExpression::CaseInsensitiveOption);
    if (unit.isEmpty() || !form.match(typed).hasMatch())
        return std::nullopt;
    return FieldTextOf(kind, typed.trimmed(), QString());
}

/// What a refused value of `kind` should have been.
QString ExpectedValue(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Frequency: return QStringLiteral("a frequency above 0 Hz");
    case EntryKind::Temperature: return QStringLiteral("a temperature above 0 K");
    default: return QStringLiteral("a number of dB");
    }
}

[[noreturn]] void RefuseValue(const char *name, const QString &typed, const QString &expected)
{
    Usage(QStringLiteral("--%1 '%2' is not %3").arg(QString::fromLatin1(name), typed, expected));
}

/// The item of `items` (texts of frequencies, "3 MHz") that the typed frequency names, or -1.
int FrequencyItem(const QStringList &items, const QString &typed)
{
    const std::optional<QString> text = OptionFieldText(EntryKind::Frequency, typed);
    if (!text)
        return -1;
    try {
        const double hz = ParseValue(*text);
        for (int i = 0; i < items.size(); ++i)
            if (std::abs(ParseValue(items[i]) - hz) <= 1e-9 * hz)
                return i;
    } catch (const AppError &) {
    }
    return -1;
}

}  // namespace

QString FieldValue(const Invocation &inv, const char *name, EntryKind kind, const QString &designed)
{
    if (!inv.has(name))
        return designed;
    const QString typed = inv.value(name);
    const std::optional<QString> text = OptionFieldText(kind, typed);
    if (!text)
        RefuseValue(name, typed, ExpectedValue(kind));
    double value = 0;
    try {
        value = ParseValue(*text);
    } catch (const AppError &) {
        RefuseValue(name, typed, ExpectedValue(kind));
    }
    // A frequency or an absolute temperature of zero or less is no measurement.
    if (!std::isfinite(value) || (kind != EntryKind::Range && value <= 0))
        RefuseValue(name, typed, ExpectedValue(kind));
    return *text;
}

int SelectorValue(const Invocation &inv, const char *name, const QStringList &items, int designed)
{
    if (!inv.has(name))
        return designed;
    const QString typed = inv.value(name).trimmed();
    for (int i = 0; i < items.size(); ++i)
        if (items[i].compare(typed, Qt::CaseInsensitive) == 0)
            return i;
    // Bandwidths read as the frequency fields read them: "3M" and "3MHz" are "3 MHz".
    const bool frequencies = !items.isEmpty() && items.first().endsWith(QStringLiteral("Hz"));
    const int index = frequencies ? FrequencyItem(items, typed) : -1;
    if (index < 0)
        RefuseValue(name, inv.value(name), QStringLiteral("one of ") + items.join(QStringLiteral(", ")));
    return index;
}

int IntegerValue(const Invocation &inv, const char *name, int low, int high, int designed)
{
    if (!inv.has(name))
        return designed;
    bool ok = false;
    const int v = inv.value(name).trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        RefuseValue(name, inv.value(name), QStringLiteral("a whole number from %1 to %2").arg(low).arg(high));
    return v;
}

// ---- The ENR in use, the room temperature and the CSV -----------------------------------------

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
        c.csvSourceText = c.noiseSourceText;
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
    // A table that came from no file is named by its caption alone.
    c.csvSourceText = c.source.mode != EnrAll && store.Table(c.source.mode).FileName.isEmpty()
                                   ? EnrTableCaption(c.source.mode)
                                   : c.noiseSourceText;
    return c;
}

double RoomTemperatureK(const Invocation &inv)
{
    return ParseValue(FieldValue(inv, "temperature", EntryKind::Temperature, DesignedOptions::temperatureText()));
}

EvaluationContext ContextOf(const EnrChoice &enr, double roomK)
{
    EvaluationContext context;
    context.enr = enr.source;
    context.roomTemperatureK = roomK;
    // The window's inputs of the uncertainty, so a step's "±" reads the same in both.
    context.uncertainty = ReadUncertaintyConfig();
    return context;
}

bool IsStandardOutput(const QString &path)
{
    return path == QLatin1String("-");
}

void WriteCsv(const QString &path, const MeasurementRecord &record, const EvaluationContext &context,
              const QString &sourceText, const QDateTime &measured, const QList<CsvColumn> &extra)
{
    QString error;
    try {
        CsvExportDetails details = MeasurementCsvDetails(record, context, sourceText);
        details.measured = measured;
        if (IsStandardOutput(path)) {
            const QByteArray text = MeasurementCsvText(record, details, StepCsvColumns() + extra);
            if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size())
                || std::fflush(stdout) != 0)
                Fail(QStringLiteral("standard output"), QString::fromLocal8Bit(std::strerror(errno)));
        } else if (!WriteMeasurementCsv(path, record, details, &error, StepCsvColumns() + extra)) {
            Fail(path, error);
        }
    } catch (const AppError &e) {
        Fail(path, e.message());
    }
}

void RefuseStandardOutput(const Invocation &inv, const char *name, const QString &what)
{
    if (inv.has(name) && IsStandardOutput(inv.value(name)))
        Usage(QStringLiteral("--%1 - (standard output) takes text only, not %2").arg(QString::fromLatin1(name), what));
}

}  // namespace cli

bool IsCommandLine(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return false;
    const QString &first = arguments[1];
    // The window opens no file of its own: a first word that is no option is a command, known
    // or mistyped, and a mistyped one gets the usage rather than a window. Qt's own options
    // ("-platform", "-style") keep starting the window.
    return !first.startsWith(u'-') || first.startsWith(QStringLiteral("--")) || first == QLatin1String("-h")
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
        return cli::Dispatch(argc, argv);
    } catch (const cli::CliFailure &f) {
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
    return TypedFieldText(kind, typed, before);
}

QString CliHelpText()
{
    return QStringLiteral(
        "Usage: tessary                      the window\n"
        "       tessary export (RUN.mea | --run ID) [-o RUN.csv] [--temperature T] [--enr DB | --enr-table FILE.tab]\n"
        "                      [--limits FILE] [--json FILE|-]\n"
        "       tessary report (RUN.mea | --run ID) -o RUN.pdf [--remarks FILE] [--title TEXT]\n"
        "       tessary measure (--port N | --host HOST [--tcp-port P | --vxi11 [--lan-device NAME]]\n"
        "                        | --gpib ADDR (--port N | --adapter-host HOST [--adapter-port P]))\n"
        "                       -o RUN.mea [--csv RUN.csv]\n"
        "                       [--start F] [--stop F] [--steps N] [--single F]\n"
        "                       [--rbw TEXT] [--vbw TEXT] [--average N] [--temperature T]\n"
        "                       [--enr DB | --enr-table FILE.tab] [--cal-only]\n"
        "       bench (export and measure): [--loss-before DB|FILE.csv [--loss-before-temp T]]\n"
        "                       [--loss-after DB|FILE.csv [--loss-after-temp T]]\n"
        "                       [--dut amplifier|down|up --lo F [--image-rejection DB|ssb]]\n"
        "                       [--cal-enr DB | --cal-enr-table FILE.tab] [--enr-file FILE]\n"
        "                       [--calibration CAL.cal [--max-age HOURS]] [--yes] [--limits FILE]\n"
        "                       [--json FILE|-] [--dut-name TEXT] [--serial TEXT] [--history PATH | --no-history]\n"
        "       tessary calibrate (--port N | --host HOST [--tcp-port P]) -o CAL.cal [plan and settings as measure]\n"
        "       tessary history [--dut TEXT] [--serial TEXT] [--since DATE] [--json] [--history PATH]\n"
        "       tessary --help | --version\n"
        "\n"
        "export   writes the measurement as CSV (default: RUN.csv beside RUN.mea), evaluated\n"
        "         with the room temperature T (default 21 \u00B0C) and the ENR the window would use\n"
        "         for it: the measurement's own source, the constant 5.52 dB or the tables of\n"
        "         default.tbl in the working folder.\n"
        "report   prints the test report into a PDF (A4, 10 mm margins); --title is the DUT,\n"
        "         --remarks a text file whose lines are the remarks.\n"
        "measure  connects, sets the analyser up, calibrates and measures: the noise source\n"
        "         goes straight to the analyser for the calibration, and the DUT is put in\n"
        "         between the passes (see below). --cal-only stops after the calibration. Settings not\n"
        "         given are the window's: the line from config.ini in the working folder, the\n"
        "         Options page's start-up values (RBW 3 MHz, VBW 10 Hz, averaging 10, 400 MHz to\n"
        "         500 MHz in 10 steps) and the ENR of default.tbl or 5.52 dB.\n"
        "\n"
        "With a bench, measure tunes the analyser to the IF of each step in both passes and\n"
        "gives the DUT's own gain and noise figure; -o RUN.nfm keeps the whole measurement with\n"
        "its bench, and export and report read it back without options.\n"
        "\n"
        "Frequencies and levels are read as the entry fields read them: 400M is 400 MHz, a bare\n"
        "number is MHz, 1.2G and \"1.2 GHz\" are 1.2 GHz; a temperature is \u00B0C unless it ends in K.\n"
        "\n"
        "measure stops between the passes with \"Connect the DUT between noise source and\n"
        "         analyser, then press Enter.\" and waits for Enter; --yes runs on (a switch\n"
        "         matrix swaps the DUT in); without a terminal and without --yes it refuses.\n"
        "         --calibration runs the measurement pass alone against a kept calibration of\n"
        "         the same plan and settings, at most --max-age hours old (24; 0: any age).\n"
        "calibrate runs the calibration pass alone and keeps it in CAL.cal.\n"
        "--limits  a limits file (lines \"kind, frequency, value\"); the verdict goes to stderr\n"
        "         and the CSV gains the limits and a pass/fail column.\n"
        "--json    the result as one JSON document, \"-\" for standard output.\n"
        "history  lists the runs kept in the history ($XDG_DATA_HOME/tessary/history.sqlite,\n"
        "         config.ini [History] Path= or --history); every measure records its run\n"
        "         there unless --no-history. --run ID takes a run from it.\n"
        "\n"
        "Exit status: 0 success (every tested point within the limits), 1 a point breaks the\n"
        "limits, 2 no result (a file or the analyser failed, or a wrong command line); a\n"
        "failure is one line on stderr naming the file or connection and the reason.\n");
}
