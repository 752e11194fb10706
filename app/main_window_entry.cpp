// The editing cycle of the value fields: entering empties the field, the key handler of the
// field's kind filters every typed character, Up recalls the old text, and leaving rewrites
// the field as number, blank, unit. The rules themselves live in app/core/entry_rules.h; the
// handlers here move text and caret between a field and those rules.

#include "app/core/entry_rules.h"
#include "app/entry_field_filter.h"
#include "app/main_window.h"
#include "app/key_character.h"
#include "app/widgets.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>

#include <algorithm>
#include <optional>

namespace {

const char *const kSelectorProperty = "selectorBox";

}  // namespace

// ---- The handlers ------------------------------------------------------------------------------

void TForm1::e_StartEnter(QLineEdit *field)
{
    SavedText = LimitEntryText(field->text());
    PendingUnit.clear();
    field->clear();
}

bool TForm1::e_StartKeyDown(QLineEdit *field, int key)
{
    return key == Qt::Key_Up && RecallEntryText(field, SavedText, PendingUnit);
}

void TForm1::e_StartKeyPress(QLineEdit *field, QChar &key)
{
    if (TypeEntryKey(EntryKind::Frequency, field, key, PendingUnit))
        StatusBar1->setFocus(Qt::OtherFocusReason);
}

void TForm1::e_TemperatureKeyPress(QLineEdit *field, QChar &key)
{
    if (TypeEntryKey(EntryKind::Temperature, field, key, PendingUnit))
        StatusBar1->setFocus(Qt::OtherFocusReason);
}

void TForm1::e_RangeKeyPress(QLineEdit *field, QChar &key)
{
    if (TypeEntryKey(EntryKind::Range, field, key, PendingUnit))
        StatusBar1->setFocus(Qt::OtherFocusReason);
}

void TForm1::e_RefLvlKeyPress(QLineEdit *field, QChar &key)
{
    if (TypeEntryKey(EntryKind::RefLevel, field, key, PendingUnit))
        StatusBar1->setFocus(Qt::OtherFocusReason);
}

void TForm1::Edit1KeyPress(QLineEdit *field, QChar &key)
{
    // The calculator's levels and the cascade values are typed in a row: the entry ends by
    // moving on to the next field.
    if (TypeEntryKey(EntryKind::Plain, field, key, PendingUnit))
        focusNextPrevChild(true);
}

void TForm1::e_StartExit(QLineEdit *field)
{
    field->setText(ApplyExitRule(field->text(), SavedText, PendingUnit));
    // The text that names the constant ENR in files and reports follows the constant.
    if (field == e_ENRall && rg_ENR->ItemIndex() == EnrAll)
        rg_ENRClick();
}

void TForm1::cb_COMExit(QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    const int index = SelectorIndexOnExit(items, box->currentText());
    if (index < 0)
        return;  // an empty list (cb_COM without ports) keeps the typed text
    box->setCurrentIndex(index);
    if (box->isEditable())
        box->setEditText(box->itemText(index));
}

// ---- Binding ----------------------------------------------------------------------------------

void TForm1::bindEntryFields()
{
    const auto bind = [this](QLineEdit *field, EntryKind kind) {
        PrepareEntryField(field, kind);
        field->installEventFilter(this);
    };
    for (QLineEdit *f : {e_Start, e_Stop, e_Single, e_Frequency})
        bind(f, EntryKind::Frequency);
    bind(e_Temperature, EntryKind::Temperature);
    for (QLineEdit *f : {e_Range, e_ENRall})
        bind(f, EntryKind::Range);
    for (QLineEdit *f : {e_RefLvl, e_Sweep})
        bind(f, EntryKind::RefLevel);
    for (QLineEdit *f : {e_n2off, e_n2on, e_n12off, e_n12on})
        bind(f, EntryKind::Plain);
    for (int k = 0; k < 20; ++k)
        bind(Edit[size_t(k)], EntryKind::Plain);

    for (QComboBox *box : {cb_vbw, cb_Average, cb_COM, cb_Baud, cb_Bits, cb_Handshake, cb_Parity, cb_StopBits}) {
        box->setProperty(kSelectorProperty, true);
        box->installEventFilter(this);
    }

    NoiseSource->bindEnrGrid();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched->property(kSelectorProperty).toBool()) {
        if (event->type() == QEvent::FocusOut && !IsPassingFocusChange(event)) {
            auto *box = static_cast<QComboBox *>(watched);
            guarded([this, box] { cb_COMExit(box); });
        }
        return QMainWindow::eventFilter(watched, event);
    }

    const std::optional<EntryKind> kind = EntryFieldKind(watched);
    if (!kind)
        return QMainWindow::eventFilter(watched, event);
    auto *field = static_cast<QLineEdit *>(watched);
    // Edit1 to Edit20 have the cascade's exit handler, which applies the same exit rule.
    const auto leave = [this](QLineEdit *f) {
        m_enteredField = nullptr;
        if (std::find(Edit.begin(), Edit.begin() + 20, f) != Edit.begin() + 20)
            guarded([this, f] { Edit1Exit(f); });
        else
            guarded([this, f] { e_StartExit(f); });
    };

    switch (event->type()) {
    case QEvent::FocusIn:
        if (IsPassingFocusChange(event) && m_enteredField == field)
            break;
        // A field that lost the focus while the window was inactive has not been left yet.
        if (m_enteredField && m_enteredField != field)
            leave(m_enteredField);
        m_enteredField = field;
        guarded([this, field] { e_StartEnter(field); });
        break;
    case QEvent::FocusOut:
        if (IsPassingFocusChange(event) || m_enteredField != field)
            break;
        leave(field);
        break;
    case QEvent::KeyPress: {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        bool consumed = false;
        guarded([&] { consumed = e_StartKeyDown(field, keyEvent->key()); });
        if (consumed)
            return true;
        const std::optional<QChar> typed = KeyCharacter(keyEvent, KeyReader::ValueField);
        if (!typed)
            break;
        QChar key = *typed;
        guarded([&] {
            switch (*kind) {
            case EntryKind::Frequency:
                e_StartKeyPress(field, key);
                break;
            case EntryKind::Temperature:
                e_TemperatureKeyPress(field, key);
                break;
            case EntryKind::Range:
                e_RangeKeyPress(field, key);
                break;
            case EntryKind::RefLevel:
                e_RefLvlKeyPress(field, key);
                break;
            case EntryKind::Plain:
                Edit1KeyPress(field, key);
                break;
            }
        });
        if (InsertLeftKey(field, key, *typed))
            return true;
        break;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}
