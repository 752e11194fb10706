#pragma once
// The behaviour of the page "Graphic": the result graph and the step display, and the
// measurement files of the "File" menu.

#include "app/page.h"
#include "noise/limits.h"
#include "noise/measurement_record.h"
#include "noise/evaluation.h"
#include "noise/step_confidence.h"
#include "results/graph.h"
#include "results/nfm_file.h"
#include "results/reference_trace.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class ImageView;
class QCheckBox;
class QLabel;
class QSpinBox;

/// The controls of the page "Graphic", with the result line and the step's confidence under
/// the pages.
struct GraphicControls
{
    ImageView *gfx = nullptr;
    QLabel *Label25 = nullptr;
    QSpinBox *se_Freq = nullptr;
    QCheckBox *cb_ShowF = nullptr;
    QCheckBox *cb_ShowG = nullptr;
    QCheckBox *cb_ErrorBars = nullptr;
    QLabel *l_Uncertainty = nullptr;
    QLabel *l_Guidelines = nullptr;
    /// The selected step compared with each reference trace at its frequency.
    QLabel *l_References = nullptr;
    ResultLine result;
    /// "Limits": the limit lines and the rings of failing points on the graph.
    QCheckBox *cb_Limits = nullptr;
    /// Below the graph: "PASS", "FAIL: 3 of 11 points", empty without limits.
    QLabel *l_Verdict = nullptr;
    /// The step display's line of the limit the selected step breaks, and by how much.
    QLabel *l_StepLimit = nullptr;
};

/// What the page asks of the rest of the window as it draws and evaluates.
struct GraphicQueries
{
    /// The context a step is evaluated in, as the window stands (a conversion error when the
    /// room temperature does not read).
    std::function<EvaluationContext()> context;
    /// The sweep's start and stop as the Options page's fields show them.
    std::function<QString()> startText;
    std::function<QString()> stopText;
    /// The measurement shown with everything it is evaluated with, for a complete file.
    std::function<CompleteMeasurement()> complete;
};

class GraphicPage : public QObject
{
    Q_OBJECT

public:
    GraphicPage(const GraphicControls &controls, ::MeasurementRecord &record, GraphicQueries queries);

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

    /// The limits in force ("Options / Limits ..."), empty without, and the file they came
    /// from.
    LimitSet Limits;
    QString LimitsFile;
    /// Each evaluated step against the limits, from its evaluation as the CSV's row of it;
    /// nothing for a step not evaluated yet or without limits.
    std::array<std::optional<StepLimitResult>, kRecordSlots> LimitResults;
    /// Other limits (an empty set clears them): every evaluated step is checked again, the
    /// verdict, the step display and the graph follow.
    void setLimits(const LimitSet &limits, const QString &file);
    /// The verdict of the steps evaluated so far.
    LimitVerdict limitVerdict() const;
    /// l_Verdict's text: "PASS", "FAIL: 3 of 11 points"; empty without limits or before a step
    /// has been evaluated.
    QString verdictText() const;
    /// "Limits": the whole graph again, the selected step kept.
    void cb_LimitsClick();

    /// Forgets the failed evaluations, the assessments, the name and the time of the
    /// measurement; a measurement pass calls it when it starts.
    void ResetStepEvaluations();
    /// Assesses the steps again after the inputs changed, and shows the selected one.
    void RefreshConfidence();
    void DrawGraphFrame();
    void RecomputeResults(int selected);
    void TabSheet2Show();
    /// The page control shows page `index`: the graph's check boxes only with the graph.
    void PageControl1Change(int index);
    void cb_ShowFClick();
    /// "Error bars": the whole graph again, the selected step kept.
    void cb_ErrorBarsClick();
    void se_FreqChange();
    void ShowStep();
    void Speichern1Click();
    void Laden1Click();
    /// Shows `record` as a loaded measurement named `name`, as "Load" does with a file's;
    /// `measuredAt` when the source knows when it was taken.
    void ShowLoaded(::MeasurementRecord record, const QString &name, const QDateTime &measuredAt = QDateTime());
    /// Shows a complete measurement as a loaded one: its settings take effect first
    /// (completeMeasurementLoaded), then its steps are shown as a loaded file's.
    void ShowLoadedComplete(const CompleteMeasurement &m, const QString &name);

    /// The reference traces drawn beside the measurement, kept across measurements and loads.
    const ReferenceSet &references() const { return m_references; }
    /// Adds a reference and draws it; false, with the reason in `error`, when the graph has
    /// as many as it shows.
    bool addReference(ReferenceTrace trace, QString *error);
    /// Removes reference `index` from the graph.
    void removeReference(int index);

    /// What the graph is drawn from, with step `selected` highlighted.
    ::GraphData graphData(int selected) const;

    /// The step the selector stands at.
    int selectedStep() const;
    /// A pass is planned over steps 0 .. `lastStep`; `fromFirst` selects step 0.
    void planSteps(int lastStep, bool fromFirst);
    /// A measurement pass completed step `step`: the selector moves there and the step display
    /// shows it, once.
    void showMeasuredStep(int step);

signals:
    /// A text for the status bar.
    void status(const QString &text);
    /// The step display shows a step's levels and frequency in the calculator's fields.
    void stepInputsShown(const LevelTexts &levels, const QString &frequencyText);
    /// The step display evaluated a step; `failed` for an arithmetic failure.
    void stepEvaluated(bool failed);
    /// A measurement file was loaded into the record: its plan and source are to be shown.
    void measurementLoaded(const MeasurementHeader &header);
    /// A complete measurement file was read: the settings it names are to take effect before
    /// its steps are shown.
    void completeMeasurementLoaded(const CompleteMeasurement &m);
    /// The loaded measurement is shown and may be printed.
    void loadedMeasurementShown();
    /// A reference trace was added or removed.
    void referencesChanged();

private:
    /// l_Uncertainty and l_Guidelines for step i (empty when it has not been assessed).
    void ShowConfidence(int i);
    /// Checks every evaluated step against the limits again, from its stored levels.
    void RecheckLimits();
    /// l_Verdict, the rings of the graph and l_StepLimit for step i.
    void ShowLimits(int i);
    /// l_References for step i from the record's gain and noise figure.
    void ShowReferenceDifferences(int i);
    /// The references changed: the graph again where it shows points, and the step display.
    void referencesEdited();
    GraphicControls c;
    ::MeasurementRecord &m_record;
    GraphicQueries m_ask;
    /// A loaded file is in view (until a pass starts): showing the page draws it whole.
    bool m_loadedShown = false;
    /// The step selected in the last whole graph; "Error bars" keeps it.
    int m_selected = kNoSelection;
    /// The points that break a limit, for the graph's rings.
    std::array<bool, kRecordSlots> m_breaksNoiseFigure{};
    std::array<bool, kRecordSlots> m_breaksGain{};
    /// The graph shows points (a whole graph), not only its frame.
    bool m_pointsShown = false;
    ReferenceSet m_references;
    QList<GraphTrace> m_traces;  ///< what the graph draws of m_references
};
