#pragma once
// The behaviour of the page "Graphic": the result graph and the step display, and the
// measurement files of the "File" menu.

#include "noise/measurement_record.h"
#include "noise/evaluation.h"
#include "noise/step_confidence.h"
#include "results/graph.h"

#include <QDateTime>
#include <QString>

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

    /// The name the export dialogs propose: the loaded or saved file's name without its
    /// extension; empty for a measurement not yet saved.
    QString MeasurementName;
    /// When the measurement shown was taken: the end of its pass; invalid for a loaded file,
    /// which holds no time.
    QDateTime MeasuredAt;

    /// Forgets the failed evaluations, the assessments, the name and the time of the
    /// measurement; a measurement pass calls it when it starts.
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
    /// "Error bars": the whole graph again, the selected step kept.
    void cb_ErrorBarsClick();
    void se_FreqChange();
    void ShowStep();
    void Speichern1Click();
    void Laden1Click();
    /// Shows `record` as a loaded measurement named `name`, as "Load" does with a file's.
    void ShowLoaded(::MeasurementRecord record, const QString &name);

    /// What the graph is drawn from, with step `selected` highlighted.
    ::GraphData graphData(int selected) const;

private:
    /// l_Uncertainty and l_Guidelines for step i (empty when it has not been assessed).
    void ShowConfidence(int i);
    TForm1 &w;
    /// A loaded file is in view (until a pass starts): showing the page draws it whole.
    bool m_loadedShown = false;
    /// The step selected in the last whole graph; "Error bars" keeps it.
    int m_selected = kNoSelection;
};
