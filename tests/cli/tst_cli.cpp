// The command line of the tessary executable, run as a separate process the way a script runs
// it, and the window's own results-out menu commands whose files the command line must match.

#include "analyser/helper_link.h"
#include "app/cli.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "common/swallowing_host.h"
#include "common/scripted_dialogs.h"
#include "noise/calculator.h"
#include "noise/enr_files.h"
#include "noise/enr_lookup.h"
#include "noise/enr_store.h"
#include "noise/yfactor.h"
#include "report/helper_pdf.h"
#include "results/measurement_file.h"

#include <QAction>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QSpinBox>
#include <QHostAddress>
#include <QSvgRenderer>
#include <QTcpServer>
#include <QTest>

#include <cmath>

using link_test::SimRun;
using link_test::WorkDir;

namespace {

const QString kDesigned = QStringLiteral(TESSARY_TEST_DATA "/mea/designed.mea");

struct Run
{
    int status = -1;
    QByteArray out;
    QStringList errLines;
};

/// Runs tessary with `args` in the current working folder.
Run Tessary(const QStringList &args, int ms = 60000)
{
    QProcess p;
    p.start(QStringLiteral(TESSARY_BIN), args);
    Run r;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    const QString err = QString::fromUtf8(p.readAllStandardError());
    r.errLines = err.split(u'\n', Qt::SkipEmptyParts);
    return r;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// The lines of a CSV export without the "# Date:" line, which tells when it was written.
QStringList WithoutDate(const QByteArray &csv)
{
    QStringList lines = QString::fromUtf8(csv).split(u'\n');
    lines.removeIf([](const QString &l) { return l.startsWith(QStringLiteral("# Date:")); });
    return lines;
}

/// The table rows of a CSV export, each split into its cells.
QList<QStringList> TableOf(const QByteArray &csv)
{
    QList<QStringList> rows;
    for (const QString &line : QString::fromUtf8(csv).split(u'\n', Qt::SkipEmptyParts))
        if (!line.startsWith(u'#'))
            rows << line.split(u',');
    return rows;
}

double Cell(const QStringList &row, int column)
{
    bool ok = false;
    const double v = row.value(column).toDouble(&ok);  // C locale: "." whatever LC_ALL says
    return ok ? v : std::nan("");
}

/// The window, in the current working folder, with a scripted dialog seam.
struct Window
{
    ScriptedDialogs dialogs;
    TForm1 form;

    void load(const QString &mea)
    {
        dialogs.files.push_back(mea);
        form.Laden1->trigger();
    }
    void exportCsv(const QString &path)
    {
        dialogs.files.push_back(path);
        form.ExportCSV1->trigger();
    }
};

}  // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void versionAndHelp()
    {
        const Run v = Tessary({QStringLiteral("--version")});
        QCOMPARE(v.status, 0);
        QCOMPARE(v.out, QByteArray("tessary V1.10\n"));
        const Run h = Tessary({QStringLiteral("--help")});
        QCOMPARE(h.status, 0);
        QVERIFY(h.out.contains("tessary measure"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        const QString data = QStringLiteral(TESSARY_TEST_DATA "/mea/");
        QTest::newRow("missing") << QStringList{"export", "nothere.mea"} << 1
                                 << "tessary: nothere.mea: File do not exists !";
        QTest::newRow("folder") << QStringList{"export", "."} << 1 << "tessary: .: File do not exists !";
        QTest::newRow("short") << QStringList{"export", data + "short.mea"} << 1
                               << "tessary: " + data + "short.mea: File corrupt !";
        QTest::newRow("long") << QStringList{"report", data + "long.mea", "-o", "r.pdf"} << 1
                              << "tessary: " + data + "long.mea: File corrupt !";
        QTest::newRow("device") << QStringList{"export", "/dev/null"} << 1 << "tessary: /dev/null: File corrupt !";
        QTest::newRow("no command") << QStringList{"--title", "x"} << 2 << "tessary: no command given (see tessary --help)";
        QTest::newRow("foreign option") << QStringList{"export", kDesigned, "--port", "1"} << 2
                                        << "tessary: --port does not apply to export (see tessary --help)";
        QTest::newRow("steps") << QStringList{"measure", "--port", "1", "--steps", "100", "-o", "r.mea"} << 2
                               << "tessary: --steps needs a whole number from 1 to 99 (see tessary --help)";
        QTest::newRow("steps 0") << QStringList{"measure", "--port", "1", "--steps", "0", "-o", "r.mea"} << 2
                                 << "tessary: --steps needs a whole number from 1 to 99 (see tessary --help)";
        QTest::newRow("tcp-port 0") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", "0", "-o", "r.mea"}
                                    << 2 << "tessary: --tcp-port needs a whole number from 1 to 65535 (see tessary --help)";
        QTest::newRow("tcp-port 65536")
            << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", "65536", "-o", "r.mea"} << 2
            << "tessary: --tcp-port needs a whole number from 1 to 65535 (see tessary --help)";
        QTest::newRow("port -1") << QStringList{"measure", "--port", "-1", "-o", "r.mea"} << 2
                                 << "tessary: --port needs a whole number from 0 to 255 (see tessary --help)";
        QTest::newRow("port 256") << QStringList{"measure", "--port", "256", "-o", "r.mea"} << 2
                                  << "tessary: --port needs a whole number from 0 to 255 (see tessary --help)";
        QTest::newRow("unknown option") << QStringList{"export", kDesigned, "--bogus"} << 2
                                        << "tessary: Unknown option 'bogus'. (see tessary --help)";
        QTest::newRow("unknown option of measure")
            << QStringList{"measure", "--port", "1", "-o", "r.mea", "--stpes", "5"} << 2
            << "tessary: Unknown option 'stpes'. (see tessary --help)";
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, line);
        WorkDir dir;
        const Run r = Tessary(args);
        QCOMPARE(r.status, status);
        QCOMPARE(r.errLines.size(), 1);
        if (!line.isEmpty())
            QCOMPARE(r.errLines.first(), line);
        QVERIFY(!QFileInfo::exists(QStringLiteral("r.pdf")));
    }

    /// The lowest and the highest value of each whole-number option are taken: the command goes
    /// on to the line, which is not there, instead of refusing its options.
    void boundsAccepted_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("subject");
        quint16 closed = 0;
        {
            QTcpServer gone;
            QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
            closed = gone.serverPort();
        }
        const QString port = QString::number(closed);
        const QString where = "127.0.0.1:" + port;
        QTest::newRow("steps 1") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", port, "--steps", "1"} << where;
        QTest::newRow("steps 99") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", port, "--steps", "99"} << where;
        QTest::newRow("tcp-port 1") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", "1"} << "127.0.0.1:1";
        QTest::newRow("tcp-port 65535") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", "65535"}
                                        << "127.0.0.1:65535";
        QTest::newRow("port 0") << QStringList{"measure", "--port", "0"} << "COM0";
        QTest::newRow("port 255") << QStringList{"measure", "--port", "255"} << "COM255";
    }
    void boundsAccepted()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, subject);
        WorkDir dir;
        const Run r = Tessary(args + QStringList{"-o", "r.mea"});
        QCOMPARE(r.status, 1);
        QVERIFY2(!r.errLines.isEmpty() && r.errLines.last().startsWith("tessary: " + subject + ": "),
                 qPrintable(r.errLines.join(u'\n')));
        QVERIFY(!QFileInfo::exists(QStringLiteral("r.mea")));
    }

    /// Without -o the CSV goes beside the measurement file, named after it, whatever the working
    /// folder.
    void exportBesideTheFile()
    {
        WorkDir dir;
        QVERIFY(QDir().mkdir(QStringLiteral("runs")));
        QVERIFY(QFile::copy(kDesigned, QStringLiteral("runs/lna.mea")));
        const Run r = Tessary({QStringLiteral("export"), QStringLiteral("runs/lna.mea")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.errLines.isEmpty());
        QVERIFY(ReadAll(QStringLiteral("runs/lna.csv")).contains("# ENR: 5.52 dB\n"));
        QVERIFY(!QFileInfo::exists(QStringLiteral("lna.csv")));
        QCOMPARE(QDir().entryList(QDir::Files), QStringList());
    }

    void fieldTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("field");
        QTest::newRow("M key") << int(EntryKind::Frequency) << "400M" << "400 MHz";
        QTest::newRow("bare number") << int(EntryKind::Frequency) << "450" << "450 MHz";
        QTest::newRow("as written") << int(EntryKind::Frequency) << "1.2 GHz" << "1.2 GHz";
        QTest::newRow("comma") << int(EntryKind::Frequency) << "1,5G" << "1.5 GHz";
        QTest::newRow("kelvin") << int(EntryKind::Temperature) << "300K" << "300 K";
        QTest::newRow("celsius") << int(EntryKind::Temperature) << "23" << "23 \u00B0C";
        QTest::newRow("enr") << int(EntryKind::Range) << "15.2" << "15.2 dB";
    }
    void fieldTexts()
    {
        QFETCH(int, kind);
        QFETCH(QString, typed);
        QFETCH(QString, field);
        QCOMPARE(FieldTextOf(EntryKind(kind), typed, QStringLiteral("keep")), field);
    }

    /// Every cell of the exported table against the record and the step display's evaluation.
    void exportValueByValue()
    {
        WorkDir dir;
        const Run r = Tessary({QStringLiteral("export"), kDesigned, QStringLiteral("-o"), QStringLiteral("out.csv")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.errLines.isEmpty());
        const QByteArray csv = ReadAll(QStringLiteral("out.csv"));
        QVERIFY(csv.contains("# Room temperature: 294.15 K\n"));
        QVERIFY(csv.contains("# ENR: 5.52 dB\n"));

        const MeasurementLoadResult loaded = LoadMeasurementFile(kDesigned);
        const MeasurementRecord &rec = loaded.record;
        const QList<QStringList> table = TableOf(csv);
        QCOMPARE(table.size(), rec.SweepPlan.Steps + 2);
        const auto enr = [](double hz) { return LookupEnr(hz, 0, QStringLiteral("5.52 dB"), DefaultEnrRows()); };
        for (int i = 0; i <= rec.SweepPlan.Steps; ++i) {
            const QStringList &row = table[i + 1];
            const StepEvaluation e = EvaluateStep(rec, i, enr, 294.15);
            QCOMPARE(Cell(row, 0), rec.SweepPlan.StepFrequency(i));
            QCOMPARE(Cell(row, 1), rec.N2off[i]);
            QCOMPARE(Cell(row, 4), rec.N12on[i]);
            QVERIFY(std::abs(Cell(row, 5) - e.gainDb) < 1e-9);
            QVERIFY(std::abs(Cell(row, 6) - e.noiseFigureDb) < 1e-9);
        }
    }

    /// The ENR a loaded measurement names, through default.tbl: the constant, table 1 or
    /// table 2, each in the "#" lines and in the noise figures.
    void exportEveryEnrMode_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("noiseSource");
        QTest::addColumn<QString>("enrLine");
        QTest::newRow("constant") << 0 << QStringList{} << "const." << "# ENR: 5.52 dB";
        QTest::newRow("table 1") << 1 << QStringList{} << "Table1" << "# ENR at 0.01 GHz: 11 dB";
        QTest::newRow("table 2") << 2 << QStringList{} << "Table2" << "# ENR at 0.01 GHz: 16 dB";
        QTest::newRow("--enr over table 2") << 2 << QStringList{"--enr", "16"} << "Table2" << "# ENR: 16 dB";
    }
    void exportEveryEnrMode()
    {
        QFETCH(int, source);
        QFETCH(QStringList, options);
        QFETCH(QString, noiseSource);
        QFETCH(QString, enrLine);
        WorkDir dir;
        EnrTableStore store;
        store.ShownTable = EnrAll;
        for (int t : {1, 2}) {
            store.Table(t).Rows = DefaultEnrRows();
            for (EnrRow &row : store.Table(t).Rows)
                row.EnrText = t == 1 ? QStringLiteral("11") : QStringLiteral("16");
        }
        WriteEnrStoreFile(DefaultTblName(), store);
        QByteArray mea = ReadAll(kDesigned);
        mea[4976] = char(source);
        mea[5004] = 0;  // no text: the source's own name
        QFile f(QStringLiteral("run.mea"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(mea) == mea.size());
        f.close();
        const Run r = Tessary(QStringList{"export", "run.mea", "-o", "run.csv"} + options);
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));
        const QByteArray csv = ReadAll(QStringLiteral("run.csv"));
        const QStringList lines = QString::fromUtf8(csv).split(u'\n');
        QCOMPARE(lines.value(2), "# Noise source: " + noiseSource);
        QCOMPARE(lines.value(3), enrLine);
        const double enrDb = source == 0 ? 5.52 : options.isEmpty() && source == 1 ? 11 : 16;
        const MeasurementRecord &rec = LoadMeasurementFile(kDesigned).record;
        const auto enr = [enrDb](double) { return FromDb(enrDb); };
        const QList<QStringList> table = TableOf(csv);
        for (int i : {0, 10}) {
            const StepEvaluation e = EvaluateStep(rec, i, enr, 294.15);
            QVERIFY2(std::abs(Cell(table[i + 1], 6) - e.noiseFigureDb) < 1e-9, qPrintable(table[i + 1].join(u',')));
        }
    }

    void reportPdf()
    {
        if (!HavePdfToText())
            QSKIP("pdftotext (poppler-utils) is not installed");
        WorkDir dir;
        QFile remarks(QStringLiteral("remarks.txt"));
        QVERIFY(remarks.open(QIODevice::WriteOnly));
        remarks.write("Bias 12 V\nSecond line\n");
        remarks.close();
        const Run r = Tessary({QStringLiteral("report"), kDesigned, QStringLiteral("-o"), QStringLiteral("run.pdf"),
                               QStringLiteral("--title"), QStringLiteral("LNA 7"), QStringLiteral("--remarks"),
                               QStringLiteral("remarks.txt")});
        QCOMPARE(r.status, 0);
        const PdfText pdf = ReadPdfText(QStringLiteral("run.pdf"));
        QCOMPARE(pdf.pages.size(), 1);
        QVERIFY(std::abs(pdf.pages[0].width() - MmToPt(210)) < 2);
        QVERIFY(pdf.find(QStringLiteral("Test Report:")));
        QVERIFY(pdf.find(QStringLiteral("LNA 7")));
        QVERIFY(pdf.find(QStringLiteral("Bias 12 V")));
        QVERIFY(pdf.find(QStringLiteral("Second line")));
        QVERIFY(pdf.find(QStringLiteral("400.00 MHz")));
        QVERIFY(pdf.find(QStringLiteral("10 MHz / DIV")));
        // The printable area starts 10 mm in from the paper's left edge.
        QVERIFY(pdf.find(QStringLiteral("Test engineer:"))->left() > MmToPt(10));
    }

    /// A whole run against the simulated bench, then its file through the command line's and
    /// the window's export: the same table.
    void measureAgainstSimulator()
    {
        WorkDir dir;
        // Readings of seven significant digits: two decimals alone move the gain by a tenth of a dB.
        SimRun sim(1, {QStringLiteral("--format"), QStringLiteral("sci")});
        QVERIFY(sim.ready());
        const Run r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"),
                               QStringLiteral("-o"), QStringLiteral("run.mea"), QStringLiteral("--csv"),
                               QStringLiteral("run.csv")});
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));

        const MeasurementLoadResult loaded = LoadMeasurementFile(QStringLiteral("run.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        const MeasurementRecord &rec = loaded.record;
        QCOMPARE(rec.SweepPlan.Steps, 10);
        QCOMPARE(rec.SweepPlan.Start, 400e6);
        QCOMPARE(rec.MeasurementHeader.RbwIndex, 7);
        for (int i = 0; i <= 10; ++i) {
            const double hz = rec.SweepPlan.StepFrequency(i);
            QVERIFY2(std::abs(rec.GainDb[i] - (20.0 - hz / 1e9)) < 0.05, qPrintable(QString::number(i)));
            QVERIFY2(std::abs(rec.NoiseFigureDb[i] - (3.0 + 0.1 * hz / 1e9)) < 0.05, qPrintable(QString::number(i)));
        }

        QCOMPARE(Tessary({QStringLiteral("export"), QStringLiteral("run.mea"), QStringLiteral("-o"),
                          QStringLiteral("cli.csv")}).status, 0);
        QCOMPARE(WithoutDate(ReadAll(QStringLiteral("cli.csv"))), WithoutDate(ReadAll(QStringLiteral("run.csv"))));

        Window w;
        w.load(dir.path() + QStringLiteral("/run.mea"));
        QVERIFY(w.form.ExportCSV1->isEnabled());
        w.exportCsv(dir.path() + QStringLiteral("/window"));
        QCOMPARE(WithoutDate(ReadAll(QStringLiteral("window.csv"))), WithoutDate(ReadAll(QStringLiteral("cli.csv"))));
    }

    /// A DUT behind a loss before and after it, and a down-converter with a fixed LO, measured
    /// through the command line against the simulated bench: the DUT's own figures, the
    /// analyser tuned to the IFs in both passes, and the complete file exporting the same table.
    void measureBench_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QList<double>>("tunedHz");
        QTest::addColumn<int>("columnShift");
        const QStringList flat{"--format", "sci", "--dut-gain-slope", "0", "--dut-nf-slope", "0"};
        QTest::newRow("losses before and after")
            << (flat + QStringList{"--loss-before", "1", "--loss-after", "3@77"})
            << QStringList{"--loss-before", "1", "--loss-after", "3", "--loss-after-temp", "77 K"}
            << QList<double>{400e6, 500e6} << 1;
        QTest::newRow("down-converter")
            << (flat + QStringList{"--dut-type", "down", "--lo", "9.75GHz"})
            << QStringList{"--dut", "down", "--lo", "9.75G", "--start", "10.7G", "--stop", "11.7G", "--steps", "4"}
            << QList<double>{950e6, 1950e6} << 1;
    }
    void measureBench()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        QFETCH(QList<double>, tunedHz);
        WorkDir dir;
        const QString log = dir.path() + QStringLiteral("/sim.log");
        SimRun sim(1, simArgs + QStringList{QStringLiteral("--log"), log});
        QVERIFY(sim.ready());
        const Run r = Tessary(QStringList{QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"),
                                          QStringLiteral("-o"), QStringLiteral("run.nfm"), QStringLiteral("--csv"),
                                          QStringLiteral("run.csv")} + args);
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));

        // Columns: frequency, IF, four levels, gain, noise figure, ...
        const QList<QStringList> table = TableOf(ReadAll(QStringLiteral("run.csv")));
        QVERIFY(table.size() > 2);
        QCOMPARE(table[0].value(1), QStringLiteral("IF (Hz)"));
        QCOMPARE(table[0].value(6), QStringLiteral("Gain (dB)"));
        for (qsizetype i = 1; i < table.size(); ++i) {
            QVERIFY2(std::abs(Cell(table[i], 6) - 20.0) < 0.05, qPrintable(table[i].join(u',')));
            QVERIFY2(std::abs(Cell(table[i], 7) - 3.0) < 0.05, qPrintable(table[i].join(u',')));
        }
        QCOMPARE(Cell(table[1], 1), tunedHz.first());
        QCOMPARE(Cell(table.last(), 1), tunedHz.last());

        // The analyser heard only the IFs, in the calibration and in the measurement.
        const QString heard = QString::fromLatin1(ReadAll(log));
        for (double hz : tunedHz) {
            const QString plain = QString::number(qint64(hz));
            QVERIFY2(heard.count(QStringLiteral("FREQ:CENT ") + plain + u'\n') >= 2, qPrintable(plain));
        }

        QCOMPARE(Tessary({QStringLiteral("export"), QStringLiteral("run.nfm"), QStringLiteral("-o"),
                          QStringLiteral("again.csv")}).status, 0);
        QCOMPARE(WithoutDate(ReadAll(QStringLiteral("again.csv"))), WithoutDate(ReadAll(QStringLiteral("run.csv"))));
    }

    void benchRefusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("line");
        QTest::newRow("crosses the LO")
            << QStringList{"measure", "--port", "1", "-o", "r.nfm", "--dut", "down", "--lo", "450M"}
            << "tessary: Step 6 (450 MHz): the IF would be 0 Hz, at or below 0 Hz. (see tessary --help)";
        QTest::newRow("converter without LO") << QStringList{"measure", "--port", "1", "-o", "r.nfm", "--dut", "up"}
                                              << "tessary: --dut up needs --lo F (see tessary --help)";
        QTest::newRow("LO for an amplifier") << QStringList{"export", kDesigned, "--lo", "1G"}
                                             << "tessary: --lo and --image-rejection need --dut down or --dut up (see tessary --help)";
    }
    void benchRefusals()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, line);
        WorkDir dir;
        const Run r = Tessary(args);
        QCOMPARE(r.status, 2);
        QCOMPARE(r.errLines.value(0), line);
        QVERIFY(!QFileInfo::exists(QStringLiteral("r.nfm")));
    }

    void silentSimulator()
    {
        WorkDir dir;
        SimRun sim(1, {QStringLiteral("--stop-after"), QStringLiteral("26")});
        QVERIFY(sim.ready());
        const Run r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"),
                               QStringLiteral("-o"), QStringLiteral("run.mea")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.errLines.last().startsWith(QStringLiteral("tessary: COM1: FSP does not answer: ")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("run.mea")));
    }

    /// A host that never completes the connection: the connect's own bound ends the command.
    void hostThatSwallowsTheConnection()
    {
        SwallowingHost host;
        if (!host.start())
            QSKIP("this system completes every loopback connect");
        WorkDir dir;
        QElapsedTimer waited;
        waited.start();
        const Run r = Tessary({QStringLiteral("measure"), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                               QStringLiteral("--tcp-port"), QString::number(host.port), QStringLiteral("-o"),
                               QStringLiteral("run.mea")},
                              30000);
        QCOMPARE(r.status, 1);
        QVERIFY2(waited.elapsed() < 20000, qPrintable(QString::number(waited.elapsed())));
        const QString where = QStringLiteral("127.0.0.1:") + QString::number(host.port);
        QCOMPARE(r.errLines.last(), "tessary: " + where + ": Cannot connect to " + where + ": timed out");
        QVERIFY(!QFileInfo::exists(QStringLiteral("run.mea")));
    }

    void windowMenus()
    {
        WorkDir dir;
        Window w;
        QVERIFY(!w.form.ExportCSV1->isEnabled());
        QVERIFY(!w.form.GrafikSpeichern1->isEnabled());
        w.load(kDesigned);
        QVERIFY(w.form.GrafikSpeichern1->isEnabled());

        w.exportCsv(QStringLiteral("designed.csv"));
        const QByteArray csv = ReadAll(QStringLiteral("designed.csv"));
        QCOMPARE(TableOf(csv).size(), 12);
        QVERIFY(csv.contains("# Noise source: const. (5.52 dB)\n"));

        const QImage shown = w.form.gfx->canvas().image();
        w.dialogs.files.push_back(QStringLiteral("graph.png"));
        w.form.GrafikSpeichern1->trigger();
        const QImage png(QStringLiteral("graph.png"));
        QCOMPARE(png.size(), shown.size());
        QCOMPARE(png.convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));

        w.dialogs.files.push_back(QStringLiteral("graph.svg"));
        w.form.GrafikSpeichern1->trigger();
        QSvgRenderer svg(QStringLiteral("graph.svg"));
        QVERIFY(svg.isValid());
        QCOMPARE(svg.viewBox().size(), shown.size());

        // Another extension is refused with the reason, and nothing is written.
        w.dialogs.files.push_back(QStringLiteral("graph.bmp"));
        w.form.GrafikSpeichern1->trigger();
        QVERIFY(w.dialogs.lastMessage().contains(QStringLiteral(".png or .svg")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("graph.bmp")));
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
