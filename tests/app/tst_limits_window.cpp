// Limit lines in the window, operated as at the bench: "Options / Limits ..." loads a limits
// file (a malformed one is refused by its file and line and changes nothing), l_Verdict and the
// step display's limit line follow, "Export CSV ..." gains the limits' columns, and the limits
// file comes back after a restart through config.ini's [Limits], which a window that never
// loaded limits does not write.

#include "app/limits_dialog.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "common/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

const QString kDesigned = QStringLiteral(TESSARY_TEST_DATA "/mea/designed.mea");

/// The designed sample's noise figure rises from 1.85 dB at 400 MHz to 1.99 dB at 500 MHz, its
/// gain is about 21.1 dB: a flat upper NF limit of 1.954 dB fails the steps 8, 9 and 10.
const QByteArray kLimits = "# production limits\n"
                           "nf_upper, 400 MHz, 1.954\n"
                           "gain_lower, 400, 20 dB\n"
                           "gain_lower, 500, 20 dB\n";

}  // namespace

class TestLimitsWindow : public QObject, WindowFixture
{
    Q_OBJECT


    void loadMeasurement()
    {
        m_dialogs->files.push_back(kDesigned);
        m_form->Laden1->trigger();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
    }

    /// Chooses "Options / Limits ..."; `operatorActions` runs while the dialog is shown, which
    /// is closed afterwards.
    void limitsDialog(const std::function<void(TLimitsDialog &)> &operatorActions)
    {
        QVERIFY(m_form->Optionen1->actions().contains(m_form->Grenzwerte1));
        QCOMPARE(m_form->Grenzwerte1->text(), QStringLiteral("Limits ..."));
        QVERIFY(OperateDialog<TLimitsDialog>(m_form->Grenzwerte1, [&](TLimitsDialog &d) {
            operatorActions(d);
            QTest::mouseClick(d.b_LimitsClose, Qt::LeftButton);
        }));
    }
    void loadLimits(const QString &file)
    {
        limitsDialog([&](TLimitsDialog &d) {
            m_dialogs->files.push_back(file);
            QTest::mouseClick(d.b_LimitsLoad, Qt::LeftButton);
        });
    }
    QString writeLimits(const QByteArray &text)
    {
        const QString file = m_dir->filePath(QStringLiteral("production.lim"));
        if (!WriteFileBytes(file, text))
            qFatal("cannot write the limits file");
        return file;
    }
    QList<QByteArray> exportCsv()
    {
        const QString file = m_dir->filePath(QStringLiteral("out.csv"));
        QFile::remove(file);
        m_dialogs->files.push_back(file);
        m_form->ExportCSV1->trigger();
        QList<QByteArray> table;
        for (const QByteArray &line : ReadFileBytes(file).split('\n'))
            if (!line.startsWith('#') && !line.isEmpty())
                table << line;
        return table;
    }

private slots:
    void init()
    {
        prepare();
        start();
    }
    void cleanup()
    {
        tearDown();
    }

    void verdictStepDisplayAndCsv()
    {
        loadMeasurement();
        QCOMPARE(m_form->l_Verdict->text(), QString());
        // Guard the sample's numbers the limits are chosen around.
        QVERIFY(m_form->MeasurementRecord.NoiseFigureDb[7] < 1.954);
        QVERIFY(m_form->MeasurementRecord.NoiseFigureDb[8] > 1.954);
        const QList<QByteArray> plain = exportCsv();

        int rows = 0;
        limitsDialog([&](TLimitsDialog &d) {
            m_dialogs->files.push_back(writeLimits(kLimits));
            QTest::mouseClick(d.b_LimitsLoad, Qt::LeftButton);
            rows = d.tw_Limits->rowCount();
            QCOMPARE(d.tw_Limits->item(0, 0)->text(), QStringLiteral("NF upper"));
            QVERIFY(d.b_LimitsClear->isEnabled());
        });
        QCOMPARE(rows, 3);
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(m_form->l_Verdict->text(), QStringLiteral("FAIL: 3 of 11 points"));

        // The step display names the broken limit of a selected step, and nothing for one within.
        m_form->se_Freq->setValue(10);
        QVERIFY2(m_form->l_StepLimit->text().startsWith(QStringLiteral("NF upper 1.95 dB exceeded by 0.0")),
                 qPrintable(m_form->l_StepLimit->text()));
        m_form->se_Freq->setValue(3);
        QCOMPARE(m_form->l_StepLimit->text(), QString());

        // The CSV: the designed columns unchanged, then each limit in force and pass or fail.
        const QList<QByteArray> table = exportCsv();
        QCOMPARE(table.size(), plain.size());
        QCOMPARE(table[0], plain[0] + ",NF upper (dB),Gain lower (dB),Limits");
        QCOMPARE(table[1], plain[1] + ",1.954,20,pass");
        QCOMPARE(table[11], plain[11] + ",1.954,20,fail");

        // Unticked, the graph has no lines; the verdict stays.
        m_form->PageControl1->setCurrentIndex(1);
        QVERIFY(m_form->cb_Limits->isChecked());
        const QImage with = m_form->gfx->canvas().image();
        QTest::mouseClick(m_form->cb_Limits, Qt::LeftButton);
        QVERIFY(!m_form->cb_Limits->isChecked());
        QVERIFY(m_form->gfx->canvas().image() != with);
        QCOMPARE(m_form->l_Verdict->text(), QStringLiteral("FAIL: 3 of 11 points"));

        // Cleared: no verdict, and the CSV is the designed one again.
        limitsDialog([](TLimitsDialog &d) { QTest::mouseClick(d.b_LimitsClear, Qt::LeftButton); });
        QCOMPARE(m_form->l_Verdict->text(), QString());
        QCOMPARE(exportCsv(), plain);
    }

    void verdictFollowsALoadedFile()
    {
        loadLimits(writeLimits(kLimits));
        // Nothing measured or loaded yet: nothing is judged.
        QCOMPARE(m_form->l_Verdict->text(), QString());
        loadMeasurement();
        QCOMPARE(m_form->l_Verdict->text(), QStringLiteral("FAIL: 3 of 11 points"));
        QCOMPARE(m_form->l_StepLimit->text(), QString());
        loadLimits(writeLimits("nf_upper, 400 MHz, 2.5\n"));
        QCOMPARE(m_form->l_Verdict->text(), QStringLiteral("PASS"));
    }

    void malformedFileRefused()
    {
        loadMeasurement();
        loadLimits(writeLimits(kLimits));
        const QString typo = QStringLiteral(TESSARY_TEST_DATA "/limits/typo.lim");
        loadLimits(typo);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].type, MsgType::Error);
        QVERIFY2(m_dialogs->messages[0].text.contains(typo) && m_dialogs->messages[0].text.contains(QStringLiteral("line 3")),
                 qPrintable(m_dialogs->messages[0].text));
        // The limits in force stay.
        QCOMPARE(m_form->l_Verdict->text(), QStringLiteral("FAIL: 3 of 11 points"));
        QCOMPARE(m_form->Graphic->LimitsFile, m_dir->filePath(QStringLiteral("production.lim")));
    }

    void limitsSurviveARestart()
    {
        // A window that never loaded limits leaves config.ini without the section.
        restart();
        QVERIFY(!ReadFileBytes(QStringLiteral("config.ini")).contains("[Limits]"));

        const QString file = writeLimits(kLimits);
        loadLimits(file);
        restart();
        QVERIFY(ReadFileBytes(QStringLiteral("config.ini")).contains("[Limits]"));
        QCOMPARE(m_form->Graphic->LimitsFile, file);
        QVERIFY(!m_form->Graphic->Limits.empty());
        loadMeasurement();
        QCOMPARE(m_form->l_Verdict->text(), QStringLiteral("FAIL: 3 of 11 points"));

        // A file that no longer reads is said at start, and no limits are in force.
        QVERIFY(WriteFileBytes(file, "nf_upper, 400 MHz\n"));
        restart();
        QVERIFY(m_form->Graphic->Limits.empty());
        QVERIFY2(m_form->statusText().contains(QStringLiteral("line 1")), qPrintable(m_form->statusText()));
    }
};

QTEST_MAIN(TestLimitsWindow)
#include "tst_limits_window.moc"
