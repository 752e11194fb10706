// ENR lookup: the constant, interpolation in the 20-row table, extrapolation at both ends, and
// tables that cannot be interpolated failing with a message that names the row.

#include "base/errors.h"
#include "noise/enr_lookup.h"

#include <QLocale>
#include <QTest>

#include <cmath>

namespace {

double ToDbValue(double ratio)
{
    return 10 * std::log10(ratio);
}

}  // namespace

class TestEnrLookup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void constant_data();
    void constant();
    void defaultTable_data();
    void defaultTable();
    void bothTableModes();
    void commaInCells();
    void failures_data();
    void failures();
    void trailingBlanksAreNoUnit();
    void unusedBadEnrCellIsNotRead();
    void dataFileRows_data();
    void dataFileRows();
};

void TestEnrLookup::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestEnrLookup::constant_data()
{
    QTest::addColumn<double>("frequencyHz");
    QTest::newRow("0 Hz") << 0.0;
    QTest::newRow("1 GHz") << 1e9;
    QTest::newRow("40 GHz") << 40e9;
}

void TestEnrLookup::constant()
{
    QFETCH(double, frequencyHz);
    // The table is ignored in constant mode, even a broken one.
    EnrRows broken;
    const double enr = LookupEnr(frequencyHz, 0, QStringLiteral("5.52 dB"), broken);
    QVERIFY(std::fabs(enr - 3.5645) < 5e-5);
}

void TestEnrLookup::defaultTable_data()
{
    QTest::addColumn<double>("frequencyHz");
    QTest::addColumn<double>("expectedDb");

    QTest::newRow("2.5 GHz between rows 4 and 5") << 2.5e9 << 5.395;
    QTest::newRow("1 GHz, a row frequency") << 1e9 << 5.89;
    QTest::newRow("10 MHz, the first row") << 1e7 << 6.12;
    QTest::newRow("0 Hz, extrapolated through rows 1 and 2") << 0.0 << 6.12 - 0.01 * 0.17 / 0.09;
    QTest::newRow("5 MHz below the table") << 5e6 << 6.12 - 0.005 * 0.17 / 0.09;
    QTest::newRow("50 MHz between rows 1 and 2") << 5e7 << 6.12 + 0.04 * 0.17 / 0.09;
    QTest::newRow("16.5 GHz between rows 18 and 19") << 16.5e9 << (6.88 + 6.75) / 2;
    QTest::newRow("17 GHz") << 17e9 << 6.75;
    QTest::newRow("18 GHz, the last row") << 18e9 << 6.75;
    QTest::newRow("20 GHz above the table") << 20e9 << 6.75;
    QTest::newRow("433.33 MHz") << 433.33e6 << 6.29 + (0.43333 - 0.1) / 0.9 * (5.89 - 6.29);
}

void TestEnrLookup::defaultTable()
{
    QFETCH(double, frequencyHz);
    QFETCH(double, expectedDb);
    const double enr = LookupEnr(frequencyHz, 1, QString(), DefaultEnrRows());
    QVERIFY2(std::fabs(ToDbValue(enr) - expectedDb) < 1e-9,
             qPrintable(QString::number(ToDbValue(enr), 'g', 12)));
}

void TestEnrLookup::bothTableModes()
{
    // The ratios as the operator would check them.
    const EnrRows &rows = DefaultEnrRows();
    QVERIFY(std::fabs(LookupEnr(2.5e9, 1, QString(), rows) - 3.4634) < 5e-5);
    QVERIFY(std::fabs(LookupEnr(1e9, 2, QString(), rows) - 3.8815) < 5e-5);
    QVERIFY(std::fabs(LookupEnr(0, 2, QString(), rows) - 4.0748) < 5e-5);
    QVERIFY(std::fabs(LookupEnr(18e9, 1, QString(), rows) - 4.7315) < 5e-5);
    QVERIFY(std::fabs(LookupEnr(20e9, 2, QString(), rows) - 4.7315) < 5e-5);
}

void TestEnrLookup::commaInCells()
{
    EnrRows rows = DefaultEnrRows();
    rows[3] = {QStringLiteral("2,0"), QStringLiteral("5,52")};
    QVERIFY(std::fabs(ToDbValue(LookupEnr(2.5e9, 1, QString(), rows)) - 5.395) < 1e-9);
}

void TestEnrLookup::failures_data()
{
    QTest::addColumn<int>("row");  // 1-based row to spoil
    QTest::addColumn<QString>("frequencyText");
    QTest::addColumn<QString>("enrText");
    QTest::addColumn<double>("frequencyHz");
    QTest::addColumn<bool>("conversion");  // EConvertError, else EMathError
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("last two rows equal, above") << 19 << "18.0" << "6.75" << 20e9 << false << "rows 19 and 20";
    QTest::newRow("last two rows equal, at") << 19 << "18.0" << "6.75" << 18e9 << false << "rows 19 and 20";
    QTest::newRow("first two rows equal, below") << 2 << "0.01" << "6.29" << 0.0 << false << "rows 1 and 2";
    QTest::newRow("empty frequency cell") << 7 << "" << "5.11" << 2.5e9 << true << "row 7";
    QTest::newRow("letters in frequency cell") << 12 << "ten" << "5.54" << 2.5e9 << true << "row 12";
    QTest::newRow("empty ENR cell used") << 5 << "3.0" << "" << 2.5e9 << true << "row 5";
    QTest::newRow("letters in ENR cell used") << 4 << "2.0" << "abc" << 2.5e9 << true << "row 4";
    QTest::newRow("blank-only ENR cell used") << 4 << "2.0" << "  " << 2.5e9 << true << "row 4";
    // A unit after the number would be read as the unit of the whole text ("5.52 dB" as the
    // linear ratio of 5.52 dB, 3.56, taken for dB): a cell holds a bare number or fails.
    QTest::newRow("ENR cell with a unit") << 4 << "2.0" << "5.52 dB" << 2.5e9 << true << "row 4";
    QTest::newRow("frequency cell with a unit") << 5 << "3.0 dB" << "5.27" << 2.5e9 << true << "row 5";
    QTest::newRow("ENR cell with words after it") << 5 << "3.0" << "5.27 nominal" << 2.5e9 << true << "row 5";
    QTest::newRow("huge frequency") << 20 << "1e300" << "6.75" << 1e9 << false << "row 20";
    QTest::newRow("ENR beyond a double") << 5 << "3.0" << "1e300" << 2.5e9 << false << "rows 4 and 5";
}

void TestEnrLookup::failures()
{
    QFETCH(int, row);
    QFETCH(QString, frequencyText);
    QFETCH(QString, enrText);
    QFETCH(double, frequencyHz);
    QFETCH(bool, conversion);
    QFETCH(QString, messagePart);

    EnrRows rows = DefaultEnrRows();
    rows[size_t(row - 1)] = {frequencyText, enrText};
    try {
        const double enr = LookupEnr(frequencyHz, 1, QString(), rows);
        QFAIL(qPrintable("no failure, ENR " + QString::number(enr)));
    } catch (const EConvertError &e) {
        QVERIFY2(conversion, qPrintable(e.message()));
        QVERIFY2(e.message().contains(messagePart), qPrintable(e.message()));
    } catch (const EMathError &e) {
        QVERIFY2(!conversion, qPrintable(e.message()));
        QVERIFY2(e.message().contains(messagePart), qPrintable(e.message()));
    }
}

void TestEnrLookup::trailingBlanksAreNoUnit()
{
    // Blanks after the number (a hand-made table file) leave it a bare number.
    EnrRows rows = DefaultEnrRows();
    rows[3] = {QStringLiteral("2.0  "), QStringLiteral("5.52 ")};
    QVERIFY(std::fabs(ToDbValue(LookupEnr(2.5e9, 1, QString(), rows)) - 5.395) < 1e-9);
}

void TestEnrLookup::unusedBadEnrCellIsNotRead()
{
    // Only the two bracketing rows' ENR cells are read; a bad cell elsewhere does not matter.
    EnrRows rows = DefaultEnrRows();
    rows[14].EnrText = QStringLiteral("abc");
    QVERIFY(std::fabs(ToDbValue(LookupEnr(1e9, 1, QString(), rows)) - 5.89) < 1e-9);
}

void TestEnrLookup::dataFileRows_data()
{
    // A data file of three points (1, 2, 4 GHz at 5.0, 6.0, 4.0 dB) fills rows 1 to 3; one of
    // the first point alone, row 1.
    QTest::addColumn<int>("dataFileRows");
    QTest::addColumn<bool>("fourthRowTyped");
    QTest::addColumn<double>("hz");
    QTest::addColumn<double>("enrDb");  // NaN: the lookup fails as a table with empty rows does
    QTest::addColumn<int>("rowsInUse");
    QTest::newRow("between the first two") << 3 << false << 1.5e9 << 5.5 << 3;
    QTest::newRow("between the last two") << 3 << false << 3e9 << 5.0 << 3;
    QTest::newRow("the last point") << 3 << false << 4e9 << 4.0 << 3;
    QTest::newRow("above, along the last two") << 3 << false << 5e9 << 3.0 << 3;
    QTest::newRow("below, along the first two") << 3 << false << 0.5e9 << 4.5 << 3;
    QTest::newRow("one point holds everywhere") << 1 << false << 9e9 << 5.0 << 1;
    QTest::newRow("a row typed after them: all 20 read") << 3 << true << 1.5e9 << qQNaN() << 20;
    QTest::newRow("a typed table reads all 20") << 0 << false << 1.5e9 << qQNaN() << 20;
}

void TestEnrLookup::dataFileRows()
{
    QFETCH(int, dataFileRows);
    QFETCH(bool, fourthRowTyped);
    QFETCH(double, hz);
    QFETCH(double, enrDb);
    QFETCH(int, rowsInUse);
    EnrRows rows{};
    rows[0] = {QStringLiteral("1"), QStringLiteral("5.0")};
    if (dataFileRows != 1) {
        rows[1] = {QStringLiteral("2"), QStringLiteral("6.0")};
        rows[2] = {QStringLiteral("4"), QStringLiteral("4.0")};
    }
    if (fourthRowTyped)
        rows[3] = {QStringLiteral("8"), QString()};
    QCOMPARE(EnrRowsInUse(rows, dataFileRows), rowsInUse);
    if (std::isnan(enrDb)) {
        QVERIFY_THROWS_EXCEPTION(EConvertError, LookupEnr(hz, 1, QString(), rows, rowsInUse));
        return;
    }
    QVERIFY2(std::fabs(ToDbValue(LookupEnr(hz, 2, QString(), rows, rowsInUse)) - enrDb) < 1e-9,
             qPrintable(QString::number(ToDbValue(LookupEnr(hz, 2, QString(), rows, rowsInUse)))));
}

QTEST_GUILESS_MAIN(TestEnrLookup)
#include "tst_enr_lookup.moc"
