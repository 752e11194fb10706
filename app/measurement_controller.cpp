// The window's side of the search and of both passes.
#include "app/measurement_controller.h"

#include "app/core/dialogs.h"
#include "app/main_window.h"
#include "app/progress_form.h"
#include "base/engvalue.h"
#include "base/errors.h"
#include "results/graph.h"
#include "run/analyser_link.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>

namespace {

/// Noise source straight at the analyser: the progress on the Noise Source page, the levels
/// with three decimals and the unit, the sweep time in e_Sweep.
const PassLook kCalibrationLook{
    .caption = "... calibration in progress ...",
    .infoPrefix = "Frequency: ",
    .infoDecimals = 2,
    .off = LevelField::N2off,
    .on = LevelField::N2on,
    .startPage = Page::NoiseSource,
    .showsSweepTime = true,
    .sweepModePage = std::nullopt,
    .endPage = Page::Options,
    .endPageSingle = Page::Options,
};

/// The DUT between noise source and analyser: the graph fills as the steps come in.
const PassLook kMeasurementLook{
    .caption = "... measure in progress ...",
    .infoPrefix = "Frequenz: ",
    .infoDecimals = 3,
    .off = LevelField::N12off,
    .on = LevelField::N12on,
    .startPage = std::nullopt,
    .showsSweepTime = false,
    .sweepModePage = Page::Graphic,
    .endPage = Page::Graphic,
    .endPageSingle = Page::Calculator,
};

}  // namespace

const PassLook &LookOf(PassKind pass)
{
    return pass == PassKind::Measurement ? kMeasurementLook : kCalibrationLook;
}

QString LevelText(PassKind pass, double levelDbm)
{
    return pass == PassKind::Measurement ? ShortestDecimal(levelDbm) : FormatValue(3, fvDbm, levelDbm);
}

QString ProgressInfoText(PassKind pass, double hz)
{
    const PassLook &look = LookOf(pass);
    return QString::fromLatin1(look.infoPrefix) + FormatValue(look.infoDecimals, fvPrefix | fvHz, hz);
}

MeasurementController::MeasurementController(TForm1 &window, AnalyserLink &link)
    : QObject(&window), w(window), m_link(link)
{
    connect(&link, &AnalyserLink::searchStarted, this, [this] { w.SetMainWindowEnabled(false); });
    connect(&link, &AnalyserLink::searchEnded, this, &MeasurementController::searchEnded);
    connect(&link, &AnalyserLink::passStarted, this, &MeasurementController::passStarted);
    connect(&link, &AnalyserLink::sweepTimeRead, this, &MeasurementController::sweepTimeRead);
    connect(&link, &AnalyserLink::frequencyStarted, this,
            [this](PassKind pass, int, double hz) { frequencyStarted(pass, hz); });
    connect(&link, &AnalyserLink::levelRead, this,
            [this](PassKind pass, SourceState source, int, double dbm) { levelRead(pass, source, dbm); });
    connect(&link, &AnalyserLink::stepCompleted, this, &MeasurementController::stepCompleted);
    connect(&link, &AnalyserLink::passEnded, this, &MeasurementController::passEnded);
    connect(&link, &AnalyserLink::readingRefused, this, &MeasurementController::showError);
    connect(&link, &AnalyserLink::passFailed, this, &MeasurementController::passFailed);
    connect(&link, &AnalyserLink::waitingForAnalyser, this, &MeasurementController::waiting);
}

namespace {
const QString kWaitingText = QStringLiteral("Waiting for the analyser ...");
}

bool MeasurementController::single() const
{
    return m_link.sequencer().Inputs().single;
}

void MeasurementController::showError(const QString &message)
{
    ShowMessage(MsgType::Error, MsgButtons::Ok, message);
}

void MeasurementController::passStarted(PassKind pass, int steps)
{
    const PassLook &look = LookOf(pass);
    if (look.startPage)
        w.PageControl1->setCurrentIndex(int(*look.startPage));
    w.SetMainWindowEnabled(false);
    m_stepErrorShown = false;
    if (TForm2 *p = w.Form2) {
        p->OnCancel = [this] { m_link.cancel(); };
        p->OnClose = [this] { w.SetMainWindowEnabled(true); };
        p->setWindowTitle(QString::fromLatin1(look.caption));
        p->Label1->setText(QStringLiteral("Step"));
        p->l_info->setText(QString::fromLatin1(look.infoPrefix) + QStringLiteral("- "));
        p->ProgressStep = 1;
        p->SetGaugeRange(0, steps);
        p->SetGaugePosition(0);
        p->CentreOnDesktop();
        p->show();
    }
    if (pass == PassKind::Measurement)
        w.RecomputeResults(kNoSelection);
}

void MeasurementController::sweepTimeRead(PassKind pass, const QString &sweepTime)
{
    const PassLook &look = LookOf(pass);
    // An answer that arrived just before the line went may be taken after it: the news that
    // the line is gone stays in view.
    if (!m_link.hungUp())
        w.setStatusText(sweepTime);
    if (look.showsSweepTime)
        w.e_Sweep->setText(sweepTime + QStringLiteral(" s"));
    if (look.sweepModePage && !single())
        w.PageControl1->setCurrentIndex(int(*look.sweepModePage));
}

void MeasurementController::frequencyStarted(PassKind pass, double hz)
{
    if (w.Form2)
        w.Form2->l_info->setText(ProgressInfoText(pass, hz));
}

void MeasurementController::levelRead(PassKind pass, SourceState source, double levelDbm)
{
    const PassLook &look = LookOf(pass);
    QLineEdit *const fields[] = {w.e_n2off, w.e_n2on, w.e_n12off, w.e_n12on};
    fields[int(source == SourceState::Off ? look.off : look.on)]->setText(LevelText(pass, levelDbm));
}

void MeasurementController::stepCompleted(PassKind pass, int step)
{
    if (pass == PassKind::Measurement) {
        try {
            w.Graphic->showMeasuredStep(step);
        } catch (const std::exception &e) {
            // A step that cannot be evaluated keeps its start values; the pass goes on, and the
            // operator hears of it once, not at every frequency.
            if (!m_stepErrorShown) {
                m_stepErrorShown = true;
                const auto *appError = dynamic_cast<const AppError *>(&e);
                showError(appError ? appError->message() : QString::fromLocal8Bit(e.what()));
            }
        }
    }
    if (w.Form2) {
        w.Form2->ProgressStep = step + 1;
        w.Form2->SetGaugePosition(step + 1);
    }
}

void MeasurementController::passEnded(PassKind pass)
{
    const PassLook &look = LookOf(pass);
    if (w.Form2 && w.Form2->isVisible())
        w.Form2->close();
    // Closing the progress window enables the main window; without one shown, do it here.
    w.SetMainWindowEnabled(true);
    w.PageControl1->setCurrentIndex(int(single() ? look.endPageSingle : look.endPage));
    const bool measurement = pass == PassKind::Measurement;
    if (!measurement)
        w.Options->CalibrationCompleted();
    w.b_Measure->setEnabled(true);
    w.b_Measure2->setEnabled(true);
    if (measurement) {
        w.Speichern1->setEnabled(true);
        w.Graphic->MeasuredAt = QDateTime::currentDateTime();
    }
}

void MeasurementController::passFailed(PassKind, PassFailure why, const QString &message)
{
    // As "Cancel" ends a pass: the progress window closes, the main window takes input again,
    // the step display and the record keep what was measured; no button changes.
    if (w.Form2 && w.Form2->isVisible())
        w.Form2->close();
    w.SetMainWindowEnabled(true);
    // A reading that is no number has had its message; a hang-up is told by the status bar.
    if (why == PassFailure::NoAnswer)
        showError(message);
}

void MeasurementController::waiting(bool waiting)
{
    if (waiting) {
        m_statusBeforeWait = w.statusText();
        w.setStatusText(kWaitingText);
    } else if (w.statusText() == kWaitingText) {
        w.setStatusText(m_statusBeforeWait);
    }
}

void MeasurementController::searchEnded(bool found, const QByteArray &identification)
{
    if (!found) {
        // The link has closed the line already.
        w.gb_com->setEnabled(true);
        w.setStatusText(QStringLiteral("Could not open ") + w.cb_Device->currentText() + QStringLiteral(" !"));
        w.b_connect->setEnabled(true);
        w.SetMainWindowEnabled(true);
        return;
    }
    w.b_Start->setEnabled(true);
    w.b_connect->setText(QStringLiteral("Disconnect"));
    w.b_connect->setEnabled(true);
    w.setStatusText(QStringLiteral("Device: ") + QString::fromLatin1(identification));
    w.SetMainWindowEnabled(true);
}
