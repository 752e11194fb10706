// The single-point calculator: the worked example character for character, the cases that show
// "F: Error", arithmetic failures that leave the labels, conversion errors that stop the
// calculation where they occur, and a selected step that must never write outside the arrays.

#include "base/engvalue.h"
#include "base/errors.h"
#include "noise/calculator.h"
#include "noise/enr_lookup.h"

#include <QLocale>
#include <QTest>

#include <climits>
#include <limits>
#include <cmath>

namespace {

constexpr double kSentinel = 77.0;

CalculatorFields StartFields()
{
    return {{QStringLiteral("-75.55"), QStringLiteral("-70.25"), QStringLiteral("-54.25"), QStringLiteral("-49.06")},
            QStringLiteral("100 MHz"),
            QStringLiteral("21 \u00B0C")};
}

EvaluationContext ConstantEnr(const QString &text = QStringLiteral("5.52 dB"))
{
    EvaluationContext context;
    context.enr.mode = EnrAll;
    context.enr.enrAllText = text;
    return context;
}

EvaluationContext TableEnr(const EnrRows &rows = DefaultEnrRows())
{
    EvaluationContext context;
    context.enr.mode = EnrTable1;
    context.enr.rows = rows;
    return context;
}

/// A record whose every step slot holds a value the calculation must not touch.
MeasurementRecord SentinelRecord()
{
    MeasurementRecord record;
    for (auto *column : {&record.N2off, &record.N2on, &record.N12off, &record.N12on, &record.GainDb,
                        &record.NoiseFigureDb})
        column->fill(kSentinel);
    return record;
}

/// The step slots other than `except` still hold the sentinel, in every array.
bool StepSlotsUntouched(const MeasurementRecord &record, int except = -1)
{
    for (const auto *column : {&record.N2off, &record.N2on, &record.N12off, &record.N12on,
                              &record.GainDb, &record.NoiseFigureDb}) {
        for (int i = 0; i < CalcSlot; ++i) {
            if (i != except && (*column)[size_t(i)] != kSentinel)
                return false;
        }
    }
    return true;
}

}  // namespace

class TestCalculator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void workedExample();
    void storedStepForm();
    void selectedStep_data();
    void selectedStep();
    void noiseFigureError_data();
    void noiseFigureError();
    void arithmeticFailure_data();
    void arithmeticFailure();
    void temperatureFailsAfterStatus();
    void earlyFailuresShowNoStatus_data();
    void earlyFailuresShowNoStatus();
    void temperatureInKelvin();
    void pureEvaluation_data();
    void pureEvaluation();
};

void TestCalculator::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestCalculator::workedExample()
{
    MeasurementRecord record = SentinelRecord();
    QStringList shown;
    const CalculationResult result = CalculatePointFromFields(
        StartFields(), ConstantEnr(), record, 0, [&shown](const QString &t) { shown << t; });

    QCOMPARE(result.failed, false);
    QCOMPARE(result.statusText, QStringLiteral("For calculation used ENR: 5.52 dB"));
    QCOMPARE(shown, QStringList{result.statusText});
    QCOMPARE(result.gainText, QStringLiteral("Gain: 130.11  (21.14 dB)"));
    QCOMPARE(result.noiseFigureText, QStringLiteral("F: 1.53  (1.84 dB)"));

    QVERIFY(std::fabs(record.N2off[CalcSlot] - std::pow(10.0, -7.555)) < 1e-20);
    QVERIFY(std::fabs(record.N12on[CalcSlot] - std::pow(10.0, -4.906)) < 1e-18);
    QVERIFY(std::fabs(record.Enr - 3.5645) < 5e-5);
    QCOMPARE(record.T0, 290.0);
    QCOMPARE(record.RoomTemperature, 294.15);
    QVERIFY(std::fabs(record.GainDb[CalcSlot] - 21.143) < 5e-4);
    QVERIFY(std::fabs(std::pow(10.0, record.NoiseFigureDb[CalcSlot] / 10) - 1.5293) < 5e-5);
    // Step 0 is the selected step while nothing was measured: it receives the results too.
    QCOMPARE(record.GainDb[0], record.GainDb[CalcSlot]);
    QCOMPARE(record.NoiseFigureDb[0], record.NoiseFigureDb[CalcSlot]);
    QCOMPARE(record.N2off[0], kSentinel);  // levels go to the calculator's slot only
}

void TestCalculator::storedStepForm()
{
    // The step display writes levels with 6 decimals and the frequency in prefix form; the
    // ENR is looked up at the frequency as shown.
    CalculatorFields fields = StartFields();
    fields.levels.n2off = QStringLiteral("-75.550000");
    fields.levels.n2on = QStringLiteral("-70.250 dBm");
    fields.frequency = QStringLiteral("433.33 MHz");
    MeasurementRecord record;
    const CalculationResult result = CalculatePointFromFields(fields, TableEnr(), record, 3);
    QCOMPARE(record.Enr, LookupEnr(433.33e6, 1, QString(), DefaultEnrRows()));
    QCOMPARE(result.statusText, QStringLiteral("For calculation used ENR: 6.14 dB"));
    QCOMPARE(result.gainText, QStringLiteral("Gain: 130.11  (21.14 dB)"));
    QCOMPARE(record.GainDb[3], record.GainDb[CalcSlot]);
}

void TestCalculator::selectedStep_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("written");  // the step slot that receives the results, -1 none
    QTest::newRow("first") << 0 << 0;
    QTest::newRow("middle") << 42 << 42;
    QTest::newRow("last step slot") << 99 << 99;
    QTest::newRow("the calculator's slot") << 100 << -1;
    QTest::newRow("one past the arrays") << 101 << -1;
    QTest::newRow("far beyond") << 100000 << -1;
    QTest::newRow("minus one") << -1 << -1;
    QTest::newRow("most negative") << INT_MIN << -1;
    QTest::newRow("largest") << INT_MAX << -1;
}

void TestCalculator::selectedStep()
{
    QFETCH(int, step);
    QFETCH(int, written);
    MeasurementRecord record = SentinelRecord();
    const CalculationResult result = CalculatePointFromFields(StartFields(), ConstantEnr(), record, step);
    QVERIFY(!result.failed);
    QVERIFY(StepSlotsUntouched(record, written));
    QVERIFY(record.GainDb[CalcSlot] != kSentinel);
    if (written >= 0) {
        QCOMPARE(record.GainDb[size_t(written)], record.GainDb[CalcSlot]);
        QCOMPARE(record.NoiseFigureDb[size_t(written)], record.NoiseFigureDb[CalcSlot]);
    }
}

void TestCalculator::noiseFigureError_data()
{
    QTest::addColumn<QString>("n12off");
    QTest::addColumn<QString>("n12on");
    QTest::addColumn<QString>("gainText");

    // Equal levels with the DUT: gain 0, ToDb(0) = 0, factor 1.00; Y12 = 1 gives -1.
    QTest::newRow("equal levels with DUT") << "-54.25" << "-54.25" << "Gain: 1.00  (0.00 dB)";
    // With the DUT the "on" level lies below the "off" level: negative gain shown as 0 dB.
    QTest::newRow("negative gain") << "-54.25" << "-60" << "Gain: 1.00  (0.00 dB)";
}

void TestCalculator::noiseFigureError()
{
    QFETCH(QString, n12off);
    QFETCH(QString, n12on);
    QFETCH(QString, gainText);
    CalculatorFields fields = StartFields();
    fields.levels.n12off = n12off;
    fields.levels.n12on = n12on;
    MeasurementRecord record = SentinelRecord();
    const CalculationResult result = CalculatePointFromFields(fields, ConstantEnr(), record, 5);
    QVERIFY(!result.failed);
    QCOMPARE(result.gainText, gainText);
    QCOMPARE(result.noiseFigureText, QStringLiteral("F: Error"));
    QCOMPARE(record.NoiseFigureDb[CalcSlot], -1.0);
    QCOMPARE(record.GainDb[5], 0.0);
    // The step's noise figure keeps what it had.
    QCOMPARE(record.NoiseFigureDb[5], kSentinel);
}

void TestCalculator::arithmeticFailure_data()
{
    QTest::addColumn<QString>("n2off");
    QTest::addColumn<QString>("n2on");
    QTest::addColumn<QString>("enrText");
    QTest::addColumn<QString>("status");

    QTest::newRow("equal calibration levels") << "-70.25" << "-70.25" << "5.52 dB" << "For calculation used ENR: 5.52 dB";
    QTest::newRow("Y-factor overflows") << "-3000" << "3000" << "5.52 dB" << "For calculation used ENR: 5.52 dB";
    QTest::newRow("ENR of 0") << "-75.55" << "-70.25" << "-4000 dB" << "For calculation used ENR: 0.00 dB";
}

void TestCalculator::arithmeticFailure()
{
    QFETCH(QString, n2off);
    QFETCH(QString, n2on);
    QFETCH(QString, enrText);
    QFETCH(QString, status);
    CalculatorFields fields = StartFields();
    fields.levels.n2off = n2off;
    fields.levels.n2on = n2on;
    MeasurementRecord record = SentinelRecord();
    QStringList shown;
    const CalculationResult result = CalculatePointFromFields(
        fields, ConstantEnr(enrText), record, 7, [&shown](const QString &t) { shown << t; });
    QVERIFY(result.failed);
    QCOMPARE(shown, QStringList{status});
    QCOMPARE(result.statusText, status);
    QVERIFY(result.gainText.isEmpty());
    QVERIFY(result.noiseFigureText.isEmpty());
    QVERIFY(StepSlotsUntouched(record));
}

void TestCalculator::temperatureFailsAfterStatus()
{
    CalculatorFields fields = StartFields();
    fields.temperature = QStringLiteral("warm");
    MeasurementRecord record = SentinelRecord();
    QStringList shown;
    QVERIFY_THROWS_EXCEPTION(EConvertError,
                             CalculatePointFromFields(fields, ConstantEnr(), record, 0,
                                                      [&shown](const QString &t) { shown << t; }));
    QCOMPARE(shown, QStringList{QStringLiteral("For calculation used ENR: 5.52 dB")});
    QCOMPARE(record.GainDb[CalcSlot], kSentinel);
    QVERIFY(StepSlotsUntouched(record));
}

void TestCalculator::earlyFailuresShowNoStatus_data()
{
    QTest::addColumn<int>("field");  // 0..3 levels, 4 frequency
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tableBroken");

    QTest::newRow("level with a letter") << 2 << "-54x" << false;
    QTest::newRow("level with two points") << 0 << "-75.5.5" << false;
    QTest::newRow("frequency without blank") << 4 << "100MHz" << false;
    QTest::newRow("table rows of equal frequency") << 4 << "20 GHz" << true;
}

void TestCalculator::earlyFailuresShowNoStatus()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, tableBroken);
    CalculatorFields fields = StartFields();
    QString *targets[] = {&fields.levels.n2off, &fields.levels.n2on, &fields.levels.n12off, &fields.levels.n12on,
                          &fields.frequency};
    *targets[field] = text;
    EnrRows rows = DefaultEnrRows();
    if (tableBroken)
        rows[18].FrequencyText = QStringLiteral("18.0");
    MeasurementRecord record = SentinelRecord();
    bool statusShown = false;
    try {
        CalculatePointFromFields(fields, TableEnr(rows), record, 0,
                                 [&statusShown](const QString &) { statusShown = true; });
        QFAIL("no failure");
    } catch (const EConvertError &) {
        QVERIFY(!tableBroken);
    } catch (const EMathError &) {
        QVERIFY(tableBroken);
    }
    QVERIFY(!statusShown);
    QVERIFY(StepSlotsUntouched(record));
    QCOMPARE(record.GainDb[CalcSlot], kSentinel);
}

void TestCalculator::temperatureInKelvin()
{
    CalculatorFields fields = StartFields();
    fields.temperature = QStringLiteral("294 K");
    MeasurementRecord record;
    CalculatePointFromFields(fields, ConstantEnr(), record, 0);
    QCOMPARE(record.RoomTemperature, 294.0);
}

void TestCalculator::pureEvaluation_data()
{
    QTest::addColumn<StepLevels>("levels");
    QTest::addColumn<int>("enrMode");
    QTest::addColumn<double>("enrHz");
    QTest::addColumn<double>("refLevelDbm");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<double>("gainDb");         // NaN: none
    QTest::addColumn<double>("noiseFigureDb");  // -1: none
    QTest::addColumn<bool>("uncertain");        // an uncertainty can be given
    QTest::addColumn<QList<int>>("findings");   // GuidelineKind in order

    const StepLevels example{-75.55, -70.25, -54.25, -49.06};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("worked example") << example << 0 << 100e6 << inf << "For calculation used ENR: 5.52 dB" << false
                                    << 21.1431 << 1.8450 << true << QList<int>{};
    QTest::newRow("table at 433.33 MHz") << example << 1 << 433.33e6 << inf << "For calculation used ENR: 6.14 dB"
                                         << false << 21.1431 << 2.4693 << true << QList<int>{};
    QTest::newRow("table extrapolated at 20 GHz")
        << example << 1 << 20e9 << inf << "For calculation used ENR: 6.75 dB" << false << 21.1431 << 3.0795 << true
        << QList<int>{int(GuidelineKind::EnrExtrapolated)};
    QTest::newRow("near the reference level") << example << 0 << 100e6 << -45.0 << "For calculation used ENR: 5.52 dB"
                                              << false << 21.1431 << 1.8450 << true
                                              << QList<int>{int(GuidelineKind::NearReferenceLevel)};
    QTest::newRow("equal levels with DUT: no noise figure")
        << StepLevels{-75.55, -70.25, -54.25, -54.25} << 0 << 100e6 << inf << "For calculation used ENR: 5.52 dB"
        << false << 0.0 << -1.0 << false << QList<int>{int(GuidelineKind::LowMeasurementYFactor)};
    QTest::newRow("equal calibration levels fail")
        << StepLevels{-70.25, -70.25, -54.25, -49.06} << 0 << 100e6 << inf << "For calculation used ENR: 5.52 dB"
        << true << nan << -1.0 << false << QList<int>{int(GuidelineKind::LowCalibrationYFactor)};
}

void TestCalculator::pureEvaluation()
{
    QFETCH(StepLevels, levels);
    QFETCH(int, enrMode);
    QFETCH(double, enrHz);
    QFETCH(double, refLevelDbm);
    QFETCH(QString, status);
    QFETCH(bool, failed);
    QFETCH(double, gainDb);
    QFETCH(double, noiseFigureDb);
    QFETCH(bool, uncertain);
    QFETCH(QList<int>, findings);

    EvaluationContext context = enrMode == 0 ? ConstantEnr() : TableEnr();
    context.roomTemperatureK = 294.15;
    context.refLevelDbm = refLevelDbm;
    const StepEvaluation e = EvaluateLevels(levels, enrHz, context);

    QCOMPARE(EnrStatusText(e.enr), status);
    QCOMPARE(e.failed, failed);
    if (std::isnan(gainDb))
        QCOMPARE(e.gainDb, 0.0);
    else
        QVERIFY2(std::fabs(e.gainDb - gainDb) < 5e-4, qPrintable(QString::number(e.gainDb, 'f', 6)));
    if (noiseFigureDb < 0)
        QCOMPARE(e.noiseFigureDb, -1.0);
    else
        QVERIFY2(std::fabs(e.noiseFigureDb - noiseFigureDb) < 5e-4, qPrintable(QString::number(e.noiseFigureDb, 'f', 6)));
    QCOMPARE(e.hasNoiseFigure(), !failed && noiseFigureDb >= 0);
    QCOMPARE(e.confidence.uncertainty.valid, uncertain);
    QList<int> kinds;
    for (const GuidelineFinding &f : e.confidence.findings)
        kinds << int(f.kind);
    QCOMPARE(kinds, findings);

    // The same levels typed into the calculator give the very same bits, and the calculator's
    // texts of the evaluation are the ones "Calculate!" shows.
    CalculatorFields fields{levels.map([](double dbm) { return FormatValue(6, 0, dbm); }),
                            FormatValue(2, fvPrefix | fvHz, enrHz), QStringLiteral("294.15 K")};
    MeasurementRecord record = SentinelRecord();
    const CalculationResult typed = CalculatePointFromFields(fields, context, record, 0);
    const CalculationResult shown = CalculationResultOf(e);
    QCOMPARE(shown.statusText, typed.statusText);
    QCOMPARE(shown.failed, typed.failed);
    QCOMPARE(shown.gainText, typed.gainText);
    QCOMPARE(shown.noiseFigureText, typed.noiseFigureText);
    QCOMPARE(record.Enr, e.enr);
    if (!failed) {
        QCOMPARE(record.GainDb[0], e.gainDb);
        QCOMPARE(record.NoiseFigureDb[CalcSlot], e.noiseFigureDb);
    }
}

QTEST_GUILESS_MAIN(TestCalculator)
#include "tst_calculator.moc"
