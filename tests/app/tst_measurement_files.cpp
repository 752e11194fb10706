// "Save as ..." and "Load" through the real window and the dialog seam: the names a file is
// saved under, the overwrite question, the files that are refused without changing anything,
// what a load restores, and arbitrary bytes that must never crash the program.

#include "app/main_window.h"
#include "base/engvalue.h"
#include "app/widgets.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"
#include "results/graph.h"
#include "results/measurement_file.h"
#include "results/nfm_file.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

QString sample(const char *name)
{
    return QStringLiteral(TESSARY_TEST_DATA "/mea/") + QLatin1String(name);
}

/// The step slots, plan and header of a record as file bytes with the calculator's slot and
/// the last evaluation's scalars blanked: what a load keeps exactly as the file has it.
QByteArray steps(const MeasurementRecord &r, int from = 0)
{
    MeasurementRecord c = r;
    for (auto *a : {&c.N2off, &c.N2on, &c.N12off, &c.N12on, &c.GainDb, &c.NoiseFigureDb}) {
        (*a)[CalcSlot] = 0;
        for (int i = 0; i < from; ++i)
            (*a)[i] = 0;
    }
    c.Enr = c.T0 = c.RoomTemperature = 0;
    return EncodeMeasurementRecord(c);
}

}  // namespace

class TestMeasurementFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<WorkingFolder> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm1> m_form;

    QString path(const QString &name) const { return m_dir->filePath(name); }

    void load(const QString &file)
    {
        m_dialogs->files.push_back(file);
        m_form->Laden1->trigger();
    }
    void save(const QString &file)
    {
        m_form->Speichern1->setEnabled(true);  // enabled by the end of a measurement pass
        m_dialogs->files.push_back(file);
        m_form->Speichern1->trigger();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<WorkingFolder>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_form = std::make_unique<TForm1>();
    }
    void cleanup()
    {
        m_form.reset();
        m_dialogs.reset();
        m_dir.reset();
    }

    void saveNames_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("run1") << "run1" << "run1.mea";
        QTest::newRow("run1.mea") << "run1.mea" << "run1.mea";
        QTest::newRow("RUN1.MEA") << "RUN1.MEA" << "RUN1.MEA.mea";
    }

    void saveNames()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        m_form->MeasurementRecord.GainDb[3] = 12.5;
        save(path(chosen));
        QCOMPARE(m_dialogs->filterIndexes, QList<int>{kFilterMeasure});
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("*.mea"), QStringLiteral("*.MEA")}, QDir::Files),
                 QStringList{written});
        const QByteArray bytes = ReadFileBytes(path(written));
        QCOMPARE(bytes.size(), 5040);
        QCOMPARE(bytes, EncodeMeasurementRecord(m_form->MeasurementRecord));
    }

    void saveCancelled()
    {
        save(QString());
        QVERIFY(QDir(m_dir->path()).entryList({QStringLiteral("*.mea")}, QDir::Files).isEmpty());
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void overwriteQuestion_data()
    {
        QTest::addColumn<MsgResult>("answer");
        QTest::newRow("No keeps the old file") << MsgResult::No;
        QTest::newRow("Yes replaces it") << MsgResult::Yes;
    }

    void overwriteQuestion()
    {
        QFETCH(MsgResult, answer);
        const QByteArray old = ReadFileBytes(sample("designed.mea"));
        QVERIFY(WriteFileBytes(path(QStringLiteral("run1.mea")), old));
        m_dialogs->answers.push_back(answer);
        save(path(QStringLiteral("run1")));
        QCOMPARE(m_dialogs->messages.size(), 1);
        const ShownMessage &m = m_dialogs->messages.first();
        QCOMPARE(m.text, QStringLiteral("File exists !\n\rOverwrite?"));
        QCOMPARE(m.type, MsgType::Confirmation);
        QCOMPARE(m.buttons, MsgButtons::YesNo);
        QVERIFY(m.defaultNo);
        const QByteArray now = ReadFileBytes(path(QStringLiteral("run1.mea")));
        if (answer == MsgResult::No)
            QCOMPARE(now, old);
        else
            QCOMPARE(now, EncodeMeasurementRecord(m_form->MeasurementRecord));
    }

    void failedSaveKeepsTheOldFile()
    {
        const QByteArray old = ReadFileBytes(sample("designed.mea"));
        QVERIFY(WriteFileBytes(path(QStringLiteral("run1.mea")), old));
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = before;
        small.rlim_cur = 1000;  // the disk "fills up" after 1000 bytes
        setrlimit(RLIMIT_FSIZE, &small);
        save(path(QStringLiteral("run1.mea")));
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, handler);
        // The question, then the error reported by the program's error handler.
        QCOMPARE(m_dialogs->messages.size(), 2);
        QCOMPARE(m_dialogs->messages.last().type, MsgType::Error);
        QVERIFY(m_dialogs->lastMessage().contains(QStringLiteral("run1.mea")));
        QCOMPARE(ReadFileBytes(path(QStringLiteral("run1.mea"))), old);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("run1.mea")});
    }

    void loadDesigned()
    {
        m_form->se_Freq->setValue(1);  // a step other than 0 selected before
        m_dialogs->messages.clear();   // the empty record's step 1 cannot be evaluated
        load(sample("designed.mea"));
        QCOMPARE(m_dialogs->filterIndexes, QList<int>{kFilterMeasure});
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(m_form->e_Start->text(), QStringLiteral("400 MHz"));
        QCOMPARE(m_form->e_Stop->text(), QStringLiteral("500 MHz"));
        QCOMPARE(m_form->se_steps->value(), 10);
        QCOMPARE(m_form->se_Freq->maximum(), 10);
        QCOMPARE(m_form->se_Freq->value(), 0);
        QVERIFY(m_form->dd_print->isEnabled());
        QVERIFY(!m_form->Speichern1->isEnabled());
        QVERIFY(!m_form->b_Measure->isEnabled());
        QVERIFY(!m_form->b_Measure2->isEnabled());
        QCOMPARE(m_form->rg_ENR->ItemIndex(), 0);

        // The record is the file's; step 0 was evaluated again with the same settings.
        const MeasurementRecord file = *DecodeMeasurementRecord(ReadFileBytes(sample("designed.mea")));
        const MeasurementRecord &r = m_form->MeasurementRecord;
        QCOMPARE(steps(r, 1), steps(file, 1));
        QCOMPARE(r.N2off[0], file.N2off[0]);
        QVERIFY(std::abs(r.GainDb[0] - file.GainDb[0]) < 1e-6);
        QVERIFY(std::abs(r.NoiseFigureDb[0] - file.NoiseFigureDb[0]) < 1e-6);
        QCOMPARE(r.MeasurementHeader.NoiseSourceText, QByteArray("const. (5.52 dB)"));
        QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("const. (5.52 dB)"));
        QCOMPARE(m_form->l_gain->text(), QStringLiteral("Gain [dB]: 21.14 dB"));
        QCOMPARE(m_form->l_NoiseFigure->text(), QStringLiteral("F: 1.53  (1.84 dB)"));
        QCOMPARE(m_form->Label25->text(), QStringLiteral("Frequency: 400.00 MHz"));

        // The graph: step 0 white at the left edge, step 10 red at the right.
        GraphData d;
        d.steps = 10;
        d.noiseFigureDb = r.NoiseFigureDb;
        d.gainDb = r.GainDb;
        const GraphLayout layout = ComputeGraphLayout(m_form->Graphic->GraphGeometry, d);
        QCOMPARE(layout.noiseFigureAxis.top, 3.0);
        QCOMPARE(layout.gainAxis.bottom, 10.0);
        QCOMPARE(layout.gainAxis.top, 30.0);
        const QImage &img = m_form->gfx->canvas().image();
        QCOMPARE(img.pixel(134, layout.markers[0].y - 3) & 0xFFFFFF, 0xFFFFFFu);
        QCOMPARE(img.pixel(634, layout.markers[20].y - 3) & 0xFFFFFF, 0xFF0000u);
    }

    void loadSingleFrequency()
    {
        load(sample("single.mea"));
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(m_form->e_Start->text(), QStringLiteral("100 MHz"));
        QCOMPARE(m_form->e_Stop->text(), QStringLiteral("100 MHz"));
        QCOMPARE(m_form->se_steps->value(), 1);  // the field keeps 1 to 99
        QCOMPARE(m_form->se_Freq->maximum(), 0);
        QCOMPARE(m_form->MeasurementRecord.SweepPlan.Steps, 0);
        // One point, at the left edge of the grid, selected.
        const QImage &img = m_form->gfx->canvas().image();
        int white = 0;
        for (int y = 35; y <= 385; ++y)
            for (int x = 120; x <= 640; ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF) {
                    ++white;
                    QVERIFY(x >= 130 && x <= 138);
                }
        QVERIFY(white > 0);
    }

    void refusedFilesChangeNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << sample("none.mea") << "File do not exists !";
        QTest::newRow("5039 bytes") << sample("short.mea") << "File corrupt !";
        QTest::newRow("5041 bytes") << sample("long.mea") << "File corrupt !";
        QTest::newRow("Steps 100") << sample("steps_100.mea") << "File corrupt !";
        QTest::newRow("StepsCount -1") << sample("stepscount_minus1.mea") << "File corrupt !";
        QTest::newRow("text length 33") << sample("text_length_33.mea") << "File corrupt !";
        QTest::newRow("NaN gain") << sample("nan_gain.mea") << "File corrupt !";
        QTest::newRow("infinite StartSingle") << sample("inf_start_single.mea") << "File corrupt !";
        // Complete measurement files say why they are refused, and name the file.
        QTest::newRow("missing .nfm") << sample("none.nfm") << "File do not exists !";
        QTest::newRow("truncated .nfm") << sample("truncated.nfm")
                                        << sample("truncated.nfm") + ": the file ends before its content does (it was cut short)";
        QTest::newRow("corrupt .nfm") << sample("corrupt.nfm") << sample("corrupt.nfm") + ": the file is damaged: file.plan is missing";
        QTest::newRow("foreign .nfm") << sample("foreign.nfm") << sample("foreign.nfm") + ": the file is not a complete measurement file";
        QTest::newRow("newer .nfm") << sample("newer.nfm")
                                    << sample("newer.nfm") + ": the file was written by a newer program (version 2; this one reads version 1)";
    }

    void refusedFilesChangeNothing()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        m_form->MeasurementRecord.GainDb[2] = 7.5;
        const QByteArray before = EncodeMeasurementRecord(m_form->MeasurementRecord);
        const QImage graph = m_form->gfx->canvas().image().copy();
        load(file);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->lastMessage(), message);
        QCOMPARE(m_dialogs->messages.first().type, MsgType::Error);
        QCOMPARE(m_dialogs->messages.first().buttons, MsgButtons::Ok);
        QCOMPARE(EncodeMeasurementRecord(m_form->MeasurementRecord), before);
        QCOMPARE(m_form->e_Start->text(), QStringLiteral("400 MHz"));
        QCOMPARE(m_form->se_Freq->maximum(), 1);
        QVERIFY(!m_form->dd_print->isEnabled());
        QCOMPARE(m_form->gfx->canvas().image(), graph);
        QCOMPARE(m_form->e_Temperature->text(), QStringLiteral("21 \u00B0C"));
        QVERIFY(m_form->Bench.isDefault());
    }

    void meaSaveSaysWhatIsNotKept_data()
    {
        QTest::addColumn<int>("bench");
        QTest::addColumn<MsgResult>("answer");
        QTest::addColumn<QString>("named");
        QTest::newRow("designed bench: no question") << 0 << MsgResult::Ok << QString();
        QTest::newRow("loss before, saved anyway") << 1 << MsgResult::Ok << "loss before the DUT";
        QTest::newRow("converter and calibration source, stopped")
            << 2 << MsgResult::Cancel << "DUT type, LO and image rejection, calibration noise source";
    }
    void meaSaveSaysWhatIsNotKept()
    {
        QFETCH(int, bench);
        QFETCH(MsgResult, answer);
        QFETCH(QString, named);
        if (bench == 1) {
            m_form->Bench.lossBefore.mode = LossMode::Fixed;
            m_form->Bench.lossBefore.fixedDb = 1;
        } else if (bench == 2) {
            m_form->Bench.dutType = DutType::DownConverter;
            m_form->Bench.loHz = 9.75e9;
            m_form->Bench.calSource = 1;
        }
        m_form->applyBench();
        m_form->MeasurementRecord.GainDb[3] = 12.5;
        m_dialogs->answers.push_back(answer);
        save(path(QStringLiteral("run1")));
        const bool written = QFileInfo::exists(path(QStringLiteral("run1.mea")));
        if (named.isEmpty()) {
            QVERIFY(m_dialogs->messages.isEmpty());
            QVERIFY(written);
            return;
        }
        // One warning names everything lost; the operator goes on or stops.
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages.first().type, MsgType::Warning);
        QCOMPARE(m_dialogs->messages.first().buttons, MsgButtons::OkCancel);
        QVERIFY2(m_dialogs->lastMessage().contains(QStringLiteral("keep these settings of the measurement: ") + named + u'.'),
                 qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(written, answer == MsgResult::Ok);
        if (written)
            QCOMPARE(ReadFileBytes(path(QStringLiteral("run1.mea"))).size(), 5040);
        // A complete measurement file keeps them: no question.
        m_dialogs->messages.clear();
        save(path(QStringLiteral("run1.NFM")));
        QVERIFY(m_dialogs->messages.isEmpty());
        const NfmDecodeResult back = LoadCompleteMeasurementFile(path(QStringLiteral("run1.NFM")));
        QCOMPARE(back.status, NfmStatus::Loaded);
        QVERIFY(back.measurement.bench == m_form->Bench);
        QCOMPARE(back.measurement.record.GainDb[3], 12.5);
    }

    void loadCancelled()
    {
        const QByteArray before = EncodeMeasurementRecord(m_form->MeasurementRecord);
        load(QString());
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(EncodeMeasurementRecord(m_form->MeasurementRecord), before);
        QVERIFY(!m_form->dd_print->isEnabled());
    }

    void emptyTextTakesTheTableName()
    {
        m_form->rg_ENR->setItemIndex(1);
        load(sample("empty_text_table1.mea"));
        QCOMPARE(m_form->rg_ENR->ItemIndex(), 1);
        QCOMPARE(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText, QByteArray("Table1"));
        QCOMPARE(m_form->NoiseSource->NoiseSourceText, QStringLiteral("Table1"));
    }

    void emptyTextNamesEverySource_data()
    {
        // A file without a text takes its source's name; a file whose source changes the
        // selection gets the text of the source as the page now describes it.
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("text");
        QTest::newRow("constant") << 0 << 0 << "const.";
        QTest::newRow("table 1") << 1 << 1 << "Table1";
        QTest::newRow("table 2") << 2 << 2 << "Table2";
        QTest::newRow("table 2, table 1 selected") << 2 << 1 << "Table 2 ()";
        QTest::newRow("constant, table 2 selected") << 0 << 2 << "const. (5.52 dB)";
    }
    void emptyTextNamesEverySource()
    {
        QFETCH(int, source);
        QFETCH(int, selected);
        QFETCH(QString, text);
        QByteArray b = ReadFileBytes(sample("designed.mea"));
        b[4976] = char(source);
        b[5004] = 0;  // no text
        QVERIFY(WriteFileBytes(path(QStringLiteral("source.mea")), b));
        m_form->rg_ENR->setItemIndex(selected);
        load(path(QStringLiteral("source.mea")));
        QCOMPARE(m_form->rg_ENR->ItemIndex(), source);
        QCOMPARE(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText, text.toLatin1());
        QCOMPARE(m_form->NoiseSource->NoiseSourceText, text);
    }

    void loadEvaluatesWithTheStoredSource()
    {
        // The stored source is selected before step 0 is evaluated, so the result shown is
        // the one of the source that the file names.
        QByteArray b = ReadFileBytes(sample("designed.mea"));
        b[4976] = 1;  // Table 1
        QVERIFY(WriteFileBytes(path(QStringLiteral("table1.mea")), b));
        m_form->rg_ENR->setItemIndex(0);
        m_form->e_ENRall->setText(QStringLiteral("20.00 dB"));
        m_form->rg_ENRClick();
        load(path(QStringLiteral("table1.mea")));
        QCOMPARE(m_form->rg_ENR->ItemIndex(), 1);
        const double enr = m_form->MeasurementRecord.Enr;
        QCOMPARE(enr, m_form->NoiseSource->enrSource().lookup(ParseValue(m_form->e_Frequency->text())));
        QVERIFY(qAbs(10 * std::log10(enr) - 20.0) > 1.0);
    }

    void sourceNumberOutsideTheItems()
    {
        QByteArray b = ReadFileBytes(sample("designed.mea"));
        b[4976] = 5;  // EnrSource 5
        b[5004] = 0;  // no text
        QVERIFY(WriteFileBytes(path(QStringLiteral("odd.mea")), b));
        m_form->rg_ENR->setItemIndex(2);
        load(path(QStringLiteral("odd.mea")));
        QCOMPARE(m_form->rg_ENR->ItemIndex(), 2);
        QCOMPARE(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText, QByteArray("not saved"));
    }

    void saveLoadRoundTrip()
    {
        load(sample("designed.mea"));
        m_form->se_Freq->setValue(4);
        const QByteArray record = EncodeMeasurementRecord(m_form->MeasurementRecord);
        save(path(QStringLiteral("again")));
        QCOMPARE(ReadFileBytes(path(QStringLiteral("again.mea"))), record);

        m_form->se_Freq->setValue(0);
        const QImage graph = m_form->gfx->canvas().image().copy();
        const QByteArray shown = steps(m_form->MeasurementRecord);
        load(path(QStringLiteral("again.mea")));
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->lastMessage()));
        QCOMPARE(steps(m_form->MeasurementRecord), shown);
        QCOMPARE(m_form->gfx->canvas().image(), graph);
    }

    void randomFilesNeverCrash()
    {
        // Arbitrary bytes of the right size, the step counts and the text length forced into
        // bounds on most of them so that they load: extreme levels, gains and noise figures go
        // through the step display and the graph.
        const QString file = path(QStringLiteral("random.mea"));
        int loaded = 0;
        for (quint32 seed = 1; seed <= 300; ++seed) {
            QRandomGenerator rng(seed);
            QByteArray b(5040, '\0');
            for (int i = 0; i < b.size(); ++i)
                b[i] = char(rng.bounded(256));
            if (seed % 4 != 0) {
                const quint32 steps = rng.bounded(100);
                const quint32 count = rng.bounded(100);
                for (int k = 0; k < 4; ++k) {
                    b[4948 + k] = char(steps >> (8 * k));
                    b[4968 + k] = char(count >> (8 * k));
                }
                b[5004] = char(rng.bounded(33));
            }
            QVERIFY(WriteFileBytes(file, b));
            m_dialogs->messages.clear();
            load(file);
            const bool ok = DecodeMeasurementRecord(b).has_value();
            loaded += ok;
            if (!ok)
                QCOMPARE(m_dialogs->lastMessage(), QStringLiteral("File corrupt !"));
            QCOMPARE(m_form->gfx->canvas().image().size(), QSize(769, 421));
            QVERIFY(m_form->se_Freq->value() >= 0 && m_form->se_Freq->value() <= 99);
            QVERIFY(m_form->MeasurementRecord.MeasurementHeader.NoiseSourceText.size() <= 32);
        }
        QVERIFY2(loaded > 100, qPrintable(QString::number(loaded)));
    }
};

QTEST_MAIN(TestMeasurementFiles)
#include "tst_measurement_files.moc"
