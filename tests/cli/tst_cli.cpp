// The command line of the tessary executable, run as a separate process the way a script runs
// it, and the window's own results-out menu commands whose files the command line must match.

#include "analyser/helper_lansim.h"
#include "app/cli.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "app/results_out.h"
#include "common/swallowing_host.h"
#include "common/dut_model.h"
#include "common/scripted_dialogs.h"
#include "common/working_folder.h"
#include "noise/calculator.h"
#include "noise/enr_files.h"
#include "noise/enr_lookup.h"
#include "noise/enr_store.h"
#include "noise/yfactor.h"
#include "report/helper_pdf.h"
#include "results/bench_export.h"
#include "results/measurement_file.h"
#include "results/nfm_file.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QSpinBox>
#include <QHostAddress>
#include <QSvgRenderer>
#include <QTcpServer>
#include <QTest>

#include <cmath>
#include <unistd.h>

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
    // The history goes into the test's folder, never into the user's own.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), QDir::current().filePath(QStringLiteral("xdg")));
    p.setProcessEnvironment(env);
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

/// The lines of a CSV export without the "# Exported:" and "# Measured:" lines, which tell
/// when it was written and taken.
QStringList WithoutDate(const QByteArray &csv)
{
    QStringList lines = QString::fromUtf8(csv).split(u'\n');
    lines.removeIf([](const QString &l) {
        return l.startsWith(QStringLiteral("# Exported:")) || l.startsWith(QStringLiteral("# Measured:"));
    });
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
        QTest::newRow("missing") << QStringList{"export", "nothere.mea"} << 2
                                 << "tessary: nothere.mea: File do not exists !";
        QTest::newRow("folder") << QStringList{"export", "."} << 2 << "tessary: .: File do not exists !";
        QTest::newRow("short") << QStringList{"export", data + "short.mea"} << 2
                               << "tessary: " + data + "short.mea: File corrupt !";
        QTest::newRow("long") << QStringList{"report", data + "long.mea", "-o", "r.pdf"} << 2
                              << "tessary: " + data + "long.mea: File corrupt !";
        QTest::newRow("device") << QStringList{"export", "/dev/null"} << 2 << "tessary: /dev/null: File corrupt !";
        QTest::newRow("no command") << QStringList{"--title", "x"} << 2 << "tessary: no command given (see tessary --help)";
        QTest::newRow("foreign option") << QStringList{"export", kDesigned, "--port", "1"} << 2
                                        << "tessary: --port does not apply to export (see tessary --help)";
        QTest::newRow("steps") << QStringList{"measure", "--port", "1", "--steps", "100", "-o", "r.mea"} << 2
                               << "tessary: --steps '100' is not a whole number from 1 to 99 (see tessary --help)";
        // Every value is checked before anything is sent or written.
        const QString see = QStringLiteral(" (see tessary --help)");
        const QStringList measure{"measure", "--port", "1", "-o", "r.mea"};
        QTest::newRow("enr text") << QStringList{"export", kDesigned, "-o", "r.csv", "--enr", "abc"} << 2
                                  << "tessary: --enr 'abc' is not a number of dB" + see;
        QTest::newRow("temperature text") << QStringList{"export", kDesigned, "-o", "r.csv", "--temperature", "abc"} << 2
                                          << "tessary: --temperature 'abc' is not a temperature above 0 K" + see;
        QTest::newRow("zero kelvin") << QStringList{"export", kDesigned, "-o", "r.csv", "--temperature", "0K"} << 2
                                     << "tessary: --temperature '0K' is not a temperature above 0 K" + see;
        QTest::newRow("start text") << measure + QStringList{"--start", "abc"} << 2
                                    << "tessary: --start 'abc' is not a frequency above 0 Hz" + see;
        QTest::newRow("a sign the field drops") << measure + QStringList{"--stop", "-500"} << 2
                                                << "tessary: --stop '-500' is not a frequency above 0 Hz" + see;
        QTest::newRow("single zero") << measure + QStringList{"--single", "0"} << 2
                                     << "tessary: --single '0' is not a frequency above 0 Hz" + see;
        QTest::newRow("rbw not a setting") << measure + QStringList{"--rbw", "7M"} << 2
                                           << "tessary: --rbw '7M' is not one of 1 kHz, 3 kHz, 10 kHz, 30 kHz, "
                                              "100 kHz, 300 kHz, 1 MHz, 3 MHz" + see;
        QTest::newRow("average not a setting") << measure + QStringList{"--average", "7"} << 2
                                               << "tessary: --average '7' is not one of 1, 3, 10, 30, 100, 300, 1000" + see;
        QTest::newRow("port text") << QStringList{"measure", "--port", "one", "-o", "r.mea"} << 2
                                   << "tessary: --port 'one' is not a whole number from 0 to 255" + see;
        QTest::newRow("tcp port") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", "0", "-o", "r.mea"} << 2
                                  << "tessary: --tcp-port '0' is not a whole number from 1 to 65535" + see;
        QTest::newRow("pdf to stdout") << QStringList{"report", kDesigned, "-o", "-"} << 2
                                       << "tessary: --output - (standard output) takes text only, not a PDF" + see;
        QTest::newRow("mea to stdout") << QStringList{"measure", "--port", "1", "-o", "-"} << 2
                                       << "tessary: --output - (standard output) takes text only, not a measurement file" + see;
        QTest::newRow("no terminal between the passes") << QStringList{"measure", "--port", "1", "-o", "r.mea"} << 2
            << "tessary: measure stops between the passes to have the DUT connected, which needs a terminal: "
               "give --yes when a switch connects it, or --calibration CAL.cal";
        QTest::newRow("malformed limits") << QStringList{"export", kDesigned, "--limits", data + "../limits/typo.lim"} << 2
            << "tessary: " + data + "../limits/typo.lim: line 3: 'nf_uper' is not a limit kind (nf_upper, nf_lower, gain_upper, gain_lower)";
        QTest::newRow("no run") << QStringList{"export", "--run", "7"} << 2 << "";
        QTest::newRow("calibration missing") << QStringList{"measure", "--port", "1", "-o", "r.mea", "--calibration", "none.cal"} << 2
                                             << "tessary: none.cal: No such file or directory";
        QTest::newRow("steps 0") << QStringList{"measure", "--port", "1", "--steps", "0", "-o", "r.mea"} << 2
                                 << "tessary: --steps '0' is not a whole number from 1 to 99 (see tessary --help)";
        QTest::newRow("tcp-port 65536")
            << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", "65536", "-o", "r.mea"} << 2
            << "tessary: --tcp-port '65536' is not a whole number from 1 to 65535 (see tessary --help)";
        QTest::newRow("port -1") << QStringList{"measure", "--port", "-1", "-o", "r.mea"} << 2
                                 << "tessary: --port '-1' is not a whole number from 0 to 255 (see tessary --help)";
        QTest::newRow("port 256") << QStringList{"measure", "--port", "256", "-o", "r.mea"} << 2
                                  << "tessary: --port '256' is not a whole number from 0 to 255 (see tessary --help)";
        QTest::newRow("average 3000") << QStringList{"measure", "--port", "1", "--average", "3000", "-o", "r.mea"} << 2
                                      << "tessary: --average '3000' is not one of 1, 3, 10, 30, 100, 300, 1000 (see tessary --help)";
        QTest::newRow("rbw 10 MHz") << QStringList{"measure", "--port", "1", "--rbw", "10 MHz", "-o", "r.mea"} << 2
                                    << "tessary: --rbw '10 MHz' is not one of 1 kHz, 3 kHz, 10 kHz, 30 kHz, 100 kHz, 300 kHz, "
                                       "1 MHz, 3 MHz (see tessary --help)";
        QTest::newRow("vbw 3 kHz") << QStringList{"measure", "--port", "1", "--vbw", "3 kHz", "-o", "r.mea"} << 2
                                   << "tessary: --vbw '3 kHz' is not one of 1 Hz, 3 Hz, 10 Hz, 30 Hz, 100 Hz, 300 Hz, 1 kHz "
                                      "(see tessary --help)";
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
        QCOMPARE(QDir::current().entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(!QFileInfo::exists(QStringLiteral("-")));
    }

    /// A mistyped command: the usage on stderr and status 2, and no display is ever asked
    /// for (a platform that cannot start would abort the process).
    void mistypedCommand()
    {
        WorkDir dir;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TESSARY_BIN), {QStringLiteral("exprot"), QStringLiteral("RUN.mea")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        const QStringList err = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(!err.isEmpty());
        QCOMPARE(err.first(), QStringLiteral("tessary: unknown command 'exprot' (see tessary --help)"));
        QVERIFY(err.size() > 1 && err[1].startsWith(QStringLiteral("Usage: tessary")));
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    /// "-o -" is standard output, and the noise-source line names the ENR the rows use.
    void exportToStandardOutput()
    {
        WorkDir dir;
        const Run r = Tessary({QStringLiteral("export"), kDesigned, QStringLiteral("--enr"), QStringLiteral("6"),
                               QStringLiteral("-o"), QStringLiteral("-")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.errLines.isEmpty());
        QVERIFY(!QFileInfo::exists(QStringLiteral("-")));
        const QString csv = QString::fromUtf8(r.out);
        QVERIFY(csv.startsWith(QStringLiteral("# Tessary ")));
        QVERIFY(csv.contains(QStringLiteral("\n# Noise source: const. (6 dB)\n# ENR: 6 dB\n")));
        QVERIFY(csv.contains(QStringLiteral("\n# Exported: ")));
        // A *.mea holds no time of its own.
        QVERIFY(!csv.contains(QStringLiteral("# Measured:")));
        QVERIFY(!csv.contains(QStringLiteral("# Date:")));
        QCOMPARE(TableOf(r.out).size(), 12);
    }

    /// Values as the entry fields read them: "3M" and "100Hz" are the analyser's 3 MHz and
    /// 100 Hz, "450M" the single frequency, "300K" the room temperature.
    void valuesReadAsTheFieldsReadThem()
    {
        WorkDir dir;
        const auto sim = SimulatorProcess::onComPort(1);
        QVERIFY(sim->ready());
        const Run r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"),
                               QStringLiteral("--rbw"), QStringLiteral("3M"), QStringLiteral("--vbw"),
                               QStringLiteral("100Hz"), QStringLiteral("--single"), QStringLiteral("450M"),
                               QStringLiteral("--temperature"), QStringLiteral("300K"), QStringLiteral("-o"),
                               QStringLiteral("run.mea"), QStringLiteral("--csv"), QStringLiteral("-"),
                               QStringLiteral("--yes"), QStringLiteral("--no-history")});
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));
        const QByteArray log = ReadAll(QStringLiteral("sim-1.log"));
        QVERIFY(log.contains("BAND:RES 3 MHz;*OPC?"));
        QVERIFY(log.contains("BAND:VID 100 Hz;*OPC?"));
        QVERIFY(log.contains("FREQ:CENT 450000000;*OPC?"));
        QVERIFY(r.out.contains("# RBW: 3 MHz\n# VBW: 100 Hz\n"));
        QVERIFY(r.out.contains("# Room temperature: 300 K\n"));
        QVERIFY(r.out.contains("# Measured: "));
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
        QTest::newRow("average 1") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", port, "--average", "1"} << where;
        QTest::newRow("average 1000") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", port, "--average", "1000"} << where;
        QTest::newRow("rbw 1 kHz") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", port, "--rbw", "1 kHz"} << where;
        QTest::newRow("rbw 3 MHz") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", port, "--rbw", "3 mhz"} << where;
        QTest::newRow("vbw 1 Hz") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", port, "--vbw", "1 Hz"} << where;
        QTest::newRow("vbw 1 kHz") << QStringList{"measure", "--host", "127.0.0.1", "--tcp-port", port, "--vbw", "1 kHz"} << where;
        QTest::newRow("port 0") << QStringList{"measure", "--port", "0"} << "COM0";
        QTest::newRow("port 255") << QStringList{"measure", "--port", "255"} << "COM255";
    }
    void boundsAccepted()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, subject);
        WorkDir dir;
        const Run r = Tessary(args + QStringList{"-o", "r.mea", "--yes"});
        QCOMPARE(r.status, 2);
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
        EvaluationContext context;
        context.roomTemperatureK = 294.15;  // the constant 5.52 dB at 21 °C
        for (int i = 0; i <= rec.SweepPlan.Steps; ++i) {
            const QStringList &row = table[i + 1];
            const StepEvaluation e = EvaluateStep(rec, i, context);
            QCOMPARE(Cell(row, 0), rec.SweepPlan.enrHz(i));
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
        // The noise-source line names the source the rows are evaluated with.
        QTest::newRow("constant") << 0 << QStringList{} << "const. (5.52 dB)" << "# ENR: 5.52 dB";
        QTest::newRow("table 1") << 1 << QStringList{} << "Table 1" << "# ENR at 0.01 GHz: 11 dB";
        QTest::newRow("table 2") << 2 << QStringList{} << "Table 2" << "# ENR at 0.01 GHz: 16 dB";
        QTest::newRow("--enr over table 2") << 2 << QStringList{"--enr", "16"} << "const. (16 dB)" << "# ENR: 16 dB";
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
        EvaluationContext context;
        context.enr.enrAllText = QString::number(enrDb) + QStringLiteral(" dB");
        context.roomTemperatureK = 294.15;
        const QList<QStringList> table = TableOf(csv);
        for (int i : {0, 10}) {
            const StepEvaluation e = EvaluateStep(rec, i, context);
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
        // The confidence line of the window's report, worked out by the same function.
        ReportInput confidence;
        EvaluationContext context;
        context.roomTemperatureK = 294.15;
        FillReportConfidence(confidence, LoadMeasurementFile(kDesigned).record, context);
        const QString line = ReportUncertaintyText(confidence.LargestUncertaintyDb);
        QVERIFY(line.startsWith(QStringLiteral("Uncertainty")));
        QVERIFY2(pdf.find(line), qPrintable(line));
        // The printable area starts 10 mm in from the paper's left edge.
        QVERIFY(pdf.find(QStringLiteral("Test engineer:"))->left() > MmToPt(10));
    }

    /// A whole run against the simulated bench, then its file through the command line's and
    /// the window's export: the same table.
    void measureAgainstSimulator()
    {
        WorkDir dir;
        // Readings of seven significant digits: two decimals alone move the gain by a tenth of a dB.
        const auto sim = SimulatorProcess::onComPort(1, {QStringLiteral("--format"), QStringLiteral("sci")});
        QVERIFY(sim->ready());
        const Run r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"),
                               QStringLiteral("-o"), QStringLiteral("run.mea"), QStringLiteral("--csv"),
                               QStringLiteral("run.csv"), QStringLiteral("--yes")});
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));

        const MeasurementLoadResult loaded = LoadMeasurementFile(QStringLiteral("run.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        const MeasurementRecord &rec = loaded.record;
        QCOMPARE(rec.SweepPlan.Steps, 10);
        QCOMPARE(rec.SweepPlan.Start, 400e6);
        QCOMPARE(rec.MeasurementHeader.RbwIndex, 7);
        for (int i = 0; i <= 10; ++i) {
            const double hz = rec.SweepPlan.enrHz(i);
            QVERIFY2(std::abs(rec.GainDb[i] - DutGainDb(hz)) < 0.05, qPrintable(QString::number(i)));
            QVERIFY2(std::abs(rec.NoiseFigureDb[i] - DutNoiseFigureDb(hz)) < 0.05, qPrintable(QString::number(i)));
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

    /// The same run by VXI-11 and through a "++" GPIB adapter on a pseudo-terminal and on TCP.
    void measureOtherWays_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("VXI-11") << QStringList{"--vxi11"} << QStringList{"--host", "127.0.0.1", "--vxi11"};
        QTest::newRow("GPIB on a pseudo-terminal") << QStringList{"--port", "2", "--gpib-adapter"}
                                                   << QStringList{"--gpib", "20", "--port", "2"};
        QTest::newRow("GPIB on TCP") << QStringList{"--tcp", "0", "--gpib-adapter"}
                                     << QStringList{"--gpib", "20", "--adapter-host", "127.0.0.1", "--adapter-port", "PORT"};
    }
    void measureOtherWays()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        WorkDir dir;
        link_test::LanSim sim(simArgs + QStringList{"--format", "sci"});
        const quint16 port = sim.ready();
        if (simArgs.contains(QStringLiteral("--vxi11")) && port == 0)
            QSKIP("no portmapper for the simulator");
        QVERIFY(sim.running());
        args.replaceInStrings(QStringLiteral("PORT"), QString::number(port));
        const Run r = Tessary(QStringList{"measure"} + args + QStringList{"-o", "run.mea", "--yes", "--no-history"});
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));
        const MeasurementLoadResult loaded = LoadMeasurementFile(QStringLiteral("run.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        for (int i = 0; i <= 10; ++i) {
            const double hz = loaded.record.SweepPlan.enrHz(i);
            QVERIFY2(std::abs(loaded.record.GainDb[i] - (20.0 - hz / 1e9)) < 0.05, qPrintable(QString::number(i)));
            QVERIFY2(std::abs(loaded.record.NoiseFigureDb[i] - (3.0 + 0.1 * hz / 1e9)) < 0.05, qPrintable(QString::number(i)));
        }
    }

    /// A port that cannot be opened ends the run at once, saying why.
    void portThatCannotBeOpened_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("last");
        QTest::newRow("serial") << QStringList{"--port", "7"} << "tessary: COM7: Could not open FSP ! COM7: no such port";
        QTest::newRow("GPIB adapter") << QStringList{"--gpib", "20", "--port", "7"}
                                      << "tessary: GPIB 20 on COM7: Could not open FSP ! COM7: no such port";
        QTest::newRow("VXI-11, unknown host") << QStringList{"--host", "fsp.invalid", "--vxi11"}
                                              << "tessary: fsp.invalid (VXI-11 inst0): Cannot connect to fsp.invalid (VXI-11 inst0): unknown host";
    }
    void portThatCannotBeOpened()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, last);
        WorkDir dir;
        QElapsedTimer clock;
        clock.start();
        const Run r = Tessary(QStringList{"measure"} + args + QStringList{"-o", "run.mea", "--yes", "--no-history"});
        QCOMPARE(r.status, 2);
        QVERIFY(!r.errLines.isEmpty());
        QCOMPARE(r.errLines.last(), last);
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!QFileInfo::exists(QStringLiteral("run.mea")));
    }

    /// A serial device the user may not open, as /dev/ttyS0 is for a user outside the group
    /// dialout. Run as root, the command runs as the user nobody, who may not open a root's
    /// pseudo-terminal; otherwise the device's mode is taken away.
    void portWithoutPermission()
    {
        WorkDir dir;
        link_test::PtyPeer peer(4);
        QVERIFY(peer.ok());
        const QString device = QFileInfo(QStringLiteral("ports/COM4")).canonicalFilePath();
        QProcess p;
        if (::geteuid() == 0) {
            QVERIFY(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ReadOther
                                                          | QFile::ExeGroup | QFile::ReadGroup));
            QVERIFY(QFile::setPermissions(device, QFile::ReadOwner | QFile::WriteOwner));
            p.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                QStringLiteral("--clear-groups"), QStringLiteral(TESSARY_BIN),
                                                QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("4"),
                                                QStringLiteral("-o"), QStringLiteral("run.mea"), QStringLiteral("--yes"), QStringLiteral("--no-history")});
        } else {
            QVERIFY(QFile::setPermissions(device, {}));
            p.start(QStringLiteral(TESSARY_BIN), {QStringLiteral("measure"), QStringLiteral("--port"),
                                                  QStringLiteral("4"), QStringLiteral("-o"), QStringLiteral("run.mea"), QStringLiteral("--yes"), QStringLiteral("--no-history")});
        }
        QVERIFY(p.waitForFinished(10000));
        const QStringList err = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        if (p.error() == QProcess::FailedToStart)
            QSKIP("setpriv is not installed");
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(!err.isEmpty());
        QCOMPARE(err.last(), QStringLiteral("tessary: COM4: Could not open FSP ! COM4: no permission to use the port "
                                            "(is the user in the group dialout?)"));
        QVERIFY(!QFileInfo::exists(QStringLiteral("run.mea")));
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
        // The source's own ENR uncertainty, from its data file (flat.enr, below), behind a loss.
        QTest::newRow("ENR data file with its uncertainty")
            << (flat + QStringList{"--loss-before", "1"}) << QStringList{"--loss-before", "1", "--enr-file", "flat.enr"}
            << QList<double>{400e6, 500e6} << 1;
        // Two constants: the window keeps the calibration's beside the measurement's.
        QTest::newRow("calibration source of its own")
            << (flat + QStringList{"--cal-enr", "6.5"}) << QStringList{"--cal-enr", "6.5"}
            << QList<double>{400e6, 500e6} << 1;
    }
    void measureBench()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        QFETCH(QList<double>, tunedHz);
        WorkDir dir;
        QVERIFY(WriteFileBytes(QStringLiteral("flat.enr"), "[Filetype ENR]\n[Serialnumber SN 12]\n"
                                                          "100 MHz 5.52 dB 0.6\n1 GHz 5.52 dB 0.6\n"));
        const auto sim = SimulatorProcess::onComPort(1, simArgs);
        QVERIFY(sim->ready());
        const Run r = Tessary(QStringList{QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"),
                                          QStringLiteral("-o"), QStringLiteral("run.nfm"), QStringLiteral("--csv"),
                                          QStringLiteral("run.csv"), QStringLiteral("--yes")} + args);
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
        const QList<QByteArray> heard = sim->lines();
        for (double hz : tunedHz) {
            const QByteArray plain = QByteArray::number(qint64(hz));
            const QByteArray command = QByteArray("FREQ:CENT ") + plain;
            const auto tuned = std::count_if(heard.begin(), heard.end(), [&](const QByteArray &l) {
                return l.startsWith(command) && (l.size() == command.size() || !std::isdigit(uchar(l[command.size()])));
            });
            QVERIFY2(tuned >= 2, plain.constData());
        }

        QCOMPARE(Tessary({QStringLiteral("export"), QStringLiteral("run.nfm"), QStringLiteral("-o"),
                          QStringLiteral("again.csv")}).status, 0);
        QCOMPARE(WithoutDate(ReadAll(QStringLiteral("again.csv"))), WithoutDate(ReadAll(QStringLiteral("run.csv"))));
        {
            Window w;
            w.load(QDir::current().filePath(QStringLiteral("run.nfm")));
            w.exportCsv(QDir::current().filePath(QStringLiteral("window.csv")));
            QCOMPARE(WithoutDate(ReadAll(QStringLiteral("window.csv"))), WithoutDate(ReadAll(QStringLiteral("run.csv"))));
        }

        // The report's confidence line is the file's own, worked out through its bench.
        if (HavePdfToText()) {
            QCOMPARE(Tessary({QStringLiteral("report"), QStringLiteral("run.nfm"), QStringLiteral("-o"),
                              QStringLiteral("run.pdf")}).status, 0);
            const NfmDecodeResult nfm = LoadCompleteMeasurementFile(QStringLiteral("run.nfm"));
            QCOMPARE(nfm.status, NfmStatus::Loaded);
            ReportInput confidence;
            FillReportConfidence(confidence, nfm.measurement.record, EvaluationContextOf(nfm.measurement));
            const QString line = ReportUncertaintyText(confidence.LargestUncertaintyDb);
            QVERIFY2(ReadPdfText(QStringLiteral("run.pdf")).find(line), qPrintable(line));
        }

        // Limits judge the DUT's own noise figure, in the verdict, the CSV and the JSON alike.
        for (const auto &[limit, status] : {std::pair{"3.1", 0}, std::pair{"2.9", 1}}) {
            QFile f(QStringLiteral("lim.txt"));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray("nf_upper, 1 MHz, ") + limit + '\n');
            f.close();
            const Run judged = Tessary({QStringLiteral("export"), QStringLiteral("run.nfm"), QStringLiteral("-o"),
                                        QStringLiteral("judged.csv"), QStringLiteral("--limits"),
                                        QStringLiteral("lim.txt"), QStringLiteral("--json"), QStringLiteral("-")});
            QVERIFY2(judged.status == status, qPrintable(judged.errLines.join(u'\n')));
            const QList<QStringList> rows = TableOf(ReadAll(QStringLiteral("judged.csv")));
            QCOMPARE(rows[0].last(), QStringLiteral("Limits"));
            QCOMPARE(rows[0].value(1), QStringLiteral("IF (Hz)"));
            QCOMPARE(rows.last().last(), status == 0 ? QStringLiteral("pass") : QStringLiteral("fail"));
            const QJsonArray steps = QJsonDocument::fromJson(judged.out).object().value(QLatin1String("steps")).toArray();
            QCOMPARE(steps.size(), table.size() - 1);
            QCOMPARE(steps.last().toObject().value(QLatin1String("ifHz")).toDouble(), tunedHz.last());
        }
    }

    void benchRefusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("line");
        QTest::newRow("crosses the LO")
            << QStringList{"measure", "--port", "1", "-o", "r.nfm", "--yes", "--dut", "down", "--lo", "450M"}
            << "tessary: Step 6 (450 MHz): the IF would be 0 Hz, at or below 0 Hz. (see tessary --help)";
        QTest::newRow("converter without LO") << QStringList{"measure", "--port", "1", "-o", "r.nfm", "--dut", "up"}
                                              << "tessary: --dut up needs --lo F (see tessary --help)";
        QTest::newRow("LO for an amplifier") << QStringList{"export", kDesigned, "--lo", "1G"}
                                             << "tessary: --lo and --image-rejection need --dut down or --dut up (see tessary --help)";
        QTest::newRow("DUT type unknown") << QStringList{"export", kDesigned, "--dut", "LNA 2"}
                                          << "tessary: --dut must be one of amplifier, down, up (see tessary --help)";
        QTest::newRow("DUT name on the history") << QStringList{"history", "--dut-name", "LNA 2"}
                                                 << "tessary: --dut-name does not apply to history (see tessary --help)";
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

    void failingAnalyser_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("line");  // the last line on stderr
        // 25 lines to the sweep time, then the first frequency: the settling sweeps' query is
        // its sixth line.
        QTest::newRow("silent in the calibration pass")
            << QStringList{"--stop-after", "26"} << "tessary: COM1: FSP does not answer: INIT:IMM; *WAI; *OPC?";
        QTest::newRow("a reading that is no number")
            << QStringList{"--garbage-once"} << "tessary: COM1: '?#%garbage%#?' ist kein gültiger Gleitkommawert";
        QTest::newRow("hang-up in the calibration pass")
            << QStringList{"--hangup-after", "60"} << "tessary: COM1: FSP connection lost";
        // The calibration over the 11 designed frequencies takes 190 lines.
        QTest::newRow("hang-up in the measurement pass")
            << QStringList{"--hangup-after", "200"} << "tessary: COM1: FSP connection lost";
    }
    void failingAnalyser()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, line);
        WorkDir dir;
        const auto sim = SimulatorProcess::onComPort(1, simArgs);
        QVERIFY(sim->ready());
        const Run r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"),
                               QStringLiteral("-o"), QStringLiteral("run.mea"), QStringLiteral("--yes")});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.errLines.last(), line);
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
                               QStringLiteral("run.mea"), QStringLiteral("--yes")},
                              30000);
        QCOMPARE(r.status, 2);
        QVERIFY2(waited.elapsed() < 20000, qPrintable(QString::number(waited.elapsed())));
        const QString where = QStringLiteral("127.0.0.1:") + QString::number(host.port);
        QCOMPARE(r.errLines.last(), "tessary: " + where + ": Cannot connect to " + where + ": timed out");
        QVERIFY(!QFileInfo::exists(QStringLiteral("run.mea")));
    }

    /// Limits on a measurement file: the verdict on stderr and in the exit status, the limit
    /// columns in the CSV.
    void limitsVerdict_data()
    {
        QTest::addColumn<QByteArray>("limits");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("pass") << QByteArray("nf_upper, 1 MHz, 99\ngain_lower, 1 MHz, -99\n") << 0 << "tessary: verdict: PASS";
        QTest::newRow("fail") << QByteArray("nf_upper, 1 MHz, -99\n") << 1 << "tessary: verdict: FAIL: 11 of 11 points";
        QTest::newRow("outside the span") << QByteArray("nf_upper, 1 GHz, -99\nnf_upper, 2 GHz, -99\n") << 0
                                          << "tessary: verdict: PASS: no point within the limits' span";
    }
    void limitsVerdict()
    {
        QFETCH(QByteArray, limits);
        QFETCH(int, status);
        QFETCH(QString, verdict);
        WorkDir dir;
        QFile f(QStringLiteral("lim.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(limits) == limits.size());
        f.close();
        const Run r = Tessary({QStringLiteral("export"), kDesigned, QStringLiteral("-o"), QStringLiteral("d.csv"),
                               QStringLiteral("--limits"), QStringLiteral("lim.txt"), QStringLiteral("--json"),
                               QStringLiteral("-")});
        QCOMPARE(r.status, status);
        QCOMPARE(r.errLines, QStringList{verdict});
        const QList<QStringList> table = TableOf(ReadAll(QStringLiteral("d.csv")));
        QCOMPARE(table.size(), 12);
        QCOMPARE(table[0].last(), QStringLiteral("Limits"));
        QVERIFY(table[0].contains(QStringLiteral("NF upper (dB)")));
        const QString expected = status == 1 ? QStringLiteral("fail") : verdict.endsWith(QLatin1String("span")) ? QString()
                                                                                                                : QStringLiteral("pass");
        QCOMPARE(table[5].last(), expected);
        const QJsonObject json = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(json.value(QLatin1String("verdict")).toString(), verdict.mid(QStringLiteral("tessary: verdict: ").size()));
        QCOMPARE(json.value(QLatin1String("steps")).toArray().size(), 11);
    }

    /// A calibration kept in a file, then a measurement against it that sends no calibration:
    /// the result within 0.05 dB of the simulated DUT, recorded in the history, found by its
    /// serial and exported from there to the same table.
    void keptCalibration()
    {
        WorkDir dir;
        const auto sim = SimulatorProcess::onComPort(1, {QStringLiteral("--format"), QStringLiteral("sci")});
        QVERIFY(sim->ready());
        Run r = Tessary({QStringLiteral("calibrate"), QStringLiteral("--port"), QStringLiteral("1"),
                         QStringLiteral("-o"), QStringLiteral("a.cal")});
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));
        QVERIFY(ReadAll(QStringLiteral("a.cal")).contains("\"format\": \"tessary-calibration\""));
        const qsizetype calibrationLines = sim->lines().size();
        QVERIFY(sim->lines().contains(QByteArray("DIAG:SERV:NSO OFF")));

        r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("-o"),
                     QStringLiteral("run.mea"), QStringLiteral("--csv"), QStringLiteral("run.csv"),
                     QStringLiteral("--calibration"), QStringLiteral("a.cal"), QStringLiteral("--serial"),
                     QStringLiteral("SN-0042"), QStringLiteral("--dut-name"), QStringLiteral("LNA 2")});
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));
        const QList<QByteArray> measured = sim->lines().mid(calibrationLines);
        QVERIFY(measured.contains(QByteArray("DIAG:SERV:NSO OFF; *WAI")));
        QVERIFY(!measured.contains(QByteArray("DIAG:SERV:NSO OFF")));  // the calibration pass's own form
        const MeasurementLoadResult loaded = LoadMeasurementFile(QStringLiteral("run.mea"));
        QCOMPARE(loaded.status, MeasurementLoadStatus::Loaded);
        for (int i = 0; i <= 10; ++i) {
            const double hz = loaded.record.SweepPlan.enrHz(i);
            QVERIFY(std::abs(loaded.record.GainDb[i] - DutGainDb(hz)) < 0.05);
            QVERIFY(std::abs(loaded.record.NoiseFigureDb[i] - DutNoiseFigureDb(hz)) < 0.05);
        }

        r = Tessary({QStringLiteral("history"), QStringLiteral("--serial"), QStringLiteral("0042"), QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        const QJsonArray runs = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].toObject().value(QLatin1String("dut")).toString(), QStringLiteral("LNA 2"));
        const QString id = QString::number(runs[0].toObject().value(QLatin1String("id")).toInteger());
        QCOMPARE(Tessary({QStringLiteral("export"), QStringLiteral("--run"), id, QStringLiteral("-o"),
                          QStringLiteral("again.csv")}).status, 0);
        QCOMPARE(WithoutDate(ReadAll(QStringLiteral("again.csv"))), WithoutDate(ReadAll(QStringLiteral("run.csv"))));
        QCOMPARE(Tessary({QStringLiteral("history"), QStringLiteral("--serial"), QStringLiteral("SN-9")}).out, QByteArray());

        // Refused before anything is sent: another plan, an old calibration.
        r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("-o"),
                     QStringLiteral("r2.mea"), QStringLiteral("--calibration"), QStringLiteral("a.cal"),
                     QStringLiteral("--rbw"), QStringLiteral("1 MHz")});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.errLines, QStringList{QStringLiteral("tessary: a.cal: the calibration does not match this measurement: RBW differs")});
        QByteArray old = ReadAll(QStringLiteral("a.cal"));
        const qsizetype at = old.indexOf("\"endedAt\": \"") + 12;
        old.replace(at, 4, "2025");
        QFile f(QStringLiteral("old.cal"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
        f.close();
        r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("-o"),
                     QStringLiteral("r2.mea"), QStringLiteral("--calibration"), QStringLiteral("old.cal")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.errLines.value(0).contains(QStringLiteral("older than --max-age 24 h")), qPrintable(r.errLines.join(u'\n')));
        QVERIFY(!QFileInfo::exists(QStringLiteral("r2.mea")));
        // One dated after today cannot be checked for its age and is refused as well.
        QByteArray future = old;
        future.replace(at, 4, "2999");
        QVERIFY(WriteFileBytes(QStringLiteral("future.cal"), future));
        r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("-o"),
                     QStringLiteral("r2.mea"), QStringLiteral("--calibration"), QStringLiteral("future.cal")});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.errLines.value(0), QStringLiteral("tessary: future.cal: the calibration is dated in the future, so its "
                                                     "age cannot be held to --max-age 24 h (is the clock right?)"));
        // --max-age 0 takes a calibration of any age.
        r = Tessary({QStringLiteral("measure"), QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("-o"),
                     QStringLiteral("r2.mea"), QStringLiteral("--calibration"), QStringLiteral("old.cal"),
                     QStringLiteral("--max-age"), QStringLiteral("0")});
        QVERIFY2(r.status == 0, qPrintable(r.errLines.join(u'\n')));
        QVERIFY(QFileInfo::exists(QStringLiteral("r2.mea")));
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
        // A drawing, not a heap of pixels: the grid's lines and the labels are vector elements.
        const QByteArray drawing = ReadAll(QStringLiteral("graph.svg"));
        const auto count = [&](const char *element) { return int(drawing.count(element)); };
        QVERIFY2(drawing.size() < 100000, qPrintable(QString::number(drawing.size())));
        QVERIFY2(count("<rect") < 100, qPrintable(QString::number(count("<rect"))));
        QVERIFY(count("<polyline") + count("<path") + count("<line") >= 21);  // 11 across, 10 up at least
        QVERIFY2(count("<text") >= 22, qPrintable(QString::number(count("<text"))));  // both scales

        // Another extension is refused with the reason, and nothing is written.
        w.dialogs.files.push_back(QStringLiteral("graph.bmp"));
        w.form.GrafikSpeichern1->trigger();
        QVERIFY(w.dialogs.lastMessage().contains(QStringLiteral(".png or .svg")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("graph.bmp")));
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
