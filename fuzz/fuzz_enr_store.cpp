// The ENR store (default.tbl): any bytes are either refused with a file error or give a store
// that encodes to 3156 bytes and decodes again to the same store. Inputs are also tried padded
// to the store's size, so that the fuzzer reaches the texts at once.
#include "base/errors.h"
#include "fuzz/fuzz_common.h"
#include "noise/enr_files.h"

namespace {

void Check(const QByteArray &bytes)
{
    EnrTableStore store;
    try {
        store = DecodeEnrStore(bytes);
    } catch (const EFileError &) {
        return;  // refused, as a damaged default.tbl is at start-up
    }
    FUZZ_CHECK(store.ShownTable >= EnrAll && store.ShownTable <= EnrTable2, "ShownTable out of range");
    for (int number = 1; number <= 2; ++number) {
        const EnrTable &table = store.Table(number);
        FUZZ_CHECK(table.FileName.size() <= kEnrFileNameLimit, "file name beyond 255 characters");
        for (const EnrRow &row : table.Rows) {
            FUZZ_CHECK(row.FrequencyText.size() <= kEnrCellLimit, "frequency cell beyond its slot");
            FUZZ_CHECK(row.EnrText.size() <= kEnrCellLimit, "ENR cell beyond its slot");
        }
    }
    const QByteArray image = EncodeEnrStore(store);
    FUZZ_CHECK(image.size() == kEnrStoreSize, "store image of the wrong size");
    FUZZ_CHECK(DecodeEnrStore(image) == store, "a written store does not read back");
    FUZZ_CHECK(EncodeEnrStore(DecodeEnrStore(image)) == image, "a written store changes when rewritten");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = FuzzBytes(data, size);
    Check(bytes);
    if (bytes.size() < kEnrStoreSize) {
        QByteArray padded = bytes;
        padded.resize(kEnrStoreSize, '\0');
        Check(padded);
    }
    return 0;
}
