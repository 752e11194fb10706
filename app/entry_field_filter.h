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

class QLineEdit;
class QWidget;

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
