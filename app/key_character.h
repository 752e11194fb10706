#pragma once
// The character a key press produces, as the classic key handlers of the value fields and the
// ENR grid see it.

#include <QChar>
#include <optional>

class QKeyEvent;

/// Who reads the key: a value field ends its entry on Escape and leaves Tab to the focus
/// chain; the grid's cell editor handles Escape itself (it reverts the cell) and passes Tab on
/// to the key handler, which ends the cell with it.
enum class KeyReader { ValueField, Grid };

/// Backspace, Enter, and Escape or Tab as control characters, printable keys as they come;
/// paste, cut, undo and redo as one character that every key rule swallows (they would put
/// text into a field past the rules); nothing for keys that only move the caret or the focus.
std::optional<QChar> KeyCharacter(const QKeyEvent *event, KeyReader reader);
