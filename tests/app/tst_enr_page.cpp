// The page "Noise Source" as the operator uses it: choosing the ENR source, typing into the
// grid, switching tables, loading and saving table files through the dialog seam, and
// default.tbl across a close and a new start in the same working directory.

#include "base/errors.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"
#include "noise/enr_files.h"
#include "noise/yfactor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

QString dataFile(const char *name)
{
    return QStringLiteral(TESSARY_TEST_DATA "/enr/") + QString::fromLatin1(name);
}

}  // namespace

class TestEnrPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;

    /// Starts the program in the test's working directory, shown on the "Noise Source" page.
    bool start()
    {
        m_form = std::make_unique<TForm1>();
        m_form->show();
        QApplication::setActiveWindow(m_form.get());
        if (!QTest::qWaitForWindowActive(m_form.get()))
            return false;
        m_form->PageControl1->setCurrentIndex(3);
        return true;
    }

    /// Closes the program as the operator does (which writes default.tbl).
    void stop()
    {
        m_form->close();
        m_form.reset();
    }

    void chooseSource(int item)
    {
        // A radio button takes clicks on its indicator and its caption only.
        QWidget *b = m_form->rg_ENR->button(item);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }

    QString cell(int row, int column) const
    {
        const QTableWidgetItem *i = m_form->vle_ENR->item(row, column);
        return i ? i->text() : QString();
    }

    /// Selects the ENR cell of `row` and types `keys` ("\r" Enter, "\t" Tab) into the grid.
    void typeIntoGrid(int row, const QString &keys)
    {
        QTableWidget *grid = m_form->vle_ENR;
        grid->setFocus(Qt::MouseFocusReason);
        grid->setCurrentCell(row, 1);
        for (const QChar c : keys) {
            QWidget *w = QApplication::focusWidget();
            if (c == u'\r')
                QTest::keyClick(w, Qt::Key_Return);
            else if (c == u'\t')
                QTest::keyClick(w, Qt::Key_Tab);
            else
                QTest::keyClick(w, char(c.unicode()));
        }
    }

    QString path(const QString &name) const { return m_dir->filePath(name); }

private slots:
    void init();
    void cleanup();

    void firstStartWithoutStore();
    void choosingTheSource();
    void lookupFollowsTheChoice();
    void constantTextFollowsTheTypedConstant();
    void gridKeys_data();
    void gridKeys();
    void enterOnLastRowGoesToFirst();
    void frequencyColumnReadOnly();
    void leavingTheGridNormalises();
    void switchingTablesKeepsEdits();
    void saveAndLoadIntoTheOtherTable();
    void saveNames_data();
    void saveNames();
    void overwriteQuestion();
    void saveFailureLeavesFileName();
    void loadShortFileMakesLookupFail();
    void loadFailureChangesNothing();
    void cancelledDialogsChangeNothing();
    void restartKeepsTablesAndMode();
    void gridEditsWithoutSwitchAreKept();
    void storeFromAnotherWriterShowsTable2();
    void unusableStore_data();
    void unusableStore();
    void unwritableStoreStillCloses();
};

void TestEnrPage::init()
{
    m_dir = std::make_unique<WorkingFolder>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
}

void TestEnrPage::cleanup()
{
    m_form.reset();
    m_dialogs.reset();
    m_dir.reset();
}

void TestEnrPage::firstStartWithoutStore()
{
    QVERIFY(start());
    QCOMPARE(m_form->rg_ENR->ItemIndex(), 0);
    QCOMPARE(m_form->NoiseSource->EnrTables.ShownTable, 0);
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(1).Rows, DefaultEnrRows());
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(2).Rows, DefaultEnrRows());
    QVERIFY(m_form->NoiseSource->EnrTables.Table(1).FileName.isEmpty());
    QVERIFY(m_form->NoiseSource->EnrTables.Table(2).FileName.isEmpty());
    QCOMPARE(cell(0, 0), QStringLiteral("0.01"));
    QCOMPARE(cell(19, 1), QStringLiteral("6.75"));
    QCOMPARE(m_form->l_NoiseSource->text(), QStringLiteral("const."));
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("const."));
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("const. (5.52 dB)"));
    QCOMPARE(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText, QByteArray("const. (5.52 dB)"));
    QVERIFY(m_form->e_ENRall->isEnabled());
    QVERIFY(!m_form->vle_ENR->isEnabled());
    QVERIFY(!m_form->b_TableLoad->isEnabled());
    QVERIFY(!m_form->b_TableSave->isEnabled());
    QVERIFY(m_dialogs->messages.isEmpty());

    // Closing writes a 3156-byte store whose first four bytes are the mode applied last.
    stop();
    const QByteArray image = ReadFileBytes(path(QStringLiteral("default.tbl")));
    QCOMPARE(image.size(), 3156);
    QCOMPARE(image.left(4), QByteArray::fromHex("00000000"));
}

void TestEnrPage::choosingTheSource()
{
    QVERIFY(start());
    chooseSource(2);
    QCOMPARE(m_form->rg_ENR->ItemIndex(), 2);
    QCOMPARE(m_form->l_NoiseSource->text(), QStringLiteral("Table 2"));
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("actual: "));
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("Table 2 ()"));
    QCOMPARE(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText, QByteArray("Table 2 ()"));
    QVERIFY(!m_form->e_ENRall->isEnabled());
    QVERIFY(m_form->vle_ENR->isEnabled());
    QVERIFY(m_form->b_TableLoad->isEnabled());
    QVERIFY(m_form->b_TableSave->isEnabled());
    QCOMPARE(m_form->NoiseSource->EnrTables.ShownTable, 2);

    // Back to the constant: its text names the constant typed in e_ENRall.
    m_form->e_ENRall->setText(QStringLiteral("15.5 dB"));
    chooseSource(0);
    QCOMPARE(m_form->l_NoiseSource->text(), QStringLiteral("const."));
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("const. (15.5 dB)"));
    QVERIFY(m_form->e_ENRall->isEnabled());
    QVERIFY(!m_form->vle_ENR->isEnabled());
    QVERIFY(!m_form->b_TableLoad->isEnabled());
    QCOMPARE(m_form->NoiseSource->EnrTables.ShownTable, 0);

    // A selection of no item at all (a measurement file may name a source that does not
    // exist) falls back to the constant rather than interpolating a table nobody chose.
    chooseSource(2);
    m_form->rg_ENR->setItemIndex(-1);
    QCOMPARE(m_form->rg_ENR->ItemIndex(), 0);
    QCOMPARE(m_form->NoiseSource->EnrTables.ShownTable, 0);
    QVERIFY(!m_form->vle_ENR->isEnabled());

    // The text is cut to 32 characters.
    m_form->e_ENRall->setText(QString(40, u'1') + QStringLiteral(" dB"));
    chooseSource(1);
    chooseSource(0);
    QCOMPARE(m_form->NoiseSource->NoiseSourceText.size(), 32);
    QVERIFY(m_form->NoiseSource->NoiseSourceText.startsWith(QStringLiteral("const. (111")));
}

void TestEnrPage::lookupFollowsTheChoice()
{
    QVERIFY(start());
    QSignalSpy published(m_form->NoiseSource.get(), &NoiseSourcePage::enrSourceChanged);
    QVERIFY(qAbs(m_form->NoiseSource->enrSource().lookup(1e9) - 3.5645) < 1e-4);
    chooseSource(1);
    QVERIFY(qAbs(m_form->NoiseSource->enrSource().lookup(2.5e9) - 3.4634) < 1e-4);
    QCOMPARE(published.size(), 1);
    QCOMPARE(published.last().at(0).value<EnrSource>().mode, int(EnrTable1));
    // The lookup reads the grid as it stands, edits included, and each edit is published.
    m_form->vle_ENR->item(3, 1)->setText(QStringLiteral("5.27"));
    QVERIFY(qAbs(m_form->NoiseSource->enrSource().lookup(2.5e9) - FromDb(5.27)) < 1e-4);
    QCOMPARE(published.size(), 2);
    QCOMPARE(published.last().at(0).value<EnrSource>(), m_form->NoiseSource->enrSource());
    // Applying the same choice again publishes nothing new.
    chooseSource(1);
    QCOMPARE(published.size(), 2);
}

void TestEnrPage::gridKeys_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("currentRow");

    QTest::newRow("comma in an empty cell refused, Enter gives 0") << "" << ",\r" << "0" << 6;
    QTest::newRow("5 comma 2") << "" << "5,2\r" << "5.2" << 6;
    QTest::newRow("second point refused") << "" << "5.2.\r" << "5.2" << 6;
    QTest::newRow("5. and Enter") << "" << "5.\r" << "5" << 6;
    QTest::newRow("minus and letters refused") << "" << "-7a,5x\r" << "7.5" << 6;
    QTest::newRow("typing replaces the cell") << "6.12" << "4\r" << "4" << 6;
    QTest::newRow("Enter alone keeps the cell") << "6.12" << "\r" << "6.12" << 6;
}

void TestEnrPage::gridKeys()
{
    QFETCH(QString, before);
    QFETCH(QString, keys);
    QFETCH(QString, after);
    QFETCH(int, currentRow);
    QVERIFY(start());
    chooseSource(1);
    m_form->vle_ENR->item(5, 1)->setText(before);
    typeIntoGrid(5, keys);
    QCOMPARE(cell(5, 1), after);
    QCOMPARE(m_form->vle_ENR->currentRow(), currentRow);
    QCOMPARE(m_form->vle_ENR->currentColumn(), 1);
}

void TestEnrPage::enterOnLastRowGoesToFirst()
{
    QVERIFY(start());
    chooseSource(1);
    typeIntoGrid(19, QStringLiteral("7.\r"));
    QCOMPARE(cell(19, 1), QStringLiteral("7"));
    QCOMPARE(m_form->vle_ENR->currentRow(), 0);
    // Tab ends the cell the same way and leaves the grid.
    typeIntoGrid(4, QStringLiteral("3.\t"));
    QCOMPARE(cell(4, 1), QStringLiteral("3"));
    QCOMPARE(m_form->vle_ENR->currentRow(), 5);
    QVERIFY(!m_form->vle_ENR->hasFocus());
}

void TestEnrPage::frequencyColumnReadOnly()
{
    QVERIFY(start());
    chooseSource(1);
    QTableWidget *grid = m_form->vle_ENR;
    for (int r = 0; r < 20; ++r) {
        QVERIFY(!(grid->item(r, 0)->flags() & Qt::ItemIsEditable));
        QVERIFY(grid->item(r, 1)->flags() & Qt::ItemIsEditable);
    }
    grid->setFocus();
    grid->setCurrentCell(2, 0);
    QCOMPARE(grid->currentColumn(), 1);
    QTest::keyClick(grid, Qt::Key_Left);
    QTest::keyClick(QApplication::focusWidget(), '9');
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(cell(2, 0), QStringLiteral("1.0"));
    QCOMPARE(cell(2, 1), QStringLiteral("9"));
}

void TestEnrPage::leavingTheGridNormalises()
{
    QVERIFY(start());
    chooseSource(1);
    m_form->vle_ENR->item(0, 1)->setText(QStringLiteral("7."));
    m_form->vle_ENR->item(1, 1)->setText(QString());
    m_form->vle_ENR->item(2, 1)->setText(QStringLiteral("7.5."));
    typeIntoGrid(3, QStringLiteral("8."));  // the editor is still open
    m_form->b_TableSave->setFocus(Qt::MouseFocusReason);
    QCOMPARE(cell(0, 1), QStringLiteral("7"));
    QCOMPARE(cell(1, 1), QStringLiteral("0"));
    QCOMPARE(cell(2, 1), QStringLiteral("7.5."));  // its first point is not its last character
    QCOMPARE(cell(3, 1), QStringLiteral("8"));
    QCOMPARE(cell(0, 0), QStringLiteral("0.01"));
}

void TestEnrPage::switchingTablesKeepsEdits()
{
    QVERIFY(start());
    chooseSource(1);
    typeIntoGrid(0, QStringLiteral("9.9\r"));
    chooseSource(2);
    QCOMPARE(cell(0, 1), QStringLiteral("6.12"));  // table 2 is untouched
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(1).Rows[0].EnrText, QStringLiteral("9.9"));
    typeIntoGrid(1, QStringLiteral("1.25\r"));
    chooseSource(1);
    QCOMPARE(cell(0, 1), QStringLiteral("9.9"));
    QCOMPARE(cell(1, 1), QStringLiteral("6.29"));
    chooseSource(2);
    QCOMPARE(cell(1, 1), QStringLiteral("1.25"));
    QCOMPARE(cell(0, 1), QStringLiteral("6.12"));
}

void TestEnrPage::saveAndLoadIntoTheOtherTable()
{
    QVERIFY(start());
    chooseSource(1);
    typeIntoGrid(0, QStringLiteral("8.5\r"));
    const QString file = path(QStringLiteral("source.tab"));
    m_dialogs->files.push_back(file);
    QTest::mouseClick(m_form->b_TableSave, Qt::LeftButton);
    QCOMPARE(m_dialogs->filterIndexes, QList<int>{kFilterTables});
    EnrRows saved = DefaultEnrRows();
    saved[0].EnrText = QStringLiteral("8.5");
    QCOMPARE(ReadFileBytes(file), FormatEnrTab(saved));
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(1).FileName, file);
    // The hint follows when the mode is next applied.
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("actual: "));

    chooseSource(2);
    m_dialogs->files.push_back(file);
    QTest::mouseClick(m_form->b_TableLoad, Qt::LeftButton);
    QCOMPARE(m_dialogs->filterIndexes, (QList<int>{kFilterTables, kFilterTables}));
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(2).Rows, saved);
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(2).FileName, file);
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("actual: ") + file);
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("Table 2 (source.tab)"));
    chooseSource(1);
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(1).Rows, m_form->NoiseSource->EnrTables.Table(2).Rows);
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("actual: ") + file);
    QVERIFY(m_dialogs->messages.isEmpty());
}

void TestEnrPage::saveNames_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "noise" << "noise.tab";
    QTest::newRow(".tab kept") << "noise.tab" << "noise.tab";
    QTest::newRow(".TAB gets .tab") << "noise.TAB" << "noise.TAB.tab";
    QTest::newRow(".txt gets .tab") << "noise.txt" << "noise.txt.tab";
}

void TestEnrPage::saveNames()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QVERIFY(start());
    chooseSource(2);
    m_dialogs->files.push_back(path(chosen));
    QTest::mouseClick(m_form->b_TableSave, Qt::LeftButton);
    QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("noise*")}, QDir::Files), QStringList{written});
    QCOMPARE(ReadFileBytes(path(written)), FormatEnrTab(DefaultEnrRows()));
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(2).FileName, path(written));
}

void TestEnrPage::overwriteQuestion()
{
    QVERIFY(start());
    chooseSource(1);
    const QString file = path(QStringLiteral("old.tab"));
    QVERIFY(WriteFileBytes(file, "old"));

    m_dialogs->files.push_back(file);
    m_dialogs->answers.push_back(MsgResult::No);
    QTest::mouseClick(m_form->b_TableSave, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages.size(), 1);
    const ShownMessage asked = m_dialogs->messages.first();
    QCOMPARE(asked.text, QStringLiteral("File exists !\n\rOverwrite?"));
    QCOMPARE(asked.type, MsgType::Warning);
    QCOMPARE(asked.buttons, MsgButtons::YesNo);
    QVERIFY(asked.defaultNo);
    QCOMPARE(ReadFileBytes(file), QByteArray("old"));
    // Declined: the table does not claim a file it never went to.
    QVERIFY(m_form->NoiseSource->EnrTables.Table(1).FileName.isEmpty());

    m_dialogs->files.push_back(file);
    m_dialogs->answers.push_back(MsgResult::Yes);
    QTest::mouseClick(m_form->b_TableSave, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages.size(), 2);
    QCOMPARE(ReadFileBytes(file), FormatEnrTab(DefaultEnrRows()));
    QCOMPARE(m_form->NoiseSource->EnrTables.Table(1).FileName, file);
}

void TestEnrPage::saveFailureLeavesFileName()
{
    QVERIFY(start());
    chooseSource(1);
    const QString file = path(QStringLiteral("missing/folder/t.tab"));
    m_dialogs->files.push_back(file);
    QTest::mouseClick(m_form->b_TableSave, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages.size(), 1);
    QCOMPARE(m_dialogs->messages.first().type, MsgType::Error);
    QVERIFY2(m_dialogs->lastMessage().contains(QStringLiteral("t.tab")), qPrintable(m_dialogs->lastMessage()));
    QVERIFY(m_form->NoiseSource->EnrTables.Table(1).FileName.isEmpty());
    chooseSource(2);
    chooseSource(1);
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("actual: "));
}

void TestEnrPage::loadShortFileMakesLookupFail()
{
    QVERIFY(start());
    chooseSource(2);
    m_dialogs->files.push_back(dataFile("ten_lines.tab"));
    QTest::mouseClick(m_form->b_TableLoad, Qt::LeftButton);
    QVERIFY(m_dialogs->messages.isEmpty());
    QCOMPARE(cell(4, 0), QStringLiteral("3.0"));
    QCOMPARE(cell(5, 0), QString());
    QCOMPARE(cell(19, 1), QString());
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("Table 2 (ten_lines.tab)"));
    // The empty cells make the next lookup fail with a clear error, never a number.
    QVERIFY_THROWS_EXCEPTION(EConvertError, m_form->NoiseSource->enrSource().lookup(2.5e9));

    // A file with binary bytes loads without harm and fails the same way.
    m_dialogs->files.push_back(dataFile("binary.tab"));
    QTest::mouseClick(m_form->b_TableLoad, Qt::LeftButton);
    QVERIFY(cell(0, 1).size() <= 32);
    QVERIFY_THROWS_EXCEPTION(AppError, m_form->NoiseSource->enrSource().lookup(2.5e9));
}

void TestEnrPage::loadFailureChangesNothing()
{
    QVERIFY(start());
    chooseSource(1);
    const EnrRows before = m_form->NoiseSource->enrGridRows();
    m_dialogs->files.push_back(path(QStringLiteral("nothing.tab")));
    QTest::mouseClick(m_form->b_TableLoad, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages.size(), 1);
    QCOMPARE(m_dialogs->messages.first().type, MsgType::Error);
    QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("nothing.tab")));
    QCOMPARE(m_form->NoiseSource->enrGridRows(), before);
    QVERIFY(m_form->NoiseSource->EnrTables.Table(1).FileName.isEmpty());
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("actual: "));
}

void TestEnrPage::cancelledDialogsChangeNothing()
{
    QVERIFY(start());
    chooseSource(1);
    m_dialogs->files.push_back(QString());  // Cancel
    QTest::mouseClick(m_form->b_TableSave, Qt::LeftButton);
    m_dialogs->files.push_back(QString());
    QTest::mouseClick(m_form->b_TableLoad, Qt::LeftButton);
    QCOMPARE(m_dialogs->filterIndexes.size(), 2);
    QVERIFY(m_dialogs->messages.isEmpty());
    QVERIFY(m_form->NoiseSource->EnrTables.Table(1).FileName.isEmpty());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
}

void TestEnrPage::restartKeepsTablesAndMode()
{
    QVERIFY(start());
    chooseSource(2);
    const QString file = path(QStringLiteral("µ-source.tab"));
    QVERIFY(WriteFileBytes(file, "0.5\r\n11.5\r\n1.5\r\n12.5\r\n"));
    m_dialogs->files.push_back(file);
    QTest::mouseClick(m_form->b_TableLoad, Qt::LeftButton);
    chooseSource(1);
    typeIntoGrid(2, QStringLiteral("4.4\r"));
    chooseSource(2);  // the edit of table 1 is applied
    const EnrTableStore before = m_form->NoiseSource->EnrTables;
    QCOMPARE(before.ShownTable, 2);
    QCOMPARE(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText,
             QByteArray("Table 2 (\xB5-source.tab)"));
    stop();

    const QByteArray image = ReadFileBytes(path(QStringLiteral("default.tbl")));
    QCOMPARE(image.size(), 3156);
    QCOMPARE(image.left(4), QByteArray::fromHex("02000000"));
    QCOMPARE(image.mid(1580 + 1, uchar(image[1580])), ToWindows1252(file));

    QVERIFY(start());
    QVERIFY(m_dialogs->messages.isEmpty());
    QCOMPARE(m_form->NoiseSource->EnrTables, before);
    QCOMPARE(m_form->rg_ENR->ItemIndex(), 2);
    QVERIFY(m_form->vle_ENR->isEnabled());
    QVERIFY(!m_form->e_ENRall->isEnabled());
    QCOMPARE(cell(0, 0), QStringLiteral("0.5"));
    QCOMPARE(cell(1, 1), QStringLiteral("12.5"));
    QCOMPARE(cell(2, 0), QString());
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("actual: ") + file);
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("Table 2 (µ-source.tab)"));
    chooseSource(1);
    QCOMPARE(cell(2, 1), QStringLiteral("4.4"));
}

void TestEnrPage::gridEditsWithoutSwitchAreKept()
{
    // Calculations already used the edited grid, so closing keeps it: a file measured with it
    // evaluates the same after a restart.
    QVERIFY(start());
    chooseSource(1);
    typeIntoGrid(0, QStringLiteral("9.9\r"));
    stop();
    QVERIFY(start());
    QCOMPARE(m_form->rg_ENR->ItemIndex(), 1);
    QCOMPARE(cell(0, 1), QStringLiteral("9.9"));
}

void TestEnrPage::storeFromAnotherWriterShowsTable2()
{
    QVERIFY(QFile::copy(dataFile("table2_shown.tbl"), path(QStringLiteral("default.tbl"))));
    QVERIFY(start());
    QVERIFY(m_dialogs->messages.isEmpty());
    QCOMPARE(m_form->rg_ENR->ItemIndex(), 2);
    QVERIFY(m_form->vle_ENR->isEnabled());
    QCOMPARE(cell(0, 0), QStringLiteral("1.0"));
    QCOMPARE(cell(19, 1), QStringLiteral("10.25"));
    QCOMPARE(m_form->l_NoiseSource->text(), QStringLiteral("Table 2"));
    QCOMPARE(m_form->rg_ENR->toolTip(), QStringLiteral("actual: /home/lab/enr/NS4B.tab"));
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("Table 2 (NS4B.tab)"));
    chooseSource(1);
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("Table 1 (NS4A µ°ä.tab)"));
}

void TestEnrPage::unusableStore_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::newRow("short") << dataFile("short.tbl");
    QTest::newRow("shown table 3") << dataFile("shown_3.tbl");
    QTest::newRow("length byte beyond its slot") << dataFile("cell_length_33.tbl");
    QTest::newRow("a folder") << QString();
}

void TestEnrPage::unusableStore()
{
    QFETCH(QString, fixture);
    const QString store = path(QStringLiteral("default.tbl"));
    if (fixture.isEmpty())
        QVERIFY(QDir().mkdir(store));
    else
        QVERIFY(QFile::copy(fixture, store));
    QVERIFY(start());
    // Told once; both tables start from the default rows with the constant.
    QCOMPARE(m_dialogs->messages.size(), 1);
    QVERIFY2(m_dialogs->lastMessage().contains(QStringLiteral("default.tbl")), qPrintable(m_dialogs->lastMessage()));
    QCOMPARE(m_form->rg_ENR->ItemIndex(), 0);
    QCOMPARE(m_form->NoiseSource->EnrTables, EnrTableStore());
    QCOMPARE(m_form->NoiseSource->enrGridRows(), DefaultEnrRows());
    if (fixture.isEmpty())
        return;
    stop();
    QCOMPARE(ReadFileBytes(store), EncodeEnrStore(EnrTableStore()));
}

void TestEnrPage::unwritableStoreStillCloses()
{
    QVERIFY(start());
    // A folder now stands where the store is written.
    QVERIFY(QDir().mkdir(path(QStringLiteral("default.tbl"))));
    m_form->close();
    QVERIFY(!m_form->isVisible());
    QCOMPARE(m_dialogs->messages.size(), 1);
    QCOMPARE(m_dialogs->messages.first().type, MsgType::Error);
    QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("default.tbl")));
}

void TestEnrPage::constantTextFollowsTheTypedConstant()
{
    // A new constant typed while the constant is in use is what files and reports name.
    QVERIFY(start());
    m_form->e_ENRall->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(m_form->e_ENRall, QStringLiteral("6.1"));
    QTest::keyClick(m_form->e_ENRall, Qt::Key_Return);
    QCOMPARE(m_form->e_ENRall->text(), QStringLiteral("6.1 dB"));
    QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("const. (6.1 dB)"));
    QCOMPARE(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText, QByteArray("const. (6.1 dB)"));
}

QTEST_MAIN(TestEnrPage)
#include "tst_enr_page.moc"
