// The ENR lookup over arbitrary table rows: it gives a finite, positive ratio or fails with a
// conversion or arithmetic error that names the row; nothing else. The rows come from the
// input read as a table file, as a loaded *.tab gives them.
#include "base/errors.h"
#include "fuzz/fuzz_common.h"
#include "noise/enr_files.h"
#include "noise/enr_lookup.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    // Frequencies of a sweep: finite, and mostly within what an analyser covers.
    double frequencyHz = in.number<double>();
    if (!std::isfinite(frequencyHz))
        frequencyHz = 0;
    if (in.byte() & 1)
        frequencyHz = std::fmod(std::fabs(frequencyHz), 40e9);
    const int enrMode = in.byte() % 3;
    const QString enrAllText = FromWindows1252(in.bytes(in.byte() % 33));
    const EnrRows rows = ParseEnrTab(in.rest());

    double enr = 0;
    try {
        enr = LookupEnr(frequencyHz, enrMode, enrAllText, rows);
    } catch (const EConvertError &) {
        return 0;
    } catch (const EMathError &) {
        return 0;
    }
    FUZZ_CHECK(std::isfinite(enr), "the ENR is not a finite number");
    if (enrMode != 0)
        FUZZ_CHECK(enr >= 0, "a table gave a negative ENR ratio");
    return 0;
}
