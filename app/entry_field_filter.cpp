#include "app/entry_field_filter.h"

#include "app/guarded.h"
#include "app/key_character.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <optional>

namespace {

const char *const kKindProperty = "entryKind";

}  // namespace

void PrepareEntryField(QLineEdit *field, EntryKind kind)
{
    field->setProperty(kKindProperty, int(kind));
    field->setContextMenuPolicy(Qt::NoContextMenu);
    field->setAcceptDrops(false);
}

std::optional<EntryKind> EntryFieldKind(const QObject *object)
{
    const QVariant kind = object->property(kKindProperty);
    if (!kind.isValid() || !qobject_cast<const QLineEdit *>(object))
        return std::nullopt;
    return EntryKind(kind.toInt());
}

bool IsPassingFocusChange(const QEvent *focusEvent)
{
    const Qt::FocusReason reason = static_cast<const QFocusEvent *>(focusEvent)->reason();
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

bool RecallEntryText(QLineEdit *field, const QString &savedText, QString &pendingUnit)
{
    EntryText t{field->text(), field->cursorPosition()};
    if (!RecallSavedText(t, savedText, pendingUnit))
        return false;
    field->setText(t.text);
    field->setCursorPosition(t.cursor);
    return true;
}

bool TypeEntryKey(EntryKind kind, QLineEdit *field, QChar &key, QString &pendingUnit)
{
    EntryText t{field->text(), field->cursorPosition()};
    const QString before = t.text;
    const int caretBefore = t.cursor;
    const EntryKeyResult r = EntryKeyPress(kind, t, key, pendingUnit);
    pendingUnit = LimitEntryText(pendingUnit);
    if (t.text != before)
        field->setText(t.text);
    if (t.text != before || t.cursor != caretBefore)
        field->setCursorPosition(t.cursor);
    key = r.key;
    return r.endEntry;
}

bool InsertLeftKey(QLineEdit *field, QChar key, QChar typed)
{
    if (key.isNull())
        return true;
    if (key == typed)
        return false;  // typed as it came
    field->insert(QString(key));
    return true;
}

EntryFieldFilter::EntryFieldFilter(QWidget *focusSink) : QObject(focusSink), m_sink(focusSink)
{
}

void EntryFieldFilter::bind(QLineEdit *field, EntryKind kind, ExtraKey extra)
{
    PrepareEntryField(field, kind);
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
    const std::optional<EntryKind> kind = EntryFieldKind(watched);
    if (!kind)
        return QObject::eventFilter(watched, event);
    auto *field = static_cast<QLineEdit *>(watched);

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
        if (keyEvent->key() == Qt::Key_Up && RecallEntryText(field, m_savedText, m_pendingUnit))
            return true;
        const std::optional<QChar> typed = KeyCharacter(keyEvent, KeyReader::ValueField);
        if (!typed)
            break;
        QChar key = *typed;
        bool endEntry = false;
        const auto extra = m_extra.find(field);
        QString text = field->text();
        if (extra != m_extra.end() && extra->second(key, text, m_pendingUnit)) {
            field->setText(text);
            key = QChar();
            endEntry = true;
        } else {
            endEntry = TypeEntryKey(*kind, field, key, m_pendingUnit);
        }
        if (endEntry) {
            m_sink->setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (InsertLeftKey(field, key, *typed))
            return true;
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
