#include "base/engvalue.h"

#include "base/errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr char16_t kMicro = u'\u00B5';
constexpr char16_t kDegree = u'\u00B0';

/// Exponent step -4..4 of the prefix loop to its letter; step 0 is never written.
constexpr char16_t kPrefixLetters[9] = {u'p', u'n', kMicro, u'm', u' ', u'k', u'M', u'G', u'T'};

/// Most significant digits the fixed-point form keeps; places beyond it are written as zeros.
constexpr int kSignificantDigits = 9;

enum class NumberStatus { Ok, NotANumber, OutOfRange };

/// Reads a plain decimal number: optional sign, digits with at most one decimal separator,
/// optional exponent. Separators accepted are "." and, with `allowComma`, ",". The text is
/// taken as it stands (no blanks). Never looks at the C or Qt locale.
NumberStatus ToDouble(QStringView s, bool allowComma, double &out)
{
    std::string ascii;
    ascii.reserve(size_t(s.size()));
    qsizetype i = 0;
    const qsizetype n = s.size();
    bool negative = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (negative)
        ascii.push_back('-');

    int mantissaDigits = 0;
    // Decimal place of the first non-zero mantissa digit, counted like an exponent
    // (1 for "5", 0 for "0.5", -1 for "0.05"); used to tell an overflow from an underflow.
    long long magnitude = 0;
    bool seenNonZero = false;
    bool seenSeparator = false;
    long long placeBeforeSeparator = 0;
    long long zerosAfterSeparator = 0;
    for (; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c >= u'0' && c <= u'9') {
            ++mantissaDigits;
            if (!seenSeparator) {
                if (seenNonZero || c != u'0')
                    ++placeBeforeSeparator;
            } else if (!seenNonZero && c == u'0') {
                ++zerosAfterSeparator;
            }
            if (c != u'0' && !seenNonZero) {
                seenNonZero = true;
            }
            ascii.push_back(char(c));
        } else if ((c == u'.' || (allowComma && c == u',')) && !seenSeparator) {
            seenSeparator = true;
            ascii.push_back('.');
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return NumberStatus::NotANumber;
    magnitude = placeBeforeSeparator > 0 ? placeBeforeSeparator : -zerosAfterSeparator;

    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        bool negativeExponent = false;
        if (i < n && (s[i] == u'+' || s[i] == u'-')) {
            negativeExponent = s[i] == u'-';
            ascii.push_back(char(s[i].unicode()));
            ++i;
        }
        long long exponent = 0;
        int exponentDigits = 0;
        for (; i < n && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            exponent = std::min(exponent * 10 + (s[i].unicode() - u'0'), 1000000LL);
            ascii.push_back(char(s[i].unicode()));
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return NumberStatus::NotANumber;
        magnitude += negativeExponent ? -exponent : exponent;
    }
    if (i != n)
        return NumberStatus::NotANumber;

    double value = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        if (!seenNonZero || magnitude <= 0) {
            // Too small for a double: it is zero for every purpose of this program.
            out = negative ? -0.0 : 0.0;
            return NumberStatus::Ok;
        }
        return NumberStatus::OutOfRange;
    }
    if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size())
        return NumberStatus::NotANumber;
    out = value;
    return NumberStatus::Ok;
}

/// The unit conversion may leave the doubles ("4000 dB"); that is an overflow, not a value.
double CheckedConversion(double value)
{
    if (!std::isfinite(value))
        throw EMathError(QStringLiteral("Floating point overflow"));
    return value;
}

/// A finite, non-negative value rounded for the fixed-point form: the kept digits d0 d1 ...
/// (no trailing zeros; empty for zero) stand for d0.d1... × 10^exponent.
struct RoundedDecimal
{
    std::string digits;
    int exponent = 0;
};

/// Rounds the exact binary value of `magnitude` once, at `decimals` places after the point but
/// at no more than nine significant digits, an exact half away from zero.
RoundedDecimal RoundForFixed(double magnitude, int decimals)
{
    RoundedDecimal r;
    if (magnitude == 0)
        return r;

    // 800 digits after the first hold the exact decimal expansion of every double (at most
    // 767 significant digits), so the digit after the rounding place is the true one and
    // not one that the conversion itself has rounded up.
    char buffer[832];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, 800);
    const char *end = result.ptr;
    const char *e = std::find(static_cast<const char *>(buffer), end, 'e');
    std::string exact;
    exact.reserve(801);
    for (const char *p = buffer; p != e; ++p) {
        if (*p != '.')
            exact.push_back(*p);
    }
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);

    // Digit i stands at the decimal place exponent - i; the last kept one at -decimals.
    const int keep = std::min(exponent + decimals + 1, kSignificantDigits);
    if (keep < 0)
        return r;  // below half a unit of the last place: zero
    const bool roundUp = exact[size_t(keep)] >= '5';
    std::string kept = exact.substr(0, size_t(keep));
    if (roundUp) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (kept[size_t(i)] == '9') {
                kept[size_t(i)] = '0';
            } else {
                ++kept[size_t(i)];
                break;
            }
        }
        if (i < 0) {
            // The carry ran through every kept digit (or nothing was kept): one unit of the
            // next place up.
            kept.insert(kept.begin(), '1');
            ++exponent;
        }
    }
    while (!kept.empty() && kept.back() == '0')
        kept.pop_back();
    if (kept.empty())
        return r;
    r.digits = std::move(kept);
    r.exponent = exponent;
    return r;
}

QString NonFiniteText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

/// The fixed-point form of a finite value, or the scientific form when more than nine digits
/// stand before the decimal point after rounding.
QString FixedPoint(double value, int decimals)
{
    const RoundedDecimal r = RoundForFixed(std::fabs(value), decimals);
    std::string text;
    // A value that rounds to zero is written without a sign.
    if (std::signbit(value) && !r.digits.empty())
        text.push_back('-');

    if (r.exponent >= kSignificantDigits) {
        text.push_back(r.digits[0]);
        if (r.digits.size() > 1) {
            text.push_back('.');
            text.append(r.digits, 1);
        }
        text.push_back('E');
        std::string exponent = std::to_string(r.exponent);
        const size_t width = decimals <= 4 ? size_t(decimals) : 0;
        if (exponent.size() < width)
            exponent.insert(0, width - exponent.size(), '0');
        text += exponent;
        return QString::fromLatin1(text);
    }

    auto digitAtPlace = [&r](int place) -> char {
        if (r.digits.empty())
            return '0';
        const int index = r.exponent - place;
        return index >= 0 && index < int(r.digits.size()) ? r.digits[size_t(index)] : '0';
    };
    if (r.digits.empty() || r.exponent < 0) {
        text.push_back('0');
    } else {
        for (int place = r.exponent; place >= 0; --place)
            text.push_back(digitAtPlace(place));
    }
    if (decimals > 0) {
        text.push_back('.');
        for (int place = -1; place >= -decimals; --place)
            text.push_back(digitAtPlace(place));
    }
    return QString::fromLatin1(text);
}

}  // namespace

QString ConvertErrorText(const QString &numberPart)
{
    return QStringLiteral("'%1' ist kein gültiger Gleitkommawert").arg(numberPart);
}

double ParseValue(const QString &text)
{
    if (text.size() <= 3)
        return 0;

    const qsizetype blank = text.indexOf(u' ');
    // Without a blank the number part is empty and the conversion fails on it.
    const QString numberPart = blank < 0 ? QString() : text.left(blank + 1);
    double x = 0;
    const NumberStatus status = ToDouble(QStringView(numberPart).chopped(blank < 0 ? 0 : 1),
                                         true, x);
    if (status != NumberStatus::Ok)
        throw EConvertError(ConvertErrorText(numberPart));

    const char16_t unit = blank + 1 < text.size() && blank >= 0 ? text[blank + 1].unicode() : 0;
    switch (unit) {
    case u'p':
        return x * 1e-12;
    case u'n':
        return x * 1e-9;
    case kMicro:
        return x * 1e-6;
    case u'm':
        return x * 1e-3;
    case u'k':
        return CheckedConversion(x * 1e3);
    case u'M':
        return CheckedConversion(x * 1e6);
    case u'G':
        return CheckedConversion(x * 1e9);
    case u'T':
        return CheckedConversion(x * 1e12);
    case u'd':
        return CheckedConversion(std::pow(10.0, x / 10.0));
    case kDegree:
        return x + 273.15;
    default:
        return x;
    }
}

QString FormatValue(int digits, FormatOptions options, double value)
{
    digits = std::clamp(digits, 0, 18);
    if (options & fvFromDb)
        value = std::pow(10.0, value / 10.0);
    if ((options & fvToDb) && value > 0)
        value = 10.0 * std::log10(value);

    QString text;
    if (!std::isfinite(value)) {
        text = NonFiniteText(value);
        if (options != 0)
            text += u' ';
    } else if (options & fvPrefix) {
        const bool negative = value < 0;
        double magnitude = std::fabs(value);
        int step = 0;
        if (magnitude >= 1) {
            // 999 rather than 1000: 999.5 Hz is written as 1.00 kHz, not as 1000 with two
            // decimals that would not fit the scale.
            while (magnitude > 999 && step < 4) {
                magnitude /= 1000;
                ++step;
            }
        } else {
            while (magnitude < 1 && step > -4) {
                magnitude *= 1000;
                --step;
            }
        }
        if (negative)
            text += u'-';
        text += FixedPoint(magnitude, digits);
        if (step != 0) {
            text += u' ';
            text += QChar(kPrefixLetters[step + 4]);
        }
    } else if (options == 0) {
        text = FixedPoint(value, digits);
    } else {
        text = FixedPoint(value, digits) + u' ';
    }

    // The last of these bits that is set names the unit.
    if (options & fvT)
        text += QStringLiteral("T");
    else if (options & fvK)
        text += QStringLiteral("K");
    else if (options & fvHz)
        text += QStringLiteral("Hz");
    else if (options & fvDbm)
        text += QStringLiteral("dBm");
    else if (options & fvDb)
        text += QStringLiteral("dB");
    return text;
}

QString ShortestDecimal(double value)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    if (value == 0)
        return QStringLiteral("0");

    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, 14);
    const char *end = result.ptr;
    const char *e = std::find(static_cast<const char *>(buffer), end, 'e');
    std::string digits;
    const char *p = buffer;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    for (; p != e; ++p) {
        if (*p != '.')
            digits.push_back(*p);
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);

    std::string text;
    if (negative)
        text.push_back('-');
    const int count = int(digits.size());
    if (exponent < 0) {
        text += "0.";
        text.append(size_t(-exponent - 1), '0');
        text += digits;
    } else if (exponent + 1 >= count) {
        text += digits;
        text.append(size_t(exponent + 1 - count), '0');
    } else {
        text.append(digits, 0, size_t(exponent + 1));
        text.push_back('.');
        text.append(digits, size_t(exponent + 1));
    }
    return QString::fromLatin1(text);
}

double ReadReplyNumber(const QString &reply)
{
    const QString trimmed = reply.trimmed();
    double value = 0;
    if (ToDouble(trimmed, false, value) != NumberStatus::Ok)
        throw EConvertError(ConvertErrorText(trimmed));
    return value;
}

int LeadingInteger(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 value = 0;
    bool anyDigit = false;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        anyDigit = true;
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return 0;
    }
    if (!anyDigit)
        return 0;
    value = negative ? -value : value;
    if (value > std::numeric_limits<int>::max())
        return 0;
    return int(value);
}
