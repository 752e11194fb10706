#include "app/core/entry_rules.h"

#include "base/engvalue.h"
#include "noise/enr_lookup.h"

#include <optional>

namespace {

/// The unit a unit key of `kind` chooses, or nothing when `key` is no unit key.
/// Enter is the unit key of the default unit; in the plain fields it ends the entry without one.
std::optional<QString> UnitOfKey(EntryKind kind, QChar key)
{
    const char16_t c = key.unicode();
    switch (kind) {
    case EntryKind::Frequency:
        if (c == u'G' || c == u'g')
            return QStringLiteral(" GHz");
        if (c == u'M' || c == u'm' || c == kKeyEnter)
            return QStringLiteral(" MHz");
        if (c == u'K' || c == u'k')
            return QStringLiteral(" kHz");
        if (c == u'H' || c == u'h')
            return QStringLiteral(" Hz");
        break;
    case EntryKind::Temperature:
        if (c == u'C' || c == u'c' || c == kKeyEnter)
            return QStringLiteral(" °C");
        if (c == u'K' || c == u'k')
            return QStringLiteral(" K");
        break;
    case EntryKind::Range:
        if (c == u'D' || c == u'd' || c == kKeyEnter)
            return QStringLiteral(" dB");
        break;
    case EntryKind::RefLevel:
        if (c == u'D' || c == u'd' || c == kKeyEnter)
            return QStringLiteral(" dBm");
        break;
    case EntryKind::Plain:
        if (c == kKeyEnter)
            return QString();
        break;
    }
    return std::nullopt;
}

}  // namespace

QString DefaultUnit(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Frequency:
        return QStringLiteral(" MHz");
    case EntryKind::Temperature:
        return QStringLiteral(" °C");
    case EntryKind::Range:
        return QStringLiteral(" dB");
    case EntryKind::RefLevel:
        return QStringLiteral(" dBm");
    case EntryKind::Plain:
        break;
    }
    return QString();
}

EntryKeyResult EntryKeyPress(EntryKind kind, EntryText &field, QChar key, QString &pendingUnit)
{
    pendingUnit = DefaultUnit(kind);
    const char16_t c = key.unicode();

    if ((c >= u'0' && c <= u'9') || c == kKeyBackspace)
        return {key, false};

    if (c == u'.' || c == u',') {
        if (field.text.contains(u'.'))
            return {};
        if (!field.text.isEmpty())
            return {QChar(u'.'), false};
        // A leading point would not read as a number: start the field as "0.".
        field.text = QStringLiteral("0.");
        field.cursor = 2;
        return {};
    }

    if (c == kKeyEscape) {
        // Emptied, the field gets its saved text back when it is left: the edit is cancelled.
        field.text.clear();
        field.cursor = 0;
        return {QChar(), true};
    }

    if (const std::optional<QString> unit = UnitOfKey(kind, key)) {
        pendingUnit = *unit;
        return {QChar(), true};
    }

    if (c == u'-') {
        if (kind == EntryKind::RefLevel && field.text.isEmpty())
            return {key, false};
        if (kind == EntryKind::Plain) {
            if (field.text.isEmpty())
                field.text = QStringLiteral("-");
            else if (field.text.startsWith(u'-'))
                field.text.remove(0, 1);
            else
                field.text.prepend(u'-');
            field.cursor = int(field.text.size());
        }
        return {};
    }

    return {};
}

bool RecallSavedText(EntryText &field, const QString &savedText, QString &pendingUnit)
{
    if (!field.text.isEmpty())
        return false;
    const qsizetype blank = savedText.indexOf(u' ');
    if (blank < 0) {
        pendingUnit = LimitEntryText(savedText);
        return true;
    }
    pendingUnit = LimitEntryText(savedText.mid(blank));
    field.text = savedText.left(blank);
    field.cursor = int(field.text.size());
    return true;
}

QString ApplyExitRule(const QString &text, const QString &savedText, const QString &pendingUnit)
{
    const QString minus = QStringLiteral("-");
    if (text.isEmpty() || text == minus)
        return savedText;
    QString result = text;
    if (result.size() >= 2 && result.endsWith(u'.'))
        result.chop(1);
    // "-." loses its point and would leave a lone sign, which is no number either.
    if (result == minus)
        return savedText;
    return result + pendingUnit;
}

QString LimitEntryText(const QString &text)
{
    return text.left(kEntryTextLimit);
}

int SelectorIndexOnExit(const QStringList &items, const QString &text)
{
    if (items.isEmpty())
        return -1;
    for (int i = 0; i < items.size(); ++i) {
        if (items[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return 0;
}

QString TypedFieldText(EntryKind kind, const QString &typed, const QString &before)
{
    EntryText field;
    QString pendingUnit;
    for (const QChar key : typed) {
        const EntryKeyResult r = EntryKeyPress(kind, field, key, pendingUnit);
        if (!r.key.isNull()) {
            field.text.insert(field.cursor, r.key);
            ++field.cursor;
        }
        if (r.endEntry)
            break;
    }
    return ApplyExitRule(field.text, before, pendingUnit);
}

double ReadTypedFrequencyHz(const QString &typed)
{
    return ParseValue(TypedFieldText(EntryKind::Frequency, typed, QString()));
}

EnrCellKeyResult EnrCellKeyPress(const QString &cellText, QChar key)
{
    const char16_t c = key.unicode();
    if ((c >= u'0' && c <= u'9') || c == kKeyBackspace)
        return {key, false};
    if (c == u'.' || c == u',') {
        // No leading point and no second one: the cell stays a plain decimal number.
        if (cellText.isEmpty() || cellText.contains(u'.'))
            return {};
        return {QChar(u'.'), false};
    }
    if (c == kKeyEnter || c == kGridKeyTab)
        return {key, true};
    return {};
}

QString NormaliseEnrCell(const QString &cellText)
{
    QString text = cellText;
    const qsizetype point = text.indexOf(u'.');
    if (point >= 0 && point == text.size() - 1)
        text.chop(1);
    if (text.isEmpty())
        text = QStringLiteral("0");
    return text;
}

int NextEnrRow(int row)
{
    return (row + 1) % kEnrRows;
}
