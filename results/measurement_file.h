#pragma once
// Measurement files (*.mea): one MeasurementRecord as a 5040-byte image, little-endian,
// every field at a fixed offset, reserved bytes zero. No signature, no version, no checksum:
// a file is recognised by its size, and its content is checked so that nothing the program
// later indexes or draws can come from outside its bounds.

#include "noise/measurement_record.h"

#include <QByteArray>
#include <QString>
#include <optional>

/// Size of a measurement file in bytes.
inline constexpr qsizetype kMeasurementFileSize = 5040;

/// Byte offsets of the fields in a measurement file.
namespace MeaOffset {
inline constexpr int N2off = 0;
inline constexpr int N2on = 808;
inline constexpr int N12off = 1616;
inline constexpr int N12on = 2424;
inline constexpr int GainDb = 3232;
inline constexpr int NoiseFigureDb = 4040;
inline constexpr int Enr = 4888;
inline constexpr int T0 = 4896;
inline constexpr int RoomTemperature = 4904;
inline constexpr int Start = 4920;
inline constexpr int Stop = 4928;
inline constexpr int Step = 4936;
inline constexpr int StepIndex = 4944;
inline constexpr int Steps = 4948;
inline constexpr int RbwIndex = 4960;
inline constexpr int VbwIndex = 4964;
inline constexpr int StepsCount = 4968;
inline constexpr int AverageIndex = 4972;
inline constexpr int EnrSource = 4976;
inline constexpr int StartSingle = 4980;
inline constexpr int StopSingle = 4984;
inline constexpr int NoiseSourceText = 5004;  ///< length byte, then up to 32 Windows-1252 bytes
}  // namespace MeaOffset

/// Longest noise-source text a file holds, in bytes.
inline constexpr int kMaxNoiseSourceText = 32;

/// The 5040 bytes of a record. A noise-source text longer than 32 bytes is cut to 32.
QByteArray EncodeMeasurementRecord(const MeasurementRecord &record);

/// The record held by `bytes`, or nothing when they are not a sound measurement: not exactly
/// 5040 bytes, `Steps` or `StepsCount` outside 0..99, a text length above 32, or a number that
/// is not finite. Reserved bytes and the bytes after the text are ignored.
std::optional<MeasurementRecord> DecodeMeasurementRecord(const QByteArray &bytes);

/// The name a measurement is saved under: the chosen name with ".mea" appended unless it
/// already ends in exactly ".mea" (case matters: "RUN1.MEA" becomes "RUN1.MEA.mea").
QString MeasurementFileName(const QString &chosen);

enum class MeasurementLoadStatus { Loaded, Missing, Corrupt };

struct MeasurementLoadResult
{
    MeasurementLoadStatus status = MeasurementLoadStatus::Missing;
    MeasurementRecord record;  ///< valid when status is Loaded
};

/// Reads a measurement file. A missing file and a file that is not a sound measurement are
/// results; a file that exists but cannot be read throws EFileError with the system's reason.
MeasurementLoadResult LoadMeasurementFile(const QString &path);

/// Writes the record to `path` through a temporary file in the same folder that replaces the
/// target only once it is complete, so a failed save leaves an existing file as it was.
/// Throws EFileError with the system's reason.
void SaveMeasurementFile(const QString &path, const MeasurementRecord &record);
