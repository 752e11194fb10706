// The simulator's fault injection, as a client sees it: late answers, a slow line, an analyser
// that falls silent, a line that hangs up, one garbled reading, and a client that stops reading.

#include "helper_simbench.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>

class TestSimFaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimulatorProcess> m_sim;
    PortClient m_client;

    void startSim(const QStringList &arguments)
    {
        m_sim = std::make_unique<SimulatorProcess>(arguments);
        QString why;
        QVERIFY2(m_sim->start(&why), qPrintable(why));
        QVERIFY2(m_client.open(m_sim->portPath()), qPrintable(m_sim->portPath()));
    }

    QList<QByteArray> loggedCommands(const QString &name)
    {
        QFile log(m_sim->file(name));
        QList<QByteArray> commands;
        if (!log.open(QIODevice::ReadOnly))
            return commands;
        for (const QByteArray &line : log.readAll().split('\n')) {
            if (!line.isEmpty())
                commands.append(line.mid(line.indexOf(' ') + 1));
        }
        return commands;
    }

private slots:
    void cleanup()
    {
        m_client.close();
        if (m_sim && m_sim->process().state() != QProcess::NotRunning)
            QVERIFY(m_sim->stop());
        m_sim.reset();
    }

    void delay_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::newRow("150 ms") << 150;
        QTest::newRow("400 ms") << 400;
    }

    void delay()
    {
        QFETCH(int, delayMs);
        startSim({"--delay", QString::number(delayMs)});
        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_client.send("*OPC?"));
        QVERIFY(m_client.send("SWE:TIME 4ms;SWE:TIME?"));
        QCOMPARE(m_client.readLine(delayMs + 3000), std::optional<QByteArray>("1"));
        const qint64 first = timer.elapsed();
        QCOMPARE(m_client.readLine(3000), std::optional<QByteArray>("4.000000E-03"));
        QVERIFY2(first >= delayMs, qPrintable(QString::number(first)));
        QVERIFY2(first < delayMs + 2000, qPrintable(QString::number(first)));
        // Nothing earlier than the delay: a short wait finds no answer.
        QVERIFY(m_client.send("*OPC?"));
        QCOMPARE(m_client.readFor(delayMs / 3), QByteArray());
        QCOMPARE(m_client.readLine(delayMs + 3000), std::optional<QByteArray>("1"));
    }

    void baud_data()
    {
        QTest::addColumn<int>("baud");
        QTest::newRow("2400") << 2400;
        QTest::newRow("600") << 600;
    }

    void baud()
    {
        QFETCH(int, baud);
        startSim({"--baud", QString::number(baud)});
        QByteArray id = m_client.ask("*idn?"); // learn the length of the answer
        QVERIFY(!id.isEmpty());
        const qsizetype bytes = id.size() + 2;
        const double expectedMs = bytes * 10.0 * 1000.0 / baud;

        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_client.send("*idn?"));
        const QByteArray half = m_client.readFor(int(expectedMs / 2));
        QVERIFY2(half.size() < bytes, qPrintable(QString::number(half.size())));
        std::optional<QByteArray> rest = m_client.readLine(int(expectedMs) + 3000);
        const qint64 elapsed = timer.elapsed();
        QVERIFY(rest);
        QCOMPARE(half + *rest + "\r\n", id + "\r\n");
        QVERIFY2(elapsed >= expectedMs * 0.95, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
        QVERIFY2(elapsed < expectedMs + 2000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    }

    void stopAfter_data()
    {
        QTest::addColumn<int>("lines");
        QTest::newRow("silent from the start") << 0;
        QTest::newRow("after 2 lines") << 2;
    }

    void stopAfter()
    {
        QFETCH(int, lines);
        startSim({"--stop-after", QString::number(lines), "--log", "stop.log"});
        QList<QByteArray> sent;
        for (int i = 0; i < lines; ++i) {
            sent.append(i == 0 ? "*idn?" : "*OPC?");
            QVERIFY(!m_client.ask(sent.last()).isEmpty());
        }
        sent.append({"*OPC?", "*idn?", "CALC:MARK1:Y?"});
        for (qsizetype i = lines; i < sent.size(); ++i)
            QVERIFY(m_client.send(sent[i]));
        QCOMPARE(m_client.readFor(400), QByteArray());
        // Silent, but still listening: every line is logged.
        QTRY_COMPARE(loggedCommands(QStringLiteral("stop.log")), sent);
        QCOMPARE(m_sim->process().state(), QProcess::Running);
    }

    void hangupAfter_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("immediate answers") << QStringList();
        QTest::newRow("delayed answers") << QStringList{"--delay", "300"};
    }

    void hangupAfter()
    {
        QFETCH(QStringList, extra);
        startSim(QStringList{"--hangup-after", "3"} + extra);
        QCOMPARE(m_client.ask("*OPC?"), QByteArray("1"));
        QVERIFY(m_client.send("FREQ:CENT 1 GHz"));
        // The answer to the last line still arrives, then the line goes down.
        QVERIFY(!m_client.ask("*idn?").isEmpty());
        QVERIFY(m_client.waitHangup(3000));
        QVERIFY(m_sim->process().waitForFinished(3000));
        QCOMPARE(m_sim->process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_sim->process().exitCode(), 0);
        QVERIFY(!QFileInfo(m_sim->portPath()).isSymLink());
        QVERIFY(!QFile::exists(m_sim->pidPath()));
    }

    void garbageOnce()
    {
        startSim({"--garbage-once", "--format", "sci"});
        QCOMPARE(m_client.ask("*RST;CALC:MARK1:STAT ON;FREQ:CENT 1 GHz;*OPC?"), QByteArray("1"));
        QCOMPARE(m_client.ask("SWE:TIME 4ms;SWE:TIME?"), QByteArray("4.000000E-03"));
        const QByteArray garbage = m_client.ask("CALC:MARK1:Y?");
        QVERIFY(!garbage.isEmpty());
        QVERIFY2(!readingValue(garbage), garbage.constData());
        const QByteArray second = m_client.ask("CALC:MARK1:Y?");
        QVERIFY2(readingValue(second), second.constData());
        QCOMPARE(m_client.ask("CALC:MARK1:Y?"), second);
    }

    void noGarbageWithoutTheOption()
    {
        startSim({});
        QCOMPARE(m_client.ask("*RST;CALC:MARK1:STAT ON;*OPC?"), QByteArray("1"));
        const QByteArray first = m_client.ask("CALC:MARK1:Y?");
        QVERIFY2(readingValue(first), first.constData());
    }

    void clientThatDoesNotRead()
    {
        startSim({});
        // More answers than the line holds (the kernel keeps several hundred kilobytes) and the
        // simulator holds back; nobody reads them for a while. The simulator must keep taking
        // commands meanwhile, or this write would stall.
        QByteArray flood;
        for (int i = 0; i < 20000; ++i)
            flood += "*idn?\r\n";
        QVERIFY(m_client.send(flood, true));
        QTest::qWait(300);

        QElapsedTimer timer;
        timer.start();
        qsizetype backlog = 0;
        for (QByteArray chunk = m_client.readFor(300); !chunk.isEmpty() && timer.elapsed() < 20000;
             chunk = m_client.readFor(300))
            backlog += chunk.size();
        QVERIFY(backlog > 0);
        QCOMPARE(m_client.ask("SWE:COUN 42;SWE:COUN?"), QByteArray("42"));
    }
};

QTEST_GUILESS_MAIN(TestSimFaults)
#include "tst_faults.moc"
