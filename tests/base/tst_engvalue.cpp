// Engineering values: text to number and number to text, as the fields, files and the analyser
// see them. Runs under a comma-decimal locale as well; nothing here may depend on it.

#include "base/engvalue.h"
#include "base/errors.h"

#include <QLocale>
#include <QTest>

#include <climits>
#include <clocale>
#include <cmath>
#include <limits>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

bool Near(double actual, double expected, double relative = 1e-12)
{
    if (expected == 0)
        return actual == 0;
    return std::fabs(actual - expected) <= relative * std::fabs(expected);
}

}  // namespace

class TestEngValue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void parseValue_data();
    void parseValue();
    void parseValueFails_data();
    void parseValueFails();
    void parseValueOverflow_data();
    void parseValueOverflow();

    void formatValue_data();
    void formatValue();
    void formatValueRoundTrip_data();
    void formatValueRoundTrip();

    void shortestDecimal_data();
    void shortestDecimal();

    void readReplyNumber_data();
    void readReplyNumber();
    void readReplyNumberFails_data();
    void readReplyNumberFails();

    void leadingInteger_data();
    void leadingInteger();
};

void TestEngValue::initTestCase()
{
    // A German locale, in Qt and in the C library where one is installed, must change nothing.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8"))
        qInfo("no German C locale installed; the Qt default locale is German");
}

void TestEngValue::parseValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("one character") << "0" << 0.0;
    QTest::newRow("two characters") << "12" << 0.0;
    QTest::newRow("three characters") << "1 k" << 0.0;
    QTest::newRow("three letters, never looked at") << "abc" << 0.0;
    QTest::newRow("blank and no unit") << "12.5 " << 12.5;
    QTest::newRow("Celsius") << QStringLiteral("21 \u00B0C") << 294.15;
    QTest::newRow("kelvin unchanged") << "290 K" << 290.0;
    QTest::newRow("0 dB") << "0 dB" << 1.0;
    QTest::newRow("-30 dBm") << "-30 dBm" << 0.001;
    QTest::newRow("milliseconds") << "500 ms" << 0.5;
    QTest::newRow("GHz") << "5 GHz" << 5e9;
    QTest::newRow("micro") << QStringLiteral("2.5 \u00B5s") << 2.5e-6;
    QTest::newRow("comma separator") << "1,5 dB" << std::pow(10.0, 0.15);
    QTest::newRow("pico") << "3 pF" << 3e-12;
    QTest::newRow("nano") << "7 ns" << 7e-9;
    QTest::newRow("kilo") << "1.5 kHz" << 1500.0;
    QTest::newRow("mega") << "400.00 MHz" << 4e8;
    QTest::newRow("tera") << "2 THz" << 2e12;
    QTest::newRow("ENR in dB") << "5.52 dB" << std::pow(10.0, 0.552);
    QTest::newRow("marker level") << "-75.550 dBm" << std::pow(10.0, -7.555);
    QTest::newRow("only the first letter counts") << "10 dBuV" << 10.0;
    QTest::newRow("unknown unit letter") << "7 xyz" << 7.0;
    QTest::newRow("rest after the unit ignored") << "1.0 GHz GHz" << 1e9;
    QTest::newRow("exponent") << "1e3 Hz" << 1000.0;
    QTest::newRow("capital exponent with sign") << "2.5E-3 s" << 0.0025;
    QTest::newRow("plus sign") << "+5 Hz" << 5.0;
    QTest::newRow("negative with prefix") << "-2.5 kHz" << -2500.0;
    QTest::newRow("leading separator") << ".5 GHz" << 5e8;
    QTest::newRow("trailing separator") << "5. GHz" << 5e9;
    QTest::newRow("comma with prefix") << "433,33 MHz" << 433.33e6;
    QTest::newRow("bare number with Hz appended") << "6.12 Hz" << 6.12;
    QTest::newRow("too small for a double") << "1e-400 Hz" << 0.0;
    QTest::newRow("dBm level appended with dB") << "-75.550 dBm dB" << std::pow(10.0, -7.555);
}

void TestEngValue::parseValue()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double actual = ParseValue(text);
    QVERIFY2(Near(actual, expected),
             qPrintable(QString::number(actual, 'g', 17) + " != " + QString::number(expected, 'g', 17)));
}

void TestEngValue::parseValueFails_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    const QString suffix = QStringLiteral(" ist kein g\u00FCltiger Gleitkommawert");
    QTest::newRow("no blank: empty number part") << "100MHz" << "''" + suffix;
    QTest::newRow("leading blank") << " 100 MHz" << "' '" + suffix;
    QTest::newRow("second point") << "1.2.3 Hz" << "'1.2.3 '" + suffix;
    QTest::newRow("comma then point") << "1,2.3 Hz" << "'1,2.3 '" + suffix;
    QTest::newRow("letters") << "abc Hz" << "'abc '" + suffix;
    QTest::newRow("letter after digits") << "12x Hz" << "'12x '" + suffix;
    QTest::newRow("exponent without digits") << "1e Hz" << "'1e '" + suffix;
    QTest::newRow("sign only") << "- Hz" << "'- '" + suffix;
    QTest::newRow("separator only") << ". Hz" << "'. '" + suffix;
    QTest::newRow("two signs") << "--1 Hz" << "'--1 '" + suffix;
    QTest::newRow("nan is no number") << "nan Hz" << "'nan '" + suffix;
    QTest::newRow("inf is no number") << "inf Hz" << "'inf '" + suffix;
    QTest::newRow("too large for a double") << "1e400 Hz" << "'1e400 '" + suffix;
    QTest::newRow("empty cell with GHz appended") << " GHz" << "' '" + suffix;
}

void TestEngValue::parseValueFails()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    try {
        ParseValue(text);
        QFAIL("no conversion error");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), message);
    }
}

void TestEngValue::parseValueOverflow_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("decibels") << "4000 dB";
    QTest::newRow("tera") << "1e300 THz";
}

void TestEngValue::parseValueOverflow()
{
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(EMathError, ParseValue(text));
}

void TestEngValue::formatValue_data()
{
    QTest::addColumn<int>("digits");
    QTest::addColumn<unsigned>("options");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    const unsigned none = 0;
    const unsigned prefixHz = fvPrefix | fvHz;
    const QString micro = QStringLiteral("\u00B5");

    // The worked examples.
    QTest::newRow("400 MHz, 2 decimals") << 2 << prefixHz << 4e8 << "400.00 MHz";
    QTest::newRow("400 MHz, 0 decimals") << 0 << prefixHz << 4e8 << "400 MHz";
    QTest::newRow("1.5 GHz") << 2 << prefixHz << 1.5e9 << "1.50 GHz";
    QTest::newRow("negative kHz") << 2 << prefixHz << -2.5e3 << "-2.50 kHz";
    QTest::newRow("999 has no blank") << 2 << prefixHz << 999.0 << "999.00Hz";
    QTest::newRow("999.5 steps up") << 2 << prefixHz << 999.5 << "1.00 kHz";
    QTest::newRow("0.5 Hz") << 2 << prefixHz << 0.5 << "500.00 mHz";
    QTest::newRow("zero stops at pico") << 2 << prefixHz << 0.0 << "0.00 pHz";
    QTest::newRow("dB") << 2 << unsigned(fvDb) << 11.0 << "11.00 dB";
    QTest::newRow("dBm") << 3 << unsigned(fvDbm) << -75.55 << "-75.550 dBm";
    QTest::newRow("to dB") << 2 << unsigned(fvToDb | fvDb) << 3.5645 << "5.52 dB";
    QTest::newRow("from dB, trailing blank") << 2 << unsigned(fvFromDb) << 11.0 << "12.59 ";
    QTest::newRow("bare, 6 decimals") << 6 << none << -75.55 << "-75.550000";

    // Rounding once from the exact binary value, halves away from zero.
    QTest::newRow("exact half up") << 2 << none << 0.125 << "0.13";
    QTest::newRow("exact half, negative") << 2 << none << -0.125 << "-0.13";
    QTest::newRow("1.005 lies below the half") << 2 << none << 1.005 << "1.00";
    QTest::newRow("2.675 lies below the half") << 2 << none << 2.675 << "2.67";
    QTest::newRow("-75.55 lies below the half") << 1 << unsigned(fvDbm) << -75.55 << "-75.5 dBm";
    QTest::newRow("0.005 lies above the half") << 2 << none << 0.005 << "0.01";
    QTest::newRow("half to 1, not to even") << 0 << none << 0.5 << "1";
    QTest::newRow("2.5 to 3, not to even") << 0 << none << 2.5 << "3";
    QTest::newRow("-0.5 away from zero") << 0 << none << -0.5 << "-1";
    QTest::newRow("0.25 to one decimal") << 1 << none << 0.25 << "0.3";
    QTest::newRow("5e-7 lies below the half") << 6 << none << 5e-7 << "0.000000";
    QTest::newRow("just above 5e-7") << 6 << none << std::nextafter(5e-7, 1.0) << "0.000001";
    QTest::newRow("carry through nines") << 1 << none << 9.96 << "10.0";
    QTest::newRow("negative rounds to zero, no sign") << 2 << none << -0.001 << "0.00";
    QTest::newRow("negative zero") << 2 << none << -0.0 << "0.00";
    QTest::newRow("tiny") << 6 << none << 1e-7 << "0.000000";

    // Nine significant digits: places beyond are zeros.
    QTest::newRow("ninth digit cut") << 6 << none << 1234.56789012 << "1234.567890";
    QTest::newRow("nine integer digits") << 2 << unsigned(fvHz) << 433333333.333333 << "433333333.00 Hz";
    QTest::newRow("ninth digit rounds") << 2 << none << 123456789.5 << "123456790.00";
    QTest::newRow("fraction cut at nine") << 18 << none << 1.0 / 3 << "0.333333333000000000";
    QTest::newRow("0.1 exact expansion hidden") << 18 << none << 0.1 << "0.100000000000000000";
    QTest::newRow("small fraction keeps nine") << 15 << none << 0.000123456789012 << "0.000123456789000";
    QTest::newRow("decimals clamped to 18") << 25 << none << 1.0 << "1.000000000000000000";
    QTest::newRow("negative decimals clamped to 0") << -3 << none << 1.5 << "2";

    // Scientific form beyond nine integer digits.
    QTest::newRow("1e9") << 2 << none << 1e9 << "1E09";
    QTest::newRow("1.5e9 with Hz") << 2 << unsigned(fvHz) << 1.5e9 << "1.5E09 Hz";
    QTest::newRow("2.5e10") << 2 << none << 2.5e10 << "2.5E10";
    QTest::newRow("negative") << 2 << none << -1.5e9 << "-1.5E09";
    QTest::newRow("rounding up to ten digits") << 2 << none << 999999999.5 << "1E09";
    QTest::newRow("just below stays fixed") << 2 << none << 999999999.4 << "999999999.00";
    QTest::newRow("nine digits in all") << 2 << none << 1234567890123.0 << "1.23456789E12";
    QTest::newRow("exponent, 0 decimals") << 0 << none << 1e9 << "1E9";
    QTest::newRow("exponent, 1 decimal") << 1 << none << 1e9 << "1E9";
    QTest::newRow("exponent, 3 decimals") << 3 << none << 1e9 << "1E009";
    QTest::newRow("exponent, 4 decimals") << 4 << none << 1e9 << "1E0009";
    QTest::newRow("exponent, 5 decimals") << 5 << none << 1e9 << "1E9";
    QTest::newRow("largest double") << 2 << none << std::numeric_limits<double>::max() << "1.79769313E308";

    // The prefix loop.
    QTest::newRow("step stops at tera") << 2 << prefixHz << 5e15 << "5000.00 THz";
    QTest::newRow("step stops at pico") << 2 << prefixHz << 1e-15 << "0.00 pHz";
    QTest::newRow("998.996 rounds to 999 without a step") << 2 << prefixHz << 998.996 << "999.00Hz";
    QTest::newRow("999.004 steps up") << 2 << prefixHz << 999.004 << "1.00 kHz";
    QTest::newRow("1000 steps up") << 2 << prefixHz << 1000.0 << "1.00 kHz";
    QTest::newRow("milli") << 2 << prefixHz << 0.001 << "1.00 mHz";
    QTest::newRow("micro") << 2 << prefixHz << 0.0009 << "900.00 " + micro + "Hz";
    QTest::newRow("nano") << 1 << prefixHz << 2.5e-9 << "2.5 nHz";
    QTest::newRow("negative milli") << 2 << prefixHz << -0.5 << "-500.00 mHz";
    QTest::newRow("one hertz") << 2 << prefixHz << 1.0 << "1.00Hz";
    QTest::newRow("marker frequency") << 3 << prefixHz << 433333333.333333 << "433.333 MHz";
    QTest::newRow("999.5 with 0 decimals") << 0 << prefixHz << 999.5 << "1 kHz";
    QTest::newRow("prefix without unit") << 2 << unsigned(fvPrefix) << 4e8 << "400.00 M";

    // The last unit bit of dB, dBm, Hz, K, T decides.
    QTest::newRow("kelvin") << 2 << unsigned(fvK) << 290.0 << "290.00 K";
    QTest::newRow("T") << 2 << unsigned(fvT) << 1.0 << "1.00 T";
    QTest::newRow("Hz after dB") << 2 << unsigned(fvDb | fvHz) << 1.0 << "1.00 Hz";
    QTest::newRow("K after Hz") << 2 << unsigned(fvHz | fvK) << 1.0 << "1.00 K";
    QTest::newRow("dBm after dB") << 2 << unsigned(fvDb | fvDbm) << 1.0 << "1.00 dBm";
    QTest::newRow("T after all") << 2 << unsigned(fvDb | fvDbm | fvHz | fvK | fvT) << 1.0 << "1.00 T";

    // Decibel conversions.
    QTest::newRow("to dB of 0 passes") << 2 << unsigned(fvToDb | fvDb) << 0.0 << "0.00 dB";
    QTest::newRow("to dB of negative passes") << 2 << unsigned(fvToDb | fvDb) << -3.0 << "-3.00 dB";
    QTest::newRow("to dB without unit") << 2 << unsigned(fvToDb) << 100.0 << "20.00 ";
    QTest::newRow("from dB then to dB") << 2 << unsigned(fvFromDb | fvToDb | fvDb) << 10.0 << "10.00 dB";
    QTest::newRow("gain factor") << 2 << unsigned(fvFromDb) << 21.14 << "130.02 ";

    // Values that are not finite.
    QTest::newRow("NaN") << 2 << none << kNaN << "NAN";
    QTest::newRow("inf with Hz") << 2 << unsigned(fvHz) << kInf << "INF Hz";
    QTest::newRow("-inf") << 2 << none << -kInf << "-INF";
    QTest::newRow("inf with prefix") << 2 << prefixHz << kInf << "INF Hz";
    QTest::newRow("from dB overflows") << 2 << unsigned(fvFromDb) << 4000.0 << "INF ";
    QTest::newRow("smallest denormal") << 18 << none << std::numeric_limits<double>::denorm_min()
                                       << "0.000000000000000000";
}

void TestEngValue::formatValue()
{
    QFETCH(int, digits);
    QFETCH(unsigned, options);
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(FormatValue(digits, options, value), expected);
}

void TestEngValue::formatValueRoundTrip_data()
{
    QTest::addColumn<int>("digits");
    QTest::addColumn<unsigned>("options");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("readBack");

    QTest::newRow("MHz") << 2 << unsigned(fvPrefix | fvHz) << 4e8 << 4e8;
    QTest::newRow("ENR") << 2 << unsigned(fvToDb | fvDb) << 3.5645 << std::pow(10.0, 0.552);
    QTest::newRow("level") << 3 << unsigned(fvDbm) << -75.55 << std::pow(10.0, -7.555);
    QTest::newRow("micro") << 2 << unsigned(fvPrefix | fvHz) << 2.5e-6 << 2.5e-6;
}

void TestEngValue::formatValueRoundTrip()
{
    QFETCH(int, digits);
    QFETCH(unsigned, options);
    QFETCH(double, value);
    QFETCH(double, readBack);
    const QString text = FormatValue(digits, options, value);
    QVERIFY2(Near(ParseValue(text), readBack, 1e-9), qPrintable(text));
}

void TestEngValue::shortestDecimal_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("400 MHz") << 4e8 << "400000000";
    QTest::newRow("433333333") << 433333333.0 << "433333333";
    QTest::newRow("level") << -70.25 << "-70.25";
    QTest::newRow("no exponent for small") << 0.0025 << "0.0025";
    QTest::newRow("fifteen digits hide the binary error") << 0.1 + 0.2 << "0.3";
    QTest::newRow("fraction of a step") << 4e8 + 1e8 / 3 << "433333333.333333";
    QTest::newRow("one third") << 1.0 / 3 << "0.333333333333333";
    QTest::newRow("large") << 1e20 << "100000000000000000000";
    QTest::newRow("large, rounded to fifteen") << 123456789012345678.0 << "123456789012346000";
    QTest::newRow("very small") << 1e-20 << "0.00000000000000000001";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("integer with fraction") << 12.5 << "12.5";
    QTest::newRow("NaN") << kNaN << "NAN";
    QTest::newRow("-inf") << -kInf << "-INF";
}

void TestEngValue::shortestDecimal()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    const QString text = ShortestDecimal(value);
    QCOMPARE(text, expected);
    if (std::isfinite(value))
        QVERIFY(Near(ParseValue(text + " Hz"), value, 1e-14));
}

void TestEngValue::readReplyNumber_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain") << "-75.55" << -75.55;
    QTest::newRow("exponent") << "-7.555E+01" << -75.55;
    QTest::newRow("blanks and line end") << "  -75.55 \r\n" << -75.55;
    QTest::newRow("integer") << "1" << 1.0;
    QTest::newRow("plus sign") << "+2.5e-3" << 0.0025;
    QTest::newRow("sweep time") << "2.5000000E-03" << 0.0025;
}

void TestEngValue::readReplyNumber()
{
    QFETCH(QString, reply);
    QFETCH(double, expected);
    QCOMPARE(ReadReplyNumber(reply), expected);
}

void TestEngValue::readReplyNumberFails_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("message");

    const QString suffix = QStringLiteral(" ist kein g\u00FCltiger Gleitkommawert");
    QTest::newRow("comma") << "-75,55" << "'-75,55'" + suffix;
    QTest::newRow("empty") << "" << "''" + suffix;
    QTest::newRow("text") << "FSP,1164" << "'FSP,1164'" + suffix;
    QTest::newRow("two numbers") << "1 2" << "'1 2'" + suffix;
    QTest::newRow("overflow") << "1E999" << "'1E999'" + suffix;
}

void TestEngValue::readReplyNumberFails()
{
    QFETCH(QString, reply);
    QFETCH(QString, message);
    try {
        ReadReplyNumber(reply);
        QFAIL("no conversion error");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), message);
    }
}

void TestEngValue::leadingInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("number") << "7" << 7;
    QTest::newRow("no port") << "keiner" << 0;
    QTest::newRow("blanks and trailing letters") << " 7x" << 7;
    QTest::newRow("negative") << "-3" << -3;
    QTest::newRow("plus") << "+12" << 12;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("letters first") << "COM3" << 0;
    QTest::newRow("too large") << "99999999999" << 0;
    QTest::newRow("largest") << "2147483647" << INT_MAX;
    QTest::newRow("smallest") << "-2147483648" << INT_MIN;
}

void TestEngValue::leadingInteger()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(LeadingInteger(text), expected);
}

QTEST_GUILESS_MAIN(TestEngValue)
#include "tst_engvalue.moc"
