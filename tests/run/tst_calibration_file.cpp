// Calibration files: a calibration comes back field for field, and a file that is cut short,
// damaged, incomplete or from a newer version is refused with a message saying which.

#include "common/working_folder.h"
#include "run/calibration_file.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

CalibrationFile Sample()
{
    CalibrationFile c;
    SweepPlan plan;
    plan.Start = 400e6;
    plan.Stop = 500e6;
    plan.Step = 10e6;
    plan.Steps = 10;
    SetupSettings s;
    s.startHz = 400e6;
    s.rbwText = QStringLiteral("3 MHz");
    s.vbwText = QStringLiteral("10 Hz");
    s.vbwIndex = 2;
    s.averageText = QStringLiteral("10");
    s.rfAttText = QStringLiteral("0 dB");
    s.refLevelText = QStringLiteral("-20 dBm");
    s.rangeText = QStringLiteral("100 dB");
    c.state = CompletedCalibration(false, plan, s, QDateTime(QDate(2026, 12, 8), QTime(9, 12, 30, 250), Qt::UTC));
    for (int i = 0; i <= plan.Steps; ++i)
        c.steps.append({plan.enrHz(i), plan.tuneHz(i), -90.123456 + i * 0.1, -84.654321 + 1.0 / 3.0});
    c.enr.mode = 1;
    c.enr.enrAllText = QStringLiteral("5.52 dB");
    c.enr.rows = DefaultEnrRows();
    c.enr.rows[3] = {QStringLiteral("2.5"), QStringLiteral("15.25")};
    c.enr.noiseSourceText = QStringLiteral("Table1 \u00B0");
    c.enr.dataFileRows = 12;
    c.roomTemperatureK = 294.15;
    c.analyserIdentity = QStringLiteral("Tessary Bench Simulator,FSP-SIM,000001,1.0");
    return c;
}

QByteArray Edited(const char *field, const QJsonValue &value)
{
    QJsonObject root = QJsonDocument::fromJson(EncodeCalibrationFile(Sample())).object();
    if (value.isUndefined())
        root.remove(QLatin1String(field));
    else
        root[QLatin1String(field)] = value;
    return QJsonDocument(root).toJson();
}

}  // namespace

class TestCalibrationFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        WorkingFolder folder;
        const CalibrationFile c = Sample();
        QString error;
        QVERIFY(SaveCalibrationFile(folder.filePath(QStringLiteral("a.cal")), c, &error));
        const CalibrationDecodeResult r = LoadCalibrationFile(folder.filePath(QStringLiteral("a.cal")));
        QVERIFY2(r.calibration.has_value(), qPrintable(r.error));
        const CalibrationFile &back = *r.calibration;
        QCOMPARE(back.state.endedAt, c.state.endedAt);
        QCOMPARE(back.state.single, false);
        QCOMPARE(CalibrationDifference(back.state, false, c.state.plan, c.state.settings), CalibrationItem::None);
        QCOMPARE(back.steps.size(), 11);
        for (int i = 0; i < 11; ++i) {
            QCOMPARE(back.steps[i].rfHz, c.steps[i].rfHz);
            QCOMPARE(back.steps[i].n2offDbm, c.steps[i].n2offDbm);  // bit for bit
            QCOMPARE(back.steps[i].n2onDbm, c.steps[i].n2onDbm);
        }
        QCOMPARE(back.enr.mode, 1);
        QCOMPARE(back.enr.rows[3].EnrText, QStringLiteral("15.25"));
        QCOMPARE(back.enr.noiseSourceText, c.enr.noiseSourceText);
        QCOMPARE(back.enr.dataFileRows, 12);
        QCOMPARE(back.roomTemperatureK, 294.15);
        QCOMPARE(back.analyserIdentity, c.analyserIdentity);

        MeasurementRecord record;
        ApplyCalibrationLevels(back, record);
        QCOMPARE(record.N2off[10], c.steps[10].n2offDbm);
        QCOMPARE(CalibrationStepsOf(record, c.state.plan)[10].n2onDbm, c.steps[10].n2onDbm);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        const QByteArray good = EncodeCalibrationFile(Sample());
        QTest::newRow("empty") << QByteArray() << "the calibration file is cut short or corrupt";
        QTest::newRow("cut short") << good.left(good.size() / 2) << "the calibration file is cut short or corrupt";
        QTest::newRow("another file") << QByteArray("[Ethernet]\r\nHost=x\r\n") << "not a calibration file (illegal number at byte 2)";
        QTest::newRow("another JSON") << QByteArray("{\"format\": \"x\"}") << "not a calibration file";
        QTest::newRow("newer") << Edited("version", 2)
                               << "the calibration file has format version 2, written by a newer Tessary; this one reads version 1";
        QTest::newRow("no levels") << Edited("steps", QJsonValue::Undefined) << "corrupt calibration file: \"steps\" is not a list";
        QTest::newRow("bad time") << Edited("endedAt", QStringLiteral("yesterday"))
                                  << "corrupt calibration file: \"endedAt\" is not a date and time";
        QByteArray level = good;
        level.replace("\"n2offDbm\": -90.123456", "\"n2offDbm\": \"-90\"");
        QTest::newRow("a level as text") << level << "corrupt calibration file: \"steps[0].n2offDbm\" is not a finite number";
        QByteArray steps = good;
        steps.replace("\"steps\": 10", "\"steps\": 12");
        QTest::newRow("plan and levels disagree") << steps << "corrupt calibration file: \"steps\" holds 11 frequencies where the plan has 13";
        QByteArray rows = good;
        rows.replace("\"dataFileRows\": 12", "\"dataFileRows\": 21");
        QByteArray later = Edited("roomTemperatureK", QStringLiteral("warm"));
        later.replace("\"dataFileRows\": 12", "\"dataFileRows\": 1e300");
        QTest::newRow("a huge count after an earlier fault") << later
            << "corrupt calibration file: \"roomTemperatureK\" is not a finite number";
        QTest::newRow("more data rows than a table") << rows
            << "corrupt calibration file: \"enr.dataFileRows\" is not a whole number from 1 to 20";
    }
    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const CalibrationDecodeResult r = DecodeCalibrationFile(bytes);
        QVERIFY(!r.calibration.has_value());
        QCOMPARE(r.error, error);
    }

    void ageText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("seconds") << qint64(40) << "40 s";
        QTest::newRow("last second") << qint64(59) << "59 s";
        QTest::newRow("one minute") << qint64(60) << "1 min";
        QTest::newRow("last minute") << qint64(3599) << "59 min";
        QTest::newRow("one hour") << qint64(3600) << "1 h 0 min";
        QTest::newRow("hours") << qint64(2 * 3600 + 5 * 60 + 9) << "2 h 5 min";
        QTest::newRow("last hour") << qint64(86399) << "23 h 59 min";
        QTest::newRow("one day") << qint64(86400) << "1 d 0 h";
        QTest::newRow("days") << qint64(3 * 86400 + 4 * 3600) << "3 d 4 h";
        QTest::newRow("clock set back") << qint64(-5) << "in the future";
    }
    void ageText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(CalibrationAgeText(seconds), text);
    }
};

QTEST_GUILESS_MAIN(TestCalibrationFile)
#include "tst_calibration_file.moc"
