// The page "Graphic" through the real window: the graph drawn at start-up, the check boxes
// that appear with the page, the step selector that shows a step's levels and results, and the
// mark of a step whose evaluation failed.

#include "app/main_window.h"
#include "app/widgets.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"
#include "results/graph.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

constexpr QRgb kGrey = 0x808080;
constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kGreen = 0x00FF00;
constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kMagenta = 0xFF00FF;

QRgb px(const TForm1 &f, int x, int y)
{
    return f.gfx->canvas().image().pixel(x, y) & 0xFFFFFF;
}

int count(const TForm1 &f, QRgb colour, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += px(f, x, y) == colour;
    return n;
}

const QRect kGrid(134, 35, 501, 351);

}  // namespace

class TestGraphPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;

    void clickTab(int index)
    {
        QTabBar *bar = m_form->PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        QCOMPARE(m_form->PageControl1->currentIndex(), index);
    }

    /// A measured sweep of 10 steps, 400 to 500 MHz: the start-up example levels moving a
    /// little per step, gains near 21.1 dB and noise figures near 1.85 dB.
    void measuredSweep()
    {
        ::MeasurementRecord &r = m_form->MeasurementRecord;
        r.SweepPlan.Start = 400e6;
        r.SweepPlan.Stop = 500e6;
        r.SweepPlan.Step = 10e6;
        r.SweepPlan.Steps = 10;
        for (int i = 0; i <= 10; ++i) {
            r.N2off[i] = -75.55 + 0.01 * i;
            r.N2on[i] = -70.25 + 0.01 * i;
            r.N12off[i] = -54.25 + 0.02 * i;
            r.N12on[i] = -49.06 + 0.01 * i;
            r.GainDb[i] = 21.1;
            r.NoiseFigureDb[i] = 1.85;
        }
        m_form->se_Freq->setMaximum(10);
    }

    void stepUp()
    {
        m_form->se_Freq->setFocus();
        QTest::keyClick(m_form->se_Freq, Qt::Key_Up);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_form = std::make_unique<TForm1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    void cleanup()
    {
        m_form.reset();
        m_dialogs.reset();
        m_dir.reset();
    }

    void startUpDrawsTheEmptyGraph()
    {
        const ::GraphGeometry &g = m_form->Graphic->GraphGeometry;
        QCOMPARE(g.dx, 50);
        QCOMPARE(g.dy, 35);
        QCOMPARE(g.x0, 134);
        QCOMPARE(g.y0, 35);
        QCOMPARE(m_form->gfx->canvas().image().size(), QSize(769, 421));
        QCOMPARE(px(*m_form, 134, 35), kGrey);
        QCOMPARE(px(*m_form, 634, 385), kGrey);
        QCOMPARE(count(*m_form, kRed, kGrid), 0);
        QCOMPARE(count(*m_form, kGreen, kGrid), 0);
        // Legends drawn, no scale texts yet.
        QVERIFY(count(*m_form, kRed, QRect(54, 5, 100, 20)) > 0);
        QVERIFY(count(*m_form, kGreen, QRect(644, 5, 60, 20)) > 0);
        QCOMPARE(count(*m_form, kRed, QRect(0, 40, 130, 360)), 0);
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
    }

    void checkBoxesShowWithThePage()
    {
        QVERIFY(!m_form->cb_ShowF->isVisible());
        QVERIFY(!m_form->cb_ShowG->isVisible());
        clickTab(1);
        QVERIFY(m_form->cb_ShowF->isVisible());
        QVERIFY(m_form->cb_ShowG->isVisible());
        clickTab(3);
        QVERIFY(m_form->cb_ShowF->isHidden());
        QVERIFY(m_form->cb_ShowG->isHidden());
        clickTab(1);
        QVERIFY(m_form->cb_ShowF->isVisible());
    }

    void showingThePageDrawsTheFrameOnly()
    {
        measuredSweep();
        m_form->Graphic->RecomputeResults(kNoSelection);
        QVERIFY(count(*m_form, kRed, kGrid) > 0);
        clickTab(1);
        QCOMPARE(count(*m_form, kRed, kGrid), 0);
        QCOMPARE(count(*m_form, kGreen, kGrid), 0);
        QCOMPARE(px(*m_form, 384, 210), kGrey);
    }

    void uncheckingGainHidesIt()
    {
        measuredSweep();
        clickTab(1);
        m_form->se_Freq->setValue(3);
        QVERIFY(count(*m_form, kWhite, kGrid) > 0);
        QVERIFY(count(*m_form, kGreen, QRect(0, 0, 769, 421)) > 0);
        const int red = count(*m_form, kRed, QRect(0, 0, 769, 421));

        QTest::mouseClick(m_form->cb_ShowG, Qt::LeftButton);
        QVERIFY(!m_form->cb_ShowG->isChecked());
        // Circles, gain scale and legend are gone; the redraw selects no step.
        QCOMPARE(count(*m_form, kGreen, QRect(0, 0, 769, 421)), 0);
        QCOMPARE(count(*m_form, kWhite, kGrid), 0);
        QVERIFY(count(*m_form, kRed, QRect(0, 0, 769, 421)) >= red);

        QTest::mouseClick(m_form->cb_ShowF, Qt::LeftButton);
        QCOMPARE(count(*m_form, kRed, QRect(0, 0, 769, 421)), 0);
        QTest::mouseClick(m_form->cb_ShowG, Qt::LeftButton);
        QVERIFY(count(*m_form, kGreen, QRect(0, 0, 769, 421)) > 0);
    }

    void stepDisplay()
    {
        measuredSweep();
        clickTab(1);
        stepUp();
        QCOMPARE(m_form->se_Freq->value(), 1);
        QCOMPARE(m_form->e_n2off->text(), QStringLiteral("-75.540000"));
        QCOMPARE(m_form->e_n2on->text(), QStringLiteral("-70.240000"));
        QCOMPARE(m_form->e_n12off->text(), QStringLiteral("-54.230000"));
        QCOMPARE(m_form->e_n12on->text(), QStringLiteral("-49.050000"));
        QCOMPARE(m_form->e_Frequency->text(), QStringLiteral("410.00 MHz"));
        QCOMPARE(m_form->Label25->text(), QStringLiteral("Frequency: 410.00 MHz"));
        QCOMPARE(m_form->l_gain->text(), QStringLiteral("Gain [dB]: 21.14 dB"));
        QCOMPARE(m_form->l_NoiseFigure->text(), QStringLiteral("F: 1.53  (1.86 dB)"));
        // The evaluation stored the step's own results.
        QVERIFY(std::abs(m_form->MeasurementRecord.GainDb[1] - 21.1388) < 1e-3);
        QVERIFY(std::abs(m_form->MeasurementRecord.NoiseFigureDb[1] - 1.8595) < 1e-3);
        QVERIFY(!m_form->Graphic->StepEvaluationFailed[1]);

        // Step 1 is drawn in white at x 184, the others in red and green.
        const ::MeasurementRecord &r = m_form->MeasurementRecord;
        const GraphLayout layout = ComputeGraphLayout(m_form->Graphic->GraphGeometry, [&] {
            GraphData d;
            d.steps = 10;
            d.noiseFigureDb = r.NoiseFigureDb;
            d.gainDb = r.GainDb;
            d.selected = 1;
            return d;
        }());
        const GraphMarker &triangle = layout.markers[2];
        QCOMPARE(triangle.x, 184);
        QCOMPARE(px(*m_form, 184, triangle.y - 3), kWhite);
        QCOMPARE(px(*m_form, 134, layout.markers[0].y - 3), kRed);
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
    }

    void workedExampleOnStepZero()
    {
        measuredSweep();
        m_form->se_Freq->setValue(2);
        m_form->se_Freq->setValue(0);
        QCOMPARE(m_form->e_n2off->text(), QStringLiteral("-75.550000"));
        QCOMPARE(m_form->e_Frequency->text(), QStringLiteral("400.00 MHz"));
        QCOMPARE(m_form->l_gain->text(), QStringLiteral("Gain [dB]: 21.14 dB"));
        QCOMPARE(m_form->l_NoiseFigure->text(), QStringLiteral("F: 1.53  (1.84 dB)"));
        QCOMPARE(m_form->statusText(), QStringLiteral("For calculation used ENR: 5.52 dB"));
    }

    void failedEvaluationIsMarked_data()
    {
        QTest::addColumn<double>("n12off");
        QTest::addColumn<double>("n12on");
        QTest::addColumn<double>("n2on");
        QTest::addColumn<int>("messages");
        // Equal calibration levels: the gain divides by zero, "Error by calculating!".
        QTest::newRow("arithmetic failure") << -54.23 << -49.05 << -75.54 << 1;
        // Equal levels with the DUT: gain 0, so no noise figure can be computed.
        QTest::newRow("noise figure not computable") << -54.23 << -54.23 << -70.24 << 0;
    }

    void failedEvaluationIsMarked()
    {
        QFETCH(double, n12off);
        QFETCH(double, n12on);
        QFETCH(double, n2on);
        QFETCH(int, messages);
        measuredSweep();
        ::MeasurementRecord &r = m_form->MeasurementRecord;
        r.N12off[1] = n12off;
        r.N12on[1] = n12on;
        r.N2on[1] = n2on;
        clickTab(1);
        stepUp();
        QCOMPARE(m_dialogs->messages.size(), messages);
        if (messages)
            QCOMPARE(m_dialogs->lastMessage(), QStringLiteral("Error by calculating!"));
        QVERIFY(m_form->Graphic->StepEvaluationFailed[1]);
        // The step keeps its older noise figure, but it is not shown as this step's result.
        QCOMPARE(r.NoiseFigureDb[1], 1.85);
        QCOMPARE(m_form->l_NoiseFigure->text(), QStringLiteral("F: Error"));
        // The square stands at the noise figure the step keeps, where the printed report draws
        // it; selected, it is white, and no triangle is drawn for the step.
        const ::GraphGeometry &g = m_form->Graphic->GraphGeometry;
        const int y = ValueY(g, MakeAxisScale(NoiseFigureAxis(1.85), g), 1.85);
        QCOMPARE(y, 169);
        QCOMPARE(px(*m_form, 187, y + 3), kWhite);
        QCOMPARE(px(*m_form, 181, y - 3), kWhite);
        QVERIFY(px(*m_form, 187, 388) != kWhite);

        // Selecting another step leaves the failed one in magenta.
        stepUp();
        QCOMPARE(px(*m_form, 187, y + 3), kMagenta);
        QCOMPARE(px(*m_form, 181, y - 3), kMagenta);
        QCOMPARE(px(*m_form, 185, y + 1), 0u);  // the square is hollow
        QVERIFY(!m_form->Graphic->StepEvaluationFailed[2]);

        // Mending the levels and selecting the step again clears the mark.
        r.N12off[1] = -54.23;
        r.N12on[1] = -49.05;
        r.N2on[1] = -70.24;
        m_form->se_Freq->setValue(1);
        QVERIFY(!m_form->Graphic->StepEvaluationFailed[1]);
        QVERIFY(m_form->l_NoiseFigure->text().startsWith(QStringLiteral("F: 1.53")));
        QVERIFY(px(*m_form, 187, y + 3) != kMagenta && px(*m_form, 187, y + 3) != kWhite);

        m_form->Graphic->StepEvaluationFailed[5] = true;
        m_form->Graphic->ResetStepEvaluations();
        QVERIFY(!m_form->Graphic->StepEvaluationFailed[5]);
    }

    /// A file loaded from the Options page: the Graphic page shows its points and both scales
    /// at once, and "Save graph as ..." saves what is shown, under the file's name proposed.
    void loadedFileIsShownAtOnce()
    {
        m_dialogs->files.push_back(QStringLiteral(TESSARY_TEST_DATA "/mea/designed.mea"));
        m_form->Laden1->trigger();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        clickTab(1);
        const QRect leftScale(0, 25, 132, 370);
        const QRect rightScale(640, 25, 129, 370);
        QVERIFY(count(*m_form, kRed, kGrid) > 0);
        QVERIFY(count(*m_form, kGreen, kGrid) > 0);
        QVERIFY(count(*m_form, kRed, leftScale) > 0);
        QVERIFY(count(*m_form, kGreen, rightScale) > 0);

        m_dialogs->files.push_back(QStringLiteral("graph.png"));
        m_form->GrafikSpeichern1->trigger();
        QCOMPARE(m_dialogs->proposedPaths.last(), QDir::current().absoluteFilePath(QStringLiteral("designed.png")));
        const QImage png = QImage(QStringLiteral("graph.png")).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(png, m_form->gfx->canvas().image().convertToFormat(QImage::Format_RGB32));
        int scaleInk = 0;
        for (int y = leftScale.top(); y <= leftScale.bottom(); ++y)
            for (int x = leftScale.left(); x <= leftScale.right(); ++x)
                scaleInk += (png.pixel(x, y) & 0xFFFFFF) == kRed;
        QVERIFY(scaleInk > 0);
    }

    /// "Error bars" draws the whole graph again with the selected step still white.
    void errorBarsKeepTheSelection()
    {
        measuredSweep();
        clickTab(1);
        m_form->se_Freq->setMaximum(10);
        m_form->se_Freq->setValue(3);
        const int white = count(*m_form, kWhite, kGrid);
        QVERIFY(white > 0);
        QTest::mouseClick(m_form->cb_ErrorBars, Qt::LeftButton);
        QVERIFY(m_form->cb_ErrorBars->isChecked());
        QVERIFY(count(*m_form, kWhite, kGrid) >= white);
        QVERIFY(count(*m_form, kWhite, QRect(280, 35, 10, 351)) > 0);  // step 3 at x 284
    }

    void storedNegativeNoiseFigureIsACross()
    {
        measuredSweep();
        m_form->MeasurementRecord.NoiseFigureDb[4] = -1;
        m_form->Graphic->RecomputeResults(4);
        // White cross at x 334 on the lower grid line.
        QCOMPARE(px(*m_form, 331, 382), kWhite);
        QCOMPARE(px(*m_form, 336, 387), kWhite);
        QCOMPARE(px(*m_form, 331, 388), kWhite);
    }
};

QTEST_MAIN(TestGraphPage)
#include "tst_graph_page.moc"
