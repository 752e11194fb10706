// The page "Noise Source": the choice of the ENR source, the grid that is the working copy of
// the shown table, default.tbl at start and close, and the table files. The store, the cell
// rules and the file formats live in noise/enr_store.h and noise/enr_files.h.

#include "app/core/entry_rules.h"
#include "base/errors.h"
#include "app/main_window.h"
#include "app/key_character.h"
#include "app/widgets.h"
#include "noise/enr_files.h"

#include <QApplication>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <optional>

namespace {

constexpr int kFrequencyColumn = 0;
constexpr int kEnrColumn = 1;

/// The grid's editor: its keys reach the main window's grid handler before the delegate's own
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
            m_form->eventFilter(object, event);
            return handled;
        }
        if (m_form->eventFilter(object, event))
            return true;
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    QObject *m_form;
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

// ---- The grid ------------------------------------------------------------------------------------

void TForm1::bindEnrGrid()
{
    vle_ENR->setItemDelegate(new EnrGridDelegate(this, vle_ENR));
    // Tab ends the cell and leaves the grid, as Enter ends the cell and stays.
    vle_ENR->setTabKeyNavigation(false);
    vle_ENR->setSelectionMode(QAbstractItemView::SingleSelection);
    vle_ENR->setSelectionBehavior(QAbstractItemView::SelectItems);
    setEnrGridRows(DefaultEnrRows());
    vle_ENR->setCurrentCell(0, kEnrColumn);
    connect(vle_ENR, &QTableWidget::currentCellChanged, this, [this](int row, int column, int, int) {
        if (row >= 0 && column == kFrequencyColumn)
            vle_ENR->setCurrentCell(row, kEnrColumn);
    });
    vle_ENR->installEventFilter(this);
}

EnrRows TForm1::enrGridRows() const
{
    EnrRows rows;
    for (int r = 0; r < kEnrRows; ++r) {
        const QTableWidgetItem *f = vle_ENR->item(r, kFrequencyColumn);
        const QTableWidgetItem *e = vle_ENR->item(r, kEnrColumn);
        rows[size_t(r)] = {f ? f->text() : QString(), e ? e->text() : QString()};
    }
    return rows;
}

void TForm1::setEnrGridRows(const EnrRows &rows)
{
    for (int r = 0; r < kEnrRows; ++r) {
        GridItem(vle_ENR, r, kFrequencyColumn)->setText(rows[size_t(r)].FrequencyText);
        GridItem(vle_ENR, r, kEnrColumn)->setText(rows[size_t(r)].EnrText);
    }
}

void TForm1::vle_ENRKeyPress(QChar &key)
{
    const int row = vle_ENR->currentRow();
    if (row < 0)
        return;
    QLineEdit *editor = GridDelegate(vle_ENR) ? GridDelegate(vle_ENR)->openEditor() : nullptr;
    QTableWidgetItem *cell = GridItem(vle_ENR, row, kEnrColumn);
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
    vle_ENR->setCurrentCell(NextEnrRow(row), kEnrColumn);
}

void TForm1::vle_ENRExit()
{
    for (int r = 0; r < kEnrRows; ++r) {
        QTableWidgetItem *cell = GridItem(vle_ENR, r, kEnrColumn);
        const QString normalised = NormaliseEnrCell(cell->text());
        if (normalised != cell->text())
            cell->setText(normalised);
    }
}

bool TForm1::enrGridEvent(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return false;
        // Moving between the grid and its cell editor is no exit from the grid.
        for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget()) {
            if (w == vle_ENR)
                return false;
        }
        guarded([this] { vle_ENRExit(); });
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;

    const std::optional<QChar> typed = KeyCharacter(static_cast<QKeyEvent *>(event), KeyReader::Grid);
    if (!typed)
        return false;
    const bool onEditor = watched != vle_ENR;
    const bool endsCell = *typed == QChar(kKeyEnter) || *typed == QChar(kGridKeyTab);
    // A character typed on the grid itself opens the cell's editor, which then receives it.
    if (!onEditor && !endsCell)
        return false;

    QChar key = *typed;
    guarded([this, &key] { vle_ENRKeyPress(key); });
    if (key.isNull())
        return true;
    if (endsCell) {
        if (key == QChar(kGridKeyTab))
            focusNextPrevChild(true);
        return true;
    }
    if (key == *typed)
        return false;  // typed as it came
    if (QLineEdit *editor = GridDelegate(vle_ENR)->openEditor())
        editor->insert(QString(key));
    return true;
}

// ---- The ENR source ------------------------------------------------------------------------------

void TForm1::InitEnrTableNames()
{
    EnrTables.Table(1).FileName.clear();
    EnrTables.Table(2).FileName.clear();
}

void TForm1::rg_ENRClick()
{
    // The grid is the working copy of the table shown so far: keep its edits.
    if (EnrTables.ShownTable == EnrTable1 || EnrTables.ShownTable == EnrTable2)
        EnrTables.Table(EnrTables.ShownTable).Rows = LimitEnrRows(enrGridRows());

    const int m = rg_ENR->ItemIndex();
    if (m != EnrAll && m != EnrTable1 && m != EnrTable2) {
        // No item selected (a measurement file may name a source that does not exist): the
        // constant is the only source that needs no table.
        rg_ENR->setItemIndex(EnrAll);  // applies the mode again
        return;
    }

    const bool table = m != EnrAll;
    if (!table) {
        rg_ENR->setToolTip(QStringLiteral("const."));
        l_NoiseSource->setText(QStringLiteral("const."));
        NoiseSourceText = NoiseSourceTextForConstant(e_ENRall->text());
    } else {
        const EnrTable &shown = EnrTables.Table(m);
        rg_ENR->setToolTip(QStringLiteral("actual: ") + shown.FileName);
        l_NoiseSource->setText(EnrTableCaption(m));
        NoiseSourceText = NoiseSourceTextForTable(m, shown.FileName);
        setEnrGridRows(shown.Rows);
    }
    e_ENRall->setEnabled(!table);
    vle_ENR->setEnabled(table);
    b_TableLoad->setEnabled(table);
    b_TableSave->setEnabled(table);
    EnrTables.ShownTable = m;
    MeasurementRecord.MeasurementHeader.NoiseSourceText = ToWindows1252(NoiseSourceText);
}

double TForm1::LookupEnr(double frequencyHz)
{
    return ::LookupEnr(frequencyHz, rg_ENR->ItemIndex(), e_ENRall->text(), enrGridRows());
}

// ---- default.tbl -----------------------------------------------------------------------------------

void TForm1::PersistEnrTables(bool load)
{
    const QString path = DefaultTblName();
    if (!load) {
        // The grid is not copied first: edits since the mode was last applied are not kept.
        try {
            WriteEnrStoreFile(path, EnrTables);
        } catch (const EFileError &e) {
            reportSaveError(QStringLiteral("The ENR tables could not be saved.\n") + e.message());
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
            rg_ENR->setItemIndex(EnrTables.ShownTable);  // applies the mode
        }
        return;
    }
    // No usable store: both tables take the designed rows that the grid still holds.
    const EnrRows rows = LimitEnrRows(enrGridRows());
    EnrTables.Table(1).Rows = rows;
    EnrTables.Table(2).Rows = rows;
}

// ---- Table files -----------------------------------------------------------------------------------

void TForm1::b_TableLoadClick()
{
    const int m = rg_ENR->ItemIndex();
    if (m != EnrTable1 && m != EnrTable2)
        return;
    const std::optional<QString> path = dialogs().openFile(FileFilter(), kFilterTables);
    if (!path)
        return;
    // A file that cannot be read changes nothing: neither the grid nor the table's file name.
    const EnrRows rows = ReadEnrTabFile(*path);
    setEnrGridRows(rows);
    EnrTables.Table(m).FileName = LimitEnrFileName(*path);
    rg_ENRClick();
}

void TForm1::b_TableSaveClick()
{
    const int m = rg_ENR->ItemIndex();
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
