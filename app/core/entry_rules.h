#pragma once
// Editing rules of the value fields, without any widget. The operator types only the number;
// the unit comes from the field's kind and from a unit key, and leaving the field rewrites it
// as number, blank, unit. The main window's key, key-down and exit handlers call these
// functions with the field's text and caret and write the result back. The ENR column of the
// noise source's grid has rules of its own, at the end.
//
// Characters are those a key produces: Backspace is kKeyBackspace, Enter kKeyEnter, Escape
// kKeyEscape and Tab (in the grid) kGridKeyTab; a null QChar stands for a swallowed key.

#include <QChar>
#include <QString>
#include <QStringList>

inline constexpr char16_t kKeyBackspace = 8;
inline constexpr char16_t kKeyEnter = 13;
inline constexpr char16_t kKeyEscape = 27;
inline constexpr char16_t kGridKeyTab = 9;

/// Which key handler a value field uses.
enum class EntryKind {
    Frequency,    ///< e_StartKeyPress: e_Start, e_Stop, e_Single, e_Frequency
    Temperature,  ///< e_TemperatureKeyPress: e_Temperature
    Range,        ///< e_RangeKeyPress: e_Range, e_ENRall
    RefLevel,     ///< e_RefLvlKeyPress: e_RefLvl, e_Sweep
    Plain,        ///< Edit1KeyPress: the four calculator levels and the cascade fields
};


/// Longest SavedText and PendingUnit kept.
inline constexpr int kEntryTextLimit = 64;

/// The text of the field being edited and its caret position (0 .. text length).
struct EntryText
{
    QString text;
    int cursor = 0;
};

/// What a typed character does.
struct EntryKeyResult
{
    QChar key;              ///< the character to type (maybe replaced); null when swallowed
    bool endEntry = false;  ///< the entry ends: the focus leaves the field
};

/// The unit that every key press of this kind sets first (" MHz", " °C", " dB", " dBm", or
/// empty for the plain fields).
QString DefaultUnit(EntryKind kind);

/// Applies one typed character to the field. Sets `pendingUnit` to the kind's default unit,
/// then to the unit of a unit key; may rewrite `field` (the "0." start, the sign toggle of the
/// plain fields, Escape emptying the field). The character is typed only when the result's key
/// is not null, and then at the caret as usual.
EntryKeyResult EntryKeyPress(EntryKind kind, EntryText &field, QChar key, QString &pendingUnit);

/// The Up arrow in an empty field: the saved text comes back for editing. The part of
/// `savedText` before its first blank becomes the field's text (caret at the end) and the rest,
/// from the blank on, the pending unit; without a blank the pending unit is all of `savedText`
/// and the field stays empty. Returns false (nothing changed) when the field is not empty.
bool RecallSavedText(EntryText &field, const QString &savedText, QString &pendingUnit);

/// The text a field reads after it is left: an empty field, or one holding only "-", gets its
/// saved text back; otherwise a trailing "." is dropped and the pending unit appended. A text
/// that is only "-" once its point is dropped gets the saved text back as well.
QString ApplyExitRule(const QString &text, const QString &savedText, const QString &pendingUnit);

/// The text a field of `kind` holding `before` reads once `typed` has been typed into it, key by
/// key, and the field left: "400M" gives "400 MHz", "2.5" in a frequency field "2.5 MHz".
QString TypedFieldText(EntryKind kind, const QString &typed, const QString &before);

/// A frequency typed as into a frequency field, in Hz: "400M" and "400" are 400 MHz, "1.2G" and
/// "1.2 GHz" 1.2 GHz. Throws EConvertError as the field's reading does.
double ReadTypedFrequencyHz(const QString &typed);

/// `text` cut to the 64 characters that SavedText and PendingUnit keep.
QString LimitEntryText(const QString &text);

/// The item a selector box selects when it is left holding `text`: the item with that text
/// (letter case ignored), else item 0; -1 when the list is empty.
int SelectorIndexOnExit(const QStringList &items, const QString &text);

// ---- Editing the ENR column of the grid -----------------------------------------------------

/// What a character typed into an ENR cell does.
struct EnrCellKeyResult
{
    QChar key;              ///< the character to type (maybe replaced); null when refused
    bool nextRow = false;   ///< Enter or Tab: the cell is normalised and the next row selected
};

/// Digits and Backspace are typed; "." and "," become "." unless the cell is empty or holds a
/// "." already; Enter and Tab end the cell (the caller normalises it and selects the next row,
/// and passes the key on); everything else, "-" and letters included, is refused.
EnrCellKeyResult EnrCellKeyPress(const QString &cellText, QChar key);

/// An ENR cell as it stands after it is left: when the cell's first "." is its last character,
/// that point is dropped ("5." gives "5"), and an empty cell becomes "0".
QString NormaliseEnrCell(const QString &cellText);

/// The row below `row` (0-based), from the last row back to the first.
int NextEnrRow(int row);
