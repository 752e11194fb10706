// ENR table files (*.tab): any bytes give 20 rows, every cell within the 32 characters a cell
// keeps, and the rows written as a table file read back unchanged.
#include "fuzz/fuzz_common.h"
#include "noise/enr_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const EnrRows rows = ParseEnrTab(FuzzBytes(data, size));
    for (const EnrRow &row : rows) {
        FUZZ_CHECK(row.FrequencyText.size() <= kEnrCellLimit, "frequency cell beyond 32 characters");
        FUZZ_CHECK(row.EnrText.size() <= kEnrCellLimit, "ENR cell beyond 32 characters");
    }
    const QByteArray written = FormatEnrTab(rows);
    FUZZ_CHECK(ParseEnrTab(written) == rows, "a written table does not read back");
    FUZZ_CHECK(FormatEnrTab(ParseEnrTab(written)) == written, "a written table changes when rewritten");
    return 0;
}
