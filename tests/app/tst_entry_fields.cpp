// The value fields as the operator types into them: keys go to the real fields of the main
// window, and the texts are checked after the field is left. The widget-free rules are checked
// directly for the cases no key sequence reaches.

#include "app/core/entry_rules.h"
#include "app/main_window.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

/// Keys in a compact form: "\r" Enter, "\x1b" Escape, "\b" Backspace, "\t" Tab, "^" Up arrow;
/// any other character is typed as it is. Each key goes to the widget that has the focus.
void sendKeys(const QString &keys)
{
    for (const QChar c : keys) {
        QWidget *w = QApplication::focusWidget();
        QVERIFY2(w, "no widget has the focus");
        switch (c.unicode()) {
        case u'\r': QTest::keyClick(w, Qt::Key_Return); break;
        case 0x1b: QTest::keyClick(w, Qt::Key_Escape); break;
        case u'\b': QTest::keyClick(w, Qt::Key_Backspace); break;
        case u'\t': QTest::keyClick(w, Qt::Key_Tab); break;
        case u'^': QTest::keyClick(w, Qt::Key_Up); break;
        default: QTest::keyClick(w, char(c.unicode())); break;
        }
    }
}

}  // namespace

class TestEntryFields : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;

    QLineEdit *field(const QString &name) const { return m_form->findChild<QLineEdit *>(name); }

    /// Gives `w` the focus as a click would, with the window active.
    static bool enter(QWidget *w)
    {
        w->setFocus(Qt::MouseFocusReason);
        return w->hasFocus();
    }

private slots:
    void init();
    void cleanup();

    void typingAndLeaving_data();
    void typingAndLeaving();
    void entryEndsOnStatusBar_data();
    void entryEndsOnStatusBar();
    void plainFieldsMoveToTheNextField();
    void caretAfterLeadingPoint();
    void upRecallsTheSavedText();
    void cascadeFieldsFilterKeys();
    void pasteIsSwallowed();
    void savedTextKeepsSixtyFourCharacters();
    void deactivationIsNoExit();
    void choosingAPageEntersNoField();
    void selectorBoxes_data();
    void selectorBoxes();
    void selectorWithEmptyList();
    void rules_data();
    void rules();
};

void TestEntryFields::init()
{
    m_dir = std::make_unique<WorkingFolder>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_form = std::make_unique<TForm1>();
    // Start and stop are the fields of the sweep mode; the tests do not depend on the mode.
    m_form->e_Start->setEnabled(true);
    m_form->show();
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestEntryFields::cleanup()
{
    m_form.reset();
    m_dialogs.reset();
    m_dir.reset();
}

void TestEntryFields::typingAndLeaving_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("initial");  // empty: the designed text
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");

    QTest::newRow("G key") << "e_Start" << "" << "450G" << "450 GHz";
    QTest::newRow("M key") << "e_Start" << "" << "450m" << "450 MHz";
    QTest::newRow("Enter") << "e_Start" << "" << "450\r" << "450 MHz";
    QTest::newRow("Tab: default unit of the last key") << "e_Start" << "" << "450\t" << "450 MHz";
    QTest::newRow("k key") << "e_Start" << "" << "450k" << "450 kHz";
    QTest::newRow("H key") << "e_Start" << "" << "450H" << "450 Hz";
    QTest::newRow("other letters swallowed") << "e_Start" << "" << "4x5-0\t" << "450 MHz";
    QTest::newRow("left without typing") << "e_Start" << "" << "\t" << "400 MHz";
    QTest::newRow("Escape cancels") << "e_Start" << "" << "45\x1b" << "400 MHz";
    QTest::newRow("Backspace") << "e_Start" << "" << "455\b0G" << "450 GHz";
    QTest::newRow("comma becomes point") << "e_Start" << "" << "1,5G" << "1.5 GHz";
    QTest::newRow("second point swallowed") << "e_Start" << "" << "1.5.2\r" << "1.52 MHz";
    QTest::newRow("point first gives 0.") << "e_Start" << "" << ".5\r" << "0.5 MHz";
    QTest::newRow("trailing point dropped") << "e_Start" << "" << "5.\t" << "5 MHz";
    QTest::newRow("lone 0. keeps 0") << "e_Start" << "" << ".\t" << "0 MHz";
    QTest::newRow("temperature Enter") << "e_Temperature" << "" << "23\r" << "23 °C";
    QTest::newRow("temperature K") << "e_Temperature" << "" << "295K" << "295 K";
    QTest::newRow("temperature: no minus") << "e_Temperature" << "" << "-23\r" << "23 °C";
    QTest::newRow("range D") << "e_Range" << "" << "80d" << "80 dB";
    QTest::newRow("ENR constant") << "e_ENRall" << "" << "6.1\r" << "6.1 dB";
    QTest::newRow("range: no minus") << "e_Range" << "" << "-8\t" << "8 dB";
    QTest::newRow("ref level -10") << "e_RefLvl" << "" << "-10\r" << "-10 dBm";
    QTest::newRow("ref level: minus only first") << "e_RefLvl" << "" << "10-\r" << "10 dBm";
    QTest::newRow("ref level left holding -") << "e_RefLvl" << "" << "-\t" << "0 dBm";
    QTest::newRow("ref level -. left") << "e_RefLvl" << "" << "-.\t" << "0 dBm";
    QTest::newRow("up, leave at once") << "e_RefLvl" << "" << "^\t" << "0 dBm";
    QTest::newRow("up, backspace, tab") << "e_Start" << "1.50 GHz" << "^\b\t" << "1.5 MHz";
    QTest::newRow("up, leave: recalled unit") << "e_Start" << "1.50 GHz" << "^\t" << "1.50 GHz";
    QTest::newRow("up, retype digits") << "e_Start" << "1.50 GHz" << "^5\t" << "1.505 MHz";
    QTest::newRow("up on typed text does nothing") << "e_Start" << "" << "7^G" << "7 GHz";
    QTest::newRow("Escape after up") << "e_Start" << "1.50 GHz" << "^\b\x1b" << "1.50 GHz";
    QTest::newRow("calculator level sign") << "e_n2on" << "" << "70-\t" << "-70";
    QTest::newRow("calculator level sign twice") << "e_n2on" << "" << "70--\t" << "70";
    QTest::newRow("calculator level Enter") << "e_n2on" << "" << "70--\r" << "70";
    QTest::newRow("calculator level Escape") << "e_n12off" << "" << "12\x1b" << "-54.25";
    QTest::newRow("calculator level lone -") << "e_n12on" << "" << "-\r" << "-49.06";
    QTest::newRow("calculator level -.") << "e_n12on" << "" << "-.\t" << "-49.06";
    QTest::newRow("calculator level -0.5") << "e_n2off" << "" << ".5-\r" << "-0.5";
}

void TestEntryFields::typingAndLeaving()
{
    QFETCH(QString, name);
    QFETCH(QString, initial);
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QLineEdit *f = field(name);
    QVERIFY(f);
    if (!initial.isEmpty())
        f->setText(initial);
    QVERIFY(enter(f));
    QCOMPARE(f->text(), QString());  // the operator always starts from an empty field
    sendKeys(keys);
    QVERIFY2(!f->hasFocus(), "the entry did not end");
    QCOMPARE(f->text(), expected);
}

void TestEntryFields::entryEndsOnStatusBar_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("keys");
    QTest::newRow("frequency unit key") << "e_Start" << "1G";
    QTest::newRow("frequency Escape") << "e_Start" << "1\x1b";
    QTest::newRow("temperature Enter") << "e_Temperature" << "1\r";
    QTest::newRow("range Enter") << "e_Range" << "1\r";
    QTest::newRow("reference level D") << "e_RefLvl" << "1D";
}

void TestEntryFields::entryEndsOnStatusBar()
{
    QFETCH(QString, name);
    QFETCH(QString, keys);
    QLineEdit *f = field(name);
    QVERIFY(enter(f));
    sendKeys(keys);
    // The status bar takes no input: no other field is entered, so nothing else is emptied.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_form->StatusBar1));
}

void TestEntryFields::plainFieldsMoveToTheNextField()
{
    m_form->PageControl1->setCurrentIndex(2);
    QVERIFY(enter(m_form->e_n2off));
    sendKeys(QStringLiteral("75-\r"));
    QCOMPARE(m_form->e_n2off->text(), QStringLiteral("-75"));
    // The next field in tab order is entered: it starts empty, with its old text saved.
    QVERIFY(m_form->e_n2on->hasFocus());
    QCOMPARE(m_form->e_n2on->text(), QString());
    sendKeys(QStringLiteral("\x1b"));
    QCOMPARE(m_form->e_n2on->text(), QStringLiteral("-70.25"));
    QVERIFY(m_form->e_n12off->hasFocus());
}

void TestEntryFields::caretAfterLeadingPoint()
{
    QLineEdit *f = m_form->e_Start;
    QVERIFY(enter(f));
    sendKeys(QStringLiteral("."));
    QCOMPARE(f->text(), QStringLiteral("0."));
    QCOMPARE(f->cursorPosition(), 2);
    sendKeys(QStringLiteral("25.,"));
    QCOMPARE(f->text(), QStringLiteral("0.25"));
}

void TestEntryFields::upRecallsTheSavedText()
{
    QLineEdit *f = m_form->e_Start;
    f->setText(QStringLiteral("1.50 GHz"));
    QVERIFY(enter(f));
    sendKeys(QStringLiteral("^"));
    QCOMPARE(f->text(), QStringLiteral("1.50"));
    QCOMPARE(f->cursorPosition(), 4);
    QVERIFY(f->hasFocus());
    // A second Up in a field that is no longer empty changes nothing.
    sendKeys(QStringLiteral("^"));
    QCOMPARE(f->text(), QStringLiteral("1.50"));

    // A saved text without a blank becomes the unit: the field stays empty.
    QLineEdit *level = m_form->e_n2off;
    QVERIFY(enter(level));
    sendKeys(QStringLiteral("^"));
    QCOMPARE(level->text(), QString());
    sendKeys(QStringLiteral("\t"));
    QCOMPARE(level->text(), QStringLiteral("-75.55"));
}

void TestEntryFields::cascadeFieldsFilterKeys()
{
    // Leaving Edit1..Edit20 runs the cascade's exit handler; the key rules are checked here
    // before the field is left.
    m_form->PageControl1->setCurrentIndex(2);
    QLineEdit *e = m_form->Edit[5];  // Edit6: stage 2, noise figure
    QVERIFY(enter(e));
    QCOMPARE(e->text(), QString());
    sendKeys(QStringLiteral("3,5x-"));
    QCOMPARE(e->text(), QStringLiteral("-3.5"));
    sendKeys(QStringLiteral("-"));
    QCOMPARE(e->text(), QStringLiteral("3.5"));
    sendKeys(QStringLiteral("\r"));
    // Enter moved on to the next field in tab order, which was entered and so emptied.
    auto *next = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(next && next != e);
    QCOMPARE(next->text(), QString());
}

void TestEntryFields::pasteIsSwallowed()
{
    QApplication::clipboard()->setText(QStringLiteral("abc"));
    QLineEdit *f = m_form->e_Start;
    QVERIFY(enter(f));
    sendKeys(QStringLiteral("12"));
    QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(f->text(), QStringLiteral("12"));
    QCOMPARE(f->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(!f->acceptDrops());
    sendKeys(QStringLiteral("\t"));
    QCOMPARE(f->text(), QStringLiteral("12 MHz"));
}

void TestEntryFields::savedTextKeepsSixtyFourCharacters()
{
    QLineEdit *f = m_form->e_Range;
    f->setText(QString(100, u'9'));
    QVERIFY(enter(f));
    sendKeys(QStringLiteral("\t"));
    QCOMPARE(f->text(), QString(64, u'9'));
}

void TestEntryFields::deactivationIsNoExit()
{
    QLineEdit *f = m_form->e_Start;
    QVERIFY(enter(f));
    sendKeys(QStringLiteral("12"));
    // Another window comes to the front and goes again: the entry goes on where it was.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QCOMPARE(f->text(), QStringLiteral("12"));
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QVERIFY(f->hasFocus());
    QCOMPARE(f->text(), QStringLiteral("12"));
    sendKeys(QStringLiteral("G"));
    QCOMPARE(f->text(), QStringLiteral("12 GHz"));
}

void TestEntryFields::choosingAPageEntersNoField()
{
    // Clicking a page's tab leaves the field being edited; coming back to the page must not
    // enter (and so empty) the field that had the focus there before.
    QLineEdit *f = m_form->e_Range;
    QVERIFY(enter(f));
    sendKeys(QStringLiteral("12"));
    QTabBar *tabs = m_form->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(m_form->PageControl1->currentIndex(), 1);
    QCOMPARE(f->text(), QStringLiteral("12 dB"));
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    QCOMPARE(m_form->PageControl1->currentIndex(), 0);
    QVERIFY(!f->hasFocus());
    QCOMPARE(f->text(), QStringLiteral("12 dB"));

    // The same for the noise source's constant on its own page.
    m_form->PageControl1->setCurrentIndex(3);
    QVERIFY(enter(m_form->e_ENRall));
    sendKeys(QStringLiteral("6"));
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    QCOMPARE(m_form->e_ENRall->text(), QStringLiteral("6 dB"));
}

void TestEntryFields::selectorBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::newRow("baud off the list") << "cb_Baud" << "5000" << "110" << 0;
    QTest::newRow("baud on the list") << "cb_Baud" << "9600" << "9600" << 6;
    QTest::newRow("baud another item") << "cb_Baud" << "19200" << "19200" << 7;
    QTest::newRow("average off the list") << "cb_Average" << "7" << "1" << 0;
    QTest::newRow("parity letter case") << "cb_Parity" << "GERADE" << "gerade" << 2;
    QTest::newRow("vbw emptied") << "cb_vbw" << "" << "1 Hz" << 0;
}

void TestEntryFields::selectorBoxes()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, index);
    auto *box = m_form->findChild<QComboBox *>(name);
    QVERIFY(box);
    QVERIFY(enter(box));
    box->lineEdit()->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    if (!typed.isEmpty())
        QTest::keyClicks(box, typed);
    QCOMPARE(box->currentText(), typed);
    QVERIFY(enter(m_form->b_connect));
    QCOMPARE(box->currentText(), text);
    QCOMPARE(box->currentIndex(), index);
}

void TestEntryFields::selectorWithEmptyList()
{
    QComboBox *box = m_form->cb_COM;
    box->clear();
    box->setEditText(QStringLiteral("keiner"));
    QVERIFY(enter(box));
    box->lineEdit()->selectAll();
    QTest::keyClicks(box, QStringLiteral("7"));
    QVERIFY(enter(m_form->b_connect));
    QCOMPARE(box->currentText(), QStringLiteral("7"));
    QCOMPARE(box->currentIndex(), -1);
}

void TestEntryFields::rules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty restores") << "" << "100 MHz" << " GHz" << "100 MHz";
    QTest::newRow("minus restores") << "-" << "0 dBm" << " dBm" << "0 dBm";
    QTest::newRow("minus point restores") << "-." << "3" << "" << "3";
    QTest::newRow("point dropped") << "5." << "x" << " dB" << "5 dB";
    QTest::newRow("0. keeps 0") << "0." << "x" << " MHz" << "0 MHz";
    QTest::newRow("inner point kept") << "1.5" << "x" << " K" << "1.5 K";
    QTest::newRow("no unit") << "-70" << "x" << "" << "-70";
}

void TestEntryFields::rules()
{
    QFETCH(QString, text);
    QFETCH(QString, saved);
    QFETCH(QString, unit);
    QFETCH(QString, expected);
    QCOMPARE(ApplyExitRule(text, saved, unit), expected);

    // The recall splits at the first blank and keeps the blank with the unit.
    EntryText field;
    QString pending;
    QVERIFY(RecallSavedText(field, QStringLiteral("1.50 GHz extra"), pending));
    QCOMPARE(field.text, QStringLiteral("1.50"));
    QCOMPARE(pending, QStringLiteral(" GHz extra"));
    QCOMPARE(ApplyExitRule(field.text, QString(), pending), QStringLiteral("1.50 GHz extra"));
}

QTEST_MAIN(TestEntryFields)
#include "tst_entry_fields.moc"
