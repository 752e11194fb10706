#include "results/stored_measurement.h"

#include "results/measurement_file.h"

StoredMeasurement StoredMeasurementOf(const CompleteMeasurement &m)
{
    return {kStoredCompleteMeasurement, EncodeCompleteMeasurement(m)};
}

StoredMeasurementRead ReadStoredMeasurement(const StoredMeasurement &stored, qint64 id)
{
    StoredMeasurementRead read;
    if (stored.format == kStoredCompleteMeasurement) {
        const NfmDecodeResult decoded = DecodeCompleteMeasurement(stored.content);
        if (decoded.status != NfmStatus::Loaded) {
            read.error = QStringLiteral("the measurement of run %1 is corrupt: %2").arg(id).arg(decoded.message);
            return read;
        }
        read.measurement = decoded.measurement;
        read.complete = true;
        return read;
    }
    if (stored.format == kStoredMeasurementFile) {
        const std::optional<MeasurementRecord> record = DecodeMeasurementRecord(stored.content);
        if (!record) {
            read.error = QStringLiteral("the measurement of run %1 is corrupt").arg(id);
            return read;
        }
        CompleteMeasurement m;
        m.record = *record;
        read.measurement = std::move(m);
        return read;
    }
    read.error = QStringLiteral("run %1 holds a measurement of the format '%2', which this version cannot read")
                     .arg(id)
                     .arg(stored.format);
    return read;
}
