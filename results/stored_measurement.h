#pragma once
// The measurement a history run keeps: the complete measurement file's bytes (format "nfm"),
// or in runs recorded by earlier versions the 5040 bytes of a measurement file (format "mea").
// Both read back into a complete measurement; one of a "mea" run holds only its record.

#include "results/history_store.h"
#include "results/nfm_file.h"

#include <optional>

/// The format names of StoredMeasurement::format.
inline const QString kStoredCompleteMeasurement = QStringLiteral("nfm");
inline const QString kStoredMeasurementFile = QStringLiteral("mea");

/// What a run keeps of `m`: its complete measurement file's bytes.
StoredMeasurement StoredMeasurementOf(const CompleteMeasurement &m);

struct StoredMeasurementRead
{
    std::optional<CompleteMeasurement> measurement;
    /// The run holds a complete measurement (format "nfm"); false for a "mea" run, whose
    /// measurement holds only the record.
    bool complete = false;
    QString error;  ///< why it cannot be read, naming run `id`; empty when read
};

/// The measurement of run `id` in either format; a format this version does not know and
/// content that does not decode are refused with the run's number.
StoredMeasurementRead ReadStoredMeasurement(const StoredMeasurement &stored, qint64 id);
