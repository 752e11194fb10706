#include "app/cli.h"

#include "app/cli_parts.h"
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

#include <cstdio>
#include <memory>
#include <optional>

namespace cli {

namespace {

const QStringList kCommands{QStringLiteral("export"), QStringLiteral("report"), QStringLiteral("measure"),
                            QStringLiteral("help")};

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
        {"enr-file", "FILE", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"loss-before", "DB|FILE.csv", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"loss-before-temp", "T", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"loss-after", "DB|FILE.csv", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"loss-after-temp", "T", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"dut", "TYPE", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"lo", "F", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"image-rejection", "DB", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"cal-enr", "DB", {QStringLiteral("export"), QStringLiteral("measure")}},
        {"cal-enr-table", "FILE", {QStringLiteral("export"), QStringLiteral("measure")}},
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

}  // namespace cli

bool IsCommandLine(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return false;
    const QString &first = arguments[1];
    return cli::kCommands.contains(first) || first.startsWith(QStringLiteral("--")) || first == QLatin1String("-h")
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
        "       bench (export and measure): [--loss-before DB|FILE.csv [--loss-before-temp T]]\n"
        "                       [--loss-after DB|FILE.csv [--loss-after-temp T]]\n"
        "                       [--dut amplifier|down|up --lo F [--image-rejection DB|ssb]]\n"
        "                       [--cal-enr DB | --cal-enr-table FILE.tab] [--enr-file FILE]\n"
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
        "With a bench, measure tunes the analyser to the IF of each step in both passes and\n"
        "gives the DUT's own gain and noise figure; -o RUN.nfm keeps the whole measurement with\n"
        "its bench, and export and report read it back without options.\n"
        "\n"
        "Frequencies and levels are read as the entry fields read them: 400M is 400 MHz, a bare\n"
        "number is MHz, 1.2G and \"1.2 GHz\" are 1.2 GHz; a temperature is \u00B0C unless it ends in K.\n"
        "\n"
        "Exit status: 0 success, 1 a file or the analyser failed, 2 a wrong command line; a\n"
        "failure is one line on stderr naming the file or connection and the reason.\n");
}
