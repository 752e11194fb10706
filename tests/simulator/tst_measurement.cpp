// The simulated bench's physics, read through the program's own dialogue: the calibration and
// measurement passes give four levels per frequency from which the program's Y-factor
// evaluation must get back the DUT's configured gain and noise figure; the absolute levels
// follow k·B·T; the DUT sits in the path when the dialogue says so; readings carry the
// configured jitter and format.

#include "helper_dialogue.h"
#include "helper_simbench.h"
#include "noise/bench_correction.h"
#include "noise/yfactor.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(PassFrequency)
Q_DECLARE_METATYPE(StepBench)

namespace {

constexpr double kBoltzmann = 1.380649e-23;
constexpr double kT0 = 290.0;

const PassFrequency k0Hz{0.0, "0", "0.00 Hz"};
const PassFrequency k400MHz{400e6, "400000000", "400000000.00 Hz"};
const PassFrequency k433MHz{433333333.33, "433333333.33", "433333333.33 Hz"};
const PassFrequency k1GHz{1e9, "1000000000", "1E09 Hz"};
const PassFrequency k1G5Hz{1.5e9, "1500000000", "1.5E09 Hz"};
const PassFrequency k2G5Hz{2.5e9, "2500000000", "2.5E09 Hz"};
const PassFrequency k20GHz{20e9, "20000000000", "2E10 Hz"};

/// The level of a noise temperature seen through bandwidth `rbwHz`, in dBm.
double noiseLevelDbm(double rbwHz, double noiseK)
{
    return 10.0 * std::log10(kBoltzmann * rbwHz * noiseK / 1e-3);
}

double reading(const QByteArray &answer)
{
    const std::optional<double> value = readingValue(answer);
    return value ? *value : std::nan("");
}

} // namespace

class TestSimMeasurement : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimulatorProcess> m_sim;
    PortClient m_client;

    void startSim(const QStringList &arguments)
    {
        // These levels are worked out for the noisy analyser of 20 dB; a row's own option wins.
        m_sim = std::make_unique<SimulatorProcess>(QStringList{QStringLiteral("--analyser-nf"), QStringLiteral("20")} + arguments);
        QString why;
        QVERIFY2(m_sim->start(&why), qPrintable(why));
        QVERIFY2(m_client.open(m_sim->portPath()), qPrintable(m_sim->portPath()));
    }

    /// The marker level after `line` (sent without waiting, as the passes do).
    double levelAfter(const QByteArray &line)
    {
        if (!line.isEmpty())
            m_client.send(line);
        return reading(m_client.ask("CALC:MARK1:Y?"));
    }

private slots:
    void cleanup()
    {
        m_client.close();
        if (m_sim)
            QVERIFY(m_sim->stop());
        m_sim.reset();
    }

    void yFactorGivesTheDut_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("rbw");
        QTest::addColumn<QByteArray>("average");
        QTest::addColumn<QList<PassFrequency>>("frequencies");
        QTest::addColumn<QList<double>>("enrDb");
        QTest::addColumn<double>("roomK");
        QTest::addColumn<double>("gainDb");
        QTest::addColumn<double>("gainSlope");
        QTest::addColumn<double>("nfDb");
        QTest::addColumn<double>("nfSlope");

        QTest::newRow("default bench")
            << QStringList{"--format", "sci"} << QByteArray("3 MHz") << QByteArray("10")
            << QList<PassFrequency>{k400MHz, k1G5Hz, k2G5Hz} << QList<double>{5.52, 5.52, 5.52}
            << 294.15 << 20.0 << -1.0 << 3.0 << 0.1;
        QTest::newRow("flat DUT, 1 MHz, averaging 3")
            << QStringList{"--format", "sci", "--dut-gain", "30", "--dut-gain-slope", "0",
                           "--dut-nf", "1.5", "--dut-nf-slope", "0"}
            << QByteArray("1 MHz") << QByteArray("3") << QList<PassFrequency>{k433MHz, k1GHz}
            << QList<double>{5.52, 5.52} << 294.15 << 30.0 << 0.0 << 1.5 << 0.0;
        QTest::newRow("hot source, warm bench, quiet analyser")
            << QStringList{"--format", "sci", "--enr", "15", "--tcold", "298.15", "--analyser-nf",
                           "8", "--dut-gain", "12", "--dut-gain-slope", "0.5", "--dut-nf", "6",
                           "--dut-nf-slope", "-0.5"}
            << QByteArray("300 kHz") << QByteArray("10") << QList<PassFrequency>{k400MHz, k2G5Hz}
            << QList<double>{15.0, 15.0} << 298.15 << 12.0 << 0.5 << 6.0 << -0.5;
        QTest::newRow("default ENR table")
            << QStringList{"--format", "sci", "--enr-table", "default", "--analyser-nf", "10",
                           "--dut-gain-slope", "0"}
            << QByteArray("3 MHz") << QByteArray("10") << QList<PassFrequency>{k0Hz, k1GHz, k2G5Hz, k20GHz}
            << QList<double>{6.1011, 5.89, 5.395, 6.75} << 294.15 << 20.0 << 0.0 << 3.0 << 0.1;
    }

    void yFactorGivesTheDut()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, rbw);
        QFETCH(QByteArray, average);
        QFETCH(QList<PassFrequency>, frequencies);
        QFETCH(QList<double>, enrDb);
        QFETCH(double, roomK);
        QFETCH(double, gainDb);
        QFETCH(double, gainSlope);
        QFETCH(double, nfDb);
        QFETCH(double, nfSlope);
        startSim(arguments);

        SetupTexts texts;
        texts.startHz = frequencies.front().plain;
        texts.rbw = rbw;
        texts.average = average;
        QString why;
        QVERIFY2(runSetup(m_client, texts, &why), qPrintable(why));
        QList<PassReadings> calibration;
        QList<PassReadings> measurement;
        QVERIFY2(runPass(m_client, false, frequencies, average, &calibration, &why), qPrintable(why));
        QVERIFY2(runPass(m_client, true, frequencies, average, &measurement, &why), qPrintable(why));
        QCOMPARE(calibration.size(), frequencies.size());
        QCOMPARE(measurement.size(), frequencies.size());

        for (qsizetype i = 0; i < frequencies.size(); ++i) {
            const double fGhz = frequencies[i].hz / 1e9;
            const double n2off = FromDb(reading(calibration[i].off));
            const double n2on = FromDb(reading(calibration[i].on));
            const double n12off = FromDb(reading(measurement[i].off));
            const double n12on = FromDb(reading(measurement[i].on));
            QVERIFY(std::isfinite(n2off) && std::isfinite(n2on) && std::isfinite(n12off) &&
                    std::isfinite(n12on));
            const double gotGain = ToDb(LinearGain(n2off, n2on, n12off, n12on));
            const double gotNf = YFactorNoiseFigure(n2off, n2on, n12off, n12on, roomK, enrDb[i]);
            const double wantGain = gainDb + gainSlope * fGhz;
            const double wantNf = std::max(0.0, nfDb + nfSlope * fGhz);
            const QByteArray where = frequencies[i].plain + " Hz";
            QVERIFY2(std::abs(gotGain - wantGain) < 0.01,
                     qPrintable(QStringLiteral("%1: gain %2 dB, configured %3 dB")
                                    .arg(QLatin1String(where)).arg(gotGain).arg(wantGain)));
            QVERIFY2(std::abs(gotNf - wantNf) < 0.01,
                     qPrintable(QStringLiteral("%1: noise figure %2 dB, configured %3 dB")
                                    .arg(QLatin1String(where)).arg(gotNf).arg(wantNf)));
        }
    }

    void benchGivesTheDut_data()
    {
        // The analyser is tuned to `tunedHz`; the DUT's lines are flat, so the RF does not
        // matter to the expected figures, only to where the sources' ENR is taken.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<PassFrequency>>("tuned");
        QTest::addColumn<StepBench>("bench");
        QTest::addColumn<double>("gainDb");
        QTest::addColumn<double>("nfDb");
        const QStringList flat{"--format", "sci", "--dut-gain-slope", "0", "--dut-nf-slope", "0",
                               "--enr", "15", "--analyser-nf", "10"};
        StepBench b;
        b.roomTemperatureK = 294.15;
        b.calEnrDb = b.measEnrDb = 15;
        b.lossBeforeDb = 1.0;
        b.lossBeforeK = 294.15;
        b.lossAfterDb = 3.0;
        b.lossAfterK = 77;
        QTest::newRow("losses before and after")
            << (flat + QStringList{"--loss-before", "1", "--loss-after", "3@77"})
            << QList<PassFrequency>{k400MHz, k1GHz} << b << 20.0 << 3.0;
        b = StepBench{};
        b.roomTemperatureK = 294.15;
        b.calEnrDb = 6;
        b.measEnrDb = 15;
        b.imageRejectionDb = std::nullopt;
        QTest::newRow("down-converter, its own calibration source")
            << (flat + QStringList{"--dut-type", "down", "--lo", "9.75GHz", "--cal-enr", "6"})
            << QList<PassFrequency>{k1GHz, k1G5Hz} << b << 20.0 << 3.0;
        b.imageRejectionDb = 0.0;
        b.calEnrDb = 15;
        QTest::newRow("down-converter, double sideband")
            << (flat + QStringList{"--dut-type", "down", "--lo", "9.75e9", "--image-gain", "0",
                                   "--dut-nf", "9"})
            << QList<PassFrequency>{k1GHz} << b << 20.0 << 9.0;
    }

    void benchGivesTheDut()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QList<PassFrequency>, tuned);
        QFETCH(StepBench, bench);
        QFETCH(double, gainDb);
        QFETCH(double, nfDb);
        startSim(arguments);
        SetupTexts texts;
        texts.startHz = tuned.front().plain;
        QString why;
        QVERIFY2(runSetup(m_client, texts, &why), qPrintable(why));
        QList<PassReadings> calibration;
        QList<PassReadings> measurement;
        QVERIFY2(runPass(m_client, false, tuned, texts.average, &calibration, &why), qPrintable(why));
        QVERIFY2(runPass(m_client, true, tuned, texts.average, &measurement, &why), qPrintable(why));
        for (qsizetype i = 0; i < tuned.size(); ++i) {
            const StepLevels levels{reading(calibration[i].off), reading(calibration[i].on),
                                       reading(measurement[i].off), reading(measurement[i].on)};
            const BenchStepResult r = CorrectStep(levels, bench);
            QCOMPARE(r.status, BenchStepStatus::Ok);
            QVERIFY2(std::abs(r.gainDb - gainDb) < 0.01, qPrintable(QString::number(r.gainDb)));
            QVERIFY2(std::abs(r.noiseFigureDb - nfDb) < 0.01, qPrintable(QString::number(r.noiseFigureDb)));
        }
    }

    void realTiming()
    {
        // Four sweeps of 60 ms: the answer after INIT comes no sooner than 240 ms later.
        startSim({"--timing", "real"});
        QCOMPARE(m_client.ask("SWE:TIME 60ms;*OPC?"), QByteArray("1"));
        QCOMPARE(m_client.ask("SWE:COUN 4;*OPC?"), QByteArray("1"));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(m_client.ask("INIT;*WAI;*OPC?", 5000), QByteArray("1"));
        QVERIFY2(clock.elapsed() >= 240, qPrintable(QString::number(clock.elapsed())));
        // Without sweeps nothing waits.
        clock.restart();
        QCOMPARE(m_client.ask("*OPC?"), QByteArray("1"));
        QVERIFY(clock.elapsed() < 200);
    }

    void absoluteLevel_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("rbw");
        QTest::addColumn<double>("rbwHz");
        QTest::addColumn<bool>("sourceOn");
        QTest::addColumn<double>("noiseK");

        const double ta20 = kT0 * (100.0 - 1.0);
        const double hot552 = 294.15 + std::pow(10.0, 0.552) * kT0;
        QTest::newRow("3 MHz, source off") << QStringList() << QByteArray("3 MHz") << 3e6 << false
                                           << 294.15 + ta20;
        QTest::newRow("3 MHz, source on") << QStringList() << QByteArray("3 MHz") << 3e6 << true
                                          << hot552 + ta20;
        QTest::newRow("10 kHz, source on") << QStringList() << QByteArray("10 kHz") << 1e4 << true
                                           << hot552 + ta20;
        QTest::newRow("1 MHz, 0 dB analyser, 77 K")
            << QStringList{"--analyser-nf", "0", "--tcold", "77"} << QByteArray("1 MHz") << 1e6
            << false << 77.0;
        QTest::newRow("1 MHz, 10 dB analyser, ENR 10 dB")
            << QStringList{"--analyser-nf", "10", "--enr", "10"} << QByteArray("1 MHz") << 1e6
            << true << 294.15 + 10.0 * kT0 + kT0 * 9.0;
    }

    void absoluteLevel()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, rbw);
        QFETCH(double, rbwHz);
        QFETCH(bool, sourceOn);
        QFETCH(double, noiseK);
        startSim(arguments + QStringList{"--dut", "out", "--format", "sci"});
        QCOMPARE(m_client.ask("*RST;FREQ:CENT 400000000;CALC:MARK1:STAT ON;BAND:RES " + rbw + ";*OPC?"),
                 QByteArray("1"));
        const double level = levelAfter(sourceOn ? "DIAG:SERV:NSO ON" : "DIAG:SERV:NSO OFF");
        const double want = noiseLevelDbm(rbwHz, noiseK);
        // Seven significant digits: a hundred-thousandth of a dB below -100 dBm.
        QVERIFY2(std::abs(level - want) <= 1e-6 * std::abs(want),
                 qPrintable(QStringLiteral("%1 dBm, want %2 dBm").arg(level, 0, 'f', 6).arg(want, 0, 'f', 6)));
    }

    void dutPlace_data()
    {
        QTest::addColumn<QString>("place");
        // Where the DUT is: after the set-up, after the calibration's "NSO OFF", after the
        // measurement's "NSO OFF; *WAI", after its "NSO ON; *WAI", after the next set-up.
        QTest::addColumn<QString>("expected");
        QTest::newRow("auto") << "auto" << "OOIIO";
        QTest::newRow("in") << "in" << "IIIII";
        QTest::newRow("out") << "out" << "OOOOO";
    }

    void dutPlace()
    {
        QFETCH(QString, place);
        QFETCH(QString, expected);
        startSim({"--dut", place, "--format", "sci"});

        // The levels at 400 MHz with the default bench, DUT out and in, source off and on.
        const double ta = kT0 * 99.0;
        const double cold = 294.15;
        const double hot = cold + std::pow(10.0, 0.552) * kT0;
        const double gain = std::pow(10.0, (20.0 - 0.4) / 10.0);
        const double td = kT0 * (std::pow(10.0, (3.0 + 0.04) / 10.0) - 1.0);
        auto placeOf = [&](double level, bool sourceOn) {
            const double source = sourceOn ? hot : cold;
            if (std::abs(level - noiseLevelDbm(3e6, source + ta)) < 1e-4)
                return QLatin1Char('O');
            if (std::abs(level - noiseLevelDbm(3e6, gain * (source + td) + ta)) < 1e-4)
                return QLatin1Char('I');
            return QLatin1Char('?');
        };

        QString got;
        QString why;
        QVERIFY2(runSetup(m_client, SetupTexts(), &why), qPrintable(why));
        QVERIFY(m_client.send("CALC:MARK1:STAT ON"));
        got += placeOf(levelAfter({}), false);
        got += placeOf(levelAfter("DIAG:SERV:NSO OFF"), false);
        got += placeOf(levelAfter("DIAG:SERV:NSO OFF; *WAI"), false);
        got += placeOf(levelAfter("DIAG:SERV:NSO ON; *WAI"), true);
        QVERIFY2(runSetup(m_client, SetupTexts(), &why), qPrintable(why));
        QVERIFY(m_client.send("CALC:MARK1:STAT ON"));
        got += placeOf(levelAfter({}), false);
        QCOMPARE(got, expected);
    }

    void jitter()
    {
        startSim({"--format", "sci", "--jitter", "0.2", "--seed", "7", "--dut", "out"});
        QCOMPARE(m_client.ask("*RST;FREQ:CENT 400000000;CALC:MARK1:STAT ON;*OPC?"), QByteArray("1"));
        const double exact = noiseLevelDbm(3e6, 294.15 + kT0 * 99.0);
        QList<QByteArray> first;
        double sum = 0;
        double sumSquares = 0;
        const int count = 200;
        for (int i = 0; i < count; ++i) {
            const QByteArray answer = m_client.ask("CALC:MARK1:Y?");
            if (i < 10)
                first.append(answer);
            const double error = reading(answer) - exact;
            QVERIFY(std::isfinite(error));
            sum += error;
            sumSquares += error * error;
        }
        const double mean = sum / count;
        const double sigma = std::sqrt(sumSquares / count - mean * mean);
        QVERIFY2(std::abs(mean) < 0.06, qPrintable(QString::number(mean)));
        QVERIFY2(sigma > 0.15 && sigma < 0.25, qPrintable(QString::number(sigma)));

        // The same seed gives the same readings, another seed others.
        auto firstReadings = [&](const QString &seed) {
            SimulatorProcess other({"--analyser-nf", "20", "--format", "sci", "--jitter", "0.2", "--seed", seed,
                                    "--dut", "out", "--port", "2"});
            PortClient client;
            QList<QByteArray> readings;
            if (!other.start() || !client.open(other.portPath(2)))
                return readings;
            client.ask("*RST;FREQ:CENT 400000000;CALC:MARK1:STAT ON;*OPC?");
            for (int i = 0; i < 10; ++i)
                readings.append(client.ask("CALC:MARK1:Y?"));
            return readings;
        };
        QCOMPARE(firstReadings(QStringLiteral("7")), first);
        const QList<QByteArray> otherSeed = firstReadings(QStringLiteral("8"));
        QCOMPARE(otherSeed.size(), 10);
        QVERIFY(otherSeed != first);
    }

    void readingFormat()
    {
        startSim({"--format", "plain"});
        SimulatorProcess sci({"--analyser-nf", "20", "--format", "sci", "--port", "2"});
        QString why;
        QVERIFY2(sci.start(&why), qPrintable(why));
        PortClient sciClient;
        QVERIFY(sciClient.open(sci.portPath(2)));

        const QRegularExpression plainForm(QStringLiteral("^-?\\d+\\.\\d\\d$"));
        const QRegularExpression sciForm(QStringLiteral("^-?\\d\\.\\d{6}E[+-]\\d\\d$"));
        for (const QByteArray &state : {QByteArray("DIAG:SERV:NSO OFF"), QByteArray("DIAG:SERV:NSO ON"),
                                        QByteArray("BAND:RES 10 Hz;DIAG:SERV:NSO OFF")}) {
            const QByteArray setup = "*RST;FREQ:CENT 1 GHz;CALC:MARK1:STAT ON;" + state + ";*OPC?";
            QCOMPARE(m_client.ask(setup), QByteArray("1"));
            QCOMPARE(sciClient.ask(setup), QByteArray("1"));
            const QByteArray plain = m_client.ask("CALC:MARK1:Y?");
            const QByteArray scientific = sciClient.ask("CALC:MARK1:Y?");
            QVERIFY2(plainForm.match(QString::fromLatin1(plain)).hasMatch(), plain.constData());
            QVERIFY2(sciForm.match(QString::fromLatin1(scientific)).hasMatch(), scientific.constData());
            QVERIFY(std::abs(reading(plain) - reading(scientific)) <= 0.005 + 1e-9);
        }
    }
};

QTEST_GUILESS_MAIN(TestSimMeasurement)
#include "tst_measurement.moc"
