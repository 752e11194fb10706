#include "app/key_character.h"

#include "app/core/entry_rules.h"
#include "noise/enr_store.h"

#include <QKeyEvent>
#include <QKeySequence>

std::optional<QChar> KeyCharacter(const QKeyEvent *event, KeyReader reader)
{
    const bool grid = reader == KeyReader::Grid;
    switch (event->key()) {
    case Qt::Key_Backspace:
        return QChar(kKeyBackspace);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(kKeyEnter);
    case Qt::Key_Escape:
        return grid ? std::nullopt : std::optional<QChar>(QChar(kKeyEscape));
    case Qt::Key_Tab:
        return grid ? std::optional<QChar>(QChar(kGridKeyTab)) : std::nullopt;
    case Qt::Key_Backtab:
        return std::nullopt;
    default:
        break;
    }
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
        event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return QChar(0x16);
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return std::nullopt;
    const QString text = event->text();
    if (text.isEmpty() || text[0].unicode() == 0x7F)  // Delete arrives as DEL on some systems
        return std::nullopt;
    return text[0];
}
