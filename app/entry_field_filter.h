#pragma once
// The editing cycle of the value fields for the fields of a dialog: entering empties the field,
// the rule of the field's kind filters every typed character, Up recalls the old text, and
// leaving rewrites the field as number, blank, unit, exactly as the main window's fields do.
// An entry that a unit key or Enter ends moves the focus to the dialog itself, a place that
// takes no input, as the main window's fields move it to the status bar.

#include "app/core/entry_rules.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <optional>

class QEvent;
class QLineEdit;
class QWidget;

// The pieces of the editing cycle that the main window's fields and a dialog's fields share.

/// Marks `field` as a value field of `kind`: typed keys become the only way into it (no context
/// menu with Paste, no drops).
void PrepareEntryField(QLineEdit *field, EntryKind kind);
/// The kind a prepared field follows, nothing for any other object.
std::optional<EntryKind> EntryFieldKind(const QObject *object);
/// Focus changes that are not the operator moving between controls: the window losing or
/// regaining activation, or a popup opening. The entry stays under way across them.
bool IsPassingFocusChange(const QEvent *focusEvent);
/// Up recalls the text the field had before the entry: true when it did.
bool RecallEntryText(QLineEdit *field, const QString &savedText, QString &pendingUnit);
/// Runs the rule of `kind` on the field for one typed character and writes back what it
/// changed; `key` becomes what is left to insert. Returns true when the entry ends.
bool TypeEntryKey(EntryKind kind, QLineEdit *field, QChar &key, QString &pendingUnit);
/// Inserts what a rule left of a typed key: true when the key event is consumed, false when it
/// goes on to the field as it came.
bool InsertLeftKey(QLineEdit *field, QChar key, QChar typed);

class EntryFieldFilter : public QObject
{
    Q_OBJECT
public:
    /// `focusSink` receives the focus when an entry ends.
    explicit EntryFieldFilter(QWidget *focusSink);

    /// A key the field's kind does not know: returns true when it took the key. It may write
    /// the field's text and the pending unit; the entry then ends.
    using ExtraKey = std::function<bool(QChar key, QString &text, QString &pendingUnit)>;

    /// The field follows the rules of `kind` from now on.
    void bind(QLineEdit *field, EntryKind kind, ExtraKey extra = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void enter(QLineEdit *field);
    void leave(QLineEdit *field);
    QWidget *m_sink;
    QString m_savedText;
    QString m_pendingUnit;
    QPointer<QLineEdit> m_entered;
    std::map<QLineEdit *, ExtraKey> m_extra;
};
