// Reference traces through the real window: one added from a file in "Options / References ...",
// one from "File / History ...", both drawn with their legend, compared in the step display at
// the selected step, a refused file that changes nothing, and one removed again.

#include "app/history_dialog.h"
#include "app/main_window.h"
#include "app/references_dialog.h"
#include "app/widgets.h"
#include "app/window_history.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"
#include "results/measurement_file.h"
#include "results/nfm_file.h"
#include "results/reference_trace.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

/// 400 to 500 MHz in 10 steps with a flat noise figure and gain.
MeasurementRecord Flat(double nf, double gain)
{
    MeasurementRecord r;
    r.SweepPlan = {400e6, 500e6, 10e6, 0, 10};
    r.MeasurementHeader.StepsCount = 10;
    for (int i = 0; i <= 10; ++i) {
        r.N2off[i] = -75.55 + 0.01 * i;
        r.N2on[i] = -70.25 + 0.01 * i;
        r.N12off[i] = -54.25 + 0.02 * i;
        r.N12on[i] = -49.06 + 0.01 * i;
        r.GainDb[i] = gain;
        r.NoiseFigureDb[i] = nf;
    }
    return r;
}

int Count(const TForm1 &f, const QColor &colour, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += (f.gfx->canvas().image().pixel(x, y) & 0xFFFFFF) == (colour.rgb() & 0xFFFFFF);
    return n;
}

QString Signed(double d)
{
    return (d > 0 ? QStringLiteral("+") : QString()) + QString::number(d, 'f', 2) + QStringLiteral(" dB");
}

}  // namespace

class TestReferencesWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_data = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_data->path().toUtf8());
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_form = std::make_unique<TForm1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    void cleanup()
    {
        m_form.reset();
        m_dialogs.reset();
        m_data.reset();
        m_dir.reset();
    }

    void referencesFromAFileAndFromTheHistory()
    {
        TForm1 &w = *m_form;
        w.MeasurementRecord = Flat(1.85, 21.1);
        w.se_Freq->setMaximum(10);
        w.PageControl1->setCurrentIndex(1);
        w.se_Freq->setValue(3);
        QCOMPARE(w.l_References->text(), QString());
        const QRect legend(w.Graphic->GraphGeometry.gridLeft() + 1, w.Graphic->GraphGeometry.gridTop() + 1, 200,
                           4 * kLegendRow + 4);
        QCOMPARE(Count(w, ReferenceColour(0), legend), 0);

        // From a file, through the dialog.
        QVERIFY(WriteFileBytes(m_dir->filePath(QStringLiteral("golden.mea")), EncodeMeasurementRecord(Flat(1.6, 21.0))));
        w.Referenzen1->trigger();
        TReferencesDialog *d = w.ReferencesDialog;
        QVERIFY(d && d->isVisible());
        QVERIFY(!d->b_ReferenceRemove->isEnabled());
        m_dialogs->files = {m_dir->filePath(QStringLiteral("golden.mea"))};
        QTest::mouseClick(d->b_ReferenceAdd, Qt::LeftButton);
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(d->lb_References->count(), 1);
        QCOMPARE(d->lb_References->item(0)->text(), QStringLiteral("golden"));
        // Its line and its name in the legend, in its colour.
        QVERIFY(Count(w, ReferenceColour(0), legend) > 20);
        QVERIFY(Count(w, ReferenceColour(0), QRect(legend.left() + 30, 35, 460, 350)) > 100);
        const double nf = w.MeasurementRecord.NoiseFigureDb[3];
        const double gain = w.MeasurementRecord.GainDb[3];
        QCOMPARE(w.l_References->text(),
                 QStringLiteral("golden: F %1, G %2").arg(Signed(nf - 1.6), Signed(gain - 21.0)));

        // A file that is no measurement is refused by name; nothing changes.
        QVERIFY(WriteFileBytes(m_dir->filePath(QStringLiteral("notes.csv")), "just, some\ntext\n"));
        m_dialogs->files = {m_dir->filePath(QStringLiteral("notes.csv"))};
        QTest::mouseClick(d->b_ReferenceAdd, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages.first().type, MsgType::Error);
        QVERIFY2(m_dialogs->lastMessage().startsWith(QStringLiteral("notes.csv, line 1: ")), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(d->lb_References->count(), 1);
        m_dialogs->messages.clear();

        // From the history: a run recorded as a pass records it.
        CompleteMeasurement run;
        run.record = Flat(2.0, 20.0);
        run.record.SweepPlan.Stop = 450e6;  // covers only the lower half
        run.record.SweepPlan.Step = 5e6;
        w.History->record(HistoryRunOf(run, {QStringLiteral("LNA"), QString(), QStringLiteral("SN-1")}, QString(),
                                       QDateTime::currentDateTime()));
        w.Verlauf1->trigger();
        THistoryDialog *h = w.HistoryDialog;
        QVERIFY(!h->b_HistoryOverlay->isEnabled());
        h->tv_History->selectRow(0);
        QVERIFY(h->b_HistoryOverlay->isEnabled());
        QTest::mouseClick(h->b_HistoryOverlay, Qt::LeftButton);
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(d->lb_References->count(), 2);
        QCOMPARE(d->lb_References->item(1)->text(), QStringLiteral("LNA SN-1"));
        QCOMPARE(w.statusText(), QStringLiteral("Reference shown: LNA SN-1"));
        QVERIFY(Count(w, ReferenceColour(1), legend) > 20);
        QCOMPARE(w.l_References->text(), QStringLiteral("golden: F %1, G %2; LNA SN-1: F %3, G %4")
                                             .arg(Signed(nf - 1.6), Signed(gain - 21.0), Signed(nf - 2.0),
                                                  Signed(gain - 20.0)));
        // Above 450 MHz the run from the history does not compare.
        w.se_Freq->setValue(8);
        QVERIFY2(!w.l_References->text().contains(QStringLiteral("LNA SN-1")), qPrintable(w.l_References->text()));
        QVERIFY(w.l_References->text().startsWith(QStringLiteral("golden: ")));

        // At most four: the fifth is refused, and "Add ..." waits for a free place.
        m_dialogs->files = {m_dir->filePath(QStringLiteral("golden.mea")), m_dir->filePath(QStringLiteral("golden.mea"))};
        QTest::mouseClick(d->b_ReferenceAdd, Qt::LeftButton);
        QTest::mouseClick(d->b_ReferenceAdd, Qt::LeftButton);
        QCOMPARE(d->lb_References->count(), 4);
        QVERIFY(!d->b_ReferenceAdd->isEnabled());
        QTest::mouseClick(h->b_HistoryOverlay, Qt::LeftButton);
        QCOMPARE(m_dialogs->lastMessage(), QStringLiteral("The graph shows at most 4 references; remove one first."));
        QCOMPARE(d->lb_References->count(), 4);

        // Removed: the first goes, its comparison with it, and the others keep their order.
        d->lb_References->setCurrentRow(0);
        QTest::mouseClick(d->b_ReferenceRemove, Qt::LeftButton);
        QCOMPARE(d->lb_References->count(), 3);
        QCOMPARE(d->lb_References->item(0)->text(), QStringLiteral("LNA SN-1"));
        QVERIFY(d->b_ReferenceAdd->isEnabled());
        w.se_Freq->setValue(3);
        QVERIFY2(w.l_References->text().startsWith(QStringLiteral("LNA SN-1: ")), qPrintable(w.l_References->text()));
    }
};

QTEST_MAIN(TestReferencesWindow)
#include "tst_references_window.moc"
