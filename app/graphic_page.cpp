// The page "Graphic" (result graph and step display) and the measurement files.
#include "app/graphic_page.h"

#include "app/main_window.h"
#include "app/results_out.h"
#include "noise/calculator.h"
#include "app/page.h"
#include "base/engvalue.h"
#include "app/widgets.h"
#include "noise/enr_files.h"
#include "noise/yfactor.h"
#include "results/graph.h"
#include "results/measurement_file.h"
#include "app/page.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

// ---- Result graph ---------------------------------------------------------------------------

GraphData GraphicPage::graphData(int selected) const
{
    const ::MeasurementRecord &r = w.MeasurementRecord;
    GraphData d;
    d.startHz = r.SweepPlan.Start;
    d.stopHz = r.SweepPlan.Stop;
    d.startText = w.e_Start->text();
    d.stopText = w.e_Stop->text();
    d.showNoiseFigure = w.cb_ShowF->isChecked();
    d.showGain = w.cb_ShowG->isChecked();
    d.steps = r.SweepPlan.Steps;
    d.noiseFigureDb = r.NoiseFigureDb;
    d.gainDb = r.GainDb;
    d.evaluationFailed = StepEvaluationFailed;
    d.selected = selected;
    d.showErrorBars = w.cb_ErrorBars->isChecked();
    d.uncertaintyDb = Confidence.uncertaintyDb;
    d.outsideGuidelines = Confidence.outsideGuidelines;
    return d;
}

void GraphicPage::ResetStepEvaluations()
{
    StepEvaluationFailed.fill(false);
    Confidence.reset();
    MeasurementName.clear();
    MeasuredAt = QDateTime();
    m_loadedShown = false;
}

EvaluationContext GraphicPage::evaluationContext() const
{
    EvaluationContext c;
    c.enr = w.NoiseSource->enrSource();
    c.roomTemperatureK = ParseValue(w.e_Temperature->text());
    c.uncertainty = w.Uncertainty;
    try {
        c.refLevelDbm = ToDb(ParseValue(w.e_RefLvl->text()));
    } catch (...) {
        // A reference level that does not read leaves the headroom unchecked.
        c.refLevelDbm = std::numeric_limits<double>::infinity();
    }
    return c;
}

void GraphicPage::ShowConfidence(int i)
{
    if (i < 0 || i >= kRecordSlots || !Confidence.assessed[size_t(i)]) {
        w.l_Uncertainty->clear();
        w.l_Guidelines->clear();
        w.l_Guidelines->setToolTip(QString());
        return;
    }
    const StepConfidence &c = Confidence.steps[size_t(i)];
    w.l_Uncertainty->setText(UncertaintyText(c.uncertainty));
    w.l_Guidelines->setText(GuidelineSummary(c.findings));
    QStringList sentences;
    for (const GuidelineFinding &f : c.findings)
        sentences << f.text;
    w.l_Guidelines->setToolTip(sentences.join(u'\n'));
}

void GraphicPage::RefreshConfidence()
{
    // Nothing shown yet: nothing to assess again, and the graph stays as it is.
    if (std::none_of(Confidence.assessed.begin(), Confidence.assessed.end(), [](bool a) { return a; }))
        return;
    AssessSweep(Confidence, w.MeasurementRecord, evaluationContext(), /*onlyAssessed*/ true);
    const int i = std::clamp(w.se_Freq->value(), 0, kMaxStepSlot);
    ShowConfidence(i);
    RecomputeResults(i);
}

void GraphicPage::DrawGraphFrame()
{
    m_loadedShown = false;
    ::DrawGraphFrame(w.gfx->canvas(), GraphGeometry, graphData(kNoSelection));
    w.gfx->update();
}

void GraphicPage::RecomputeResults(int selected)
{
    m_selected = selected;
    ::RecomputeResults(w.gfx->canvas(), GraphGeometry, graphData(selected));
    w.gfx->update();
}

void GraphicPage::TabSheet2Show()
{
    // A loaded file is shown with its points and scales whenever the page comes up: it is
    // loaded from any page and nothing else would draw it.
    if (m_loadedShown)
        RecomputeResults(m_selected);
    else
        DrawGraphFrame();
}

void GraphicPage::PageControl1Change()
{
    const bool graphic = w.PageControl1->currentIndex() == int(Page::Graphic);
    w.cb_ShowF->setVisible(graphic);
    w.cb_ShowG->setVisible(graphic);
    w.cb_ErrorBars->setVisible(graphic);
}

void GraphicPage::cb_ShowFClick()
{
    RecomputeResults(kNoSelection);
}

void GraphicPage::cb_ErrorBarsClick()
{
    RecomputeResults(m_selected);
}

void GraphicPage::se_FreqChange()
{
    ShowStep();
}

void GraphicPage::ShowStep()
{
    // The selector stays within the measured steps; the limit only guards the slots.
    const int i = std::clamp(w.se_Freq->value(), 0, kMaxStepSlot);
    const ::MeasurementRecord &r = w.MeasurementRecord;

    w.e_n2off->setText(FormatValue(6, 0, r.N2off[i]));
    w.e_n2on->setText(FormatValue(6, 0, r.N2on[i]));
    w.e_n12off->setText(FormatValue(6, 0, r.N12off[i]));
    w.e_n12on->setText(FormatValue(6, 0, r.N12on[i]));
    w.e_Frequency->setText(FormatValue(2, fvPrefix | fvHz, r.SweepPlan.enrHz(i)));
    w.Label25->setText(QStringLiteral("Frequency: ") + w.e_Frequency->text());

    // The same evaluation as "Calculate!", on the numbers as the fields above show them, once:
    // its gain and noise figure go into the record, its uncertainty and findings beside it.
    StepEvaluation e;
    try {
        e = StoreStepEvaluation(w.MeasurementRecord, i, w.se_Freq->value(), evaluationContext());
    } catch (...) {
        // A step that cannot be evaluated keeps an older noise figure, which must not pass
        // for this step's result.
        StepEvaluationFailed[i] = true;
        Confidence.assessed[size_t(i)] = false;
        ShowConfidence(i);
        RecomputeResults(i);
        throw;
    }
    w.setStatusText(EnrStatusText(e.enr));
    w.Calculator->ShowStepEvaluated(e.failed);
    const bool failed = !e.hasNoiseFigure();
    StepEvaluationFailed[i] = failed;
    Confidence.store(i, e.confidence);
    ShowConfidence(i);

    w.l_gain->setText(QStringLiteral("Gain [dB]: ") + FormatValue(2, fvDb, r.GainDb[i]));
    const double f = r.NoiseFigureDb[i];
    if (failed || f < 0)
        w.l_NoiseFigure->setText(QStringLiteral("F: Error"));
    else
        w.l_NoiseFigure->setText(QStringLiteral("F: ") + FormatValue(2, fvFromDb, f) + QStringLiteral(" (")
                               + FormatValue(2, fvDb, f) + QStringLiteral(")"));
    RecomputeResults(i);
}

// ---- Measurement files ----------------------------------------------------------------------

void GraphicPage::Speichern1Click()
{
    const std::optional<QString> chosen = dialogs().saveFile(FileFilter(), kFilterMeasure);
    if (!chosen)
        return;
    const QString name = MeasurementFileName(*chosen);
    const ::MeasurementRecord copy = w.MeasurementRecord;
    if (QFileInfo::exists(name)
        && ShowMessage(MsgType::Confirmation, MsgButtons::YesNo,
                       QStringLiteral("File exists !") + QStringLiteral("\n\r") + QStringLiteral("Overwrite?"),
                       /*defaultNo*/ true)
               != MsgResult::Yes)
        return;
    SaveMeasurementFile(name, copy);
    MeasurementName = QFileInfo(name).completeBaseName();
}

void GraphicPage::Laden1Click()
{
    const std::optional<QString> chosen = dialogs().openFile(FileFilter(), kFilterMeasure);
    if (!chosen)
        return;
    MeasurementLoadResult loaded = LoadMeasurementFile(*chosen);
    switch (loaded.status) {
    case MeasurementLoadStatus::Missing:
        ShowMessage(MsgType::Error, MsgButtons::Ok, QStringLiteral("File do not exists !"));
        return;
    case MeasurementLoadStatus::Corrupt:
        ShowMessage(MsgType::Error, MsgButtons::Ok, QStringLiteral("File corrupt !"));
        return;
    case MeasurementLoadStatus::Loaded:
        break;
    }

    ShowLoaded(std::move(loaded.record), QFileInfo(*chosen).completeBaseName());
}

void GraphicPage::ShowLoaded(::MeasurementRecord record, const QString &name)
{
    w.MeasurementRecord = std::move(record);
    ResetStepEvaluations();
    MeasurementName = name;
    ::MeasurementHeader &h = w.MeasurementRecord.MeasurementHeader;
    w.e_Start->setText(FormatValue(0, fvPrefix | fvHz, h.StartSingle));
    w.e_Stop->setText(FormatValue(0, fvPrefix | fvHz, h.StopSingle));
    w.se_steps->setValue(h.StepsCount);
    {
        // The step display runs once below, for step 0, not for a step the new maximum
        // happens to clamp the selector to.
        const QSignalBlocker block(w.se_Freq);
        w.se_Freq->setMaximum(h.StepsCount);
        w.se_Freq->setValue(0);
    }
    // A source number that is none of the three items leaves the selection as it is.
    if (h.EnrSource >= 0 && h.EnrSource < 3)
        w.rg_ENR->setItemIndex(h.EnrSource);  // runs the noise-source handler when it changes

    // Step 0 is evaluated again with the present ENR settings and room temperature. A failure
    // there is reported, but the loaded measurement is still shown and printable.
    std::exception_ptr error;
    try {
        // Every step's uncertainty and guidelines from its stored levels, for the error bars
        // and marks; the step display then shows step 0.
        AssessSweep(Confidence, w.MeasurementRecord, evaluationContext());
        ShowStep();
    } catch (...) {
        error = std::current_exception();
    }
    w.NoiseSource->NoiseSourceText = NoiseSourceTextOf(h);
    if (h.NoiseSourceText.isEmpty())
        h.NoiseSourceText = ToWindows1252(w.NoiseSource->NoiseSourceText);
    RecomputeResults(0);
    m_loadedShown = true;
    w.dd_print->setEnabled(true);
    if (error)
        std::rethrow_exception(error);
}
