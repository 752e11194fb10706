// Limits files: whatever the bytes, reading either refuses them naming a line that exists, or
// gives sorted points without repeats that write out and read back to the same limits, and
// every limit looked up from them is a finite number.
#include "app/core/entry_rules.h"
#include "fuzz/fuzz_common.h"
#include "noise/limits.h"

#include <cmath>

namespace {

double ReadHzOrNumber(const QString &text)
{
    // Written-out limits carry " Hz": read those as the number they are.
    if (text.endsWith(QLatin1String(" Hz"))) {
        bool ok = false;
        const double hz = text.chopped(3).toDouble(&ok);
        return ok ? hz : 0;
    }
    return ReadTypedFrequencyHz(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = FuzzBytes(data, size);
    const LimitsParseResult r = ParseLimits(bytes, ReadTypedFrequencyHz);
    if (!r.limits) {
        FUZZ_CHECK(r.errorLine >= 1 && r.errorLine <= bytes.count('\n') + 1, "an error on a line that does not exist");
        FUZZ_CHECK(r.error.startsWith(QStringLiteral("line %1: ").arg(r.errorLine)), "an error without its line");
        return 0;
    }
    for (const QList<LimitPoint> &points : r.limits->points) {
        for (qsizetype i = 0; i < points.size(); ++i) {
            FUZZ_CHECK(std::isfinite(points[i].valueDb) && points[i].frequencyHz > 0, "a point out of range");
            FUZZ_CHECK(i == 0 || points[i - 1].frequencyHz < points[i].frequencyHz, "points not sorted");
            for (const double hz : {points[i].frequencyHz, points[i].frequencyHz * 1.0001}) {
                for (int k = 0; k < kLimitKinds; ++k) {
                    const std::optional<double> limit = LimitAt(*r.limits, LimitKind(k), hz);
                    FUZZ_CHECK(!limit || std::isfinite(*limit), "a limit that is not finite");
                }
            }
        }
    }
    const LimitsParseResult again = ParseLimits(FormatLimits(*r.limits), ReadHzOrNumber);
    FUZZ_CHECK(again.limits && *again.limits == *r.limits, "written limits do not read back");
    return 0;
}
