// Results that last, through the real window and the analyser simulator: a calibration saved,
// loaded into a fresh window and measured against without a calibration pass; refused files
// that change nothing; every measurement pass recorded in the history with the report form's
// DUT and serial, found again in "File / History ...", exported, loaded back and deleted.

#include "helper_window.h"

#include "common/operate_dialog.h"
#include "common/working_folder.h"

#include "app/calibration_keeper.h"
#include "app/history_dialog.h"
#include "app/input_mask_form.h"
#include "app/limits_dialog.h"
#include "app/widgets.h"
#include "app/window_history.h"
#include "results/history_store.h"
#include "results/measurement_file.h"
#include "results/nfm_file.h"
#include "run/calibration_file.h"
#include "run/calibration_state.h"

#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>

using namespace e2e;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// The step rows of a CSV file: the lines that begin with a step number.
QList<QByteArray> StepRows(const QByteArray &csv)
{
    QList<QByteArray> rows;
    for (const QByteArray &line : csv.split('\n'))
        if (!line.isEmpty() && line[0] >= '0' && line[0] <= '9')
            rows.append(line.trimmed());
    return rows;
}

/// The program with its report details form, as it starts.
struct Station : Program
{
    std::unique_ptr<TInputMaskeFrm> report;
    explicit Station(const QStringList &simArgs = {}) : Program(simArgs)
    {
        report = std::make_unique<TInputMaskeFrm>(form.get());
        form->attachSecondaryWindows(progress.get(), report.get());
    }
    ~Station() { form->attachSecondaryWindows(progress.get(), nullptr); }
};

}  // namespace

class TestProduction : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_data;

private slots:
    void init()
    {
        // Never the user's own history, and each test's own.
        m_data = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_data->path().toUtf8());
    }

    void calibrationSavedAndReused()
    {
        QTemporaryDir keep;
        const QString cal = keep.filePath(QStringLiteral("a.cal"));
        {
            Station p;
            TForm1 &w = p.w();
            w.se_steps->setValue(2);
            QVERIFY(p.connect());
            // Nothing to save before a calibration has run.
            w.KalibrierungSpeichern1->trigger();
            QCOMPARE(p.messageTexts().last(), QStringLiteral("There is no calibration to save. Please calibrate first."));
            QVERIFY(!QFileInfo::exists(cal));
            QVERIFY(p.calibrate());
            p.dialogs.files = {cal};
            w.KalibrierungSpeichern1->trigger();
            QVERIFY(QFileInfo::exists(cal));
        }
        const CalibrationDecodeResult saved = LoadCalibrationFile(cal);
        QVERIFY2(saved.calibration, qPrintable(saved.error));
        QCOMPARE(saved.calibration->steps.size(), 3);
        QVERIFY(saved.calibration->analyserIdentity.contains(QStringLiteral("FSP")));

        // A fresh window on a fresh bench: the fields take the calibration's plan.
        Station p;
        TForm1 &w = p.w();
        w.e_Start->setText(QStringLiteral("1 GHz"));
        w.cb_rbw->setCurrentIndex(3);
        w.e_Temperature->setText(QStringLiteral("30 \u00B0C"));
        p.dialogs.files = {cal};
        w.KalibrierungLaden1->trigger();
        // The calibration's room temperature is the evaluation's, and the status bar says so.
        QCOMPARE(w.e_Temperature->text(), QStringLiteral("21 \u00B0C"));
        QCOMPARE(w.evaluationContext().roomTemperatureK, saved.calibration->roomTemperatureK);
        QVERIFY2(w.statusText().startsWith(QStringLiteral("Calibration loaded from a.cal with its room temperature 21 \u00B0C "
                                                          "and noise source ")),
                 qPrintable(w.statusText()));
        QCOMPARE(w.e_Start->text(), QStringLiteral("400 MHz"));
        QCOMPARE(w.e_Stop->text(), QStringLiteral("500 MHz"));
        QCOMPARE(w.se_steps->value(), 2);
        QCOMPARE(w.cb_rbw->currentText(), saved.calibration->state.settings.rbwText);
        QVERIFY2(w.l_Calibrated->text().startsWith(QStringLiteral("Loaded: a.cal")), qPrintable(w.l_Calibrated->text()));
        QVERIFY(!w.b_Measure->isEnabled());

        QVERIFY(p.connect());
        QVERIFY(ServeEventsUntil([&] { return w.b_Measure->isEnabled(); }, 10000));
        QVERIFY2(w.l_Calibrated->text().startsWith(QStringLiteral("Calibrated: a.cal, 400 MHz to 500 MHz, 3 points, ")),
                 qPrintable(w.l_Calibrated->text()));
        QVERIFY(w.l_Calibrated->text().endsWith(QStringLiteral(" old")));
        QVERIFY2(w.statusText().startsWith(QStringLiteral("Calibration of a.cal in force with its room temperature")),
                 qPrintable(w.statusText()));
        // Calibrated with the source the measurement uses: no source of its own.
        QVERIFY(!w.evaluationContext().calibrationEnr);
        const qsizetype before = p.sim->lines().size();
        p.dialogs.messages.clear();
        QVERIFY(p.measure());
        // No calibration pass and no question for one: only the DUT's.
        QCOMPARE(p.messageTexts(), QStringList{QStringLiteral("Connect DUT between Noise Source and FSP !")});
        QVERIFY(!p.sim->lines().mid(before).contains(QByteArray("DIAG:SERV:NSO OFF")));
        const MeasurementRecord &r = w.MeasurementRecord;
        for (int i = 0; i <= 2; ++i) {
            const double f = r.SweepPlan.Start + i * r.SweepPlan.Step;
            QVERIFY2(std::fabs(r.NoiseFigureDb[size_t(i)] - DutNoiseFigureDb(f)) <= 0.05, qPrintable(QString::number(f)));
            QVERIFY(std::fabs(r.GainDb[size_t(i)] - DutGainDb(f)) <= 0.05);
            QCOMPARE(r.N2off[size_t(i)], saved.calibration->steps[i].n2offDbm);
        }
        QVERIFY(w.Calibrations->origin().startsWith(QStringLiteral("a.cal, calibrated at ")));
        // Measured with another source than the calibration's: the calibration's, with the data
        // of its file, serves the calibration levels.
        w.rg_ENR->setItemIndex(1);
        const std::optional<EnrSource> calibrationSource = w.evaluationContext().calibrationEnr;
        QVERIFY(calibrationSource);
        QCOMPARE(calibrationSource->mode, saved.calibration->enr.mode);
        QCOMPARE(calibrationSource->enrAllText, saved.calibration->enr.enrAllText);
        w.rg_ENR->setItemIndex(0);
        QVERIFY(!w.evaluationContext().calibrationEnr);

        // A changed setting is refused as after a fresh calibration.
        w.cb_rbw->setCurrentIndex(3);
        p.dialogs.messages.clear();
        QTest::mouseClick(w.b_Measure, Qt::LeftButton);
        QCOMPARE(p.messageTexts(), QStringList{CalibrationRefusalText()});
    }

    /// A calibration made with the bench's own calibration source keeps that source in its
    /// file, not the one the measurement uses.
    void calibrationKeepsItsOwnSource()
    {
        QTemporaryDir keep;
        const QString cal = keep.filePath(QStringLiteral("b.cal"));
        Station p;
        TForm1 &w = p.w();
        w.se_steps->setValue(2);
        w.Bench.calSource = EnrTable1;
        w.applyBench();
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        p.dialogs.files = {cal};
        w.KalibrierungSpeichern1->trigger();
        const CalibrationDecodeResult saved = LoadCalibrationFile(cal);
        QVERIFY2(saved.calibration, qPrintable(saved.error));
        QCOMPARE(w.rg_ENR->ItemIndex(), int(EnrAll));
        QCOMPARE(saved.calibration->enr.mode, int(EnrTable1));
        QCOMPARE(saved.calibration->enr.noiseSourceText, QStringLiteral("Table1"));
    }

    void refusedCalibrationChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("not JSON") << QByteArray("{ not json") << QStringLiteral("bad.cal");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("bad.cal");
        QTest::newRow("foreign") << QByteArray("{\"format\": \"other\", \"version\": 1}") << QStringLiteral("bad.cal");
    }

    void refusedCalibrationChangesNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        Station p;
        TForm1 &w = p.w();
        QFile f(QStringLiteral("bad.cal"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        w.e_Start->setText(QStringLiteral("1 GHz"));
        const QString label = w.l_Calibrated->text();
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("bad.cal"))};
        w.KalibrierungLaden1->trigger();
        QCOMPARE(p.dialogs.messages.size(), 1);
        QCOMPARE(p.dialogs.messages.first().type, MsgType::Error);
        QVERIFY2(p.messageTexts().first().contains(message), qPrintable(p.messageTexts().first()));
        QCOMPARE(w.e_Start->text(), QStringLiteral("1 GHz"));
        QCOMPARE(w.l_Calibrated->text(), label);
        QVERIFY(!w.Calibrations->current());
    }

    void measurementKeptInTheHistory()
    {
        Station p;
        TForm1 &w = p.w();
        QCOMPARE(w.History->path(), m_data->filePath(QStringLiteral("tessary/history.sqlite")));
        w.se_steps->setValue(2);
        QTest::keyClicks(p.report->le_DUT, QStringLiteral("LNA 7"));
        QTest::keyClicks(p.report->le_Serial, QStringLiteral("SN-0042"));
        // Limits loaded as the operator loads them: 400 MHz meets the noise figure's alone, 450
        // and 500 MHz miss the gain's, which begins at 450 MHz.
        const QString limits = QDir::current().filePath(QStringLiteral("station.lim"));
        QVERIFY(WriteFileBytes(limits, "nf_upper, 1 MHz, 3.5\ngain_lower, 450 MHz, 25\ngain_lower, 500 MHz, 25\n"));
        QVERIFY(OperateDialog<TLimitsDialog>(w.Grenzwerte1, [&](TLimitsDialog &d) {
            p.dialogs.files = {limits};
            QTest::mouseClick(d.b_LimitsLoad, Qt::LeftButton);
            QTest::mouseClick(d.b_LimitsClose, Qt::LeftButton);
        }));
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        QVERIFY(p.measure());
        const MeasurementRecord measured = w.MeasurementRecord;
        // The verdict follows the steps as they are measured.
        QCOMPARE(w.l_Verdict->text(), QStringLiteral("FAIL: 2 of 3 points"));

        // Written at once, found by its serial.
        HistoryStore store(w.History->path());
        QString error;
        QVERIFY2(store.open(&error), qPrintable(error));
        HistoryFilter filter;
        filter.serial = QStringLiteral("0042");
        const QList<HistoryRun> runs = store.list(filter, &error, true);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].dut, QStringLiteral("LNA 7"));
        QCOMPARE(runs[0].points, 3);
        // The run keeps the complete measurement, as a complete file holds it.
        QCOMPARE(runs[0].measurement.format, QStringLiteral("nfm"));
        QCOMPARE(runs[0].measurement.content, EncodeCompleteMeasurement(w.completeMeasurement()));
        QVERIFY(runs[0].worstNfDb);
        QCOMPARE(*runs[0].worstNfDb, std::max({measured.NoiseFigureDb[0], measured.NoiseFigureDb[1], measured.NoiseFigureDb[2]}));
        QVERIFY(runs[0].calibration.startsWith(QStringLiteral("calibrated at ")));
        QCOMPARE(runs[0].verdict, w.l_Verdict->text());
        QVERIFY(runs[0].limits.contains("gain_lower"));

        // The window's own CSV, to compare with the history's.
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("window.csv"))};
        w.ExportCSV1->trigger();
        const QList<QByteArray> windowRows = StepRows(ReadAll(QStringLiteral("window.csv")));
        QCOMPARE(windowRows.size(), 3);

        w.Verlauf1->trigger();
        THistoryDialog *d = w.HistoryDialog;
        QVERIFY(d && d->isVisible());
        const auto rows = [d] { return d->tv_History->model()->rowCount(); };
        QCOMPARE(rows(), 1);
        QCOMPARE(d->tv_History->model()->index(0, 2).data().toString(), QStringLiteral("SN-0042"));
        QCOMPARE(d->tv_History->model()->index(0, 3).data().toString(), QStringLiteral("400 MHz to 500 MHz"));
        QVERIFY(!d->b_HistoryLoad->isEnabled());
        QTest::keyClicks(d->e_HistoryFilter, QStringLiteral("SN-9"));
        QCOMPARE(rows(), 0);
        d->e_HistoryFilter->clear();
        QTest::keyClicks(d->e_HistoryFilter, QStringLiteral("lna"));
        QCOMPARE(rows(), 1);
        d->tv_History->selectRow(0);
        QVERIFY(d->b_HistoryLoad->isEnabled());

        // Exported as a measurement file and as CSV, the same as the window's.
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("run"))};
        QTest::mouseClick(d->b_HistoryExport, Qt::LeftButton);
        const std::optional<MeasurementRecord> exported = DecodeMeasurementRecord(ReadAll(QStringLiteral("run.mea")));
        QVERIFY(exported);
        for (size_t i = 0; i <= 2; ++i) {
            QCOMPARE(exported->N12on[i], measured.N12on[i]);
            QCOMPARE(exported->NoiseFigureDb[i], measured.NoiseFigureDb[i]);
        }
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("run.nfm"))};
        QTest::mouseClick(d->b_HistoryExport, Qt::LeftButton);
        QCOMPARE(ReadAll(QStringLiteral("run.nfm")), runs[0].measurement.content);
        p.dialogs.files = {QDir::current().filePath(QStringLiteral("run.csv"))};
        QTest::mouseClick(d->b_HistoryExport, Qt::LeftButton);
        QCOMPARE(StepRows(ReadAll(QStringLiteral("run.csv"))), windowRows);

        // Loaded into the window in place of another measurement.
        w.MeasurementRecord.NoiseFigureDb[1] = 99;
        QTest::mouseClick(d->b_HistoryLoad, Qt::LeftButton);
        QVERIFY(!d->isVisible());
        // Every step as measured (the slot past the last step is the step display's own).
        for (size_t i = 0; i <= 2; ++i) {
            QCOMPARE(w.MeasurementRecord.N2off[i], measured.N2off[i]);
            QCOMPARE(w.MeasurementRecord.N12on[i], measured.N12on[i]);
            QCOMPARE(w.MeasurementRecord.NoiseFigureDb[i], measured.NoiseFigureDb[i]);
            QCOMPARE(w.MeasurementRecord.GainDb[i], measured.GainDb[i]);
        }
        QCOMPARE(w.MeasurementRecord.SweepPlan.Steps, 2);
        QCOMPARE(w.Graphic->MeasurementName, QStringLiteral("LNA 7 SN-0042"));
        // Loaded as a complete measurement: it knows when it was taken.
        QVERIFY(w.Graphic->MeasuredAt.isValid());
        QVERIFY(w.dd_print->isEnabled());

        // A second pass is a second run; deleting asks first.
        QVERIFY(p.measure());
        w.Verlauf1->trigger();
        d->e_HistoryFilter->clear();
        QCOMPARE(rows(), 2);
        d->tv_History->selectRow(0);
        p.dialogs.messages.clear();
        p.dialogs.answers = {MsgResult::No};
        QTest::mouseClick(d->b_HistoryDelete, Qt::LeftButton);
        QCOMPARE(p.dialogs.messages.size(), 1);
        QCOMPARE(p.dialogs.messages.first().type, MsgType::Confirmation);
        QVERIFY(p.dialogs.messages.first().defaultNo);
        QCOMPARE(rows(), 2);
        QTest::mouseClick(d->b_HistoryDelete, Qt::LeftButton);
        QCOMPARE(rows(), 1);
        QCOMPARE(store.list({}, &error).size(), 1);
    }

    /// A history that cannot be written: told once in the status bar, the run kept in memory,
    /// the measurement still there to be saved.
    void unwritableHistoryKeepsTheRun()
    {
        QTemporaryDir blocked;
        // A file where the folder of the history would be.
        QVERIFY(QFile(blocked.filePath(QStringLiteral("tessary"))).open(QIODevice::WriteOnly));
        qputenv("XDG_DATA_HOME", blocked.path().toUtf8());
        Station p;
        qputenv("XDG_DATA_HOME", m_data->path().toUtf8());
        TForm1 &w = p.w();
        w.se_steps->setValue(1);
        QVERIFY(p.connect());
        QVERIFY(p.calibrate());
        QVERIFY(p.measure());
        QVERIFY2(w.statusText().startsWith(QStringLiteral("History: ")), qPrintable(w.statusText()));
        QVERIFY(w.statusText().endsWith(QStringLiteral("; the run is kept in memory")));
        QCOMPARE(w.History->pendingRuns(), 1);
        QVERIFY(w.Speichern1->isEnabled());
        w.setStatusText(QString());
        QVERIFY(p.measure());
        QCOMPARE(w.History->pendingRuns(), 2);
        // Said once, not at every pass.
        QVERIFY(!w.statusText().startsWith(QStringLiteral("History: ")));
    }
};

QTEST_MAIN(TestProduction)
#include "tst_production.moc"
