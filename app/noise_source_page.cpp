// The page "Noise Source": the choice of the ENR source, the grid that is the working copy of
// the shown table, default.tbl at start and close, and the table files. The store and the file
// formats live in noise/enr_store.h and noise/enr_files.h, the cell rules in
// app/core/entry_rules.h.

#include "app/noise_source_page.h"

#include "app/core/dialogs.h"
#include "app/core/entry_rules.h"
#include "base/errors.h"
#include "base/files.h"
#include "app/guarded.h"
#include "app/key_character.h"
#include "app/results_out.h"
#include "app/widgets.h"
#include "noise/bench_files.h"
#include "noise/enr_files.h"
#include "noise/measurement_record.h"

#include <QApplication>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <optional>

namespace {

constexpr int kFrequencyColumn = 0;
constexpr int kEnrColumn = 1;

/// The grid's editor: its keys reach the page's grid handler before the delegate's own
/// handling, and it remembers the editor that is open.
class EnrGridDelegate : public QStyledItemDelegate
{
public:
    EnrGridDelegate(QObject *form, QObject *parent) : QStyledItemDelegate(parent), m_form(form) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *w = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            // Typed keys are the only way into a cell.
            edit->setContextMenuPolicy(Qt::NoContextMenu);
            edit->setAcceptDrops(false);
            m_editor = edit;
        }
        return w;
    }

    /// The editor open in the grid, if any.
    QLineEdit *openEditor() const { return m_editor && m_editor->isVisible() ? m_editor.data() : nullptr; }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut) {
            // The delegate commits the cell first, so that the grid's exit sees the typed text.
            const bool handled = QStyledItemDelegate::eventFilter(object, event);
            if (m_form)
                m_form->eventFilter(object, event);
            return handled;
        }
        if (m_form && m_form->eventFilter(object, event))
            return true;
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    // The page may go before the grid's last events, as the window closes.
    QPointer<QObject> m_form;
    mutable QPointer<QLineEdit> m_editor;
};

EnrGridDelegate *GridDelegate(const QTableWidget *grid)
{
    return dynamic_cast<EnrGridDelegate *>(grid->itemDelegate());
}

QTableWidgetItem *GridItem(QTableWidget *grid, int row, int column)
{
    QTableWidgetItem *item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        // Frequencies change only through table files; only the ENR column is selected and edited.
        item->setFlags(column == kFrequencyColumn
                           ? Qt::ItemIsEnabled
                           : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        grid->setItem(row, column, item);
    }
    return item;
}


}  // namespace

NoiseSourcePage::NoiseSourcePage(const NoiseSourceControls &controls, ::MeasurementRecord &record)
    : c(controls), m_record(record)
{
}

// ---- The grid ------------------------------------------------------------------------------------

void NoiseSourcePage::bindEnrGrid()
{
    c.vle_ENR->setItemDelegate(new EnrGridDelegate(this, c.vle_ENR));
    // Tab ends the cell and leaves the grid, as Enter ends the cell and stays.
    c.vle_ENR->setTabKeyNavigation(false);
    c.vle_ENR->setSelectionMode(QAbstractItemView::SingleSelection);
    c.vle_ENR->setSelectionBehavior(QAbstractItemView::SelectItems);
    setEnrGridRows(DefaultEnrRows());
    c.vle_ENR->setCurrentCell(0, kEnrColumn);
    QObject::connect(c.vle_ENR, &QTableWidget::currentCellChanged, this, [this](int row, int column, int, int) {
        if (row >= 0 && column == kFrequencyColumn)
            c.vle_ENR->setCurrentCell(row, kEnrColumn);
    });
    c.vle_ENR->installEventFilter(this);
    m_published = enrSource();
    m_bound = true;
    QObject::connect(c.vle_ENR, &QTableWidget::itemChanged, this, [this] { publishEnrSource(); });
    QObject::connect(c.e_ENRall, &QLineEdit::textChanged, this, [this] { publishEnrSource(); });
    // The item's own handler publishes the source it applies; this catches a change of item
    // whose handler ended early.
    QObject::connect(c.rg_ENR, &RadioGroup::clicked, this, [this] { publishEnrSource(); });
    // Those who take the source start from the one the page starts with.
    emit enrSourceChanged(m_published);
}

bool NoiseSourcePage::eventFilter(QObject *watched, QEvent *event)
{
    // The grid and its cell editor (whose delegate hands its events here).
    if (watched == c.vle_ENR || watched->parent() == c.vle_ENR->viewport())
        return enrGridEvent(watched, event);
    return QObject::eventFilter(watched, event);
}

EnrRows NoiseSourcePage::enrGridRows() const
{
    EnrRows rows;
    for (int r = 0; r < kEnrRows; ++r) {
        const QTableWidgetItem *f = c.vle_ENR->item(r, kFrequencyColumn);
        const QTableWidgetItem *e = c.vle_ENR->item(r, kEnrColumn);
        rows[size_t(r)] = {f ? f->text() : QString(), e ? e->text() : QString()};
    }
    return rows;
}

void NoiseSourcePage::setEnrGridRows(const EnrRows &rows)
{
    {
        // The rows change as one: the source is published once they all stand.
        const QScopedValueRollback<bool> filling(m_fillingGrid, true);
        for (int r = 0; r < kEnrRows; ++r) {
            GridItem(c.vle_ENR, r, kFrequencyColumn)->setText(rows[size_t(r)].FrequencyText);
            GridItem(c.vle_ENR, r, kEnrColumn)->setText(rows[size_t(r)].EnrText);
        }
    }
    publishEnrSource();
}

void NoiseSourcePage::vle_ENRKeyPress(QChar &key)
{
    const int row = c.vle_ENR->currentRow();
    if (row < 0)
        return;
    QLineEdit *editor = GridDelegate(c.vle_ENR) ? GridDelegate(c.vle_ENR)->openEditor() : nullptr;
    QTableWidgetItem *cell = GridItem(c.vle_ENR, row, kEnrColumn);
    const QString text = editor ? editor->text() : cell->text();
    const EnrCellKeyResult result = EnrCellKeyPress(text, key);
    key = result.key;
    if (!result.nextRow)
        return;
    const QString normalised = NormaliseEnrCell(text);
    if (editor)
        editor->setText(normalised);
    else
        cell->setText(normalised);
    // Moving the current cell commits the open editor and closes it.
    c.vle_ENR->setCurrentCell(NextEnrRow(row), kEnrColumn);
}

void NoiseSourcePage::vle_ENRExit()
{
    for (int r = 0; r < kEnrRows; ++r) {
        QTableWidgetItem *cell = GridItem(c.vle_ENR, r, kEnrColumn);
        const QString normalised = NormaliseEnrCell(cell->text());
        if (normalised != cell->text())
            cell->setText(normalised);
    }
}

bool NoiseSourcePage::enrGridEvent(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return false;
        // Moving between the grid and its cell editor is no exit from the grid.
        for (QWidget *focused = QApplication::focusWidget(); focused; focused = focused->parentWidget()) {
            if (focused == c.vle_ENR)
                return false;
        }
        Guarded([this] { vle_ENRExit(); });
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;

    const std::optional<QChar> typed = KeyCharacter(static_cast<QKeyEvent *>(event), KeyReader::Grid);
    if (!typed)
        return false;
    const bool onEditor = watched != c.vle_ENR;
    const bool endsCell = *typed == QChar(kKeyEnter) || *typed == QChar(kGridKeyTab);
    // A character typed on the grid itself opens the cell's editor, which then receives it.
    if (!onEditor && !endsCell)
        return false;

    QChar key = *typed;
    Guarded([this, &key] { vle_ENRKeyPress(key); });
    if (key.isNull())
        return true;
    if (endsCell) {
        if (key == QChar(kGridKeyTab))
            emit focusNext();
        return true;
    }
    if (key == *typed)
        return false;  // typed as it came
    if (QLineEdit *editor = GridDelegate(c.vle_ENR)->openEditor())
        editor->insert(QString(key));
    return true;
}

// ---- The ENR source ------------------------------------------------------------------------------

void NoiseSourcePage::InitEnrTableNames()
{
    EnrTables.Table(1).FileName.clear();
    EnrTables.Table(2).FileName.clear();
}

void NoiseSourcePage::rg_ENRClick()
{
    // The grid is the working copy of the table shown so far: keep its edits.
    if (EnrTables.ShownTable == EnrTable1 || EnrTables.ShownTable == EnrTable2)
        EnrTables.Table(EnrTables.ShownTable).Rows = LimitEnrRows(enrGridRows());

    const int m = c.rg_ENR->ItemIndex();
    if (m != EnrAll && m != EnrTable1 && m != EnrTable2) {
        // No item selected (a measurement file may name a source that does not exist): the
        // constant is the only source that needs no table.
        c.rg_ENR->setItemIndex(EnrAll);  // applies the mode again
        return;
    }

    const bool table = m != EnrAll;
    if (!table) {
        c.rg_ENR->setToolTip(QStringLiteral("const."));
        c.l_NoiseSource->setText(QStringLiteral("const."));
    } else {
        const EnrTable &shown = EnrTables.Table(m);
        c.rg_ENR->setToolTip(QStringLiteral("actual: ") + shown.FileName);
        c.l_NoiseSource->setText(EnrTableCaption(m));
        setEnrGridRows(shown.Rows);
    }
    NoiseSourceText = sourceTextOf(m);
    c.e_ENRall->setEnabled(!table);
    c.vle_ENR->setEnabled(table);
    c.b_TableLoad->setEnabled(table);
    c.b_TableSave->setEnabled(table);
    if (c.b_EnrFileLoad)
        c.b_EnrFileLoad->setEnabled(table);
    EnrTables.ShownTable = m;
    m_record.MeasurementHeader.NoiseSourceText = ToWindows1252(NoiseSourceText);
    publishEnrSource();
}

EnrSource NoiseSourcePage::enrSource() const
{
    EnrSource source;
    source.mode = c.rg_ENR->ItemIndex();
    source.enrAllText = c.e_ENRall->text();
    source.rows = enrGridRows();
    if (source.mode == EnrTable1 || source.mode == EnrTable2) {
        source.uncertaintyDb = EnrUncertainty[size_t(source.mode - 1)];
        source.dataFileRows = EnrDataFileRows[size_t(source.mode - 1)];
    }
    return source;
}

EnrSource NoiseSourcePage::sourceOfMode(int mode) const
{
    EnrSource source;
    source.mode = mode;
    source.enrAllText = c.e_ENRall->text();
    if (mode == EnrTable1 || mode == EnrTable2) {
        source.rows = mode == c.rg_ENR->ItemIndex() ? enrGridRows() : EnrTables.Table(mode).Rows;
        source.uncertaintyDb = EnrUncertainty[size_t(mode - 1)];
        source.dataFileRows = EnrDataFileRows[size_t(mode - 1)];
    }
    return source;
}

void NoiseSourcePage::setEnrUncertainty(const std::array<EnrUncertainties, 2> &uncertainty)
{
    EnrUncertainty = uncertainty;
    publishEnrSource();
}

void NoiseSourcePage::selectLoadedSource(int enrSource)
{
    // A source number that is none of the three items leaves the selection as it is.
    if (enrSource >= 0 && enrSource < 3)
        c.rg_ENR->setItemIndex(enrSource);  // runs the noise-source handler when it changes
}

QString NoiseSourcePage::sourceTextOf(int mode) const
{
    if (mode != EnrTable1 && mode != EnrTable2)
        return NoiseSourceTextForConstant(c.e_ENRall->text());
    // A table from a noise source's data file is named by the source's model and serial number.
    const QString &dataText = m_dataFileText[size_t(mode - 1)];
    return dataText.isEmpty() ? NoiseSourceTextForTable(mode, EnrTables.Table(mode).FileName) : dataText;
}

void NoiseSourcePage::takeLoadedSourceText()
{
    ::MeasurementHeader &h = m_record.MeasurementHeader;
    NoiseSourceText = NoiseSourceTextOf(h);
    if (h.NoiseSourceText.isEmpty())
        h.NoiseSourceText = ToWindows1252(NoiseSourceText);
}

void NoiseSourcePage::publishEnrSource()
{
    if (m_fillingGrid || !m_bound)
        return;
    const EnrSource now = enrSource();
    if (now == m_published)
        return;
    m_published = now;
    emit enrSourceChanged(now);
}

// ---- default.tbl -----------------------------------------------------------------------------------

void NoiseSourcePage::PersistEnrTables(bool load)
{
    const QString path = DefaultTblName();
    if (!load) {
        // The lookup reads the grid, so what calculations used is what the store keeps: edits
        // since the mode was last applied go in first, as applying the mode does.
        if (EnrTables.ShownTable == EnrTable1 || EnrTables.ShownTable == EnrTable2)
            EnrTables.Table(EnrTables.ShownTable).Rows = LimitEnrRows(enrGridRows());
        try {
            WriteEnrStoreFile(path, EnrTables);
        } catch (const EFileError &e) {
            emit saveFailed(QStringLiteral("The ENR tables could not be saved.\n") + e.message());
        }
        return;
    }

    std::optional<EnrTableStore> stored;
    try {
        stored = ReadEnrStoreFile(path);
    } catch (const EFileError &e) {
        ShowMessage(MsgType::Warning, MsgButtons::Ok,
                    QStringLiteral("The ENR tables could not be read.\n") + e.message() +
                        QStringLiteral("\nBoth tables start from the default rows."));
    }
    if (stored) {
        EnrTables = *stored;
        if (EnrTables.ShownTable != EnrAll) {
            setEnrGridRows(EnrTables.Table(EnrTables.ShownTable).Rows);
            c.rg_ENR->setItemIndex(EnrTables.ShownTable);  // applies the mode
        }
        return;
    }
    // No usable store: both tables take the designed rows that the grid still holds.
    const EnrRows rows = LimitEnrRows(enrGridRows());
    EnrTables.Table(1).Rows = rows;
    EnrTables.Table(2).Rows = rows;
}

// ---- Table files -----------------------------------------------------------------------------------

void NoiseSourcePage::b_TableLoadClick()
{
    const int m = c.rg_ENR->ItemIndex();
    if (m != EnrTable1 && m != EnrTable2)
        return;
    const std::optional<QString> path = dialogs().openFile(FileFilter(), kFilterTables);
    if (!path)
        return;
    // A file that cannot be read changes nothing: neither the grid nor the table's file name.
    const EnrRows rows = ReadEnrTabFile(*path);
    // A table file gives no uncertainties and names no noise source.
    EnrUncertainty[size_t(m - 1)] = {};
    EnrDataFileRows[size_t(m - 1)] = 0;
    m_dataFileText[size_t(m - 1)].clear();
    setEnrGridRows(rows);
    EnrTables.Table(m).FileName = LimitEnrFileName(*path);
    rg_ENRClick();
}

void NoiseSourcePage::b_EnrFileLoadClick()
{
    const int m = c.rg_ENR->ItemIndex();
    if (m != EnrTable1 && m != EnrTable2)
        return;
    const std::optional<QString> path =
        dialogs().openFile(QStringLiteral("ENR files (*.enr)|*.enr|all Files (*.*)|*.*"), 1);
    if (!path)
        return;
    EnrFileTable table;
    try {
        table = EnrFileTableOf(ReadEnrDataFile(*path));
    } catch (const EFileError &e) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, e.message());
        return;
    } catch (const AppError &e) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, QStringLiteral("%1: %2").arg(*path, e.message()));
        return;
    }
    EnrUncertainty[size_t(m - 1)] = table.uncertaintyDb;
    EnrDataFileRows[size_t(m - 1)] = table.points;
    m_dataFileText[size_t(m - 1)] = table.noiseSourceText;
    setEnrGridRows(table.rows);
    EnrTables.Table(m).FileName = LimitEnrFileName(*path);
    rg_ENRClick();
    if (table.textCut)
        ShowMessage(MsgType::Information, MsgButtons::Ok,
                    QStringLiteral("The model and serial number of %1 are cut to %2 characters: \"%3\"")
                        .arg(FileNameWithoutDirectories(*path))
                        .arg(kNoiseSourceTextLimit)
                        .arg(table.noiseSourceText));
}

void NoiseSourcePage::b_TableSaveClick()
{
    const int m = c.rg_ENR->ItemIndex();
    if (m != EnrTable1 && m != EnrTable2)
        return;
    const std::optional<QString> chosen = dialogs().saveFile(FileFilter(), kFilterTables);
    if (!chosen)
        return;
    QString path = *chosen;
    if (!path.endsWith(QStringLiteral(".tab"), Qt::CaseSensitive))
        path += QStringLiteral(".tab");
    if (QFileInfo::exists(path) &&
        ShowMessage(MsgType::Warning, MsgButtons::YesNo, QStringLiteral("File exists !\n\rOverwrite?"),
                    true) != MsgResult::Yes)
        return;
    // Only a file that was written becomes the table's file; the hint and NoiseSourceText
    // follow when the mode is next applied.
    WriteEnrTabFile(path, enrGridRows());
    EnrTables.Table(m).FileName = LimitEnrFileName(path);
}
