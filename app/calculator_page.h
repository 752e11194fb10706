#pragma once
// The behaviour of the page "F - Calculator": the single-point calculator and the cascade of
// five stages with its diagram.

#include "cascade/cascade.h"
#include "cascade/diagram.h"
#include "noise/calculator.h"

class QCheckBox;
class QLineEdit;
class TForm1;

class CalculatorPage
{
public:
    explicit CalculatorPage(TForm1 &window) : w(window) {}

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

    void Edit1Exit(QLineEdit *field);
    void cb_Stage1Click(QCheckBox *box);
    void DrawCascade();
    void gfx2MouseDown();

private:
    TForm1 &w;
    bool m_lastCalculationFailed = false;
};
