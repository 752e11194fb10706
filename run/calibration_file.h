#pragma once
// A calibration kept in a file (*.cal), so that one calibration serves many DUTs and later
// sessions: the analyser's own levels N2off and N2on at every frequency of the plan, the plan,
// the analyser settings its set-up sent, the noise source and its ENR, the room temperature,
// when the calibration ended and which analyser ran it.
//
// The file is UTF-8 JSON with "format": "tessary-calibration" and "version": 1 (see the
// README). A file that is not JSON, is cut short, lacks a field, holds a value out of range or
// comes from a newer version is refused with a message that says which. Widget-free.

#include "noise/enr_lookup.h"
#include "noise/enr_source.h"
#include "run/calibration_state.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

inline constexpr int kCalibrationFileVersion = 1;

/// The levels of one calibrated frequency.
struct CalibrationStep
{
    double rfHz = 0;      ///< the frequency at the DUT's input
    double ifHz = 0;      ///< the frequency the analyser was tuned to (equal to rfHz without a converter)
    double n2offDbm = 0;  ///< noise source off
    double n2onDbm = 0;   ///< noise source on
};

/// The noise source of the calibration and its ENR.
struct CalibrationEnr
{
    int mode = 0;            ///< 0 the constant enrAllText, 1 or 2 the table `rows`
    QString enrAllText;      ///< "5.52 dB"
    EnrRows rows{};          ///< the table of the source (GHz and dB texts as the grid shows them)
    QString noiseSourceText; ///< the source's name as the measurement keeps it ("const.", "Table1")
    int dataFileRows = 0;    ///< the rows an ENR data file filled, which alone are read; 0: all 20
};

struct CalibrationFile
{
    CalibrationState state;        ///< plan, settings, mode and when it ended; valid is true
    QList<CalibrationStep> steps;  ///< Steps + 1 entries, in the order of the plan
    CalibrationEnr enr;
    double roomTemperatureK = 0;
    QString analyserIdentity;      ///< the analyser's answer to *IDN?
};

/// The noise source a calibration file names, as the evaluation takes it.
EnrSource EnrSourceOfCalibration(const CalibrationEnr &enr);

/// The file's bytes.
QByteArray EncodeCalibrationFile(const CalibrationFile &calibration);

struct CalibrationDecodeResult
{
    std::optional<CalibrationFile> calibration;
    QString error;  ///< why the bytes were refused: "not a calibration file", "cut short", ...
};

CalibrationDecodeResult DecodeCalibrationFile(const QByteArray &bytes);

/// Reads and decodes `path`; the error names the file.
CalibrationDecodeResult LoadCalibrationFile(const QString &path);

/// Writes `path` atomically. False, with the reason naming the file in `error`, on failure.
bool SaveCalibrationFile(const QString &path, const CalibrationFile &calibration, QString *error);

/// The calibration's levels written into the record's steps 0..Steps, with its plan.
void ApplyCalibrationLevels(const CalibrationFile &calibration, MeasurementRecord &record);

/// The calibration from a record whose calibration pass has ended (levels of steps 0..Steps).
QList<CalibrationStep> CalibrationStepsOf(const MeasurementRecord &record, const SweepPlan &plan);

/// The age at `now` of a calibration that ended at `endedAt`, in seconds; negative when it ended
/// in the future of `now` (a clock set back).
qint64 CalibrationAgeSeconds(const QDateTime &endedAt, const QDateTime &now);

/// "2 h 5 min", "3 d 4 h", "40 s": an age as the operator reads it.
QString CalibrationAgeText(qint64 seconds);
