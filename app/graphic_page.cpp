// The page "Graphic" (result graph and step display) and the measurement files.
#include "app/graphic_page.h"

#include "app/core/dialogs.h"
#include "app/results_out.h"
#include "app/widgets.h"
#include "base/engvalue.h"
#include "noise/calculator.h"
#include "noise/enr_files.h"
#include "noise/yfactor.h"
#include "results/csv_export.h"
#include "results/graph.h"
#include "results/bench_export.h"
#include "results/measurement_file.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QPalette>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

GraphicPage::GraphicPage(const GraphicControls &controls, ::MeasurementRecord &record, GraphicQueries queries)
    : c(controls), m_record(record), m_ask(std::move(queries))
{
}

// ---- Result graph ---------------------------------------------------------------------------

GraphData GraphicPage::graphData(int selected) const
{
    const ::MeasurementRecord &r = m_record;
    GraphData d;
    d.startHz = r.SweepPlan.Start;
    d.stopHz = r.SweepPlan.Stop;
    d.startText = m_ask.startText();
    d.stopText = m_ask.stopText();
    d.showNoiseFigure = c.cb_ShowF->isChecked();
    d.showGain = c.cb_ShowG->isChecked();
    d.steps = r.SweepPlan.Steps;
    d.noiseFigureDb = r.NoiseFigureDb;
    d.gainDb = r.GainDb;
    d.evaluationFailed = StepEvaluationFailed;
    d.selected = selected;
    d.showErrorBars = c.cb_ErrorBars->isChecked();
    d.uncertaintyDb = Confidence.uncertaintyDb;
    d.outsideGuidelines = Confidence.outsideGuidelines;
    if (c.cb_Limits && c.cb_Limits->isChecked() && !Limits.empty()) {
        d.limits = &Limits;
        d.breaksNoiseFigureLimit = m_breaksNoiseFigure;
        d.breaksGainLimit = m_breaksGain;
    }
    d.traces = m_traces;
    return d;
}

// ---- Limits -----------------------------------------------------------------------------------

void GraphicPage::setLimits(const LimitSet &limits, const QString &file)
{
    Limits = limits;
    LimitsFile = limits.empty() ? QString() : file;
    RecheckLimits();
    const int i = std::clamp(c.se_Freq->value(), 0, kMaxStepSlot);
    ShowLimits(i);
    if (m_loadedShown || std::any_of(Confidence.assessed.begin(), Confidence.assessed.end(), [](bool a) { return a; }))
        RecomputeResults(m_selected);
}

LimitVerdict GraphicPage::limitVerdict() const
{
    QList<StepLimitResult> steps;
    for (const std::optional<StepLimitResult> &r : LimitResults)
        if (r)
            steps << *r;
    return VerdictOf(steps);
}

QString GraphicPage::verdictText() const
{
    // Nothing is judged before a step has been evaluated.
    const bool any = std::any_of(LimitResults.begin(), LimitResults.end(), [](const auto &r) { return r.has_value(); });
    return any ? VerdictText(limitVerdict(), !Limits.empty()) : QString();
}

void GraphicPage::cb_LimitsClick()
{
    RecomputeResults(m_selected);
}

void GraphicPage::RecheckLimits()
{
    LimitResults.fill(std::nullopt);
    if (Limits.empty())
        return;
    const int steps = std::clamp(m_record.SweepPlan.Steps, 0, kMaxStepSlot);
    EvaluationContext context;
    try {
        context = m_ask.context();
    } catch (...) {
        // A room temperature that does not read: nothing can be checked until it does.
        return;
    }
    for (int i = 0; i <= steps; ++i) {
        if (!Confidence.assessed[size_t(i)] && !StepEvaluationFailed[size_t(i)])
            continue;
        try {
            const CsvStepRow row = CsvStepRowOf(i, EvaluateStep(m_record, i, context));
            LimitResults[size_t(i)] = CheckStepLimits(Limits, row.frequencyHz, row.gainDb, row.noiseFigureDb);
        } catch (...) {
            // A step that cannot be evaluated has no value to check.
            LimitResults[size_t(i)] = CheckStepLimits(Limits, m_record.SweepPlan.enrHz(i), std::nullopt, std::nullopt);
        }
    }
}

void GraphicPage::ShowLimits(int i)
{
    m_breaksNoiseFigure.fill(false);
    m_breaksGain.fill(false);
    for (size_t k = 0; k < LimitResults.size(); ++k) {
        if (!LimitResults[k])
            continue;
        m_breaksNoiseFigure[k] = LimitResults[k]->breaksNoiseFigure();
        m_breaksGain[k] = LimitResults[k]->breaksGain();
    }
    if (c.l_Verdict) {
        c.l_Verdict->setText(verdictText());
        QPalette palette = c.l_Verdict->palette();
        palette.setColor(QPalette::WindowText, limitVerdict().pass() ? QColor(0, 128, 0) : QColor(192, 0, 0));
        c.l_Verdict->setPalette(palette);
        c.l_Verdict->setToolTip(LimitsFile.isEmpty() ? QString() : QStringLiteral("Limits: ") + LimitsFile);
    }
    if (c.l_StepLimit) {
        const bool known = i >= 0 && i < kRecordSlots && LimitResults[size_t(i)];
        c.l_StepLimit->setText(known ? StepLimitText(*LimitResults[size_t(i)]) : QString());
    }
}

bool GraphicPage::addReference(ReferenceTrace trace, QString *error)
{
    if (!m_references.add(std::move(trace), error))
        return false;
    referencesEdited();
    return true;
}

void GraphicPage::removeReference(int index)
{
    if (index < 0 || index >= m_references.size())
        return;
    m_references.remove(index);
    referencesEdited();
}

void GraphicPage::referencesEdited()
{
    m_traces = GraphTracesOf(m_references.traces());
    if (m_pointsShown) {
        RecomputeResults(m_selected);
        ShowReferenceDifferences(std::clamp(c.se_Freq->value(), 0, kMaxStepSlot));
    }
    emit referencesChanged();
}

void GraphicPage::ShowReferenceDifferences(int i)
{
    if (!c.l_References)
        return;
    const ::MeasurementRecord &r = m_record;
    std::optional<double> nf, gain;
    const size_t slot = size_t(std::clamp(i, 0, kMaxStepSlot));
    if (!StepEvaluationFailed[slot] && r.NoiseFigureDb[slot] >= 0 && std::isfinite(r.NoiseFigureDb[slot]))
        nf = r.NoiseFigureDb[slot];
    if (std::isfinite(r.GainDb[slot]))
        gain = r.GainDb[slot];
    const QString text = ReferenceDifferenceText(m_references.traces(), r.SweepPlan.enrHz(int(slot)), nf, gain);
    c.l_References->setText(text);
    c.l_References->setToolTip(text);
}

void GraphicPage::ResetStepEvaluations()
{
    StepEvaluationFailed.fill(false);
    Confidence.reset();
    LimitResults.fill(std::nullopt);
    ShowLimits(kNoSelection);
    MeasurementName.clear();
    MeasuredAt = QDateTime();
    m_loadedShown = false;
}

void GraphicPage::ShowConfidence(int i)
{
    if (i < 0 || i >= kRecordSlots || !Confidence.assessed[size_t(i)]) {
        c.l_Uncertainty->clear();
        c.l_Guidelines->clear();
        c.l_Guidelines->setToolTip(QString());
        return;
    }
    const StepConfidence &step = Confidence.steps[size_t(i)];
    c.l_Uncertainty->setText(UncertaintyText(step.uncertainty));
    c.l_Guidelines->setText(GuidelineSummary(step.findings));
    QStringList sentences;
    for (const GuidelineFinding &f : step.findings)
        sentences << f.text;
    c.l_Guidelines->setToolTip(sentences.join(u'\n'));
}

void GraphicPage::RefreshConfidence()
{
    // Nothing shown yet: nothing to assess again, and the graph stays as it is.
    if (std::none_of(Confidence.assessed.begin(), Confidence.assessed.end(), [](bool a) { return a; }))
        return;
    AssessSweep(Confidence, m_record, m_ask.context(), /*onlyAssessed*/ true);
    const int i = std::clamp(c.se_Freq->value(), 0, kMaxStepSlot);
    ShowConfidence(i);
    RecheckLimits();
    ShowLimits(i);
    RecomputeResults(i);
}

void GraphicPage::DrawGraphFrame()
{
    m_loadedShown = false;
    m_pointsShown = false;
    ::DrawGraphFrame(c.gfx->canvas(), GraphGeometry, graphData(kNoSelection));
    c.gfx->update();
}

void GraphicPage::RecomputeResults(int selected)
{
    m_selected = selected;
    m_pointsShown = true;
    ::RecomputeResults(c.gfx->canvas(), GraphGeometry, graphData(selected));
    c.gfx->update();
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

void GraphicPage::PageControl1Change(int index)
{
    const bool graphic = index == int(Page::Graphic);
    c.cb_ShowF->setVisible(graphic);
    c.cb_ShowG->setVisible(graphic);
    c.cb_ErrorBars->setVisible(graphic);
    if (c.cb_Limits)
        c.cb_Limits->setVisible(graphic);
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
    const int i = std::clamp(c.se_Freq->value(), 0, kMaxStepSlot);
    const ::MeasurementRecord &r = m_record;

    const QString frequencyText = FormatValue(2, fvPrefix | fvHz, r.SweepPlan.enrHz(i));
    emit stepInputsShown({FormatValue(6, 0, r.N2off[i]), FormatValue(6, 0, r.N2on[i]),
                          FormatValue(6, 0, r.N12off[i]), FormatValue(6, 0, r.N12on[i])},
                         frequencyText);
    c.Label25->setText(QStringLiteral("Frequency: ") + frequencyText);

    // The same evaluation as "Calculate!", on the numbers as the fields above show them, once:
    // its gain and noise figure go into the record, its uncertainty and findings beside it.
    StepEvaluation e;
    try {
        e = StoreStepEvaluation(m_record, i, c.se_Freq->value(), m_ask.context());
    } catch (...) {
        // A step that cannot be evaluated keeps an older noise figure, which must not pass
        // for this step's result.
        StepEvaluationFailed[i] = true;
        Confidence.assessed[size_t(i)] = false;
        ShowConfidence(i);
        if (!Limits.empty())
            LimitResults[size_t(i)] = CheckStepLimits(Limits, r.SweepPlan.enrHz(i), std::nullopt, std::nullopt);
        ShowLimits(i);
        ShowReferenceDifferences(i);
        RecomputeResults(i);
        throw;
    }
    emit status(EnrStatusText(e.enr));
    emit stepEvaluated(e.failed);
    const bool failed = !e.hasNoiseFigure();
    StepEvaluationFailed[i] = failed;
    Confidence.store(i, e.confidence);
    ShowConfidence(i);
    if (!Limits.empty()) {
        // The same check as the CSV's row of this step.
        const CsvStepRow row = CsvStepRowOf(i, e);
        LimitResults[size_t(i)] = CheckStepLimits(Limits, row.frequencyHz, row.gainDb, row.noiseFigureDb);
    }
    ShowLimits(i);

    c.result.l_gain->setText(QStringLiteral("Gain [dB]: ") + FormatValue(2, fvDb, r.GainDb[i]));
    const double f = r.NoiseFigureDb[i];
    if (failed || f < 0)
        c.result.l_NoiseFigure->setText(QStringLiteral("F: Error"));
    else
        c.result.l_NoiseFigure->setText(QStringLiteral("F: ") + FormatValue(2, fvFromDb, f) + QStringLiteral(" (")
                               + FormatValue(2, fvDb, f) + QStringLiteral(")"));
    ShowReferenceDifferences(i);
    RecomputeResults(i);
}

int GraphicPage::selectedStep() const
{
    return c.se_Freq->value();
}

void GraphicPage::planSteps(int lastStep, bool fromFirst)
{
    c.se_Freq->setMaximum(lastStep);
    if (fromFirst)
        c.se_Freq->setValue(0);
}

void GraphicPage::showMeasuredStep(int step)
{
    {
        // The selector's own change handler would run the step display a second time.
        const QSignalBlocker block(c.se_Freq);
        c.se_Freq->setValue(step);
    }
    ShowStep();
}

// ---- Measurement files ----------------------------------------------------------------------

void GraphicPage::Speichern1Click()
{
    const std::optional<QString> chosen = dialogs().saveFile(MeasurementFileFilter(), kFilterMeasure);
    if (!chosen)
        return;
    const bool complete = IsCompleteMeasurementFileName(*chosen);
    const QString name = complete ? CompleteMeasurementFileName(*chosen) : MeasurementFileName(*chosen);
    const ::MeasurementRecord copy = m_record;
    const CompleteMeasurement whole = m_ask.complete();
    if (!complete) {
        // A measurement file holds the designed settings alone: the operator hears what is lost.
        const QStringList lost = SettingsMeaCannotHold(whole);
        if (!lost.isEmpty()
            && ShowMessage(MsgType::Warning, MsgButtons::OkCancel, MeaKeepsNotText(lost)) != MsgResult::Ok)
            return;
    }
    if (!MayReplaceFile(name))
        return;
    if (complete)
        SaveCompleteMeasurementFile(name, whole);
    else
        SaveMeasurementFile(name, copy);
    MeasurementName = QFileInfo(name).completeBaseName();
}

void GraphicPage::Laden1Click()
{
    const std::optional<QString> chosen = dialogs().openFile(MeasurementFileFilter(), kFilterMeasure);
    if (!chosen)
        return;
    if (IsCompleteMeasurementFileName(*chosen)) {
        // A refused file changes nothing: it is read whole before anything takes effect.
        const NfmDecodeResult loaded = LoadCompleteMeasurementFile(*chosen);
        switch (loaded.status) {
        case NfmStatus::Loaded:
            ShowLoadedComplete(loaded.measurement, QFileInfo(*chosen).completeBaseName());
            return;
        case NfmStatus::Missing:
            ShowMessage(MsgType::Error, MsgButtons::Ok, QStringLiteral("File do not exists !"));
            return;
        case NfmStatus::Truncated:
        case NfmStatus::Corrupt:
        case NfmStatus::Foreign:
        case NfmStatus::Newer:
            ShowMessage(MsgType::Error, MsgButtons::Ok, loaded.message);
            return;
        }
        return;
    }
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

void GraphicPage::ShowLoadedComplete(const CompleteMeasurement &m, const QString &name)
{
    emit completeMeasurementLoaded(m);
    ShowLoaded(m.record, name, m.measuredAt);
}

void GraphicPage::ShowLoaded(::MeasurementRecord record, const QString &name, const QDateTime &measuredAt)
{
    m_record = std::move(record);
    ResetStepEvaluations();
    MeasurementName = name;
    MeasuredAt = measuredAt;
    const ::MeasurementHeader &h = m_record.MeasurementHeader;
    {
        // The step display runs once below, for step 0, not for a step the new maximum
        // happens to clamp the selector to.
        const QSignalBlocker block(c.se_Freq);
        c.se_Freq->setMaximum(h.StepsCount);
        c.se_Freq->setValue(0);
    }
    // The plan's fields and the noise source it names.
    emit measurementLoaded(h);

    // Step 0 is evaluated again with the present ENR settings and room temperature. A failure
    // there is reported, but the loaded measurement is still shown and printable.
    std::exception_ptr error;
    try {
        // Every step's uncertainty and guidelines from its stored levels, for the error bars
        // and marks; the step display then shows step 0.
        AssessSweep(Confidence, m_record, m_ask.context());
        RecheckLimits();
        ShowStep();
    } catch (...) {
        error = std::current_exception();
    }
    RecomputeResults(0);
    m_loadedShown = true;
    emit loadedMeasurementShown();
    if (error)
        std::rethrow_exception(error);
}
