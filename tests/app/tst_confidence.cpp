// Confidence in every step through the real window: the selected step's uncertainty and
// guideline sentences, the error bars and marks on the graph, the calculator's uncertainty,
// and the dialog "Options > Uncertainty ..." with its section of config.ini.

#include "app/core/config.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "app/uncertainty_dialog.h"
#include "common/window_fixture.h"
#include "noise/uncertainty.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kOrange = 0xFFA500;

int count(const TForm1 &f, QRgb colour, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += (f.gfx->canvas().image().pixel(x, y) & 0xFFFFFF) == colour;
    return n;
}

/// The start-up example levels, dBm.
constexpr StepLevels kExample{-75.55, -70.25, -54.25, -49.06};

/// The uncertainty the window must show for these levels at 21 °C and 5.52 dB ENR.
QString expectedText(const StepLevels &levels, const UncertaintyInputs &inputs = {})
{
    return UncertaintyText(ComputeUncertainty(levels, 294.15, 5.52, inputs));
}

}  // namespace

class TestConfidence : public QObject, WindowFixture
{
    Q_OBJECT



    void clickTab(int index)
    {
        QTabBar *bar = m_form->PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        QCOMPARE(m_form->PageControl1->currentIndex(), index);
    }

    /// A measured sweep of 2 steps, 400 to 500 MHz: steps 0 and 2 at the example levels,
    /// step 1 at `step1`.
    void measuredSweep(const StepLevels &step1)
    {
        ::MeasurementRecord &r = m_form->MeasurementRecord;
        r.SweepPlan.Start = 400e6;
        r.SweepPlan.Stop = 500e6;
        r.SweepPlan.Step = 50e6;
        r.SweepPlan.Steps = 2;
        for (int i = 0; i <= 2; ++i) {
            const StepLevels &l = i == 1 ? step1 : kExample;
            r.N2off[i] = l.n2off;
            r.N2on[i] = l.n2on;
            r.N12off[i] = l.n12off;
            r.N12on[i] = l.n12on;
        }
        m_form->se_Freq->setMaximum(2);
    }

    void selectStep(int step)
    {
        m_form->se_Freq->setFocus();
        while (m_form->se_Freq->value() < step)
            QTest::keyClick(m_form->se_Freq, Qt::Key_Up);
    }

    /// Chooses "Options > Uncertainty ..."; `operatorActions` runs while the dialog is shown
    /// and must leave it. A dialog left open is cancelled after a while.
    void uncertaintyDialog(const std::function<void(UncertaintyDialog &)> &operatorActions)
    {
        QCOMPARE(m_form->Optionen1->title(), QStringLiteral("Options"));
        QCOMPARE(m_form->Unsicherheit1->text(), QStringLiteral("Uncertainty ..."));
        QVERIFY(OperateDialog<UncertaintyDialog>(m_form->Unsicherheit1, operatorActions));
    }

    static void retype(QLineEdit *field, const QString &text)
    {
        field->selectAll();
        QTest::keyClicks(field, text);
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

    void startUp()
    {
        start();
        QCOMPARE(m_form->l_Uncertainty->text(), QString());
        QCOMPARE(m_form->l_Guidelines->text(), QString());
        QCOMPARE(m_form->l_Calibrated->text(), QStringLiteral("Not calibrated"));
        QCOMPARE(m_form->l_CalcUncertainty->text(), QStringLiteral("Uncertainty: -"));
        QVERIFY(!m_form->cb_ErrorBars->isChecked());
        QVERIFY(m_form->cb_ErrorBars->isHidden());
        clickTab(1);
        QVERIFY(m_form->cb_ErrorBars->isVisible());
        QCOMPARE(m_form->cb_ErrorBars->text(), QStringLiteral("Error bars"));
        clickTab(0);
        QVERIFY(m_form->cb_ErrorBars->isHidden());
    }

    void calculateShowsTheUncertainty()
    {
        start();
        clickTab(2);
        QTest::mouseClick(m_form->b_calc, Qt::LeftButton);
        QCOMPARE(m_form->l_NoiseFigure->text(), QStringLiteral("F: 1.53  (1.84 dB)"));
        QCOMPARE(m_form->l_CalcUncertainty->text(), QStringLiteral("Uncertainty: ") + expectedText(kExample));
        QVERIFY(m_form->l_CalcUncertainty->text().endsWith(QStringLiteral(" dB")));
    }

    void stepDisplay_data()
    {
        QTest::addColumn<double>("n12on");
        QTest::addColumn<QString>("refLevel");
        QTest::addColumn<QString>("finding");
        QTest::newRow("good practice") << kExample.n12on << QStringLiteral("0 dBm") << QString();
        QTest::newRow("near the reference level")
            << kExample.n12on << QStringLiteral("-55 dBm") << QStringLiteral("within 10 dB of the reference level");
        QTest::newRow("low Y-factor with the DUT")
            << -53.25 << QStringLiteral("0 dBm") << QStringLiteral("Low Y-factor with the DUT (1.0 dB)");
    }

    void stepDisplay()
    {
        QFETCH(double, n12on);
        QFETCH(QString, refLevel);
        QFETCH(QString, finding);
        start();
        m_form->e_RefLvl->setText(refLevel);
        StepLevels step1 = kExample;
        step1.n12on = n12on;
        measuredSweep(step1);
        clickTab(1);
        selectStep(1);
        QCOMPARE(m_form->Label25->text(), QStringLiteral("Frequency: 450.00 MHz"));
        QCOMPARE(m_form->l_Uncertainty->text(), expectedText(step1));
        QVERIFY(m_form->l_Uncertainty->text().startsWith(u'\u00B1'));
        if (finding.isEmpty())
            QCOMPARE(m_form->l_Guidelines->text(), QString());
        else
        {
            // One line naming the notes, the sentences in its tooltip.
            QVERIFY2(m_form->l_Guidelines->text().startsWith(QStringLiteral("1 guideline note: ")),
                     qPrintable(m_form->l_Guidelines->text()));
            QVERIFY2(m_form->l_Guidelines->toolTip().contains(finding), qPrintable(m_form->l_Guidelines->toolTip()));
            QVERIFY(m_form->l_Guidelines->fontMetrics().horizontalAdvance(m_form->l_Guidelines->text())
                    <= m_form->l_Guidelines->width());
        }
        QCOMPARE(m_form->Graphic->Confidence.outsideGuidelines[1], !finding.isEmpty());
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
    }

    void errorBarsAndMarksOnTheGraph()
    {
        start();
        measuredSweep(kExample);
        clickTab(1);
        selectStep(2);  // steps 0 and 1 evaluated on the way, step 2 selected
        // Noise figures of 1.84 dB on the scale 0..3 dB: ±0.24 dB is some 28 pixels each way,
        // red above and below step 1's triangle (x 384).
        const QRect column(382, 36, 5, 349);
        const int before = count(*m_form, kRed, column);
        QVERIFY(before > 0);
        QTest::mouseClick(m_form->cb_ErrorBars, Qt::LeftButton);
        QVERIFY(m_form->cb_ErrorBars->isChecked());
        QVERIFY2(count(*m_form, kRed, column) > before + 40, qPrintable(QString::number(before)));
        QCOMPARE(count(*m_form, kOrange, QRect(0, 0, 769, 421)), 0);
        QTest::mouseClick(m_form->cb_ErrorBars, Qt::LeftButton);
        QCOMPARE(count(*m_form, kRed, column), before);

        // Step 1 measured again with a Y-factor of 1 dB: shown, it gets its mark; step 0 none.
        m_form->MeasurementRecord.N12on[1] = -53.25;
        QTest::keyClick(m_form->se_Freq, Qt::Key_Down);
        QVERIFY(!m_form->l_Guidelines->text().isEmpty());
        QVERIFY(count(*m_form, kOrange, QRect(378, 0, 13, 386)) > 0);
        QCOMPARE(count(*m_form, kOrange, QRect(128, 0, 13, 386)), 0);
    }

    void dialogRoundTrip()
    {
        start();
        measuredSweep(kExample);
        clickTab(1);
        selectStep(1);
        QCOMPARE(m_form->l_Uncertainty->text(), expectedText(kExample));

        // A value out of bounds is named, and the dialog stays until Cancel.
        uncertaintyDialog([this](UncertaintyDialog &d) {
            QCOMPARE(d.e_UncEnr->text(), QStringLiteral("0.2"));
            QCOMPARE(d.e_VswrSource->text(), QStringLiteral("1.15"));
            QCOMPARE(d.e_VswrAnalyser->text(), QStringLiteral("1.5"));
            retype(d.e_VswrDutIn, QStringLiteral("0.8"));
            QTest::mouseClick(d.b_UncOk, Qt::LeftButton);
            QVERIFY(d.isVisible());
            QVERIFY2(m_dialogs->lastMessage().contains(QStringLiteral("'0.8'")), qPrintable(m_dialogs->lastMessage()));
            QTest::mouseClick(d.b_UncCancel, Qt::LeftButton);
        });
        QCOMPARE(m_form->Uncertainty.dutInputVswr, 1.5);

        uncertaintyDialog([](UncertaintyDialog &d) {
            retype(d.e_UncEnr, QStringLiteral("0.35 dB"));
            retype(d.e_VswrDutIn, QStringLiteral("1.3"));
            QTest::mouseClick(d.b_UncOk, Qt::LeftButton);
        });
        UncertaintyInputs changed;
        changed.enrUncertaintyDb = 0.35;
        changed.dutInputVswr = 1.3;
        QCOMPARE(m_form->Uncertainty.enrUncertaintyDb, 0.35);
        QCOMPARE(m_form->Uncertainty.dutInputVswr, 1.3);
        // The shown step follows at once.
        QCOMPARE(m_form->l_Uncertainty->text(), expectedText(kExample, changed));
        QVERIFY(expectedText(kExample, changed) != expectedText(kExample));

        // Kept in config.ini and read at the next start.
        m_form->close();
        m_form.reset();
        const QByteArray ini = ReadFileBytes(m_dir->filePath(QStringLiteral("config.ini")));
        QVERIFY2(ini.contains("[Uncertainty]") && ini.contains("EnrDb=0.35") && ini.contains("VswrDutIn=1.3"),
                 ini.constData());
        start();
        QCOMPARE(m_form->Uncertainty.enrUncertaintyDb, 0.35);
        QCOMPARE(m_form->Uncertainty.sourceVswr, 1.15);
        uncertaintyDialog([](UncertaintyDialog &d) {
            QCOMPARE(d.e_UncEnr->text(), QStringLiteral("0.35"));
            QCOMPARE(d.e_VswrDutIn->text(), QStringLiteral("1.3"));
            QTest::mouseClick(d.b_UncDefaults, Qt::LeftButton);
            QCOMPARE(d.e_UncEnr->text(), QStringLiteral("0.2"));
            QTest::mouseClick(d.b_UncOk, Qt::LeftButton);
        });
        QCOMPARE(m_form->Uncertainty.enrUncertaintyDb, 0.2);
    }

    void olderFilesReadAsTheDefaults()
    {
        // A file from before the section, and one whose values do not hold.
        const QString path = m_dir->filePath(QStringLiteral("config.ini"));
        QVERIFY(WriteFileBytes(path, "[Schnittstelle]\r\nPort=1\r\n[Fenster]\r\nTop=10\r\nLeft=20\r\n"));
        start();
        QCOMPARE(m_form->Uncertainty.enrUncertaintyDb, UncertaintyInputs().enrUncertaintyDb);
        QCOMPARE(m_form->Uncertainty.analyserInputVswr, UncertaintyInputs().analyserInputVswr);
        m_form->close();
        m_form.reset();
        // The inputs never changed: the program adds no section.
        const QByteArray written = ReadFileBytes(path);
        QVERIFY(!written.contains("Uncertainty"));
        start();
        m_form->close();
        m_form.reset();
        QCOMPARE(ReadFileBytes(path), written);

        QVERIFY(WriteFileBytes(path, written + "[Uncertainty]\r\nEnrDb=abc\r\nNoiseFigureDb=0.1\r\nVswrSource=0.5\r\n"));
        const UncertaintyInputs read = ReadUncertaintyConfig(path);
        QCOMPARE(read.enrUncertaintyDb, 0.2);
        QCOMPARE(read.nfUncertaintyDb, 0.1);
        QCOMPARE(read.sourceVswr, 1.15);
    }
};

QTEST_MAIN(TestConfidence)
#include "tst_confidence.moc"
