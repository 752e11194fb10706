#pragma once
// The one seam through which the program asks the operator: message boxes, file dialogs and
// the print dialog. The program installs the widget implementation at start; tests install
// one that answers from a script and records what was asked.

#include <QString>
#include <QStringList>
#include <optional>

class QPrinter;

enum class MsgType { Information, Warning, Error, Confirmation };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgResult { Ok, Cancel, Yes, No };

/// The application's title, used as the caption of every message box.
inline QString AppTitle() { return QStringLiteral("Tessary"); }

/// The file dialogs' filter list, shared by ENR tables and measurement files.
inline QString FileFilter()
{
    return QStringLiteral("Tables (*.tab)|*.tab|Measure (*.mea)|*.mea|all Files (*.*)|*.*");
}
constexpr int kFilterTables = 1;   ///< 1-based index of "Tables (*.tab)"
constexpr int kFilterMeasure = 2;  ///< 1-based index of "Measure (*.mea)"

/// The filter list of "Save as ..." and "Load": the designed list, then complete measurement
/// files, so that the designed items keep their places.
inline QString MeasurementFileFilter()
{
    return FileFilter() + QStringLiteral("|Complete measurement (*.nfm)|*.nfm");
}

class Dialogs
{
public:
    virtual ~Dialogs() = default;

    /// A modal message box titled with the application's title. `defaultNo` makes No the
    /// default button of a Yes/No box.
    virtual MsgResult message(MsgType type, MsgButtons buttons, const QString &text,
                              bool defaultNo = false) = 0;

    /// Open or save dialog; `filter` in the "Name (*.x)|*.x|..." form, `filterIndex` 1-based.
    /// Returns the chosen path, or nothing when the operator cancels.
    virtual std::optional<QString> openFile(const QString &filter, int filterIndex) = 0;
    virtual std::optional<QString> saveFile(const QString &filter, int filterIndex) = 0;
    /// A save dialog that proposes `proposedPath` (folder and name); without its own
    /// implementation, the plain save dialog.
    virtual std::optional<QString> saveFileNamed(const QString &filter, int filterIndex, const QString &proposedPath)
    {
        (void)proposedPath;
        return saveFile(filter, filterIndex);
    }

    /// The print dialog; true when the operator confirms it (the printer is then set up).
    virtual bool choosePrinter(QPrinter &printer) = 0;
};

/// The installed seam (never null once the program or a test has set one).
Dialogs &dialogs();
/// Installs `d` (not owned) and returns the previous one.
Dialogs *setDialogs(Dialogs *d);

/// Shorthand for the commonest call.
inline MsgResult ShowMessage(MsgType type, MsgButtons buttons, const QString &text,
                             bool defaultNo = false)
{
    return dialogs().message(type, buttons, text, defaultNo);
}

/// Asks before a file of ours is replaced ("File exists !" / "Overwrite?", No by default):
/// true when `path` does not exist or the operator says Yes.
bool MayReplaceFile(const QString &path);
