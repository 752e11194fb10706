// The analyser simulator's protocol, over its pseudo-terminal as the program uses it: the
// identification, "*OPC?" in all its forms, the set-up dialogue and the state it leaves, the
// number forms of frequencies and sweep times, the state register, and the command log.

#include "helper_dialogue.h"
#include "helper_simbench.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

/// The settings a query can show, in one list so that states can be compared whole.
const QList<QByteArray> kStateQueries = {
    "FREQ:CENT?", "FREQ:SPAN?", "BAND:RES?", "BAND:VID?", "INIT:CONT?", "SWE:COUN?",
    "SWE:TIME?", "DISP:TRAC:MODE?", "INP:ATT?", "DISP:TRAC:Y:RLEV?", "DISP:TRAC:Y?",
    "CALC:UNIT:POW?", "CALC:MARK1:STAT?", "CALC:MARK1:X?", "DIAG:SERV:NSO?",
};

QList<QByteArray> queryState(PortClient &client)
{
    QList<QByteArray> answers;
    for (const QByteArray &query : kStateQueries)
        answers.append(client.ask(query));
    return answers;
}

} // namespace

class TestSimDialogue : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimulatorProcess> m_sim;
    PortClient m_client;

    void startSim(const QStringList &arguments = {})
    {
        m_sim = std::make_unique<SimulatorProcess>(arguments);
        QString why;
        QVERIFY2(m_sim->start(&why), qPrintable(why));
        QVERIFY2(m_client.open(m_sim->portPath()), qPrintable(m_sim->portPath()));
    }

private slots:
    void cleanup()
    {
        m_client.close();
        if (m_sim)
            QVERIFY(m_sim->stop());
        m_sim.reset();
    }

    void servingLineNamesThePort()
    {
        startSim();
        const QString target = QFile::symLinkTarget(m_sim->portPath());
        QVERIFY(target.startsWith(QLatin1String("/dev/")));
        QCOMPARE(m_sim->servingLine(), QStringLiteral("analyser-sim: serving COM1 on ") + target);
    }

    void identification_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("as the program sends it") << QByteArray("*idn?");
        QTest::newRow("upper case") << QByteArray("*IDN?");
        QTest::newRow("mixed case, blanks") << QByteArray("  *Idn?  ");
    }

    void identification()
    {
        QFETCH(QByteArray, query);
        startSim();
        const QByteArray id = m_client.ask(query);
        QVERIFY(!id.isEmpty());
        QCOMPARE(id.count(','), 3);
        QCOMPARE(m_client.ask("*IDN?"), id);
    }

    void opcAnswersOne_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("alone") << QByteArray("*OPC?\r\n");
        QTest::newRow("after a command") << QByteArray("*RST;*OPC?\r\n");
        QTest::newRow("blank after ;") << QByteArray("*RST; *OPC?\r\n");
        QTest::newRow("blanks after ;") << QByteArray("FREQ:SPAN 0;   *OPC?\r\n");
        QTest::newRow("after the sweeps") << QByteArray("INIT:IMM; *WAI; *OPC?\r\n");
        QTest::newRow("bare LF") << QByteArray("*OPC?\n");
        QTest::newRow("lower case") << QByteArray("*rst;*opc?\r\n");
        QTest::newRow("in two writes") << QByteArray("SWE:CO");
    }

    void opcAnswersOne()
    {
        QFETCH(QByteArray, bytes);
        startSim();
        QVERIFY(m_client.send(bytes, true));
        if (!bytes.endsWith('\n')) {
            // Half a line is no command yet.
            QCOMPARE(m_client.readFor(150), QByteArray());
            QVERIFY(m_client.send("UN 3;*OPC?\r\n", true));
        }
        QCOMPARE(m_client.readLine(), std::optional<QByteArray>("1"));
        QCOMPARE(m_client.readFor(150), QByteArray());
    }

    void linesWithoutQueryAnswerNothing_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("source off") << QByteArray("DIAG:SERV:NSO OFF");
        QTest::newRow("source on, wait") << QByteArray("DIAG:SERV:NSO ON; *WAI");
        QTest::newRow("marker on") << QByteArray("CALC:MARK1:STAT ON");
        QTest::newRow("centre") << QByteArray("FREQ:CENT 400000000");
        QTest::newRow("sweep") << QByteArray("INIT:IMM;*WAI");
        QTest::newRow("reset") << QByteArray("*RST");
        QTest::newRow("unknown command") << QByteArray("FOO:BAR 12");
        QTest::newRow("not understood parameter") << QByteArray("SWE:COUN many");
    }

    void linesWithoutQueryAnswerNothing()
    {
        QFETCH(QByteArray, line);
        startSim();
        QVERIFY(m_client.send(line));
        QCOMPARE(m_client.readFor(200), QByteArray());
        // Still in step: the next query gets its own answer.
        QCOMPARE(m_client.ask("*OPC?"), QByteArray("1"));
    }

    void severalQueriesShareOneLine()
    {
        startSim();
        QCOMPARE(m_client.ask("SWE:TIME 4ms;SWE:COUN 7;SWE:COUN?;SWE:TIME?;*OPC?"),
                 QByteArray("7;4.000000E-03;1"));
    }

    void setupDialogue()
    {
        startSim({"--log", "dialogue.log"});
        const SetupTexts texts;
        QString why;
        QVERIFY2(runSetup(m_client, texts, &why), qPrintable(why));
        QCOMPARE(m_client.readFor(100), QByteArray());

        const QList<QByteArray> expected = {
            "400000000", "0", "3000000", "10", "0", "10", "4.000000E-03", "AVER", "0", "0",
            "100", "DBM", "0", "400000000", "0",
        };
        QCOMPARE(queryState(m_client), expected);
        QCOMPARE(m_client.ask("SYST:DISP:UPD?"), QByteArray("0"));
        QCOMPARE(m_client.ask("SYST:PSAV?"), QByteArray("1"));
        QCOMPARE(m_client.ask("SYST:PSAV:HOLD?"), QByteArray("1"));
        QCOMPARE(m_client.ask("MMEM:COMM?"), QByteArray("'FSP Korrvel'"));
        QCOMPARE(m_client.ask("MMEM:SEL:TRAC?"), QByteArray("0"));

        // The log holds every received line as sent, in order, after a time stamp.
        QFile log(m_sim->file("dialogue.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        const QList<QByteArray> commands = setupCommands(texts);
        QVERIFY(lines.size() > commands.size());
        const QRegularExpression form(QStringLiteral("^(\\d+\\.\\d{6}) (.+)$"));
        double previous = 0;
        for (qsizetype i = 0; i < commands.size(); ++i) {
            const QRegularExpressionMatch m = form.match(QString::fromLatin1(lines[i]));
            QVERIFY2(m.hasMatch(), lines[i].constData());
            QCOMPARE(m.captured(2).toLatin1(), commands[i]);
            const double stamp = m.captured(1).toDouble();
            QVERIFY(stamp >= previous);
            previous = stamp;
        }
    }

    void sweepTime_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("1 Hz") << QByteArray("40ms") << QByteArray("4.000000E-02");
        QTest::newRow("3 Hz") << QByteArray("12ms") << QByteArray("1.200000E-02");
        QTest::newRow("10 Hz") << QByteArray("4ms") << QByteArray("4.000000E-03");
        QTest::newRow("30 Hz") << QByteArray("1.2ms") << QByteArray("1.200000E-03");
        QTest::newRow("100 Hz") << QByteArray("0.4ms") << QByteArray("4.000000E-04");
        QTest::newRow("300 Hz, 1 kHz") << QByteArray("0.12ms") << QByteArray("1.200000E-04");
        QTest::newRow("seconds with blank") << QByteArray("2.5 s") << QByteArray("2.500000E+00");
        QTest::newRow("microseconds") << QByteArray("250us") << QByteArray("2.500000E-04");
    }

    void sweepTime()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answer);
        startSim();
        QCOMPARE(m_client.ask("SWE:TIME " + sent + ";*OPC?"), QByteArray("1"));
        QCOMPARE(m_client.ask("SWE:TIME?"), answer);
    }

    void frequencyForms_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("hz");
        QTest::newRow("plain") << QByteArray("400000000") << QByteArray("400000000");
        QTest::newRow("two decimals, Hz") << QByteArray("400000000.00 Hz") << QByteArray("400000000");
        QTest::newRow("exponent, Hz") << QByteArray("1.5E09 Hz") << QByteArray("1500000000");
        QTest::newRow("exponent above 10 GHz") << QByteArray("2.5E10 Hz") << QByteArray("25000000000");
        QTest::newRow("fraction") << QByteArray("433333333.33") << QByteArray("433333333.33");
        QTest::newRow("MHz") << QByteArray("433.5 MHz") << QByteArray("433500000");
        QTest::newRow("GHz, no blank") << QByteArray("2GHz") << QByteArray("2000000000");
    }

    void frequencyForms()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, hz);
        startSim();
        QVERIFY(m_client.send("FREQ:CENT " + text));
        QVERIFY(m_client.send("CALC:MARK1:X " + text));
        QCOMPARE(m_client.ask("FREQ:CENT?"), hz);
        QCOMPARE(m_client.ask("CALC:MARK1:X?"), hz);
    }

    void badParameterLeavesSetting_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("centre, no number") << QByteArray("FREQ:CENT banana") << QByteArray("FREQ:CENT?")
                                           << QByteArray("1000000000");
        QTest::newRow("centre, time unit") << QByteArray("FREQ:CENT 4ms") << QByteArray("FREQ:CENT?")
                                           << QByteArray("1000000000");
        QTest::newRow("centre, nan") << QByteArray("FREQ:CENT nan") << QByteArray("FREQ:CENT?")
                                     << QByteArray("1000000000");
        QTest::newRow("RBW zero") << QByteArray("BAND:RES 0 Hz") << QByteArray("BAND:RES?")
                                  << QByteArray("1000000");
        QTest::newRow("RBW negative") << QByteArray("BAND:RES -3 MHz") << QByteArray("BAND:RES?")
                                      << QByteArray("1000000");
        QTest::newRow("sweep count fraction") << QByteArray("SWE:COUN 2.5") << QByteArray("SWE:COUN?")
                                              << QByteArray("5");
        QTest::newRow("source maybe") << QByteArray("DIAG:SERV:NSO MAYBE") << QByteArray("DIAG:SERV:NSO?")
                                      << QByteArray("1");
        QTest::newRow("second marker") << QByteArray("CALC:MARK2:X 2 GHz") << QByteArray("CALC:MARK1:X?")
                                       << QByteArray("1000000000");
    }

    void badParameterLeavesSetting()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, before);
        startSim();
        QCOMPARE(m_client.ask("FREQ:CENT 1 GHz;CALC:MARK1:X 1 GHz;BAND:RES 1 MHz;SWE:COUN 5;"
                              "DIAG:SERV:NSO ON;*OPC?"),
                 QByteArray("1"));
        QCOMPARE(m_client.ask(command + ";*OPC?"), QByteArray("1"));
        QCOMPARE(m_client.ask(query), before);
    }

    void resetRestoresDefaults()
    {
        startSim();
        const QList<QByteArray> defaults = queryState(m_client);
        QString why;
        QVERIFY2(runSetup(m_client, SetupTexts(), &why), qPrintable(why));
        QVERIFY(m_client.send("DIAG:SERV:NSO ON"));
        QVERIFY(m_client.send("CALC:MARK1:X 2 GHz"));
        QVERIFY(queryState(m_client) != defaults);
        QCOMPARE(m_client.ask("*RST;*OPC?"), QByteArray("1"));
        QCOMPARE(queryState(m_client), defaults);
    }

    void markerFollowsPositionOrCentre()
    {
        // With the gain falling over frequency, the reading tells where the marker reads.
        startSim({"--dut", "in", "--format", "sci", "--dut-gain-slope", "-2", "--dut-nf-slope", "0",
                  "--analyser-nf", "0"});
        QCOMPARE(m_client.ask("FREQ:CENT 2 GHz;*OPC?"), QByteArray("1"));
        const QByteArray atCentre = m_client.ask("CALC:MARK1:Y?");
        QCOMPARE(m_client.ask("CALC:MARK1:X 2 GHz;*OPC?"), QByteArray("1"));
        QCOMPARE(m_client.ask("CALC:MARK1:Y?"), atCentre);
        QCOMPARE(m_client.ask("CALC:MARK1:X 1 GHz;*OPC?"), QByteArray("1"));
        const std::optional<double> at1 = readingValue(m_client.ask("CALC:MARK1:Y?"));
        const std::optional<double> at2 = readingValue(atCentre);
        QVERIFY(at1 && at2);
        // 2 dB more gain at 1 GHz, and a noiseless analyser adds nothing to the difference.
        QVERIFY2(qAbs(*at1 - *at2 - 2.0) < 1e-4, qPrintable(QString::number(*at1 - *at2)));
    }

    void stateRegisterRestores()
    {
        startSim({"--format", "sci"});
        // The operator's own settings before the first calibration.
        const QByteArray own = "FREQ:CENT 1.2 GHz;FREQ:SPAN 10 MHz;BAND:RES 1 MHz;BAND:VID 1 kHz;"
                               "SWE:COUN 5;SWE:TIME 12ms;INP:ATT 20 dB;DISP:TRAC:Y:RLEV -30 dBm;"
                               "CALC:MARK1:STAT ON;CALC:MARK1:X 1.1E09 Hz;DIAG:SERV:NSO ON;*OPC?";
        QCOMPARE(m_client.ask(own), QByteArray("1"));
        const QList<QByteArray> saved = queryState(m_client);
        const QByteArray savedReading = m_client.ask("CALC:MARK1:Y?");

        QString why;
        QVERIFY2(runSetup(m_client, SetupTexts(), &why), qPrintable(why));
        QVERIFY(queryState(m_client) != saved);
        QCOMPARE(m_client.ask("MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?"), QByteArray("1"));
        QCOMPARE(queryState(m_client), saved);
        QCOMPARE(m_client.ask("CALC:MARK1:Y?"), savedReading);

        // Every set-up stores again: a second calibration keeps the state the first one and
        // the measurements left, not the operator's.
        QVERIFY2(runSetup(m_client, SetupTexts(), &why), qPrintable(why));
        QCOMPARE(m_client.ask("FREQ:CENT 3 GHz;DIAG:SERV:NSO ON;*OPC?"), QByteArray("1"));
        const QList<QByteArray> leftByFirst = queryState(m_client);
        QVERIFY2(runSetup(m_client, SetupTexts(), &why), qPrintable(why));
        QCOMPARE(m_client.ask("MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?"), QByteArray("1"));
        QCOMPARE(queryState(m_client), leftByFirst);
        QVERIFY(leftByFirst != saved);

        // A name never stored changes nothing, but is still confirmed.
        QCOMPARE(m_client.ask("FREQ:CENT 5 GHz;*OPC?"), QByteArray("1"));
        QCOMPARE(m_client.ask("MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\OTHER';*OPC?"), QByteArray("1"));
        QCOMPARE(m_client.ask("FREQ:CENT?"), QByteArray("5000000000"));
    }

    void registerKeepsNothingWithoutHardwareSelection()
    {
        startSim();
        QCOMPARE(m_client.ask("MMEM:SEL:HWS OFF;FREQ:CENT 1 GHz;"
                              "MMEM:STOR:STAT 1,'D:\\X';*OPC?"),
                 QByteArray("1"));
        QCOMPARE(m_client.ask("FREQ:CENT 2 GHz;MMEM:LOAD:STAT 1,'D:\\X';*OPC?"), QByteArray("1"));
        QCOMPARE(m_client.ask("FREQ:CENT?"), QByteArray("2000000000"));
    }
};

QTEST_GUILESS_MAIN(TestSimDialogue)
#include "tst_dialogue.moc"
