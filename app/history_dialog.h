#pragma once
// "File / History ...": the runs of the history, newest first, with a filter on the DUT and the
// serial number, and what can be done with one run: load it into the window, show it as a
// reference trace, export it (.mea, .nfm or CSV) or delete it after a question. The dialog
// works on the window's history and hands a loaded run to whoever opened it.

#include "noise/evaluation.h"
#include "noise/measurement_record.h"
#include "results/history_store.h"
#include "results/nfm_file.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;
class WindowHistory;

/// What the dialog hands back to the window.
struct HistoryDialogActions
{
    /// Shows the run's measurement in the window; false when the window cannot take it now.
    std::function<bool(const HistoryRun &run, const MeasurementRecord &record)> load;
    /// Shows a run that holds a complete measurement in the window with the settings it names,
    /// as a loaded complete file; false when the window cannot take it now. Without it, such a
    /// run is loaded through `load` as its record.
    std::function<bool(const HistoryRun &run, const CompleteMeasurement &measurement)> loadComplete;
    /// Shows the run's measurement as a reference trace; false when the graph cannot take it.
    std::function<bool(const HistoryRun &run, const MeasurementRecord &record)> overlay;
    /// The ENR and room temperature a CSV export evaluates the run with.
    std::function<EvaluationContext()> context;
};

/// The name a run is shown under: "DUT serial", or "run 12" without a serial.
QString HistoryRunName(const HistoryRun &run);

/// The columns of tv_History.
QStringList HistoryColumnTitles();
/// The texts of one row of tv_History: date and time, DUT, serial, range, points, worst NF, verdict.
QStringList HistoryRowTexts(const HistoryRun &run);

class THistoryDialog : public QDialog
{
    Q_OBJECT

public:
    THistoryDialog(WindowHistory &history, HistoryDialogActions actions, QWidget *parent = nullptr);

    QTableView *tv_History = nullptr;
    QLineEdit *e_HistoryFilter = nullptr;
    QPushButton *b_HistoryLoad = nullptr;
    QPushButton *b_HistoryOverlay = nullptr;
    QPushButton *b_HistoryExport = nullptr;
    QPushButton *b_HistoryDelete = nullptr;

    /// Lists the runs that match the filter again, keeping the selected one where it remains.
    void refresh();
    /// The id of the selected run, nothing without a selection.
    std::optional<qint64> selectedRun() const;

    void b_HistoryLoadClick();
    void b_HistoryOverlayClick();
    void b_HistoryExportClick();
    void b_HistoryDeleteClick();

private:
    /// The selected run with its measurement (a complete one, or only its record for a run of
    /// an earlier version), or nothing after telling the operator why.
    struct Chosen
    {
        HistoryRun run;
        CompleteMeasurement measurement;
        bool complete = false;
    };
    std::optional<Chosen> selectedMeasurement();
    void selectionChanged();

    WindowHistory &m_history;
    HistoryDialogActions m_actions;
    QStandardItemModel *m_model = nullptr;
};
