#include "app/history_dialog.h"

#include "app/core/dialogs.h"
#include "app/guarded.h"
#include "app/results_out.h"
#include "app/window_history.h"
#include "base/errors.h"
#include "results/measurement_file.h"
#include "results/nfm_file.h"
#include "results/bench_export.h"
#include "results/limit_results.h"
#include "results/stored_measurement.h"
#include "base/files.h"
#include "run/calibration_state.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int kIdRole = Qt::UserRole + 1;

QString ExportFilter()
{
    return QStringLiteral("Measure (*.mea)|*.mea|Complete measurement (*.nfm)|*.nfm|CSV (*.csv)|*.csv|all Files (*.*)|*.*");
}

}  // namespace

QString HistoryRunName(const HistoryRun &run)
{
    return run.serial.isEmpty() ? QStringLiteral("run %1").arg(run.id)
                                : QStringLiteral("%1 %2").arg(run.dut, run.serial).trimmed();
}

QStringList HistoryColumnTitles()
{
    return {QStringLiteral("Date and time"), QStringLiteral("DUT"),    QStringLiteral("Serial"),
            QStringLiteral("Range"),         QStringLiteral("Points"), QStringLiteral("Worst NF"),
            QStringLiteral("Verdict")};
}

QStringList HistoryRowTexts(const HistoryRun &run)
{
    const QString range = run.startHz == run.stopHz
                              ? CalibrationFrequencyText(run.startHz)
                              : CalibrationFrequencyText(run.startHz) + QStringLiteral(" to ")
                                    + CalibrationFrequencyText(run.stopHz);
    const QString worst = run.worstNfDb ? QString::number(*run.worstNfDb, 'f', 2) + QStringLiteral(" dB")
                                        : QStringLiteral("-");
    return {run.recordedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            run.dut,
            run.serial,
            range,
            QString::number(run.points),
            worst,
            run.verdict};
}

THistoryDialog::THistoryDialog(WindowHistory &history, HistoryDialogActions actions, QWidget *parent)
    : QDialog(parent), m_history(history), m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("HistoryDialog"));
    setWindowTitle(QStringLiteral("History"));

    auto *filterLabel = new QLabel(QStringLiteral("Filter (DUT or serial):"), this);
    e_HistoryFilter = new QLineEdit(this);
    e_HistoryFilter->setObjectName(QStringLiteral("e_HistoryFilter"));
    filterLabel->setBuddy(e_HistoryFilter);

    m_model = new QStandardItemModel(0, int(HistoryColumnTitles().size()), this);
    m_model->setHorizontalHeaderLabels(HistoryColumnTitles());
    tv_History = new QTableView(this);
    tv_History->setObjectName(QStringLiteral("tv_History"));
    tv_History->setModel(m_model);
    tv_History->setSelectionBehavior(QAbstractItemView::SelectRows);
    tv_History->setSelectionMode(QAbstractItemView::SingleSelection);
    tv_History->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tv_History->verticalHeader()->hide();
    tv_History->horizontalHeader()->setStretchLastSection(true);

    const auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    b_HistoryLoad = button("b_HistoryLoad", QStringLiteral("Load"));
    b_HistoryOverlay = button("b_HistoryOverlay", QStringLiteral("Show as reference"));
    b_HistoryExport = button("b_HistoryExport", QStringLiteral("Export ..."));
    b_HistoryDelete = button("b_HistoryDelete", QStringLiteral("Delete"));
    auto *close = button("b_HistoryClose", QStringLiteral("Close"));

    auto *top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(e_HistoryFilter, 1);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {b_HistoryLoad, b_HistoryOverlay, b_HistoryExport, b_HistoryDelete})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tv_History, 1);
    layout->addLayout(buttons);
    resize(760, 420);

    connect(e_HistoryFilter, &QLineEdit::textChanged, this, &THistoryDialog::refresh);
    connect(tv_History->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &THistoryDialog::selectionChanged);
    connect(tv_History, &QTableView::doubleClicked, this, &THistoryDialog::b_HistoryLoadClick);
    const auto guard = [](void (THistoryDialog::*handler)(), THistoryDialog *d) {
        return [d, handler] { Guarded([d, handler] { (d->*handler)(); }); };
    };
    connect(b_HistoryLoad, &QPushButton::clicked, this, guard(&THistoryDialog::b_HistoryLoadClick, this));
    connect(b_HistoryOverlay, &QPushButton::clicked, this, guard(&THistoryDialog::b_HistoryOverlayClick, this));
    connect(b_HistoryExport, &QPushButton::clicked, this, guard(&THistoryDialog::b_HistoryExportClick, this));
    connect(b_HistoryDelete, &QPushButton::clicked, this, guard(&THistoryDialog::b_HistoryDeleteClick, this));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(&m_history, &WindowHistory::recorded, this, &THistoryDialog::refresh);

    refresh();
}

void THistoryDialog::refresh()
{
    const std::optional<qint64> kept = selectedRun();
    m_model->removeRows(0, m_model->rowCount());
    QString error;
    HistoryStore *store = m_history.store(&error);
    QList<HistoryRun> runs;
    if (store) {
        HistoryFilter filter;
        filter.text = e_HistoryFilter->text().trimmed();
        runs = store->list(filter, &error);
    }
    if (!error.isEmpty())
        setWindowTitle(QStringLiteral("History - ") + error);
    else
        setWindowTitle(QStringLiteral("History (%1)").arg(m_history.path()));
    m_model->setRowCount(int(runs.size()));
    for (int row = 0; row < runs.size(); ++row) {
        const QStringList texts = HistoryRowTexts(runs[row]);
        for (int column = 0; column < texts.size(); ++column) {
            auto *item = new QStandardItem(texts[column]);
            if (column == 0)
                item->setData(runs[row].id, kIdRole);
            m_model->setItem(row, column, item);
        }
        if (kept && runs[row].id == *kept)
            tv_History->selectRow(row);
    }
    tv_History->resizeColumnsToContents();
    selectionChanged();
}

std::optional<qint64> THistoryDialog::selectedRun() const
{
    const QModelIndexList rows = tv_History->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return m_model->item(rows.front().row(), 0)->data(kIdRole).toLongLong();
}

void THistoryDialog::selectionChanged()
{
    const bool selected = selectedRun().has_value();
    b_HistoryLoad->setEnabled(selected && bool(m_actions.load));
    b_HistoryOverlay->setEnabled(selected && bool(m_actions.overlay));
    b_HistoryExport->setEnabled(selected);
    b_HistoryDelete->setEnabled(selected);
}

std::optional<THistoryDialog::Chosen> THistoryDialog::selectedMeasurement()
{
    const std::optional<qint64> id = selectedRun();
    if (!id)
        return std::nullopt;
    QString error;
    HistoryStore *store = m_history.store(&error);
    std::optional<HistoryRun> run = store ? store->run(*id, &error) : std::nullopt;
    if (!run) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, QStringLiteral("History: ") + error);
        return std::nullopt;
    }
    StoredMeasurementRead read = ReadStoredMeasurement(run->measurement, *id);
    if (!read.measurement) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, QStringLiteral("History: ") + read.error);
        return std::nullopt;
    }
    return Chosen{*run, std::move(*read.measurement), read.complete};
}

void THistoryDialog::b_HistoryLoadClick()
{
    if (!m_actions.load)
        return;
    const auto chosen = selectedMeasurement();
    if (!chosen)
        return;
    const bool shown = chosen->complete && m_actions.loadComplete
                           ? m_actions.loadComplete(chosen->run, chosen->measurement)
                           : m_actions.load(chosen->run, chosen->measurement.record);
    if (shown)
        close();
}

void THistoryDialog::b_HistoryOverlayClick()
{
    if (!m_actions.overlay)
        return;
    if (const auto chosen = selectedMeasurement())
        m_actions.overlay(chosen->run, chosen->measurement.record);
}

void THistoryDialog::b_HistoryExportClick()
{
    const auto chosen = selectedMeasurement();
    if (!chosen)
        return;
    const std::optional<QString> picked = dialogs().saveFile(ExportFilter(), 1);
    if (!picked)
        return;
    QString path = *picked;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix.isEmpty())
        path += QStringLiteral(".mea");
    if (!MayReplaceFile(path))
        return;
    const HistoryRun &run = chosen->run;
    const MeasurementRecord &record = chosen->measurement.record;
    if (suffix == QLatin1String("csv")) {
        QList<std::pair<QString, QString>> details;
        if (!run.dut.isEmpty())
            details.append({QStringLiteral("DUT"), run.dut});
        if (!run.serial.isEmpty())
            details.append({QStringLiteral("Serial"), run.serial});
        if (!run.engineer.isEmpty())
            details.append({QStringLiteral("Test Engineer"), run.engineer});
        // A complete run is evaluated with what it was measured with: its noise sources, room
        // temperature and bench, through the same export as a complete file's.
        const EvaluationContext context = chosen->complete ? EvaluationContextOf(chosen->measurement)
                                          : m_actions.context        ? m_actions.context()
                                                                     : EvaluationContext();
        CsvExportDetails csv = MeasurementCsvDetails(record, context, QString(), details);
        csv.measured = run.recordedAt;
        // Judged against the limits the run was judged against when it was measured.
        const LimitSet limits = LimitsOfRun(run);
        const QList<CsvColumn> limitColumns = LimitCsvColumns(limits, StepLimitResults(CsvStepRows(record, csv), limits));
        QString error;
        const QByteArray text = chosen->complete ? BenchCsvText(chosen->measurement, csv, limitColumns)
                                                 : MeasurementCsvText(record, csv, StepCsvColumns() + limitColumns);
        if (!WriteFileAtomically(path, text, &error))
            throw EFileError(path + QStringLiteral(": ") + error);
    } else if (suffix == QLatin1String("nfm")) {
        CompleteMeasurement m = chosen->measurement;
        if (!m.measuredAt.isValid())
            m.measuredAt = run.recordedAt;
        SaveCompleteMeasurementFile(path, m);
    } else {
        SaveMeasurementFile(path, record);
    }
}

void THistoryDialog::b_HistoryDeleteClick()
{
    const std::optional<qint64> id = selectedRun();
    if (!id)
        return;
    const QModelIndexList rows = tv_History->selectionModel()->selectedRows();
    const int row = rows.front().row();
    const QString what = QStringLiteral("%1 %2 %3")
                             .arg(m_model->item(row, 0)->text(), m_model->item(row, 1)->text(),
                                  m_model->item(row, 2)->text())
                             .simplified();
    if (ShowMessage(MsgType::Confirmation, MsgButtons::YesNo,
                    QStringLiteral("Delete the run of %1 from the history?").arg(what), /*defaultNo*/ true)
        != MsgResult::Yes)
        return;
    QString error;
    HistoryStore *store = m_history.store(&error);
    if (!store || !store->remove(*id, &error)) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, QStringLiteral("History: ") + error);
        return;
    }
    refresh();
}
