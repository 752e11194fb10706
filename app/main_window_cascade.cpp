#include "app/main_window.h"

#include "base/engvalue.h"
#include "app/core/entry_rules.h"
#include "app/widgets.h"

#include <QCheckBox>
#include <QLineEdit>

// The cascade calculator of the page "F - Calculator": the handlers copy field texts into the
// stage records, run the computation and write every field and the diagram back.

void TForm1::Edit1Exit(QLineEdit *field)
{
    // A field left empty or holding only a sign gets its old text back and keeps its value as
    // it was: the text shows two decimals, the value keeps all that the operator once typed.
    // (The rule restores exactly when it is given no saved text to restore.)
    const bool restored = ApplyExitRule(field->text(), QString(), QString()).isEmpty();
    const QString text = ApplyExitRule(field->text(), SavedText, PendingUnit);
    field->setText(text);
    if (!restored) {
        const CascadeFieldPlace place = DecodeCascadeTag(field->property("Tag").toInt());
        double value = 0;
        try {
            // The blank and unit only make the bare number pass unchanged.
            value = ParseValue(text + QStringLiteral(" Hz"));
        } catch (...) {
            // Not a number: the field shows its stored value again before the error is reported.
            DrawCascade();
            throw;
        }
        StoreStageValue(Cascade, place.stage, place.row, value);
    }
    DrawCascade();
}

void TForm1::cb_Stage1Click(QCheckBox *box)
{
    const int stage = box->property("Tag").toInt();
    const bool ticked = box->isChecked();
    SetStageEnabled(Cascade, stage, ticked);
    // The fields of an unticked stage keep their values; they only take no input.
    for (int row = 1; row <= kCascadeRowCount; ++row)
        Edit[size_t(CascadeFieldIndex(stage, row))]->setEnabled(ticked);
    DrawCascade();
}

void TForm1::DrawCascade()
{
    const CascadeFieldTexts fields = ComputeCascade(Cascade);
    for (size_t k = 0; k < fields.texts.size(); ++k)
        Edit[k]->setText(fields.texts[k]);
    for (size_t k = kCascadeStageCount * kCascadeRowCount; k < Edit.size(); ++k)
        Edit[k]->setEnabled(fields.totalsEnabled);
    CascadeDiagram = ::DrawCascade(gfx2->canvas(), Cascade);
    gfx2->update();
}

void TForm1::gfx2MouseDown()
{
    FillImage(gfx2->canvas(), Qt::white);
    DrawCascade();
}
