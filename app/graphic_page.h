#pragma once
// The behaviour of the page "Graphic": the result graph and the step display, and the
// measurement files of the "File" menu.

#include "noise/measurement_record.h"
#include "noise/evaluation.h"
#include "noise/step_confidence.h"
#include "results/graph.h"

#include <array>

class TForm1;

class GraphicPage
{
public:
    explicit GraphicPage(TForm1 &window) : w(window) {}

    /// Fixed at start-up from the size of gfx.
    ::GraphGeometry GraphGeometry;
    /// True for a step whose last evaluation stored no noise figure of its own; such a step
    /// is marked on the graph and its noise figure reads "F: Error".
    std::array<bool, kRecordSlots> StepEvaluationFailed{};

    /// The uncertainty and guideline findings of every step the step display has shown (or a
    /// loaded file holds), drawn as error bars and marks.
    SweepConfidence Confidence;

    /// Forgets the failed evaluations and the assessments; a measurement pass calls it when it
    /// starts.
    void ResetStepEvaluations();
    /// The context a step is evaluated in, as the window stands: the ENR in use, the room
    /// temperature of e_Temperature (a conversion error when it does not read), the
    /// uncertainty inputs and the reference level (unknown when e_RefLvl does not read).
    EvaluationContext evaluationContext() const;
    /// Assesses the steps again after the inputs changed, and shows the selected one.
    void RefreshConfidence();
    void DrawGraphFrame();
    void RecomputeResults(int selected);
    void TabSheet2Show();
    void PageControl1Change();
    void cb_ShowFClick();
    void se_FreqChange();
    void ShowStep();
    void Speichern1Click();
    void Laden1Click();

    /// What the graph is drawn from, with step `selected` highlighted.
    ::GraphData graphData(int selected) const;

private:
    /// l_Uncertainty and l_Guidelines for step i (empty when it has not been assessed).
    void ShowConfidence(int i);
    TForm1 &w;
};
