// The FSP dialect against the designed lines: the identification, the set-up, the restore,
// the per-frequency dialogue of both passes and the reading of a level. The designed lines are
// written out here (and in common/designed_setup.h), not taken from the dialect.

#include "common/designed_setup.h"
#include "analyser/analyser_dialect.h"
#include "base/errors.h"

#include <QTest>

class TestAnalyserDialect : public QObject
{
    Q_OBJECT

    const FspDialect fsp;

private slots:
    void connectionLines()
    {
        QCOMPARE(fsp.DeviceName(), QStringLiteral("FSP"));
        QCOMPARE(fsp.Identify(), QByteArray("*idn?"));
        QCOMPARE(fsp.RestoreState(), QByteArray("MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?"));
        QCOMPARE(fsp.SetupCommands(DesignedSetupSettings()), DesignedSetupCommands());
        // The sixth line stores the analyser's own settings.
        QCOMPARE(fsp.SetupCommands(DesignedSetupSettings()).at(fsp.StoreStateIndex()),
                 QByteArray("MMEM:STOR:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?"));
        QCOMPARE(fsp.SweepTimeQuery(), QByteArray("SWE:TIME?"));
        QCOMPARE(DefaultDialect().DeviceName(), QStringLiteral("FSP"));
    }

    void frequencyDialogue_data()
    {
        QTest::addColumn<PassKind>("pass");
        QTest::addColumn<double>("hz");
        QTest::addColumn<QString>("average");
        QTest::addColumn<QByteArray>("plainHz");
        QTest::addColumn<QByteArray>("markerX");
        QTest::newRow("calibration 400 MHz") << PassKind::Calibration << 400e6 << "10" << QByteArray("400000000")
                                             << QByteArray("400000000");
        QTest::newRow("calibration 1.5 GHz, average 1000")
            << PassKind::Calibration << 1.5e9 << "1000" << QByteArray("1500000000") << QByteArray("1500000000");
        QTest::newRow("measurement 400 MHz: two decimals and the unit")
            << PassKind::Measurement << 400e6 << "10" << QByteArray("400000000") << QByteArray("400000000.00 Hz");
        QTest::newRow("measurement 1.5 GHz: the scientific form")
            << PassKind::Measurement << 1.5e9 << "30" << QByteArray("1500000000") << QByteArray("1.5E09 Hz");
        QTest::newRow("measurement 123.456789 MHz")
            << PassKind::Measurement << 123456789.0 << "3" << QByteArray("123456789") << QByteArray("123456789.00 Hz");
    }
    void frequencyDialogue()
    {
        QFETCH(PassKind, pass);
        QFETCH(double, hz);
        QFETCH(QString, average);
        QFETCH(QByteArray, plainHz);
        QFETCH(QByteArray, markerX);
        // The order the sequencer sends them in: source off and settle, read, source on and
        // settle, read.
        const QList<QByteArray> sent = fsp.SourceOffAndSettle(pass, hz) + fsp.Reading(average)
                                       + fsp.SourceOnAndSettle(pass) + fsp.Reading(average);
        QCOMPARE(sent, FrequencyDialogue(pass == PassKind::Measurement, plainHz, markerX, average.toLatin1()));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("number");
        QTest::addColumn<double>("dbm");
        QTest::newRow("decimal") << QByteArray("-75.55") << true << -75.55;
        QTest::newRow("exponent") << QByteArray("-7.555E+01") << true << -75.55;
        QTest::newRow("blanks around") << QByteArray(" -70.25 ") << true << -70.25;
        QTest::newRow("garbage") << QByteArray("?#%garbage%#?") << false << 0.0;
        QTest::newRow("decimal comma") << QByteArray("-75,55") << false << 0.0;
        QTest::newRow("empty") << QByteArray("") << false << 0.0;
    }
    void reading()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, number);
        QFETCH(double, dbm);
        if (!number) {
            QVERIFY_THROWS_EXCEPTION(EConvertError, fsp.ParseReading(reply));
            return;
        }
        QCOMPARE(fsp.ParseReading(reply), dbm);
    }
};

QTEST_GUILESS_MAIN(TestAnalyserDialect)
#include "tst_analyser_dialect.moc"
