// Calibration files: whatever the bytes, decoding either refuses them with a reason, or gives a
// calibration whose levels match its plan, that encodes and decodes back to the same content.
#include "fuzz/fuzz_common.h"
#include "run/calibration_file.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const CalibrationDecodeResult r = DecodeCalibrationFile(FuzzBytes(data, size));
    if (!r.calibration) {
        FUZZ_CHECK(!r.error.isEmpty(), "refused without a reason");
        return 0;
    }
    const CalibrationFile &c = *r.calibration;
    FUZZ_CHECK(c.state.plan.Steps >= 0 && c.state.plan.Steps <= kMaxStepSlot, "Steps out of range");
    FUZZ_CHECK(c.steps.size() == c.state.plan.Steps + 1, "levels and plan disagree");
    FUZZ_CHECK(c.state.endedAt.isValid() && c.roomTemperatureK > 0, "a calibration without time or temperature");
    for (const CalibrationStep &s : c.steps)
        FUZZ_CHECK(std::isfinite(s.n2offDbm) && std::isfinite(s.n2onDbm), "a level that is not finite");
    MeasurementRecord record;
    ApplyCalibrationLevels(c, record);
    const CalibrationDecodeResult again = DecodeCalibrationFile(EncodeCalibrationFile(c));
    FUZZ_CHECK(again.calibration.has_value(), "an encoded calibration is refused");
    FUZZ_CHECK(EncodeCalibrationFile(*again.calibration) == EncodeCalibrationFile(c), "not the same calibration");
    return 0;
}
