// Measurement files (*.mea): whatever the bytes, decoding either refuses them or gives a record
// that encodes back to the same bytes, reserved bytes and the bytes after the noise-source text
// aside. Inputs of another size are also tried padded or cut to 5040 bytes, so that the fuzzer
// reaches the fields without first having to find the size.
#include "fuzz/fuzz_common.h"
#include "results/measurement_file.h"

namespace {

/// True for the bytes the decoder does not read: the reserved ranges and the text slot beyond
/// the text's length.
bool Ignored(qsizetype offset, int textLength)
{
    const int textEnd = MeaOffset::NoiseSourceText + 1 + textLength;
    return (offset >= 4848 && offset < 4888) || (offset >= 4912 && offset < 4920)
           || (offset >= 4952 && offset < 4960) || (offset >= 4988 && offset < 5004)
           || (offset >= textEnd && offset < kMeasurementFileSize);
}

void Check(const QByteArray &bytes)
{
    const std::optional<MeasurementRecord> record = DecodeMeasurementRecord(bytes);
    if (!record)
        return;
    FUZZ_CHECK(bytes.size() == kMeasurementFileSize, "a record from bytes of the wrong size");
    const MeasurementRecord &r = *record;
    FUZZ_CHECK(r.SweepPlan.Steps >= 0 && r.SweepPlan.Steps <= kMaxStepSlot, "Steps out of range");
    FUZZ_CHECK(r.MeasurementHeader.StepsCount >= 0 && r.MeasurementHeader.StepsCount <= kMaxStepSlot,
               "StepsCount out of range");
    const int textLength = int(r.MeasurementHeader.NoiseSourceText.size());
    FUZZ_CHECK(textLength <= kMaxNoiseSourceText, "noise-source text too long");

    const QByteArray encoded = EncodeMeasurementRecord(r);
    FUZZ_CHECK(encoded.size() == kMeasurementFileSize, "encoded record of the wrong size");
    for (qsizetype i = 0; i < kMeasurementFileSize; ++i) {
        if (!Ignored(i, textLength))
            FUZZ_CHECK(encoded[i] == bytes[i], "the record does not encode back to its bytes");
    }
    FUZZ_CHECK(DecodeMeasurementRecord(encoded).has_value(), "an encoded record is refused");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = FuzzBytes(data, size);
    Check(bytes);
    if (bytes.size() != kMeasurementFileSize) {
        QByteArray sized = bytes.left(kMeasurementFileSize);
        sized.resize(kMeasurementFileSize, '\0');
        Check(sized);
    }
    return 0;
}
