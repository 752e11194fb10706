// What a calibration covered and whether a measurement still matches it: each item of the
// plan and of the set-up that can change, the Single mode, and the texts shown to the operator.

#include "common/designed_setup.h"
#include "run/calibration_state.h"
#include "run/sweep_plan.h"

#include <QTest>

Q_DECLARE_METATYPE(SweepInputs)
Q_DECLARE_METATYPE(SetupSettings)

namespace {

/// The "Options" page as it starts.
SweepInputs DefaultSweep()
{
    return {false, QStringLiteral("400 MHz"), QStringLiteral("500 MHz"),
            QStringLiteral("100 MHz"), 10};
}

SweepPlan PlanOf(const SweepInputs &inputs)
{
    SweepPlan plan;
    MakeSweepPlan(plan, inputs);
    return plan;
}

CalibrationState Calibrated(const SweepInputs &sweep, const SetupSettings &setup)
{
    return CompletedCalibration(sweep.single, PlanOf(sweep), setup,
                                QDateTime(QDate(2024, 3, 5), QTime(14, 32, 59)));
}

}  // namespace

class TestCalibrationState : public QObject
{
    Q_OBJECT

private slots:
    void difference_data();
    void difference();
    void texts_data();
    void texts();
    void refusalText();
    void benchDifference_data();
    void benchDifference();
};

void TestCalibrationState::benchDifference_data()
{
    // The calibration measured at the IFs of its plan with the source the bench named then.
    QTest::addColumn<int>("calibratedType");
    QTest::addColumn<double>("calibratedLo");
    QTest::addColumn<int>("calibratedSource");
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("lo");
    QTest::addColumn<int>("source");
    QTest::addColumn<bool>("single");
    QTest::addColumn<int>("expected");
    const int amp = int(DutType::Amplifier), down = int(DutType::DownConverter), up = int(DutType::UpConverter);
    QTest::newRow("amplifier") << amp << 0.0 << -1 << amp << 0.0 << -1 << false << int(CalibrationItem::None);
    QTest::newRow("amplifier, LO left over") << amp << 0.0 << -1 << amp << 5e9 << -1 << false << int(CalibrationItem::None);
    QTest::newRow("down, same LO") << down << 9.75e9 << -1 << down << 9.75e9 << -1 << false << int(CalibrationItem::None);
    QTest::newRow("down, other LO") << down << 9.75e9 << -1 << down << 10.6e9 << -1 << false << int(CalibrationItem::Ifs);
    QTest::newRow("down to up") << down << 1e9 << -1 << up << 1e9 << -1 << false << int(CalibrationItem::Ifs);
    QTest::newRow("amplifier to down") << amp << 0.0 << -1 << down << 1e9 << -1 << false << int(CalibrationItem::Ifs);
    QTest::newRow("single, other LO") << down << 1e9 << -1 << down << 2e9 << -1 << true << int(CalibrationItem::Ifs);
    QTest::newRow("source as measurement to table 2") << amp << 0.0 << -1 << amp << 0.0 << 2 << false << int(CalibrationItem::CalSource);
    QTest::newRow("source table 1 to const.") << amp << 0.0 << 1 << amp << 0.0 << 0 << false << int(CalibrationItem::CalSource);
    QTest::newRow("source kept") << amp << 0.0 << 1 << amp << 0.0 << 1 << false << int(CalibrationItem::None);
}

void TestCalibrationState::benchDifference()
{
    QFETCH(int, calibratedType);
    QFETCH(double, calibratedLo);
    QFETCH(int, calibratedSource);
    QFETCH(int, type);
    QFETCH(double, lo);
    QFETCH(int, source);
    QFETCH(bool, single);
    QFETCH(int, expected);
    SweepInputs sweep = DefaultSweep();
    sweep.single = single;
    SweepPlan calibrated = PlanOf(sweep);
    calibrated.Conversion = DutType(calibratedType);
    calibrated.LoHz = calibratedLo;
    const CalibrationState state = CompletedCalibration(single, calibrated, DesignedSetupSettings(), QDateTime(), calibratedSource);
    SweepPlan measured = PlanOf(sweep);
    measured.Conversion = DutType(type);
    measured.LoHz = lo;
    const auto item = CalibrationDifference(state, single, measured, DesignedSetupSettings(), source);
    QCOMPARE(int(item), expected);
    if (item != CalibrationItem::None)
        QVERIFY(CalibrationRefusalText(item).endsWith(QStringLiteral("Please calibrate again.")));
}

void TestCalibrationState::difference_data()
{
    QTest::addColumn<SweepInputs>("calibrated");
    QTest::addColumn<SweepInputs>("measured");
    QTest::addColumn<SetupSettings>("setup");
    QTest::addColumn<int>("expected");

    const SweepInputs sweep = DefaultSweep();
    const SetupSettings setup = DesignedSetupSettings();
    SweepInputs single = sweep;
    single.single = true;

    SweepInputs start = sweep;
    start.startText = QStringLiteral("410 MHz");
    SweepInputs stop = sweep;
    stop.stopText = QStringLiteral("600 MHz");
    SweepInputs steps = sweep;
    steps.steps = 20;
    SweepInputs singleOther = single;
    singleOther.singleText = QStringLiteral("200 MHz");
    SweepInputs singleStepsEdited = single;  // se_steps is not used in Single mode
    singleStepsEdited.steps = 50;
    SweepInputs sameStartOtherText = sweep;   // the same frequency typed differently
    sameStartOtherText.startText = QStringLiteral("0.4 GHz");

    SetupSettings rbw = setup;
    rbw.rbwText = QStringLiteral("1 MHz");
    SetupSettings vbwPosition = setup;  // same text, typed rather than chosen: other sweep time
    vbwPosition.vbwIndex = -1;
    SetupSettings ref = setup;
    ref.refLevelText = QStringLiteral("-10 dBm");
    SetupSettings vbwText = setup;  // the same position, another text
    vbwText.vbwText = QStringLiteral("30 Hz");
    SetupSettings average = setup;
    average.averageText = QStringLiteral("20");
    SetupSettings rfAtt = setup;
    rfAtt.rfAttText = QStringLiteral("10 dB");
    SetupSettings range = setup;
    range.rangeText = QStringLiteral("50 dB");

    QTest::newRow("unchanged") << sweep << sweep << setup << int(CalibrationItem::None);
    QTest::newRow("start typed differently")
        << sweep << sameStartOtherText << setup << int(CalibrationItem::None);
    QTest::newRow("Start") << sweep << start << setup << int(CalibrationItem::Start);
    QTest::newRow("Stop") << sweep << stop << setup << int(CalibrationItem::Stop);
    QTest::newRow("steps") << sweep << steps << setup << int(CalibrationItem::Steps);
    QTest::newRow("sweep to single") << sweep << single << setup << int(CalibrationItem::Mode);
    QTest::newRow("single to sweep") << single << sweep << setup << int(CalibrationItem::Mode);
    QTest::newRow("single unchanged") << single << singleStepsEdited << setup << int(CalibrationItem::None);
    QTest::newRow("single frequency") << single << singleOther << setup << int(CalibrationItem::Start);
    QTest::newRow("RBW") << sweep << sweep << rbw << int(CalibrationItem::Rbw);
    QTest::newRow("VBW position") << sweep << sweep << vbwPosition << int(CalibrationItem::Vbw);
    QTest::newRow("Ref Lvl") << sweep << sweep << ref << int(CalibrationItem::RefLevel);
    QTest::newRow("VBW text") << sweep << sweep << vbwText << int(CalibrationItem::Vbw);
    QTest::newRow("Average") << sweep << sweep << average << int(CalibrationItem::Average);
    QTest::newRow("RF Att") << sweep << sweep << rfAtt << int(CalibrationItem::RfAtt);
    QTest::newRow("Range") << sweep << sweep << range << int(CalibrationItem::Range);
    QTest::newRow("Average in Single mode") << single << single << average << int(CalibrationItem::Average);
    QTest::newRow("Start and RBW: the plan first")
        << sweep << start << rbw << int(CalibrationItem::Start);
}

void TestCalibrationState::difference()
{
    QFETCH(SweepInputs, calibrated);
    QFETCH(SweepInputs, measured);
    QFETCH(SetupSettings, setup);
    QFETCH(int, expected);
    const CalibrationState state = Calibrated(calibrated, DesignedSetupSettings());
    const auto item = CalibrationDifference(state, measured.single, PlanOf(measured), setup);
    QCOMPARE(int(item), expected);
}

void TestCalibrationState::texts_data()
{
    QTest::addColumn<SweepInputs>("sweep");
    QTest::addColumn<QString>("expected");
    SweepInputs threeSteps = DefaultSweep();
    threeSteps.startText = QStringLiteral("433.33 MHz");
    threeSteps.stopText = QStringLiteral("2.5 GHz");
    threeSteps.steps = 3;
    SweepInputs single = DefaultSweep();
    single.single = true;

    QTest::newRow("as started") << DefaultSweep()
                                << QStringLiteral("Calibrated: 400 MHz to 500 MHz, 11 points, 14:32");
    QTest::newRow("fractions") << threeSteps
                               << QStringLiteral("Calibrated: 433.33 MHz to 2.5 GHz, 4 points, 14:32");
    QTest::newRow("single") << single << QStringLiteral("Calibrated: 100 MHz, 1 point, 14:32");
}

void TestCalibrationState::texts()
{
    QFETCH(SweepInputs, sweep);
    QFETCH(QString, expected);
    QCOMPARE(CalibratedText(Calibrated(sweep, DesignedSetupSettings())), expected);
}

void TestCalibrationState::refusalText()
{
    QCOMPARE(CalibrationRefusalText(),
             QStringLiteral("The settings changed since the calibration. Please calibrate again."));
    QCOMPARE(CalibrationItemText(CalibrationItem::Rbw), QStringLiteral("RBW"));
    QCOMPARE(CalibratedText(CalibrationState{}), QStringLiteral("Not calibrated"));
    QCOMPARE(CalibrationDifference(CalibrationState{}, false, PlanOf(DefaultSweep()), DesignedSetupSettings()),
             CalibrationItem::NotCalibrated);
}

QTEST_APPLESS_MAIN(TestCalibrationState)
#include "tst_calibration_state.moc"
