// The simulator as a process: its port link and who owns it, a clean end on SIGINT and
// SIGTERM, clients that come and go, an idle simulator that stays idle, and its command line.

#include "helper_simbench.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <signal.h>
#include <unistd.h>

#include <memory>

namespace {

/// User plus system CPU time of a process so far, in clock ticks (-1 when unknown).
long cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which sits in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields[11].toLong() + fields[12].toLong(); // utime, stime
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void signalEndsCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void signalEndsCleanly()
    {
        QFETCH(int, signal);
        SimulatorProcess sim({"--port", "3"});
        QString why;
        QVERIFY2(sim.start(&why), qPrintable(why));
        QVERIFY(QFileInfo(sim.portPath(3)).isSymLink());
        QCOMPARE(QFile(sim.pidPath(3)).exists(), true);
        PortClient client;
        QVERIFY(client.open(sim.portPath(3)));
        QCOMPARE(client.ask("*OPC?"), QByteArray("1"));

        QCOMPARE(::kill(pid_t(sim.process().processId()), signal), 0);
        QVERIFY(sim.process().waitForFinished(5000));
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo(sim.portPath(3)).isSymLink());
        QVERIFY(!QFile::exists(sim.pidPath(3)));
    }

    void liveOwnerKeepsThePort()
    {
        SimulatorProcess first;
        QString why;
        QVERIFY2(first.start(&why), qPrintable(why));
        const QString target = QFile::symLinkTarget(first.portPath());

        SimulatorProcess second({}, first.workDir());
        second.captureErrors();
        QVERIFY(!second.start());
        QTRY_COMPARE(second.process().state(), QProcess::NotRunning);
        QCOMPARE(second.process().exitCode(), 1);
        const QString errors = QString::fromUtf8(second.errors());
        QVERIFY2(errors.contains(QLatin1String("COM1")) &&
                     errors.contains(QLatin1String("running simulator")) &&
                     errors.contains(QString::number(first.process().processId())),
                 qPrintable(errors));

        // The first one still owns and serves the port.
        QCOMPARE(QFile::symLinkTarget(first.portPath()), target);
        PortClient client;
        QVERIFY(client.open(first.portPath()));
        QCOMPARE(client.ask("*OPC?"), QByteArray("1"));

        // Another port in the same folder is free.
        SimulatorProcess other({"--port", "2"}, first.workDir());
        QVERIFY2(other.start(&why), qPrintable(why));
        QVERIFY(QFile::symLinkTarget(other.portPath(2)) != target);
        QVERIFY(other.stop());
        QVERIFY(first.stop());
    }

    void staleLinkIsReplaced_data()
    {
        QTest::addColumn<QString>("pidFile");
        QTest::newRow("dangling link, no pid file") << QString();
        QTest::newRow("pid file of a live process that holds no lock")
            << QString::number(QCoreApplication::applicationPid());
        QTest::newRow("pid file with rubbish") << QStringLiteral("rubbish");
    }

    void staleLinkIsReplaced()
    {
        QFETCH(QString, pidFile);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ports")));
        const QString link = dir.path() + QStringLiteral("/ports/COM1");
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/does-not-exist"), link));
        if (!pidFile.isEmpty()) {
            QFile pid(link + QStringLiteral(".pid"));
            QVERIFY(pid.open(QIODevice::WriteOnly));
            pid.write(pidFile.toLatin1() + "\n");
        }

        SimulatorProcess sim({}, dir.path());
        QString why;
        QVERIFY2(sim.start(&why), qPrintable(why));
        const QString target = QFile::symLinkTarget(link);
        QVERIFY(sim.servingLine().endsWith(target));
        PortClient client;
        QVERIFY(client.open(link));
        QCOMPARE(client.ask("*OPC?"), QByteArray("1"));
        QVERIFY(sim.stop());
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void foreignFileIsNotReplaced()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ports")));
        QFile file(dir.path() + QStringLiteral("/ports/COM1"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a port\n");
        file.close();

        SimulatorProcess sim({}, dir.path());
        sim.captureErrors();
        QVERIFY(!sim.start());
        QTRY_COMPARE(sim.process().state(), QProcess::NotRunning);
        QCOMPARE(sim.process().exitCode(), 1);
        QVERIFY(sim.errors().contains("not a link"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("not a port\n"));
    }

    void clientsComeAndGo()
    {
        SimulatorProcess sim({"--log", "clients.log"});
        QString why;
        QVERIFY2(sim.start(&why), qPrintable(why));
        for (int round = 0; round < 5; ++round) {
            PortClient client;
            QVERIFY2(client.open(sim.portPath()), qPrintable(QString::number(round)));
            QCOMPARE(client.ask("SWE:COUN " + QByteArray::number(round) + ";SWE:COUN?"),
                     QByteArray::number(round));
            // Leave with an answer that nobody reads; the next client drops it when it opens
            // the port, as a serial port's user does.
            QVERIFY(client.send("*idn?"));
            QTest::qWait(100);
        }
        PortClient last;
        QVERIFY(last.open(sim.portPath()));
        QCOMPARE(last.ask("SWE:COUN?"), QByteArray("4"));
        QCOMPARE(sim.process().state(), QProcess::Running);
        QVERIFY(sim.stop());
    }

    void idleSimulatorSleeps()
    {
        SimulatorProcess sim;
        QString why;
        QVERIFY2(sim.start(&why), qPrintable(why));
        {
            // A client that has come and gone must not leave the line in a state that wakes
            // the simulator over and over.
            PortClient client;
            QVERIFY(client.open(sim.portPath()));
            QCOMPARE(client.ask("*OPC?"), QByteArray("1"));
        }
        const qint64 pid = sim.process().processId();
        const long before = cpuTicks(pid);
        QVERIFY(before >= 0);
        QTest::qWait(1000);
        const long used = cpuTicks(pid) - before;
        // A spinning loop would use a whole second (about 100 ticks).
        QVERIFY2(used < 10, qPrintable(QStringLiteral("%1 ticks in 1 s").arg(used)));
        QVERIFY(sim.stop());
    }

    void helpListsEveryOption()
    {
        QProcess help;
        help.start(QStringLiteral(TESSARY_SIM), {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        const QString text = QString::fromUtf8(help.readAllStandardOutput());

        // Each option's description runs up to the next option; it must give the default.
        const QStringList options = {
            "--port", "--dut", "--dut-gain", "--dut-gain-slope", "--dut-nf", "--dut-nf-slope",
            "--analyser-nf", "--enr", "--enr-table", "--tcold", "--jitter", "--seed", "--format",
            "--delay", "--baud", "--stop-after", "--hangup-after", "--garbage-once", "--log",
        };
        for (const QString &option : options) {
            const QRegularExpression start(QStringLiteral("^  %1[ \\n]").arg(QRegularExpression::escape(option)),
                                           QRegularExpression::MultilineOption);
            const QRegularExpressionMatch m = start.match(text);
            QVERIFY2(m.hasMatch(), qPrintable(option));
            const qsizetype next = text.indexOf(QRegularExpression(QStringLiteral("^  --"),
                                                                   QRegularExpression::MultilineOption),
                                                m.capturedEnd());
            const QString block = text.mid(m.capturedStart(), next < 0 ? -1 : next - m.capturedStart());
            QVERIFY2(block.contains(QLatin1String("default")), qPrintable(block));
        }
        QVERIFY(text.contains(QLatin1String("--help")));
    }

    void badCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown option") << QStringList{"--bogus"};
        QTest::newRow("DUT place") << QStringList{"--dut", "sideways"};
        QTest::newRow("format") << QStringList{"--format", "xml"};
        QTest::newRow("port 0") << QStringList{"--port", "0"};
        QTest::newRow("port not a number") << QStringList{"--port", "COM1"};
        QTest::newRow("negative baud") << QStringList{"--baud", "-5"};
        QTest::newRow("hang up after 0") << QStringList{"--hangup-after", "0"};
        QTest::newRow("gain not a number") << QStringList{"--dut-gain", "lots"};
        QTest::newRow("gain comma") << QStringList{"--dut-gain", "20,5"};
        QTest::newRow("ENR table file") << QStringList{"--enr-table", "mine.tab"};
        QTest::newRow("value missing") << QStringList{"--delay"};
        QTest::newRow("stray argument") << QStringList{"COM1"};
    }

    void badCommandLine()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        QProcess sim;
        sim.setWorkingDirectory(dir.path());
        sim.start(QStringLiteral(TESSARY_SIM), arguments);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        const QByteArray errors = sim.readAllStandardError();
        QVERIFY2(errors.contains("--help"), errors.constData());
        QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/ports")));
    }

    void logCannotBeWritten()
    {
        QTemporaryDir dir;
        QProcess sim;
        sim.setWorkingDirectory(dir.path());
        sim.start(QStringLiteral(TESSARY_SIM), {"--log", "no/such/folder/sim.log"});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(sim.readAllStandardError().contains("sim.log"));
        QVERIFY(!QFileInfo(dir.path() + QStringLiteral("/ports/COM1")).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_process.moc"
