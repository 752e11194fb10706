// The cascade calculator as the operator uses it on the page "F - Calculator": typing values
// into the stage fields, ticking stages in and out, reading the totals and the diagram; and
// the page's own rules without a window: where a field's Tag points and the texts of the totals.

#include "app/calculator_page.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

/// One field typed in: the number of Edit<k> and the keys, as an operator types them.
struct Typed
{
    int field;
    QString keys;
};

constexpr int kYc = 59;

struct StageInput
{
    double nfDb, gainDb, ip3Dbm;
};

CascadeState chain(const QList<StageInput> &stages, const QList<int> &unticked)
{
    CascadeState st;
    for (int s = 1; s <= stages.size(); ++s) {
        StoreStageValue(st, s, NoiseFigureRow, stages[s - 1].nfDb);
        StoreStageValue(st, s, GainRow, stages[s - 1].gainDb);
        StoreStageValue(st, s, Ip3OutRow, stages[s - 1].ip3Dbm);
    }
    for (int s : unticked)
        SetStageEnabled(st, s, false);
    return st;
}

const StageInput kDefault{0, 1, 12};

}  // namespace

Q_DECLARE_METATYPE(Typed)
Q_DECLARE_METATYPE(StageInput)

class TestCascadePage : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;

    TForm1 &form() { return *m_form; }
    QLineEdit *edit(int k) { return form().Edit[size_t(k - 1)]; }

    void showCalculatorPage() { form().PageControl1->setCurrentIndex(2); }

    /// Enters the field, types the keys and leaves it with Tab, as the operator moves on.
    void type(int k, const QString &keys)
    {
        QLineEdit *f = edit(k);
        f->setFocus(Qt::TabFocusReason);
        QVERIFY(f->hasFocus());
        QVERIFY(f->text().isEmpty());  // entering a field empties it
        QTest::keyClicks(f, keys);
        QTest::keyClick(f, Qt::Key_Tab);
        QVERIFY(!f->hasFocus());
    }

    /// Moves the focus off the stage fields, so that a field the last Tab entered is left.
    void leaveFields() { form().b_calc->setFocus(Qt::MouseFocusReason); }

    void clickStage(int s)
    {
        QCheckBox *box = form().cb_Stage[size_t(s - 1)];
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    QStringList totals()
    {
        return {edit(21)->text(), edit(22)->text(), edit(23)->text(), edit(24)->text()};
    }

    /// The texts the last redraw wrote in the top-left corner.
    QStringList cornerTexts()
    {
        QStringList out;
        for (const DiagramText &t : form().Calculator->CascadeDiagram.texts)
            if (t.pos.x() < 52)
                out << t.text;
        return out;
    }

    bool diagramPixelBlack(int x, int y)
    {
        return form().gfx2->canvas().image().pixel(x, y) == QColor(Qt::black).rgb();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_form = std::make_unique<TForm1>();
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    void cleanup()
    {
        m_form.reset();
        m_dialogs.reset();
        m_dir.reset();
    }

    void tagDecoding_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<int>("stage");
        QTest::addColumn<int>("row");
        QTest::newRow("Edit1") << 17 << 1 << 1;
        QTest::newRow("Edit8") << 36 << 2 << 4;
        QTest::newRow("Edit19") << 83 << 5 << 3;
        QTest::newRow("Edit20") << 84 << 5 << 4;
        QTest::newRow("total Edit23") << 2 << 0 << 2;
        QTest::newRow("stage wraps at 8") << 16 * 9 + 2 << 1 << 2;
        QTest::newRow("row wraps at 8") << 16 * 3 + 9 << 3 << 1;
    }
    void tagDecoding()
    {
        QFETCH(int, tag);
        QFETCH(int, stage);
        QFETCH(int, row);
        const CascadeFieldPlace p = DecodeCascadeTag(tag);
        QCOMPARE(p.stage, stage);
        QCOMPARE(p.row, row);
    }

    void totalTexts_data()
    {
        QTest::addColumn<QList<StageInput>>("stages");
        QTest::addColumn<QList<int>>("unticked");
        QTest::addColumn<QStringList>("totals");

        const StageInput a{1, 20, 30};
        const StageInput b{6, 10, 20};
        const StageInput c{3, -5, 40};
        const StageInput wild{10, -20, 0};
        QTest::newRow("start values") << QList<StageInput>{} << QList<int>{}
                                      << QStringList{"1.00 ", "0.00", "5.00", "6.78"};
        QTest::newRow("two stages") << QList<StageInput>{a, b} << QList<int>{3, 4, 5}
                                    << QStringList{"1.29 ", "1.10", "30.00", "19.96"};
        QTest::newRow("stages 2 and 3") << QList<StageInput>{wild, b, c} << QList<int>{1, 4, 5}
                                        << QStringList{"4.08 ", "6.11", "5.00", "14.99"};
        // The lossy stage between them is skipped: its gain does not count in front of stage 3.
        QTest::newRow("unticked stage in the middle") << QList<StageInput>{a, wild, b} << QList<int>{2, 4, 5}
                                                      << QStringList{"1.29 ", "1.10", "30.00", "19.96"};
        QTest::newRow("last stage alone") << QList<StageInput>{kDefault, kDefault, kDefault, kDefault, b}
                                          << QList<int>{1, 2, 3, 4} << QStringList{"3.98 ", "6.00", "10.00", "20.00"};
        QTest::newRow("nothing ticked") << QList<StageInput>{a, b} << QList<int>{1, 2, 3, 4, 5}
                                        << QStringList{"-", "-", "-", "-"};
    }
    void totalTexts()
    {
        QFETCH(QList<StageInput>, stages);
        QFETCH(QList<int>, unticked);
        QFETCH(QStringList, totals);
        CascadeState st = chain(stages, unticked);
        const CascadeFieldTexts f = ComputeCascadeTexts(st);
        const QStringList shown = {f.texts[20], f.texts[21], f.texts[22], f.texts[23]};
        QCOMPARE(shown, totals);
        QCOMPARE(f.totalsEnabled, unticked.size() < 5);
    }

    void firstShowFormatsTheDesignedTexts()
    {
        QCOMPARE(edit(1)->text(), "1");
        QCOMPARE(edit(4)->text(), "1");
        QVERIFY(!diagramPixelBlack(22, kYc));
        showCalculatorPage();
        for (int s = 1; s <= 5; ++s) {
            QCOMPARE(edit(4 * s - 3)->text(), "1.00 ");  // the noise-factor form keeps its blank
            QCOMPARE(edit(4 * s - 2)->text(), "0.00");
            QCOMPARE(edit(4 * s - 1)->text(), "1.00");
            QCOMPARE(edit(4 * s)->text(), "12.00");
        }
        QCOMPARE(totals(), (QStringList{"1.00 ", "0.00", "5.00", "6.78"}));
        for (int k = 21; k <= 24; ++k)
            QVERIFY(edit(k)->isEnabled());
        QCOMPARE(cornerTexts(), (QStringList{"IP3", "in", "=  1.8 dBm"}));
        for (int x = 22; x < 52; ++x)
            QVERIFY(diagramPixelBlack(x, kYc));
        QVERIFY(diagramPixelBlack(721, kYc));
    }

    void chains_data()
    {
        QTest::addColumn<QList<Typed>>("typed");
        QTest::addColumn<QList<int>>("unticked");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("corner");

        const QList<Typed> stage1 = {{2, "1"}, {3, "20"}, {4, "30"}};
        const QList<Typed> stage2 = {{6, "6"}, {7, "10"}, {8, "20"}};
        // The minus key toggles the sign wherever it is typed.
        const QList<Typed> stage3 = {{10, "3"}, {11, "5-"}, {12, "40"}};
        QTest::newRow("two stages") << stage1 + stage2 << QList<int>{3, 4, 5}
                                    << QStringList{"1.29 ", "1.10", "30.00", "19.96"}
                                    << QStringList{"IP3", "in", "=  -10.0 dBm"};
        // Stage 1 holds figures that would change every total if it counted.
        QTest::newRow("stages 2 and 3") << stage1 + stage2 + stage3 << QList<int>{1, 4, 5}
                                        << QStringList{"4.08 ", "6.11", "5.00", "14.99"}
                                        << QStringList{"IP3", "in", "=  10.0 dBm"};
        // The same two stages with a lossy, noisy stage unticked between them.
        const QList<Typed> lossy = {{6, "10"}, {7, "20-"}, {8, "0"}};
        const QList<Typed> third = {{10, "6"}, {11, "10"}, {12, "20"}};
        QTest::newRow("unticked stage in the middle") << stage1 + lossy + third << QList<int>{2, 4, 5}
                                                      << QStringList{"1.29 ", "1.10", "30.00", "19.96"}
                                                      << QStringList{"IP3", "in", "=  -10.0 dBm"};
        QTest::newRow("nothing ticked") << stage1 << QList<int>{1, 2, 3, 4, 5}
                                        << QStringList{"-", "-", "-", "-"} << QStringList{};
    }
    void chains()
    {
        QFETCH(QList<Typed>, typed);
        QFETCH(QList<int>, unticked);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, corner);
        showCalculatorPage();
        for (const Typed &t : typed)
            type(t.field, t.keys);
        leaveFields();
        for (int s : unticked)
            clickStage(s);
        QCOMPARE(totals(), expected);
        for (int k = 21; k <= 24; ++k)
            QCOMPARE(edit(k)->isEnabled(), unticked.size() < 5);
        QCOMPARE(cornerTexts(), corner);
        for (int s = 1; s <= 5; ++s)
            for (int k = 4 * s - 3; k <= 4 * s; ++k)
                QCOMPARE(edit(k)->isEnabled(), !unticked.contains(s));
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void noiseFactor_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("factor");
        QTest::addColumn<QString>("figure");
        QTest::newRow("2") << "2" << "2.00 " << "3.01";
        QTest::newRow("below 1") << "0.5" << "0.50 " << "-3.01";
        QTest::newRow("point first") << ".5" << "0.50 " << "-3.01";
        QTest::newRow("0") << "0" << "1.00 " << "0.00";
        QTest::newRow("negative") << "3-" << "1.00 " << "0.00";
    }
    void noiseFactor()
    {
        QFETCH(QString, keys);
        QFETCH(QString, factor);
        QFETCH(QString, figure);
        showCalculatorPage();
        type(1, keys);
        leaveFields();
        QCOMPARE(edit(1)->text(), factor);
        QCOMPARE(edit(2)->text(), figure);
        // The later stages add no noise, so the chain's figure is the first stage's.
        QCOMPARE(edit(21)->text(), factor);
        QCOMPARE(edit(22)->text(), figure);
    }

    void leavingWithoutANumberRestores_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::newRow("nothing typed") << "";
        QTest::newRow("only a minus") << "-";
        QTest::newRow("minus and point") << "-.";
        QTest::newRow("typed, then Escape") << "7\x1b";
    }
    void leavingWithoutANumberRestores()
    {
        QFETCH(QString, keys);
        showCalculatorPage();
        // Gains of 0.004 dB show as 0.00 but add up to a visible 0.01.
        type(3, "0.004");
        type(7, "0.004");
        leaveFields();
        QCOMPARE(edit(3)->text(), "0.00");
        QCOMPARE(edit(23)->text(), "3.01");

        QLineEdit *f = edit(3);
        f->setFocus(Qt::TabFocusReason);
        for (QChar c : keys) {
            if (c == QChar(0x1b))
                QTest::keyClick(f, Qt::Key_Escape);
            else
                QTest::keyClicks(f, QString(c));
        }
        leaveFields();
        QCOMPARE(edit(3)->text(), "0.00");
        QCOMPARE(edit(23)->text(), "3.01");  // the value is the one typed, not the one shown
    }

    void typingTheShownTextStoresIt()
    {
        showCalculatorPage();
        type(3, "0.004");
        type(7, "0.004");
        type(3, "0.00");
        leaveFields();
        QCOMPARE(edit(23)->text(), "3.00");
    }

    void enterMovesToTheNextField()
    {
        showCalculatorPage();
        QLineEdit *f = edit(3);
        f->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(f, "15");
        QTest::keyClick(f, Qt::Key_Return);
        QVERIFY(!f->hasFocus());
        leaveFields();
        QCOMPARE(edit(3)->text(), "15.00");
        QCOMPARE(edit(23)->text(), "19.00");
    }

    void untickingKeepsTheValues()
    {
        showCalculatorPage();
        type(7, "20");
        type(8, "35");
        leaveFields();
        QCOMPARE(edit(23)->text(), "24.00");
        clickStage(2);
        QVERIFY(!form().cb_Stage[1]->isChecked());
        QCOMPARE(edit(23)->text(), "4.00");
        QCOMPARE(edit(7)->text(), "20.00");
        QVERIFY(!edit(7)->isEnabled());
        // Stage 2 is a through-line: no triangle side at x = 192.
        QVERIFY(!diagramPixelBlack(192, kYc - 30));
        QVERIFY(diagramPixelBlack(192, kYc));
        clickStage(2);
        QVERIFY(edit(7)->isEnabled());
        QCOMPARE(edit(23)->text(), "24.00");
        QCOMPARE(edit(8)->text(), "35.00");
        QVERIFY(diagramPixelBlack(192, kYc - 30));
    }

    void diagramFollowsTheFields()
    {
        showCalculatorPage();
        type(3, "20");
        leaveFields();
        bool found = false;
        for (const DiagramText &t : form().Calculator->CascadeDiagram.texts)
            found = found || (t.text == "= 20.0 dB" && t.pos.x() > 22 && t.pos.x() < 162);
        QVERIFY(found);
        QCOMPARE(cornerTexts(), (QStringList{"IP3", "in", "=  -17.2 dBm"}));
    }

    void clickOnTheDiagramRepaints()
    {
        showCalculatorPage();
        const QImage before = form().gfx2->canvas().image().copy();
        FillImage(form().gfx2->canvas(), Qt::red);
        QTest::mouseClick(form().gfx2, Qt::RightButton, {}, QPoint(300, 20));
        QCOMPARE(form().gfx2->canvas().image(), before);
    }

    void numberTooLargeIsReported()
    {
        showCalculatorPage();
        type(3, "1" + QString(400, QLatin1Char('0')));
        leaveFields();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages.first().type, MsgType::Error);
        // The field shows the value it still holds.
        QCOMPARE(edit(3)->text(), "1.00");
        QCOMPARE(edit(23)->text(), "5.00");
    }
};

QTEST_MAIN(TestCascadePage)
#include "tst_cascade_page.moc"
