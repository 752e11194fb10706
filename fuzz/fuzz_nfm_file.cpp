// Complete measurement files: any bytes are loaded or refused with a reason; a loaded
// measurement stays inside the plan's bounds and, written again and read back, is the same file.
#include "fuzz/fuzz_common.h"
#include "results/nfm_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const NfmDecodeResult d = DecodeCompleteMeasurement(FuzzBytes(data, size));
    if (d.status != NfmStatus::Loaded) {
        FUZZ_CHECK(!d.message.isEmpty(), "a refusal without a reason");
        return 0;
    }
    const CompleteMeasurement &m = d.measurement;
    FUZZ_CHECK(m.record.SweepPlan.Steps >= 0 && m.record.SweepPlan.Steps <= kMaxStepSlot, "steps out of bounds");
    FUZZ_CHECK(m.record.MeasurementHeader.NoiseSourceText.size() <= 32, "a noise-source text beyond 32 bytes");
    FUZZ_CHECK(m.calibrationIfsHz.size() <= kMaxStepSlot + 1, "more IFs than steps");
    const QByteArray written = EncodeCompleteMeasurement(m);
    const NfmDecodeResult again = DecodeCompleteMeasurement(written);
    FUZZ_CHECK(again.status == NfmStatus::Loaded, "a written file does not load");
    FUZZ_CHECK(EncodeCompleteMeasurement(again.measurement) == written, "a written file changes when rewritten");
    return 0;
}
