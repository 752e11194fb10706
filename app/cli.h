#pragma once
// The command line of the tessary executable: export a measurement as CSV, print its report
// into a PDF, or run a whole measurement against the analyser, all without a window and
// without a display. The commands reuse what the window uses (the measurement file codec, the
// evaluation, the CSV writer, the report painter, the sweep plan, the set-up, AnalyserLink and
// its sequencer), so a file looks the same whichever side wrote it.
//
// Every command ends with status 0 on success, 1 when a point of the measurement breaks the
// limits given with --limits, and 2 for any failure to produce a result (a file, the analyser,
// a wrong command line), which also prints one line on stderr:
// "tessary: <file or connection>: <reason>".

#include "app/core/entry_rules.h"

#include <QString>
#include <QStringList>

/// Exit statuses of the command line.
enum CliStatus : int { CliOk = 0, CliVerdictFailed = 1, CliFailed = 2, CliUsage = 2 };

/// True when the arguments ask for the command line instead of the window: a first argument
/// that is a word (one of the commands "export", "report", "measure", "help", or a mistyped
/// one, which gets the usage), starts with "--" or is "-h" or "-v". Qt's own options
/// ("-platform", "-style") keep starting the window.
bool IsCommandLine(const QStringList &arguments);

/// Runs the command line on `arguments` (the program name first) and returns the exit status.
/// Creates its own application object; none may exist yet.
int RunCommandLine(int argc, char **argv);

/// The text a value field of `kind` holds after `typed` has been typed into it, key by key,
/// and the field has been left: the window's entry rules, so "400M" reads "400 MHz" and
/// "1.2 GHz" stays as it is. `before` is the field's text before the entry (what an empty
/// entry falls back to).
QString FieldTextOf(EntryKind kind, const QString &typed, const QString &before);

/// The usage text of --help.
QString CliHelpText();
