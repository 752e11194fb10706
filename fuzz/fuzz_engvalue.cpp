// Engineering values: ParseValue either accepts a text or fails with a conversion or
// arithmetic error, and whatever it accepts, FormatValue writes in every option set without
// failing. A text written with a blank between number and unit reads back to the number it was
// written from, within the rounding of the written digits.
#include "base/engvalue.h"
#include "base/errors.h"
#include "fuzz/fuzz_common.h"

#include <cmath>

namespace {

/// The factor of the prefix letter ParseValue reads after the blank; 1 for none.
double PrefixFactor(QChar letter)
{
    switch (letter.unicode()) {
    case u'p': return 1e-12;
    case u'n': return 1e-9;
    case u'\u00B5': return 1e-6;
    case u'm': return 1e-3;
    case u'k': return 1e3;
    case u'M': return 1e6;
    case u'G': return 1e9;
    case u'T': return 1e12;
    default: return 1;
    }
}

/// Reads back a text written for a plain unit ("Hz", "K") and compares it with `value`: the
/// written number is rounded at `digits` decimals of the scaled number, or at nine
/// significant digits.
void CheckReadBack(const QString &text, int digits, double value)
{
    // Three characters or fewer ("5 K") read as 0 by design.
    const qsizetype blank = text.indexOf(u' ');
    if (blank < 0 || text.size() <= 3 || text.startsWith(u"NAN") || text.startsWith(u"INF") || text.startsWith(u"-INF"))
        return;
    double back = 0;
    try {
        back = ParseValue(text);
    } catch (const AppError &e) {
        std::fprintf(stderr, "'%s' from %.17g: %s\n", qPrintable(text), value, e.what());
        FUZZ_CHECK(false, "a written value does not read back");
    }
    const double factor = blank + 1 < text.size() ? PrefixFactor(text[blank + 1]) : 1;
    const double tolerance = (0.5 * std::pow(10.0, -digits) * factor + std::fabs(value) * 1e-8) * 1.001;
    if (!(std::fabs(back - value) <= tolerance)) {
        std::fprintf(stderr, "'%s' from %.17g reads back as %.17g\n", qPrintable(text), value, back);
        FUZZ_CHECK(false, "a written value reads back as another number");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int digits = in.byte() % 19;
    const FormatOptions options = in.byte();
    const QString text = QString::fromUtf8(in.rest());

    double value = 0;
    try {
        value = ParseValue(text);
    } catch (const EConvertError &) {
        return 0;
    } catch (const EMathError &) {
        return 0;
    }
    FUZZ_CHECK(std::isfinite(value), "ParseValue gave a number that is not finite");

    const QString any = FormatValue(digits, options, value);
    FUZZ_CHECK(!any.isEmpty(), "FormatValue wrote nothing");
    FUZZ_CHECK(!any.contains(u','), "FormatValue wrote a comma");

    for (const int d : {0, 1, 2, 3, 6, digits}) {
        CheckReadBack(FormatValue(d, fvHz, value), d, value);
        CheckReadBack(FormatValue(d, fvK, value), d, value);
        CheckReadBack(FormatValue(d, fvPrefix | fvHz, value), d, value);
    }
    return 0;
}
