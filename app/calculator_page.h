#pragma once
// The behaviour of the page "F - Calculator": the single-point calculator and the cascade of
// five stages with its diagram.

#include "app/page.h"
#include "cascade/cascade.h"
#include "cascade/diagram.h"
#include "noise/calculator.h"
#include "noise/enr_source.h"
#include "noise/uncertainty.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>

class ImageView;
class QCheckBox;
class QLabel;
class QLineEdit;
struct MeasurementRecord;

/// Twenty stage fields (Edit1 .. Edit20) and the four totals (Edit21 .. Edit24).
constexpr int kCascadeFieldCount = kCascadeStageCount * kCascadeRowCount + kCascadeRowCount;

/// Place of a cascade entry field on the grid, decoded from its Tag (16 × stage + row).
struct CascadeFieldPlace
{
    int stage = 0;
    int row = 0;
};

/// stage = (Tag div 16) mod 8, row = Tag mod 8.
CascadeFieldPlace DecodeCascadeTag(int tag);

/// Index 0 .. 19 of the stage field at (stage, row) in Edit1 .. Edit20, stage 1 .. 5 and row
/// 1 .. 4: stage s holds Edit(4s-3) .. Edit(4s).
int CascadeFieldIndex(int stage, int row);

/// What the 24 fields show after a computation.
struct CascadeFieldTexts
{
    /// Edit1 .. Edit24: texts[k - 1] belongs to Edit<k>.
    std::array<QString, kCascadeFieldCount> texts;
    /// The total fields are enabled unless no stage is ticked (they then show "-").
    bool totalsEnabled = true;
};

/// The texts of all 24 fields for the stages and totals as ComputeCascade left them, with two
/// decimals; the noise-factor form keeps its trailing blank. The totals are the last enabled
/// stage's.
CascadeFieldTexts CascadeTexts(const CascadeState &state);

/// ComputeCascade, then the texts of the fields.
CascadeFieldTexts ComputeCascadeTexts(CascadeState &state);

/// The controls of the page "F - Calculator" (with the fields of gb_TempFreq it reads).
struct CalculatorControls
{
    QLineEdit *e_n2off = nullptr;
    QLineEdit *e_n2on = nullptr;
    QLineEdit *e_n12off = nullptr;
    QLineEdit *e_n12on = nullptr;
    QLineEdit *e_Frequency = nullptr;
    QLineEdit *e_Temperature = nullptr;
    QLabel *l_CalcUncertainty = nullptr;
    ResultLine result;
    std::array<QLineEdit *, 24> Edit{};  ///< Edit1 .. Edit24
    ImageView *gfx2 = nullptr;
};

class CalculatorPage : public QObject
{
    Q_OBJECT

public:
    /// `selectedStep` tells the step the graph's selector stands at, where "Calculate!" also
    /// stores its result.
    CalculatorPage(const CalculatorControls &controls, ::MeasurementRecord &record,
                   const ::UncertaintyInputs &uncertainty, std::function<int()> selectedStep);

    ::CascadeState Cascade;           ///< the five stages and the ticked set
    ::CascadeDrawing CascadeDiagram;  ///< what the last redraw put on gfx2

    void b_calcClick();
    void CalculatePoint();
    /// True when the last CalculatePoint ended in an arithmetic failure ("Error by calculating!").
    bool lastCalculationFailed() const { return m_lastCalculationFailed; }
    /// Shows the result of a calculation: its labels, or the error box of an arithmetic failure.
    void ShowCalculation(const CalculationResult &result);
    /// The step display evaluated a step (and shows its labels itself): the error box of an
    /// arithmetic failure.
    void ShowStepEvaluated(bool failed);

    /// The cascade field left; `savedText` and `pendingUnit` are its entry's, as the window kept them.
    void Edit1Exit(QLineEdit *field, const QString &savedText, const QString &pendingUnit);
    void cb_Stage1Click(QCheckBox *box);
    void DrawCascade();
    void gfx2MouseDown();

    /// The ENR in use, as the Noise Source page publishes it.
    void setEnrSource(const EnrSource &source) { m_enr = source; }
    /// A level of a pass, or of the step display, in its field.
    void showLevel(LevelField field, const QString &text);
    /// The step display's inputs: the four levels and the step's frequency.
    void showStepInputs(const LevelTexts &levels, const QString &frequencyText);

signals:
    /// A text for the status bar.
    void status(const QString &text);

private:
    CalculatorControls c;
    ::MeasurementRecord &m_record;
    const ::UncertaintyInputs &m_uncertainty;
    std::function<int()> m_selectedStep;
    EnrSource m_enr;
    bool m_lastCalculationFailed = false;
};
