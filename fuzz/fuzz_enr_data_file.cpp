// ENR data files as noise sources ship them: any bytes are a file that is read or refused with
// a line number; a file that is read holds points rising in frequency, every number finite,
// and its table fits the 20 rows and the 32-character cells, or is refused with its count.
#include "base/errors.h"
#include "fuzz/fuzz_common.h"
#include "noise/bench_files.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    EnrDataFile file;
    try {
        file = ParseEnrDataFile(FuzzBytes(data, size));
    } catch (const EConvertError &e) {
        FUZZ_CHECK(!e.message().isEmpty(), "a refusal without a reason");
        return 0;
    }
    FUZZ_CHECK(!file.points.isEmpty(), "a file without points was read");
    for (qsizetype i = 0; i < file.points.size(); ++i) {
        const EnrFilePoint &p = file.points[i];
        FUZZ_CHECK(std::isfinite(p.frequencyHz) && std::isfinite(p.enrDb), "a number that is not finite");
        FUZZ_CHECK(!p.uncertaintyDb || (std::isfinite(*p.uncertaintyDb) && *p.uncertaintyDb >= 0), "a bad uncertainty");
        FUZZ_CHECK(i == 0 || p.frequencyHz > file.points[i - 1].frequencyHz, "frequencies do not rise");
    }
    try {
        const EnrFileTable table = EnrFileTableOf(file);
        FUZZ_CHECK(file.points.size() <= kEnrRows, "more points than rows were taken");
        for (const EnrRow &row : table.rows)
            FUZZ_CHECK(row.FrequencyText.size() <= 32 && row.EnrText.size() <= 32, "a cell beyond 32 characters");
        FUZZ_CHECK(table.noiseSourceText.size() <= 32, "a noise-source text beyond 32 characters");
    } catch (const EConvertError &) {
        FUZZ_CHECK(file.points.size() > kEnrRows, "a table that fits was refused");
    }
    return 0;
}
