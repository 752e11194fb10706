// The single-point calculator: the worked example character for character, the cases that show
// "F: Error", arithmetic failures that leave the labels, conversion errors that stop the
// calculation where they occur, and a selected step that must never write outside the arrays.

#include "base/errors.h"
#include "noise/calculator.h"
#include "noise/enr_lookup.h"

#include <QLocale>
#include <QTest>

#include <climits>
#include <cmath>

namespace {

constexpr double kSentinel = 77.0;

CalculatorFields StartFields()
{
    return {QStringLiteral("-75.55"), QStringLiteral("-70.25"), QStringLiteral("-54.25"),
            QStringLiteral("-49.06"), QStringLiteral("100 MHz"), QStringLiteral("21 \u00B0C")};
}

EnrLookupFunction ConstantEnr(const QString &text = QStringLiteral("5.52 dB"))
{
    return [text](double frequencyHz) { return LookupEnr(frequencyHz, 0, text, DefaultEnrRows()); };
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
    fields.n2off = QStringLiteral("-75.550000");
    fields.n2on = QStringLiteral("-70.250 dBm");
    fields.frequency = QStringLiteral("433.33 MHz");
    double askedHz = 0;
    MeasurementRecord record;
    const CalculationResult result = CalculatePointFromFields(
        fields, [&askedHz](double f) { askedHz = f; return LookupEnr(f, 1, QString(), DefaultEnrRows()); },
        record, 3);
    QCOMPARE(askedHz, 433.33e6);
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
    fields.n12off = n12off;
    fields.n12on = n12on;
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
    fields.n2off = n2off;
    fields.n2on = n2on;
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
    QString *targets[] = {&fields.n2off, &fields.n2on, &fields.n12off, &fields.n12on, &fields.frequency};
    *targets[field] = text;
    EnrRows rows = DefaultEnrRows();
    if (tableBroken)
        rows[18].FrequencyText = QStringLiteral("18.0");
    MeasurementRecord record = SentinelRecord();
    bool statusShown = false;
    try {
        CalculatePointFromFields(
            fields, [&rows](double f) { return LookupEnr(f, 1, QString(), rows); }, record, 0,
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

QTEST_GUILESS_MAIN(TestCalculator)
#include "tst_calculator.moc"
