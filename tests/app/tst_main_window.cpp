// The main window as an operator first meets it: every designed control by its name, with its
// text, items, selection and enabling; the locked selectors; the shared group moving between
// pages; the About box; the three ways of closing.

#include "app/main_window.h"
#include "app/widget_dialogs.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/widgets.h"

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;

    std::unique_ptr<TForm1> makeForm()
    {
        auto f = std::make_unique<TForm1>();
        return f;
    }

    template <class T>
    static T *find(TForm1 &f, const char *name)
    {
        T *w = f.findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("control %s not found", name);
        return w;
    }

    static QStringList items(QComboBox *c)
    {
        QStringList out;
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup()
    {
        m_dialogs.reset();
        m_dir.reset();
    }

    void captionAndSize()
    {
        auto f = makeForm();
        QCOMPARE(f->windowTitle(), QStringLiteral("Tessary V1.10"));
        QCOMPARE(f->centralWidget()->size(), QSize(792, 554));
        QVERIFY(f->minimumSize() == f->maximumSize());  // fixed border, no resizing
        QVERIFY(!(f->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void pages()
    {
        auto f = makeForm();
        auto *pc = find<QTabWidget>(*f, "PageControl1");
        QCOMPARE(pc->count(), 4);
        QCOMPARE(pc->tabText(0), QStringLiteral("Options"));
        QCOMPARE(pc->tabText(1), QStringLiteral("Graphic"));
        QCOMPARE(pc->tabText(2), QStringLiteral("F - Calculator"));
        QCOMPARE(pc->tabText(3), QStringLiteral("Noise Source"));
        QCOMPARE(pc->currentIndex(), 0);
        QCOMPARE(pc->widget(2)->property("Tag").toInt(), 3);
    }

    void comboBoxes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("selected");
        QTest::newRow("cb_Device") << "cb_Device" << QStringList{"FSP", "(FSL)", "(FSU)"} << "FSP";
        QTest::newRow("ComboBox1") << "ComboBox1" << QStringList{"COM", "Ethernet", "(GPIB)"} << "COM";
        QTest::newRow("cb_rbw") << "cb_rbw"
                                << QStringList{"1 kHz", "3 kHz", "10 kHz", "30 kHz", "100 kHz", "300 kHz", "1 MHz", "3 MHz"}
                                << "3 MHz";
        QTest::newRow("cb_vbw") << "cb_vbw" << QStringList{"1 Hz", "3 Hz", "10 Hz", "30 Hz", "100 Hz", "300 Hz", "1 kHz"} << "10 Hz";
        QTest::newRow("cb_RFAtt") << "cb_RFAtt" << QStringList{"0 dB", "10 dB", "20 dB"} << "0 dB";
        QTest::newRow("cb_Average") << "cb_Average" << QStringList{"1", "3", "10", "30", "100", "300", "1000"} << "10";
        QTest::newRow("cb_Baud") << "cb_Baud"
                                 << QStringList{"110", "300", "600", "1200", "2400", "4800", "9600", "19200"} << "9600";
        QTest::newRow("cb_Bits") << "cb_Bits" << QStringList{"7", "8"} << "8";
        QTest::newRow("cb_Handshake") << "cb_Handshake" << QStringList{"keine", "DTR/RTS", "Software"} << "DTR/RTS";
        QTest::newRow("cb_Parity") << "cb_Parity" << QStringList{"keine", "ungerade", "gerade"} << "keine";
        QTest::newRow("cb_StopBits") << "cb_StopBits" << QStringList{"1", "2"} << "1";
    }
    void comboBoxes()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        QFETCH(QString, selected);
        auto f = makeForm();
        auto *c = find<QComboBox>(*f, name.toLatin1().constData());
        QCOMPARE(this->items(c), items);
        QCOMPARE(c->currentText(), selected);
    }

    void fieldsAndEnabling_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("e_Range") << "e_Range" << "100 dB" << true;
        QTest::newRow("e_RefLvl") << "e_RefLvl" << "0 dBm" << true;
        QTest::newRow("e_Sweep") << "e_Sweep" << " - ms" << false;
        QTest::newRow("e_Start") << "e_Start" << "400 MHz" << true;
        QTest::newRow("e_Stop") << "e_Stop" << "500 MHz" << true;
        QTest::newRow("e_Single") << "e_Single" << "100 MHz" << false;
        QTest::newRow("e_Temperature") << "e_Temperature" << QString::fromUtf8("21 °C") << true;
        QTest::newRow("e_Frequency") << "e_Frequency" << "100 MHz" << true;
        QTest::newRow("e_ENRall") << "e_ENRall" << "5.52 dB" << true;
        QTest::newRow("e_n2off") << "e_n2off" << "-75.55" << true;
        QTest::newRow("e_n2on") << "e_n2on" << "-70.25" << true;
        QTest::newRow("e_n12off") << "e_n12off" << "-54.25" << true;
        QTest::newRow("e_n12on") << "e_n12on" << "-49.06" << true;
        QTest::newRow("e_command") << "e_command" << QString::fromUtf8("Kommando von Hand...") << true;
    }
    void fieldsAndEnabling()
    {
        // After the start-up sequence the sweep mode has been applied: start and stop enabled,
        // the single frequency disabled.
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        auto f = makeForm();
        auto *e = find<QLineEdit>(*f, name.toLatin1().constData());
        QCOMPARE(e->text(), text);
        QCOMPARE(e->isEnabled(), enabled);
    }

    void buttonsMenuAndTimer()
    {
        auto f = makeForm();
        QCOMPARE(find<QPushButton>(*f, "b_connect")->text(), QStringLiteral("Connect"));
        QVERIFY(find<QPushButton>(*f, "b_connect")->isEnabled());
        QCOMPARE(find<QPushButton>(*f, "b_Start")->text(), QStringLiteral("Calibration"));
        QVERIFY(!find<QPushButton>(*f, "b_Start")->isEnabled());
        QVERIFY(!find<QPushButton>(*f, "b_Measure")->isEnabled());
        QVERIFY(!find<QPushButton>(*f, "b_Measure2")->isEnabled());
        QVERIFY(!find<QPushButton>(*f, "b_TableLoad")->isEnabled());
        QVERIFY(!find<QPushButton>(*f, "b_TableSave")->isEnabled());
        QCOMPARE(find<QPushButton>(*f, "Button1")->text(), QStringLiteral("Close"));
        QCOMPARE(find<QPushButton>(*f, "b_calc")->text(), QStringLiteral("Calculate!"));
        QVERIFY(!find<QTableWidget>(*f, "vle_ENR")->isEnabled());
        QVERIFY(find<QLineEdit>(*f, "e_command")->isHidden());
        QVERIFY(f->Memo1->isHidden());
        QVERIFY(f->cb_ShowF->isChecked() && f->cb_ShowF->isHidden());
        QVERIFY(f->cb_ShowG->isChecked() && f->cb_ShowG->isHidden());
        QCOMPARE(f->se_steps->minimum(), 1);
        QCOMPARE(f->se_steps->maximum(), 99);
        QCOMPARE(f->se_steps->value(), 10);
        QCOMPARE(f->se_Freq->maximum(), 1);
        QCOMPARE(f->gfx->canvas().image().size(), QSize(769, 421));
        QCOMPARE(f->gfx2->canvas().image().size(), QSize(744, 118));
        QCOMPARE(f->rg_Sweep->ItemIndex(), 0);
        QCOMPARE(f->rg_ENR->ItemIndex(), 0);

        QCOMPARE(f->Datei1->title(), QStringLiteral("File"));
        QCOMPARE(f->Laden1->text(), QStringLiteral("Load"));
        QCOMPARE(f->Speichern1->text(), QStringLiteral("Save as ..."));
        QVERIFY(!f->Speichern1->isEnabled());
        QCOMPARE(f->dd_print->text(), QStringLiteral("Print"));
        QVERIFY(!f->dd_print->isEnabled());
        QCOMPARE(f->Beenden1->text(), QStringLiteral("Exit"));
        QCOMPARE(f->Info1->title(), QStringLiteral("Info"));
        QCOMPARE(f->About1->text(), QStringLiteral("About..."));

        QCOMPARE(f->Link->timer().interval(), 1);
        QVERIFY(!f->Link->timer().isActive());
        QCOMPARE(f->statusText(), QStringLiteral("FSP disconnected..."));
    }

    void designedCaptions_data()
    {
        // Control, property, designed value: captions, group titles, tooltips and the texts
        // that the start-up sequence leaves as designed.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        const auto row = [](const char *name, const char *property, const QVariant &value) {
            QTest::addRow("%s %s", name, property) << QString::fromLatin1(name) << QByteArray(property) << value;
        };
        row("l_gain", "text", QStringLiteral("Gain [dB]: - "));
        row("l_NoiseFigure", "text", QStringLiteral("F: -"));
        row("cb_Device", "toolTip", QStringLiteral("actually only FSP..."));
        row("ComboBox1", "toolTip", QStringLiteral("actually only COM..."));
        row("gb_fsp", "title", QStringLiteral("Analyser"));
        row("gb_com", "title", QStringLiteral("COM Port"));
        row("cb_RefLvlAuto", "text", QStringLiteral("RF Lvl auto"));
        row("cb_RefLvlAuto", "checked", false);
        row("rg_Sweep", "title", QStringLiteral("Mode"));
        row("Label37", "text", QStringLiteral("Step"));
        row("Label25", "text", QStringLiteral("Frequency: -"));
        row("cb_ShowF", "text", QStringLiteral("Noise Figure"));
        row("cb_ShowG", "text", QStringLiteral("Gain"));
        row("b_Measure2", "text", QStringLiteral("Measure"));
        row("b_Measure", "text", QStringLiteral("Measure"));
        row("GroupBox1", "title", QStringLiteral("Calibration Values (without DUT)"));
        row("GroupBox2", "title", QStringLiteral("Measured Values (with DUT)"));
        row("cb_Stage1", "text", QStringLiteral("Stage 1"));
        row("cb_Stage5", "checked", true);
        row("Edit1", "text", QStringLiteral("1"));
        row("Edit2", "text", QStringLiteral("0"));
        row("Edit3", "text", QStringLiteral("0"));
        row("Edit20", "text", QStringLiteral("1"));
        row("Edit21", "text", QString());
        row("rg_ENR", "title", QStringLiteral("Noise Source"));
        row("b_TableLoad", "text", QStringLiteral("Load Table"));
        row("b_TableSave", "text", QStringLiteral("Save Table"));
        row("gb_TempFreq", "title", QString());
        row("Label21", "text", QStringLiteral("Room Temperature:"));
        row("Label22", "text", QStringLiteral("Noise Source:"));
        row("l_NoiseSource", "text", QStringLiteral("const."));
        row("l_Frequency", "text", QStringLiteral("Frequency:"));
    }
    void designedCaptions()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        auto f = makeForm();
        QObject *o = find<QWidget>(*f, name.toLatin1().constData());
        QCOMPARE(o->property(property.constData()), value);
    }

    void radioItemsAndGridTitles()
    {
        auto f = makeForm();
        const auto items = [](RadioGroup *g) {
            QStringList out;
            for (int i = 0; i < g->count(); ++i)
                out << static_cast<QAbstractButton *>(g->button(i))->text();
            return out;
        };
        QCOMPARE(items(f->rg_Sweep), (QStringList{"Sweep", "Single"}));
        QCOMPARE(items(f->rg_ENR), (QStringList{"ENR all", "ENR table 1", "ENR table 2"}));
        QCOMPARE(f->vle_ENR->rowCount(), 20);
        QCOMPARE(f->vle_ENR->columnCount(), 2);
        QCOMPARE(f->vle_ENR->horizontalHeaderItem(0)->text(), QStringLiteral("Frequency [GHz]:"));
        QCOMPARE(f->vle_ENR->horizontalHeaderItem(1)->text(), QStringLiteral("ENR [dB]:"));
        QStringList rowLabels;
        for (QLabel *l : f->RowLabels)
            rowLabels << l->text();
        QCOMPARE(rowLabels, (QStringList{"Noise factor:", "Noise figure [dB]:", "Gain [dB]:", "IP3out [dBm]:"}));
        QCOMPARE(f->Label43->text(), QStringLiteral("Total"));
    }

    void cascadeTags()
    {
        auto f = makeForm();
        for (int s = 1; s <= 5; ++s) {
            QCOMPARE(f->cb_Stage[s - 1]->property("Tag").toInt(), s);
            for (int row = 1; row <= 4; ++row) {
                QLineEdit *e = f->Edit[4 * (s - 1) + row - 1];
                QCOMPARE(e->objectName(), QStringLiteral("Edit%1").arg(4 * (s - 1) + row));
                QCOMPARE(e->property("Tag").toInt(), 16 * s + row);
            }
        }
        QCOMPARE(f->Edit[22]->property("Tag").toInt(), 2);
        QCOMPARE(f->Edit[23]->property("Tag").toInt(), 3);
        QVERIFY(f->Edit[20]->isReadOnly());
    }

    void cascadeFieldsRunDownEachStage()
    {
        // Enter in a stage field moves on in tab order: down the stage's column, then to the
        // next stage; the read-only totals are not in the chain.
        auto f = makeForm();
        for (int k = 1; k < 20; ++k)
            QCOMPARE(f->Edit[k - 1]->nextInFocusChain(), f->Edit[k]);
        for (int k = 21; k <= 24; ++k)
            QVERIFY(!(f->Edit[k - 1]->focusPolicy() & Qt::TabFocus));
    }

    void fileDialogFilters()
    {
        // "all Files (*.*)" must show names without a dot too.
        QCOMPARE(ToQtFilters(FileFilter()),
                 QStringList({"Tables (*.tab)", "Measure (*.mea)", "all Files (*)"}));
    }

    void lockedSelectors_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pick");
        QTest::newRow("GPIB") << "ComboBox1" << 2;
        QTest::newRow("FSU") << "cb_Device" << 2;
    }
    void lockedSelectors()
    {
        QFETCH(QString, name);
        QFETCH(int, pick);
        auto f = makeForm();
        auto *c = find<QComboBox>(*f, name.toLatin1().constData());
        c->setCurrentIndex(pick);  // as the operator's choice from the list
        QCOMPARE(c->currentIndex(), 0);
    }

    void ethernetTradesLineSettingsForAnAddress()
    {
        auto f = makeForm();
        f->show();
        QWidget *const line[] = {f->cb_COM, f->cb_Baud, f->cb_Bits, f->cb_Handshake, f->cb_Parity, f->cb_StopBits};
        QWidget *const address[] = {f->l_Host, f->e_Host, f->l_TcpPort, f->e_TcpPort};
        for (int pass = 0; pass < 2; ++pass) {
            const bool lan = pass == 0;
            f->ComboBox1->setCurrentIndex(lan ? 1 : 0);
            QCOMPARE(f->ComboBox1->currentIndex(), lan ? 1 : 0);
            for (QWidget *w : line)
                QCOMPARE(w->isEnabled(), !lan);
            for (QWidget *w : address)
                QCOMPARE(w->isVisible(), lan);
        }
        QCOMPARE(f->e_TcpPort->text(), QStringLiteral("5025"));
        QCOMPARE(f->l_TcpPort->text(), QStringLiteral("TCP port:"));
        QCOMPARE(f->l_Host->text(), QStringLiteral("Host:"));
    }

    void sharedGroupMovesBetweenPages()
    {
        auto f = makeForm();
        f->show();
        QCOMPARE(f->gb_TempFreq->parentWidget(), f->TabSheet1);
        QCOMPARE(f->gb_TempFreq->pos(), QPoint(440, 248));
        QVERIFY(f->e_Frequency->isHidden());
        f->PageControl1->setCurrentIndex(2);
        QCOMPARE(f->gb_TempFreq->parentWidget(), f->TabSheet3);
        QCOMPARE(f->gb_TempFreq->pos(), QPoint(512, 312));
        QVERIFY(f->e_Frequency->isVisible());
        f->e_Temperature->setText(QString::fromUtf8("23 °C"));
        f->PageControl1->setCurrentIndex(0);
        QCOMPARE(f->gb_TempFreq->parentWidget(), f->TabSheet1);
        QVERIFY(f->e_Frequency->isHidden());
        QCOMPARE(f->e_Temperature->text(), QString::fromUtf8("23 °C"));
    }

    void aboutBox()
    {
        auto f = makeForm();
        bool enabledWhileShown = true;
        // The box is modal: while it is up the menu entry is disabled.
        struct Probe : ScriptedDialogs
        {
            TForm1 *form = nullptr;
            bool *seen = nullptr;
            MsgResult message(MsgType t, MsgButtons b, const QString &text, bool d) override
            {
                *seen = form->About1->isEnabled();
                return ScriptedDialogs::message(t, b, text, d);
            }
        } probe;
        probe.form = f.get();
        probe.seen = &enabledWhileShown;
        f->About1->trigger();
        QVERIFY(!enabledWhileShown);
        QCOMPARE(probe.messages.size(), 1);
        QCOMPARE(probe.messages[0].type, MsgType::Information);
        QCOMPARE(probe.messages[0].buttons, MsgButtons::Ok);
        QVERIFY(probe.messages[0].text.contains(QStringLiteral("V1.10")));
        QVERIFY(f->About1->isEnabled());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
