#pragma once
// The behaviour of the page "Graphic": the result graph and the step display, and the
// measurement files of the "File" menu.

#include "noise/measurement_record.h"
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

    /// Forgets the failed evaluations; a measurement pass calls it when it starts.
    void ResetStepEvaluations();
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
    TForm1 &w;
};
