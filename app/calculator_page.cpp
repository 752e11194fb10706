// The page "F - Calculator": the single-point calculator behind "Calculate!" and the cascade
// calculator, whose handlers copy field texts into the stage records, run the computation and
// write every field and the diagram back.
#include "app/calculator_page.h"

#include "app/core/dialogs.h"
#include "app/core/entry_rules.h"
#include "app/widgets.h"
#include "base/engvalue.h"
#include "noise/step_confidence.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

CalculatorPage::CalculatorPage(const CalculatorControls &controls, ::MeasurementRecord &record,
                               const ::UncertaintyInputs &uncertainty, std::function<int()> selectedStep)
    : c(controls), m_record(record), m_uncertainty(uncertainty), m_selectedStep(std::move(selectedStep))
{
}

CascadeFieldPlace DecodeCascadeTag(int tag)
{
    return {(tag / 16) % 8, tag % 8};
}

int CascadeFieldIndex(int stage, int row)
{
    return kCascadeRowCount * (stage - 1) + row - 1;
}

CascadeFieldTexts CascadeTexts(const CascadeState &state)
{
    CascadeFieldTexts out;
    for (int s = 1; s <= kCascadeStageCount; ++s) {
        const CascadeStage &st = state.stage(s);
        out.texts[size_t(CascadeFieldIndex(s, NoiseFactorRow))] = FormatValue(2, fvFromDb, st.StageNoiseFigureDb);
        out.texts[size_t(CascadeFieldIndex(s, NoiseFigureRow))] = FormatValue(2, 0, st.StageNoiseFigureDb);
        out.texts[size_t(CascadeFieldIndex(s, GainRow))] = FormatValue(2, 0, st.StageGainDb);
        out.texts[size_t(CascadeFieldIndex(s, Ip3OutRow))] = FormatValue(2, 0, st.StageIp3OutDbm);
    }

    const size_t totals = kCascadeStageCount * kCascadeRowCount;
    if (state.EnabledStages.isEmpty()) {
        out.totalsEnabled = false;
        for (int r = 0; r < kCascadeRowCount; ++r)
            out.texts[totals + size_t(r)] = QStringLiteral("-");
    } else {
        const CascadeStage &st = state.stage(state.LastStage);
        out.texts[totals + 0] = FormatValue(2, fvFromDb, st.TotalNoiseFigureDb);
        out.texts[totals + 1] = FormatValue(2, 0, st.TotalNoiseFigureDb);
        out.texts[totals + 2] = FormatValue(2, 0, st.TotalGainDb);
        out.texts[totals + 3] = FormatValue(2, 0, st.TotalIp3OutDbm);
    }
    return out;
}

CascadeFieldTexts ComputeCascadeTexts(CascadeState &state)
{
    ComputeCascade(state);
    return CascadeTexts(state);
}

void CalculatorPage::b_calcClick()
{
    CalculatePoint();
}

void CalculatorPage::CalculatePoint()
{
    const CalculatorFields fields{{c.e_n2off->text(), c.e_n2on->text(), c.e_n12off->text(), c.e_n12on->text()},
                                  c.e_Frequency->text(),
                                  c.e_Temperature->text()};
    m_lastCalculationFailed = false;
    // The room temperature is read from its field by the calculation itself, after the ENR.
    EvaluationContext context;
    context.enr = m_enr;
    ShowCalculation(CalculatePointFromFields(fields, context, m_record, m_selectedStep(),
                                             [this](const QString &text) { emit status(text); }));
    // The calculator's slot holds the levels, the ENR and the temperature just used.
    const UncertaintyResult u = m_lastCalculationFailed ? UncertaintyResult()
                                                        : CalculatorUncertainty(m_record, m_uncertainty);
    c.l_CalcUncertainty->setText(QStringLiteral("Uncertainty: ") + UncertaintyText(u));
}

void CalculatorPage::ShowCalculation(const CalculationResult &r)
{
    m_lastCalculationFailed = r.failed;
    if (r.failed) {
        // Whichever button the operator presses, nothing more happens.
        m_lastCalculationFailed = true;
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, CalculationErrorText());
        return;
    }
    c.result.l_gain->setText(r.gainText);
    c.result.l_NoiseFigure->setText(r.noiseFigureText);
}

void CalculatorPage::showLevel(LevelField field, const QString &text)
{
    QLineEdit *const fields[] = {c.e_n2off, c.e_n2on, c.e_n12off, c.e_n12on};
    fields[int(field)]->setText(text);
}

void CalculatorPage::showStepInputs(const LevelTexts &levels, const QString &frequencyText)
{
    c.e_n2off->setText(levels.n2off);
    c.e_n2on->setText(levels.n2on);
    c.e_n12off->setText(levels.n12off);
    c.e_n12on->setText(levels.n12on);
    c.e_Frequency->setText(frequencyText);
}

void CalculatorPage::ShowStepEvaluated(bool failed)
{
    m_lastCalculationFailed = failed;
    if (failed)
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, CalculationErrorText());
}

void CalculatorPage::Edit1Exit(QLineEdit *field, const QString &savedText, const QString &pendingUnit)
{
    // A field left empty or holding only a sign gets its old text back and keeps its value as
    // it was: the text shows two decimals, the value keeps all that the operator once typed.
    // (The rule restores exactly when it is given no saved text to restore.)
    const bool restored = ApplyExitRule(field->text(), QString(), QString()).isEmpty();
    const QString text = ApplyExitRule(field->text(), savedText, pendingUnit);
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

void CalculatorPage::cb_Stage1Click(QCheckBox *box)
{
    const int stage = box->property("Tag").toInt();
    const bool ticked = box->isChecked();
    SetStageEnabled(Cascade, stage, ticked);
    // The fields of an unticked stage keep their values; they only take no input.
    for (int row = 1; row <= kCascadeRowCount; ++row)
        c.Edit[size_t(CascadeFieldIndex(stage, row))]->setEnabled(ticked);
    DrawCascade();
}

void CalculatorPage::DrawCascade()
{
    const CascadeFieldTexts fields = ComputeCascadeTexts(Cascade);
    for (size_t k = 0; k < fields.texts.size(); ++k)
        c.Edit[k]->setText(fields.texts[k]);
    for (size_t k = kCascadeStageCount * kCascadeRowCount; k < c.Edit.size(); ++k)
        c.Edit[k]->setEnabled(fields.totalsEnabled);
    CascadeDiagram = ::DrawCascade(c.gfx2->canvas(), Cascade);
    c.gfx2->update();
}

void CalculatorPage::gfx2MouseDown()
{
    FillImage(c.gfx2->canvas(), Qt::white);
    DrawCascade();
}
