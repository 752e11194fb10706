#include "app/entry_field_filter.h"

#include "app/guarded.h"
#include "app/key_character.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <optional>

namespace {

const char *const kKindProperty = "entryKind";

bool IsPassingFocusChange(const QEvent *event)
{
    const Qt::FocusReason reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

}  // namespace

EntryFieldFilter::EntryFieldFilter(QWidget *focusSink) : QObject(focusSink), m_sink(focusSink)
{
}

void EntryFieldFilter::bind(QLineEdit *field, EntryKind kind, ExtraKey extra)
{
    field->setProperty(kKindProperty, int(kind));
    // Typed keys are the only way into a value field: no context menu with Paste, no drops.
    field->setContextMenuPolicy(Qt::NoContextMenu);
    field->setAcceptDrops(false);
    if (extra)
        m_extra[field] = std::move(extra);
    field->installEventFilter(this);
}

void EntryFieldFilter::enter(QLineEdit *field)
{
    m_entered = field;
    m_savedText = LimitEntryText(field->text());
    m_pendingUnit.clear();
    field->clear();
}

void EntryFieldFilter::leave(QLineEdit *field)
{
    m_entered = nullptr;
    field->setText(ApplyExitRule(field->text(), m_savedText, m_pendingUnit));
}

bool EntryFieldFilter::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<QLineEdit *>(watched);
    const QVariant kindValue = watched->property(kKindProperty);
    if (!field || !kindValue.isValid())
        return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::FocusIn:
        if (IsPassingFocusChange(event) && m_entered == field)
            break;
        if (m_entered && m_entered != field)
            leave(m_entered);
        enter(field);
        break;
    case QEvent::FocusOut:
        if (IsPassingFocusChange(event) || m_entered != field)
            break;
        leave(field);
        break;
    case QEvent::KeyPress: {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        if (keyEvent->key() == Qt::Key_Up) {
            EntryText t{field->text(), field->cursorPosition()};
            if (RecallSavedText(t, m_savedText, m_pendingUnit)) {
                field->setText(t.text);
                field->setCursorPosition(t.cursor);
                return true;
            }
        }
        const std::optional<QChar> typed = KeyCharacter(keyEvent, KeyReader::ValueField);
        if (!typed)
            break;
        bool endEntry = false;
        QChar key = *typed;
        const auto extra = m_extra.find(field);
        QString text = field->text();
        if (extra != m_extra.end() && extra->second(key, text, m_pendingUnit)) {
            field->setText(text);
            key = QChar();
            endEntry = true;
        } else {
            EntryText t{field->text(), field->cursorPosition()};
            const QString before = t.text;
            const int caretBefore = t.cursor;
            const EntryKeyResult r = EntryKeyPress(EntryKind(kindValue.toInt()), t, key, m_pendingUnit);
            m_pendingUnit = LimitEntryText(m_pendingUnit);
            if (t.text != before)
                field->setText(t.text);
            if (t.text != before || t.cursor != caretBefore)
                field->setCursorPosition(t.cursor);
            key = r.key;
            endEntry = r.endEntry;
        }
        if (endEntry) {
            m_sink->setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (key.isNull())
            return true;
        if (key == *typed)
            break;  // typed as it came
        field->insert(QString(key));
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
