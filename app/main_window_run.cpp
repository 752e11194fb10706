// The measurement run of the main window: the sweep plan, the calibration and measurement
// starts, and the window's side of the sequencer.
#include "app/main_window.h"

#include "base/engvalue.h"
#include "app/widgets.h"
#include "app/progress_form.h"
#include "results/graph.h"
#include "run/page.h"
#include "run/sweep_plan.h"
#include "serial/piloport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

namespace {

bool IsSingleMode(const RadioGroup *mode)
{
    return mode->ItemIndex() == 1;
}

/// The window's side of the sequencer: the command channel, the controls and the progress
/// window.
class WindowSequencerHost : public SequencerHost
{
public:
    explicit WindowSequencerHost(TForm1 &form) : w(form) {}

    void SendCommand(const QByteArray &command) override { w.SendCommand(command, 0); }
    bool ReadReply(QByteArray &reply) override { return w.ReadReply(reply); }

    QString AverageText() const override { return w.cb_Average->currentText(); }
    bool SingleMode() const override { return IsSingleMode(w.rg_Sweep); }

    void SetMainWindowEnabled(bool enabled) override { w.SetMainWindowEnabled(enabled); }
    void ShowPage(Page page) override { w.PageControl1->setCurrentIndex(int(page)); }
    void SetStatusText(const QString &text) override { w.setStatusText(text); }
    void SetSweepTimeText(const QString &text) override { w.e_Sweep->setText(text); }
    void SetLevelText(LevelField field, const QString &text) override
    {
        QLineEdit *const fields[] = {w.e_n2off, w.e_n2on, w.e_n12off, w.e_n12on};
        fields[int(field)]->setText(text);
    }

    void ProgressOpen(const QString &caption, const QString &info, int steps) override
    {
        TForm2 *p = w.Form2;
        if (!p)
            return;
        p->OnCancel = [this] { w.Sequencer.CancelRequested = true; };
        p->OnClose = [this] { w.SetMainWindowEnabled(true); };
        p->setWindowTitle(caption);
        p->Label1->setText(QStringLiteral("Step"));
        p->l_info->setText(info);
        p->ProgressStep = 1;
        p->SetGaugeRange(0, steps);
        p->SetGaugePosition(0);
        p->CentreOnDesktop();
        p->show();
    }
    void ProgressInfo(const QString &info) override
    {
        if (w.Form2)
            w.Form2->l_info->setText(info);
    }
    void ProgressStep(int step) override
    {
        if (!w.Form2)
            return;
        w.Form2->ProgressStep = step;
        w.Form2->SetGaugePosition(step);
    }
    void ProgressClose() override
    {
        if (w.Form2 && w.Form2->isVisible())
            w.Form2->close();
        // Closing the progress window enables the main window; without one shown, do it here.
        w.SetMainWindowEnabled(true);
    }
    void PassCompleted(bool measurementPass) override
    {
        w.b_Measure->setEnabled(true);
        w.b_Measure2->setEnabled(true);
        if (measurementPass)
            w.Speichern1->setEnabled(true);
    }
    void ShowStep(int index) override
    {
        {
            // The selector's own change handler would run the step display a second time.
            const QSignalBlocker block(w.se_Freq);
            w.se_Freq->setValue(index);
        }
        w.ShowStep();
    }
    void RecomputeResults() override { w.RecomputeResults(kNoSelection); }
    void ShowError(const QString &message) override { ShowMessage(MsgType::Error, MsgButtons::Ok, message); }

    void SearchFailed() override
    {
        w.Pilo->Close();
        w.Timer1->stop();
        w.gb_com->setEnabled(true);
        w.setStatusText(QStringLiteral("Could not open ") + w.cb_Device->currentText() + QStringLiteral(" !"));
        w.b_connect->setEnabled(true);
        w.SetMainWindowEnabled(true);
    }
    void SearchSucceeded(const QByteArray &reply) override
    {
        w.b_Start->setEnabled(true);
        w.b_connect->setText(QStringLiteral("Disconnect"));
        w.b_connect->setEnabled(true);
        w.setStatusText(QStringLiteral("Device: ") + QString::fromLatin1(reply));
        w.SetMainWindowEnabled(true);
    }

private:
    TForm1 &w;
};

}  // namespace

// ---- Sweep plan -------------------------------------------------------------------------------

void TForm1::MakeSweepPlan()
{
    ::MakeSweepPlan(MeasurementRecord.SweepPlan, {IsSingleMode(rg_Sweep), e_Start->text(), e_Stop->text(),
                                                  e_Single->text(), se_steps->value()});
}

void TForm1::rg_SweepClick()
{
    const bool single = IsSingleMode(rg_Sweep);
    e_Start->setEnabled(!single);
    e_Stop->setEnabled(!single);
    se_steps->setEnabled(!single);
    e_Single->setEnabled(single);
    PageControl1->setTabEnabled(int(Page::Graphic), !single);
    MakeSweepPlan();
}

void TForm1::cb_RefLvlAutoClick()
{
    // The set-up sends the text of the field whether the box is checked or not.
    e_RefLvl->setEnabled(!cb_RefLvlAuto->isChecked());
}

// ---- Sequencer --------------------------------------------------------------------------------

void TForm1::SetSequencerIdle()
{
    if (!m_sequencerHost) {
        m_sequencerHost = std::make_unique<WindowSequencerHost>(*this);
        Sequencer.setHost(m_sequencerHost.get());
    }
    Sequencer.SetIdle();
}

void TForm1::b_StartClick()
{
    Memo1->clear();
    if (!InitialiseAnalyser()) {
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, QStringLiteral("Error on opening!"));
        return;
    }
    if (ShowMessage(MsgType::Information, MsgButtons::OkCancel, QStringLiteral("Connect Noise Source direct at FSP !"))
        != MsgResult::Ok) {
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, QStringLiteral("Error on opening!"));
        return;
    }
    Sequencer.StartCalibration();
    se_Freq->setMaximum(IsSingleMode(rg_Sweep) ? 0 : se_steps->value());
    se_Freq->setValue(0);
    setStatusText(ShortestDecimal(ParseValue(e_Start->text())));
    DrawGraphFrame();
}

void TForm1::b_MeasureClick()
{
    Memo1->clear();
    if (ShowMessage(MsgType::Information, MsgButtons::OkCancel, QStringLiteral("Connect DUT between Noise Source and FSP !"))
        != MsgResult::Ok)
        return;
    ResetStepEvaluations();
    Sequencer.StartMeasurement();
    setStatusText(ShortestDecimal(ParseValue(e_Start->text())));

    ::MeasurementHeader &h = MeasurementRecord.MeasurementHeader;
    h.RbwIndex = cb_rbw->currentIndex();
    h.VbwIndex = cb_vbw->currentIndex();
    h.AverageIndex = cb_Average->currentIndex();
    h.EnrSource = rg_ENR->ItemIndex();
    MakeSweepPlan();
    const ::SweepPlan &plan = MeasurementRecord.SweepPlan;
    h.StepsCount = plan.Steps;
    h.StartSingle = float(plan.Start);
    h.StopSingle = float(plan.Stop);
    se_Freq->setMaximum(IsSingleMode(rg_Sweep) ? 1 : se_steps->value());
}

void TForm1::Timer1Timer()
{
    Sequencer.Tick();
}
