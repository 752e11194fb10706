// Results that last: calibrations kept in files, every measurement pass recorded in the
// history, and the history's dialog. The menu commands and the few connections they need.
#include "app/main_window.h"

#include "app/calibration_keeper.h"
#include "app/core/config.h"
#include "app/history_dialog.h"
#include "app/input_mask_form.h"
#include "app/widgets.h"
#include "app/window_history.h"
#include "results/reference_trace.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>

void TForm1::buildProduction()
{
    // Before the separator above "Exit".
    QAction *beforeExit = nullptr;
    const QList<QAction *> actions = Datei1->actions();
    for (qsizetype i = 1; i < actions.size(); ++i)
        if (actions[i] == Beenden1)
            beforeExit = actions[i - 1];
    const auto add = [&](const char *name, const QString &text) {
        auto *action = new QAction(text, Datei1);
        action->setObjectName(QString::fromLatin1(name));
        Datei1->insertAction(beforeExit, action);
        return action;
    };
    KalibrierungSpeichern1 = add("KalibrierungSpeichern1", QStringLiteral("Save calibration ..."));
    KalibrierungLaden1 = add("KalibrierungLaden1", QStringLiteral("Load calibration ..."));
    Verlauf1 = add("Verlauf1", QStringLiteral("History ..."));

    CalibrationKeeperParts parts;
    parts.options = Options.get();
    parts.link = Link;
    parts.record = &MeasurementRecord;
    parts.noiseSource = NoiseSource.get();
    parts.roomTemperatureK = [this] { return evaluationContext().roomTemperatureK; };
    parts.calibrationSource = [this] { return calibrationEnrSource().value_or(m_enr); };
    parts.e_Temperature = e_Temperature;
    parts.rg_Sweep = rg_Sweep;
    parts.e_Start = e_Start;
    parts.e_Stop = e_Stop;
    parts.e_Single = e_Single;
    parts.se_steps = se_steps;
    parts.cb_rbw = cb_rbw;
    parts.cb_vbw = cb_vbw;
    parts.cb_Average = cb_Average;
    parts.cb_RFAtt = cb_RFAtt;
    parts.e_RefLvl = e_RefLvl;
    parts.e_Range = e_Range;
    parts.l_Calibrated = l_Calibrated;
    parts.b_Start = b_Start;
    parts.b_Measure = b_Measure;
    parts.b_Measure2 = b_Measure2;
    parts.KalibrierungSpeichern1 = KalibrierungSpeichern1;
    Calibrations = new CalibrationKeeper(parts, this);
    connect(Calibrations, &CalibrationKeeper::status, this, &TForm1::setStatusText);

    History = new WindowHistory(ConfiguredHistoryPath(ConfigFilePath()), this);
    connect(History, &WindowHistory::problem, this, &TForm1::setStatusText);
    // Heard after the window's own handler of the pass's end.
    connect(Link, &AnalyserLink::passEnded, this, [this](PassKind pass) {
        if (pass == PassKind::Measurement)
            RecordMeasurementRun();
    });

    const auto menu = [this](QAction *action, std::function<void()> handler) {
        connect(action, &QAction::triggered, this, [this, handler] {
            if (MainWindowEnabled())
                guarded(handler);
        });
    };
    menu(KalibrierungSpeichern1, [this] { Calibrations->KalibrierungSpeichern1Click(); });
    menu(KalibrierungLaden1, [this] { Calibrations->KalibrierungLaden1Click(); });
    menu(Verlauf1, [this] { Verlauf1Click(); });
    // Saving needs a calibration in force, loading an idle analyser.
    connect(Datei1, &QMenu::aboutToShow, this, [this] {
        KalibrierungSpeichern1->setEnabled(Calibrations->current().has_value());
        KalibrierungLaden1->setEnabled(!Link->passRunning());
    });
}

void TForm1::RecordMeasurementRun()
{
    RunIdentity who;
    if (InputMaskeFrm) {
        who.dut = InputMaskeFrm->le_DUT->text().trimmed();
        who.engineer = InputMaskeFrm->le_Engineer->text().trimmed();
        who.serial = InputMaskeFrm->le_Serial->text().trimmed();
    }
    QString calibration = Calibrations->origin();
    if (calibration.isEmpty())
        calibration = QStringLiteral("calibrated at ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    HistoryRun run = HistoryRunOf(completeMeasurement(), who, calibration, QDateTime::currentDateTime());
    // The verdict as l_Verdict gives it, with the limits it was judged against.
    run.verdict = Graphic->verdictText();
    run.limits = Graphic->Limits.empty() ? QByteArray() : FormatLimits(Graphic->Limits);
    History->record(run);
}

void TForm1::Verlauf1Click()
{
    if (!HistoryDialog) {
        HistoryDialogActions actions;
        actions.load = [this](const HistoryRun &run, const ::MeasurementRecord &record) {
            if (Link->passRunning() || !MainWindowEnabled())
                return false;
            bool shown = false;
            guarded([&] {
                Graphic->ShowLoaded(record, HistoryRunName(run));
                shown = true;
            });
            return shown;
        };
        // A complete run brings the settings it was measured with, as a loaded .nfm does.
        actions.loadComplete = [this](const HistoryRun &run, const CompleteMeasurement &m) {
            if (Link->passRunning() || !MainWindowEnabled())
                return false;
            bool shown = false;
            guarded([&] {
                Graphic->ShowLoadedComplete(m, HistoryRunName(run));
                shown = true;
            });
            return shown;
        };
        // A run beside the measurement on the graph, named as when it is loaded.
        actions.overlay = [this](const HistoryRun &run, const ::MeasurementRecord &record) {
            return showAsReference(ReferenceOfRecord(record, HistoryRunName(run)));
        };
        actions.context = [this] { return evaluationContext(); };
        HistoryDialog = new THistoryDialog(*History, actions, this);
    } else {
        HistoryDialog->refresh();
    }
    HistoryDialog->show();
    HistoryDialog->raise();
    HistoryDialog->activateWindow();
}
