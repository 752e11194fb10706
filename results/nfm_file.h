#pragma once
// Complete measurement files (*.nfm): everything a measurement needs to be evaluated again as it
// was, including what a measurement file (*.mea) cannot hold: the bench (losses, their tables
// and temperatures, the DUT type, LO and image rejection), both noise sources with their data,
// the analyser's settings, the uncertainty inputs, the report details, when the calibration ran
// and at which IFs, and the program that wrote it.
//
// The file is UTF-8 JSON, one object:
//
//   format       "tessary-measurement" (anything else is a foreign file)
//   version      1 (a larger number is a file of a newer program, refused)
//   program      the writing program's version, "V1.10"
//   plan         start, stop, step (Hz), stepIndex, steps
//   header       rbwIndex, vbwIndex, stepsCount, averageIndex, enrSource, startSingle,
//                stopSingle, noiseSourceText (the record's header)
//   record       enr (linear), t0, roomTemperature (K): the record's last calculation
//   steps        one object per step 0..steps: n2off, n2on, n12off, n12on (dBm), gainDb,
//                noiseFigureDb
//   temperature  the room temperature as e_Temperature held it ("21 °C") and in kelvin
//   analyser     rbw, vbw, vbwIndex, average, rfAtt, refLevel, range (texts), single
//   enr          measurement: {mode 0 const / 1 Table1 / 2 Table2, enrAll, fileName,
//                rows [[GHz text, dB text, uncertainty dB or null] x 20],
//                dataFileRows 1..20 only where an ENR data file filled the table in part};
//                calibration: the same, or null when the calibration used the measurement's
//   bench        lossBefore, lossAfter: {mode "off"|"fixed"|"table", db, file,
//                table [[Hz, dB], ...], temperatureK or null for the room's};
//                dut "amplifier"|"down"|"up", loHz, imageRejectionDb or null for SSB,
//                calSource -1 (as measurement), 0, 1 or 2
//   uncertainty  uEnr, uNf, uGain (dB), vswrSource, vswrDutIn, vswrDutOut, vswrAnalyser
//   report       details [[name, text], ...], remarks [lines]
//   calibration  endedAt (ISO 8601 or null), ifHz [one per step]
//   measuredAt   when the measurement pass ended (ISO 8601); absent when not known
//
// A number that is not finite (a level the analyser never gave) is written as the string
// "nan", "inf" or "-inf". Reading checks every field: its presence, its type and its bounds
// (steps 0..99, one step object per step, texts within the slots the program keeps), so nothing
// the program later indexes or draws comes from outside them.
//
// Writes go through a temporary file renamed into place, as for every other file.

#include "noise/bench_setup.h"
#include "noise/enr_lookup.h"
#include "noise/enr_store.h"
#include "noise/measurement_record.h"
#include "noise/uncertainty.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <utility>

inline constexpr int kNfmVersion = 1;
/// Larger files are refused unread.
inline constexpr qint64 kNfmFileLimit = 16 * 1024 * 1024;
/// Most points of a loss table a file may hold.
inline constexpr int kNfmLossPointLimit = 100000;

/// One noise source as the evaluation used it.
struct NfmEnrSource
{
    int mode = 0;         ///< 0 the constant enrAllText, 1 table 1, 2 table 2
    QString enrAllText;   ///< "5.52 dB"
    QString fileName;     ///< the table's file name, as the table keeps it
    EnrRows rows;
    EnrUncertainties uncertaintyDb{};  ///< per row, from an ENR data file
    int dataFileRows = 0;  ///< the rows an ENR data file filled, which alone are read; 0: all 20

    bool operator==(const NfmEnrSource &) const = default;
};

/// The analyser settings of the measurement, as the set-up sent them.
struct NfmAnalyserSettings
{
    QString rbwText;
    QString vbwText;
    int vbwIndex = -1;
    QString averageText;
    QString rfAttText;
    QString refLevelText;
    QString rangeText;
    bool single = false;

    bool operator==(const NfmAnalyserSettings &) const = default;
};

/// A whole measurement.
struct CompleteMeasurement
{
    MeasurementRecord record;  ///< levels and results of steps 0..Steps, plan and header
    QString temperatureText;   ///< e_Temperature: "21 °C"
    double roomTemperatureK = 0;
    NfmAnalyserSettings analyser;
    NfmEnrSource measurementEnr;
    std::optional<NfmEnrSource> calibrationEnr;  ///< nothing: the measurement's source
    BenchSetup bench;
    UncertaintyInputs uncertainty;
    QList<std::pair<QString, QString>> reportDetails;
    QStringList remarks;
    QDateTime calibratedAt;       ///< invalid when not known
    QDateTime measuredAt;         ///< when the measurement pass ended; invalid when not known
    QList<double> calibrationIfsHz;
    QString programVersion;       ///< set by the writer
};

/// The file's bytes for `m` (programVersion as given).
QByteArray EncodeCompleteMeasurement(const CompleteMeasurement &m);

enum class NfmStatus {
    Loaded,
    Missing,    ///< no such file
    Truncated,  ///< the file ends before its content does (an interrupted copy)
    Corrupt,    ///< a JSON fault, or a field missing, of the wrong type or out of bounds
    Foreign,    ///< not a complete measurement file at all
    Newer,      ///< written by a newer program, in a version this one does not read
};

struct NfmDecodeResult
{
    NfmStatus status = NfmStatus::Missing;
    CompleteMeasurement measurement;  ///< valid when status is Loaded
    QString message;                  ///< why the file was refused; empty when loaded
};

/// The measurement held by `bytes`; every refusal says which kind and, where it helps, which field.
NfmDecodeResult DecodeCompleteMeasurement(const QByteArray &bytes);

/// Reads a complete measurement file. The message of a refusal names the file. A file that
/// exists but cannot be read throws EFileError.
NfmDecodeResult LoadCompleteMeasurementFile(const QString &path);

/// Writes the file atomically; EFileError with the system's reason on failure.
void SaveCompleteMeasurementFile(const QString &path, const CompleteMeasurement &m);

/// The name a complete measurement is saved under: ".nfm" appended unless it ends in it.
QString CompleteMeasurementFileName(const QString &chosen);

/// True when the name ends in ".nfm" in any case.
bool IsCompleteMeasurementFileName(const QString &path);
