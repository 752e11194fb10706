#pragma once
// Engineering values: a physical value is shown as "number blank unit" ("400 MHz", "5.52 dB",
// "21 °C") and held as a double in its base unit (Hz, s, K, mW, or a linear power ratio for a
// quantity given in dB). ParseValue reads such text, FormatValue writes it.

#include <QString>

/// Option bits of FormatValue.
enum FormatOption : unsigned {
    fvHz = 1,
    fvDb = 2,
    fvT = 4,
    fvK = 8,
    fvDbm = 16,
    fvToDb = 32,     ///< value > 0 becomes 10·log10(value) before formatting
    fvFromDb = 64,   ///< value becomes 10^(value/10) before formatting
    fvPrefix = 128,  ///< scale by powers of 1000 and write an SI prefix letter
};
using FormatOptions = unsigned;

/// Text to number in its base unit. Text of three characters or fewer gives 0. The number part
/// ends at the first blank; the character after that blank is the unit letter (p n µ m k M G T
/// scale, d converts decibels to a linear ratio, ° converts Celsius to kelvin, anything else
/// leaves the number). "." and "," are both decimal separators whatever the locale.
/// Throws EConvertError "'<number part>' ist kein gültiger Gleitkommawert" (the number part
/// includes its blank; it is empty when the text has no blank). A number too large for a double
/// is a conversion error, one too small reads as 0; a unit conversion that overflows ("4000 dB")
/// throws EMathError "Floating point overflow".
double ParseValue(const QString &text);

/// Number to text with `digits` decimals (0 to 18). Never throws. The decimal point is always ".".
/// The number is rounded once from the exact binary value, at `digits` decimals but at no more
/// than nine significant digits, an exact half away from zero; more than nine digits before the
/// point give the scientific form ("1.5E09"). A value that is not finite is written as "NAN",
/// "INF" or "-INF", followed by a blank and the unit when any option is set.
QString FormatValue(int digits, FormatOptions options, double value);

/// The conversion error text for a number part that is not a number.
QString ConvertErrorText(const QString &numberPart);

/// Shortest decimal text of up to 15 significant digits, no exponent, no grouping, "." before
/// any fraction: 400 MHz gives "400000000". Used for frequencies sent to the analyser and for
/// levels written back as typed text.
QString ShortestDecimal(double value);

/// A reply of the analyser read as a number: "-75.55", "-7.555E+01", blanks around ignored,
/// "." as decimal point whatever the locale. Throws EConvertError when it is not a number.
double ReadReplyNumber(const QString &reply);

/// A port number read leniently from the text of the port box: leading blanks and a sign, then
/// digits up to the first other character (" 7x" gives 7); 0 when the text does not begin with
/// a number ("keiner") or the number does not fit 32 bits.
int LeadingInteger(const QString &text);
