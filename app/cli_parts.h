#pragma once
// What the parts of the command line share: the failure that ends a command, the parsed
// invocation, the option readers and the ENR, temperature and CSV every evaluating command
// uses. cli.cpp parses and dispatches, cli_files.cpp holds export and report, cli_measure.cpp
// holds measure and its window-free sequencer host. Internal to the command line.

#include "app/cli.h"
#include "app/results_out.h"
#include "noise/bench_setup.h"
#include "noise/limits.h"
#include "noise/measurement_record.h"
#include "results/bench_export.h"
#include "results/limit_results.h"
#include "results/nfm_file.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace cli {

/// A failure that ends the command: what it concerns (a file, the connection) and why.
struct CliFailure
{
    QString subject;
    QString reason;
    int status = CliFailed;
};

[[noreturn]] void Fail(const QString &subject, const QString &reason, int status = CliFailed);
[[noreturn]] void Usage(const QString &reason);
void Note(const QString &text);

/// The parsed command line: the command, its file and the options given.
struct Invocation
{
    QCommandLineParser parser;
    QString command;
    QString file;

    bool has(const char *name) const { return parser.isSet(QString::fromLatin1(name)); }
    QString value(const char *name) const { return parser.value(QString::fromLatin1(name)); }
};

/// A value option read as its field reads typed text; `what` names it in a failure.
QString FieldValue(const Invocation &inv, const char *name, EntryKind kind, const QString &designed);

/// A selector option: the item it names (letter case ignored), as the box selects it on leaving.
int SelectorValue(const Invocation &inv, const char *name, const QStringList &items, int designed);

int IntegerValue(const Invocation &inv, const char *name, int low, int high, int designed);

/// The ENR in use and the text that names it, as the "Noise Source" page would have them.
struct EnrChoice
{
    EnrSource source;
    QString noiseSourceText;
    /// The name the CSV gives the source: a table that came from no file by its caption alone.
    QString csvSourceText;
    QString fileName;  ///< the table's file, when one was read
};

/// --enr or --enr-table when given; otherwise the window's: the constant "5.52 dB" and the
/// tables of default.tbl in the working folder, with `mode` (the shown table of default.tbl for
/// a new measurement, the measurement's own source for a loaded one; -1: default.tbl decides).
EnrChoice ChooseEnr(const Invocation &inv, int mode);

double RoomTemperatureK(const Invocation &inv);
/// The context the steps are evaluated in: the ENR chosen and the room temperature given.
EvaluationContext ContextOf(const EnrChoice &enr, double roomK);
/// True for "-", the name of standard output.
bool IsStandardOutput(const QString &path);
/// Writes the CSV to `path`, or to standard output for "-", evaluated in `context`, its source
/// named `sourceText`; `measured` (invalid when the source holds no time) goes into the
/// "# Measured:" line.
void WriteCsv(const QString &path, const MeasurementRecord &record, const EvaluationContext &context,
              const QString &sourceText, const QDateTime &measured = QDateTime(),
              const QList<CsvColumn> &extra = {});
/// Refuses "-" as the value of option `name`, whose file is `what` ("a PDF").
void RefuseStandardOutput(const Invocation &inv, const char *name, const QString &what);

/// ChooseEnr, or the ENR data file of --enr-file as table 1.
EnrChoice ChooseEnrOrFile(const Invocation &inv, int mode);

/// The bench of --loss-before ... --cal-enr-table; usage errors for what does not fit.
struct BenchChoice
{
    BenchSetup bench;
    std::optional<NfmEnrSource> calibration;  ///< --cal-enr or --cal-enr-table
};
BenchChoice ChooseBench(const Invocation &inv);
/// True when the bench leaves its defaults.
bool BenchGiven(const BenchChoice &bench);
/// The complete measurement of a record with the command line's choices.
CompleteMeasurement CompleteOf(const MeasurementRecord &record, const EnrChoice &enr, const BenchChoice &bench,
                               double roomK);
/// The context of the command line's choices, bench included.
EvaluationContext BenchContextOf(const EnrChoice &enr, const BenchChoice &bench, double roomK);
/// The CSV of a complete measurement, written atomically; `extraColumns` (the limits') follow
/// every other column.
void WriteBenchCsv(const QString &path, const CompleteMeasurement &m, const QList<CsvColumn> &extraColumns = {});
// ---- Limits, the verdict, the history (cli_production.cpp) ----

/// The limits of --limits, or an empty set without it; a file that cannot be read or holds a
/// malformed line ends the command.
LimitSet LimitsOption(const Invocation &inv);

/// Every step of the record against the limits, from the same rows as the CSV.
QList<StepLimitResult> StepResults(const MeasurementRecord &record, const EvaluationContext &context,
                                   const LimitSet &limits);

/// Prints the verdict on stderr; CliVerdictFailed when a point fails, CliOk otherwise.
int ReportVerdict(const LimitSet &limits, const QList<StepLimitResult> &results);

/// The history of --history, of config.ini's [History] Path= or the default.
QString HistoryPathOption(const Invocation &inv);

/// Records the finished measurement, complete, in the history unless --no-history; a history
/// that cannot be written is said once on stderr and changes nothing else.
void RecordRun(const Invocation &inv, const CompleteMeasurement &measurement, const LimitSet &limits,
               const QList<StepLimitResult> &results, const QString &calibration);

/// The measurement of --run ID from the history; `complete` tells whether the run holds a
/// complete measurement or, recorded by an earlier version, only its record.
CompleteMeasurement HistoryRunMeasurement(const Invocation &inv, bool *complete = nullptr);

/// The JSON document of --json.
void WriteJson(const Invocation &inv, const MeasurementRecord &record, const EvaluationContext &context,
               const QString &enrSourceText, const LimitSet &limits, const QList<StepLimitResult> &results,
               const QString &calibration);

int RunHistory(const Invocation &inv);

int RunExport(const Invocation &inv);
int RunReport(const Invocation &inv);
int RunMeasure(const Invocation &inv);

}  // namespace cli
