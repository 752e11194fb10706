// The bench in the window, operated as at the bench: "Options > Bench ..." typed and clicked,
// loss tables refused or taken, l_Bench, "Load ENR file ..." on the Noise Source page, and
// config.ini's [Bench] section, which an old file never gains while the bench stays at its
// defaults.

#include "app/bench_dialog.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "common/window_fixture.h"
#include "noise/evaluation.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>
#include <memory>

class TestBenchWindow : public QObject, WindowFixture
{
    Q_OBJECT



    /// Chooses "Options > Bench ..."; `operatorActions` runs while the dialog is shown and must
    /// leave it. A dialog left open is cancelled after a while.
    void benchDialog(const std::function<void(BenchDialog &)> &operatorActions)
    {
        QCOMPARE(m_form->Messaufbau1->text(), QStringLiteral("Bench ..."));
        QVERIFY(m_form->Optionen1->actions().contains(m_form->Messaufbau1));
        QVERIFY(OperateDialog<BenchDialog>(m_form->Messaufbau1, operatorActions));
    }

    /// Clicks into `field` and types `keys` as an operator does.
    static void type(QLineEdit *field, const QString &keys)
    {
        QTest::mouseClick(field, Qt::LeftButton);
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(field, keys);
    }
    static void typeEnter(QLineEdit *field, const QString &keys)
    {
        type(field, keys);
        QTest::keyClick(field, Qt::Key_Return);
    }
    static void choose(QComboBox *box, int item)
    {
        box->setFocus(Qt::MouseFocusReason);
        box->setCurrentIndex(item);
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir->filePath(name);
        WriteFileBytes(path, bytes);
        return path;
    }

private slots:
    void init()
    {
        prepare();
    }
    void cleanup()
    {
        tearDown();
    }

    void atItsDefaultsNothingIsInEffect()
    {
        start();
        QVERIFY(m_form->Bench.isDefault());
        QCOMPARE(m_form->l_Bench->text(), QString());
        QVERIFY(!m_form->evaluationContext().corrects());
        QCOMPARE(m_form->MeasurementRecord.SweepPlan.Conversion, DutType::Amplifier);
    }

    void typedBenchIsTakenByOk()
    {
        start();
        benchDialog([](BenchDialog &d) {
            QCOMPARE(d.cb_LossBefore->currentText(), QStringLiteral("Off"));
            QVERIFY(!d.e_LossBefore->isEnabled());
            QVERIFY(!d.e_LO->isEnabled());
            // The temperature of a loss follows the room's until it is given its own.
            QCOMPARE(d.e_LossBeforeTemp->text(), QStringLiteral("21 \u00B0C"));
            choose(d.cb_LossBefore, 1);
            QVERIFY(d.e_LossBefore->isEnabled());
            // The loss field reads dB: a minus is swallowed, Enter gives the unit.
            typeEnter(d.e_LossBefore, QStringLiteral("-1,5"));
            QCOMPARE(d.e_LossBefore->text(), QStringLiteral("1.5 dB"));
            choose(d.cb_LossAfter, 1);
            typeEnter(d.e_LossAfter, QStringLiteral("2"));
            type(d.e_LossAfterTemp, QStringLiteral("77k"));
            QCOMPARE(d.e_LossAfterTemp->text(), QStringLiteral("77 K"));
            choose(d.cb_DutType, 1);
            QVERIFY(d.e_LO->isEnabled());
            type(d.e_LO, QStringLiteral("9.75g"));
            QCOMPARE(d.e_LO->text(), QStringLiteral("9.75 GHz"));
            QCOMPARE(d.e_ImageRejection->text(), QStringLiteral("SSB"));
            typeEnter(d.e_ImageRejection, QStringLiteral("20"));
            QCOMPARE(d.e_ImageRejection->text(), QStringLiteral("20 dB"));
            choose(d.cb_CalSource, 2);
            QCOMPARE(d.cb_CalSource->currentText(), QStringLiteral("Table1"));
            QTest::mouseClick(d.b_BenchOk, Qt::LeftButton);
        });
        const BenchSetup &b = m_form->Bench;
        QCOMPARE(b.lossBefore.mode, LossMode::Fixed);
        QCOMPARE(std::round(b.lossBefore.fixedDb * 1e9) / 1e9, 1.5);
        QVERIFY(!b.lossBefore.temperatureK);
        QCOMPARE(std::round(b.lossAfter.fixedDb * 1e9) / 1e9, 2.0);
        QCOMPARE(*b.lossAfter.temperatureK, 77.0);
        QCOMPARE(b.dutType, DutType::DownConverter);
        QCOMPARE(b.loHz, 9.75e9);
        QCOMPARE(std::round(*b.imageRejectionDb * 1e9) / 1e9, 20.0);
        QCOMPARE(b.calSource, 1);
        QCOMPARE(m_form->l_Bench->text(), BenchSummaryText(b));
        QVERIFY(m_form->l_Bench->text().contains(QStringLiteral("Down-converter LO 9.75 GHz")));
        // The analyser is tuned to the IF of each step; the steps are evaluated through the bench.
        QCOMPARE(m_form->MeasurementRecord.SweepPlan.Conversion, DutType::DownConverter);
        QCOMPARE(m_form->MeasurementRecord.SweepPlan.LoHz, 9.75e9);
        const EvaluationContext c = m_form->evaluationContext();
        QVERIFY(c.bench == b);
        QVERIFY(c.calibrationEnr.has_value());
        QCOMPARE(c.calibrationEnr->mode, 1);

        // The dialog shows what is in effect; Defaults and Cancel take nothing.
        benchDialog([](BenchDialog &d) {
            QCOMPARE(d.cb_LossBefore->currentIndex(), 1);
            QCOMPARE(d.e_LossBefore->text(), QStringLiteral("1.5 dB"));
            QCOMPARE(d.e_LossAfterTemp->text(), QStringLiteral("77 K"));
            QCOMPARE(d.e_LO->text(), QStringLiteral("9.75 GHz"));
            QTest::mouseClick(d.b_BenchDefaults, Qt::LeftButton);
            QCOMPARE(d.cb_DutType->currentIndex(), 0);
            QTest::mouseClick(d.b_BenchCancel, Qt::LeftButton);
        });
        QVERIFY(m_form->Bench == b);

        // Defaults and OK: the designed bench again, nothing in effect.
        benchDialog([](BenchDialog &d) {
            QTest::mouseClick(d.b_BenchDefaults, Qt::LeftButton);
            QTest::mouseClick(d.b_BenchOk, Qt::LeftButton);
        });
        QVERIFY(m_form->Bench.isDefault());
        QCOMPARE(m_form->l_Bench->text(), QString());
        QCOMPARE(m_form->MeasurementRecord.SweepPlan.Conversion, DutType::Amplifier);
    }

    void wrongFieldsKeepTheDialogOpen_data()
    {
        QTest::addColumn<int>("dutType");
        QTest::addColumn<QString>("lo");
        QTest::addColumn<int>("lossMode");
        QTest::addColumn<QString>("named");
        QTest::newRow("LO of 0 Hz") << 1 << "0" << 0 << "LO";
        QTest::newRow("table never read") << 0 << "" << 2 << "Loss before the DUT";
    }
    void wrongFieldsKeepTheDialogOpen()
    {
        QFETCH(int, dutType);
        QFETCH(QString, lo);
        QFETCH(int, lossMode);
        QFETCH(QString, named);
        start();
        bool stillOpen = false;
        benchDialog([&](BenchDialog &d) {
            choose(d.cb_DutType, dutType);
            if (!lo.isEmpty())
                typeEnter(d.e_LO, lo);
            choose(d.cb_LossBefore, lossMode);
            QTest::mouseClick(d.b_BenchOk, Qt::LeftButton);
            stillOpen = d.isVisible();
            d.reject();
        });
        QVERIFY(stillOpen);
        QVERIFY(m_dialogs->lastMessage().contains(named));
        QVERIFY(m_form->Bench.isDefault());
    }

    void lossTableIsReadOrRefused()
    {
        start();
        const QString bad = writeFile(QStringLiteral("bad.csv"), "# cable\n1 GHz, 0.5\n2 GHz, much\n");
        const QString good = writeFile(QStringLiteral("cable.csv"), "# cable\n2G, 0.8\n1G, 0.5\n");
        m_dialogs->files = {bad, good};
        benchDialog([&](BenchDialog &d) {
            QTest::mouseClick(d.b_LossBeforeTable, Qt::LeftButton);
            // Refused with the file and the line; the loss keeps what it had.
            QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("bad.csv")));
            QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("line 3")));
            QCOMPARE(d.cb_LossBefore->currentIndex(), 0);
            QTest::mouseClick(d.b_LossBeforeTable, Qt::LeftButton);
            QCOMPARE(d.cb_LossBefore->currentIndex(), 2);
            QCOMPARE(d.l_LossBeforeTable->text(), QStringLiteral("Table cable.csv, 2 points"));
            QTest::mouseClick(d.b_BenchOk, Qt::LeftButton);
        });
        const LossSetting loss = m_form->Bench.lossBefore;
        QCOMPARE(loss.mode, LossMode::Table);
        QCOMPARE(loss.table.size(), 2);
        QCOMPARE(loss.table[0].frequencyHz, 1e9);  // sorted as read
        QCOMPARE(loss.tableFile, QStringLiteral("cable.csv"));
        // The table is kept in config.ini itself: it comes back without its file.
        QFile::remove(good);
        restart();
        QVERIFY(m_form->Bench.lossBefore == loss);
        QCOMPARE(m_form->l_Bench->text(), QStringLiteral("Loss before table (2 points)"));
    }

    void oldConfigStaysByteForByte_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::newRow("designed") << QByteArray("[Schnittstelle]\r\nPort=1\r\nBaudrate=6\r\nBits=1\r\nHandShake=1\r\n"
                                                "Parit\xE4t=0\r\nStopBits=0\r\n[Fenster]\r\nTop=0\r\nLeft=0\r\n");
        QTest::newRow("with a comment") << QByteArray("; kept\r\n[Schnittstelle]\r\nPort=2\r\n");
    }
    void oldConfigStaysByteForByte()
    {
        QFETCH(QByteArray, old);
        start();
        // The window's own keys as this run writes them; then the file of an older program.
        m_form->close();
        m_form.reset();
        const QByteArray ours = ReadFileBytes(QStringLiteral("config.ini"));
        QVERIFY(!ours.contains("[Bench]"));
        QVERIFY(WriteFileBytes(QStringLiteral("config.ini"), ours));
        start();
        m_form->close();
        m_form.reset();
        QCOMPARE(ReadFileBytes(QStringLiteral("config.ini")), ours);

        // Once the bench leaves its defaults the section is written, and read back as it was.
        QVERIFY(WriteFileBytes(QStringLiteral("config.ini"), old));
        start();
        benchDialog([](BenchDialog &d) {
            choose(d.cb_DutType, 2);
            typeEnter(d.e_LO, QStringLiteral("100"));
            QTest::mouseClick(d.b_BenchOk, Qt::LeftButton);
        });
        const BenchSetup b = m_form->Bench;
        restart();
        QVERIFY(ReadFileBytes(QStringLiteral("config.ini")).contains("[Bench]"));
        QVERIFY(m_form->Bench == b);
        QCOMPARE(m_form->l_Bench->text(), QStringLiteral("Up-converter LO 100 MHz, SSB"));
    }

    void enrFileLoadsIntoTheShownTable()
    {
        start();
        const QString bad = writeFile(QStringLiteral("bad.enr"), "[Filetype ENR]\n1 GHz 5.1\n0.5 GHz 5.2\n");
        const QString good = writeFile(QStringLiteral("346.enr"),
                                       "[Filetype ENR]\r\n[Serialnumber ABCD1234]\r\n[Model N4000]\r\n"
                                       "! freq  enr  unc\r\n10 MHz 15.1 0.20\r\n1e9 15.3 0.22\r\n2 GHz 15.2\r\n");
        QVERIFY(!m_form->b_EnrFileLoad->isEnabled());
        QCOMPARE(m_form->b_EnrFileLoad->text(), QStringLiteral("Load ENR file ..."));
        m_form->rg_ENR->setItemIndex(1);
        QVERIFY(m_form->b_EnrFileLoad->isEnabled());
        const EnrRows before = m_form->NoiseSource->enrGridRows();
        m_dialogs->files = {bad, good};
        QTest::mouseClick(m_form->b_EnrFileLoad, Qt::LeftButton);
        QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("bad.enr")));
        QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("line 3")));
        QVERIFY(m_form->NoiseSource->enrGridRows() == before);

        QTest::mouseClick(m_form->b_EnrFileLoad, Qt::LeftButton);
        const EnrRows rows = m_form->NoiseSource->enrGridRows();
        QCOMPARE(rows[0].FrequencyText, QStringLiteral("0.01"));
        QCOMPARE(rows[0].EnrText, QStringLiteral("15.1"));
        QCOMPARE(rows[2].FrequencyText, QStringLiteral("2"));
        QVERIFY(m_form->NoiseSource->NoiseSourceText.contains(QStringLiteral("ABCD1234")));
        const EnrSource source = m_form->evaluationContext().enr;
        QCOMPARE(*source.uncertaintyAt(1e9), 0.22);
        QVERIFY(source.uncertaintyDb[2] == std::nullopt);
        // The file's three points are the whole table: between them, and above along the last two.
        const auto enrDbAt = [this](double hz) { return 10 * std::log10(m_form->evaluationContext().enr.lookup(hz)); };
        QVERIFY(std::fabs(enrDbAt(1.5e9) - 15.25) < 1e-9);
        QVERIFY(std::fabs(enrDbAt(3e9) - 15.1) < 1e-9);

        // The uncertainties and the source's name survive a restart with the table they belong to.
        restart();
        QCOMPARE(m_form->rg_ENR->ItemIndex(), 1);
        QCOMPARE(*m_form->evaluationContext().enr.uncertaintyAt(10e6), 0.2);
        QVERIFY(std::fabs(enrDbAt(1.5e9) - 15.25) < 1e-9);
        QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("N4000 ABCD1234"));
        QCOMPARE(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText, QByteArray("N4000 ABCD1234"));
        // A table file gives none.
        const QString tab = writeFile(QStringLiteral("plain.tab"), "0.01\r\n6\r\n");
        m_dialogs->files = {tab};
        QTest::mouseClick(m_form->b_TableLoad, Qt::LeftButton);
        QVERIFY(!m_form->evaluationContext().enr.uncertaintyAt(10e6));
        QVERIFY(!m_form->NoiseSource->NoiseSourceText.contains(QStringLiteral("ABCD1234")));

        // A model and serial number longer than the text holds are cut, with a notice, and kept cut.
        const QString longer = writeFile(QStringLiteral("long.enr"), "[Filetype ENR]\n[Model Noise Source With A Long Model Name]\n"
                                                                     "[Serialnumber XY99]\n1 GHz 5.5\n");
        m_form->rg_ENR->setItemIndex(2);
        m_dialogs->files = {longer};
        QTest::mouseClick(m_form->b_EnrFileLoad, Qt::LeftButton);
        QVERIFY2(m_dialogs->lastMessage().contains(QStringLiteral("cut to 32 characters")), qPrintable(m_dialogs->lastMessage()));
        const QString cut = QStringLiteral("Noise Source With A Long Model N");
        QCOMPARE(m_form->NoiseSource->NoiseSourceText, cut);
        restart();
        QCOMPARE(m_form->rg_ENR->ItemIndex(), 2);
        QCOMPARE(m_form->NoiseSource->NoiseSourceText, cut);
        m_form->rg_ENR->setItemIndex(1);
        QVERIFY(!m_form->NoiseSource->NoiseSourceText.contains(QStringLiteral("ABCD1234")));
    }
};

QTEST_MAIN(TestBenchWindow)
#include "tst_bench_window.moc"
