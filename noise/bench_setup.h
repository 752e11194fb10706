#pragma once
// The bench around the DUT: a loss between the noise source and the DUT's input, a loss between
// the DUT's output and the analyser, what kind of DUT it is (an amplifier, or a converter with a
// fixed LO and its image response) and the noise source of the calibration. Value types and
// the lookups on them; no widgets, no files. Every setting at its default is the designed bench:
// nothing between source, DUT and analyser, an amplifier measured where it amplifies, one noise
// source for both passes.

#include "noise/dut_conversion.h"

#include <QList>
#include <QString>
#include <optional>

/// How a loss is given.
enum class LossMode {
    Off,    ///< nothing there: 0 dB
    Fixed,  ///< one value in dB at every frequency
    Table,  ///< frequency and loss points, interpolated linearly in dB over frequency
};

/// One point of a loss table.
struct LossPoint
{
    double frequencyHz = 0;
    double lossDb = 0;
    bool operator==(const LossPoint &) const = default;
};

/// A loss and its physical temperature.
struct LossSetting
{
    LossMode mode = LossMode::Off;
    double fixedDb = 0;        ///< Fixed: the loss in dB
    QList<LossPoint> table;    ///< Table: ascending in frequency, at least one point
    QString tableFile;         ///< Table: the file the points came from, for the record
    /// The element's physical temperature in kelvin; nothing means the room temperature.
    std::optional<double> temperatureK;

    bool operator==(const LossSetting &) const = default;
    bool isDefault() const { return mode == LossMode::Off && !temperatureK; }
    /// True when the loss takes part in the evaluation (not Off).
    bool active() const { return mode != LossMode::Off; }

    /// The loss in dB at `frequencyHz`: 0 when Off. A table is interpolated linearly in dB over
    /// frequency between its points and holds its first or last value beyond them; `outside`
    /// (when given) is set when the frequency lies outside the table's points.
    double lossDbAt(double frequencyHz, bool *outside = nullptr) const;
    /// The physical temperature in kelvin: its own, or the room's.
    double temperatureAt(double roomTemperatureK) const { return temperatureK.value_or(roomTemperatureK); }
};

/// Which ENR source the calibration uses: the same as the measurement, or a mode of rg_ENR
/// (0 the constant, 1 table 1, 2 table 2).
inline constexpr int kCalSourceAsMeasurement = -1;

struct BenchSetup
{
    LossSetting lossBefore;  ///< between the noise source and the DUT's input, looked up at the RF
    LossSetting lossAfter;   ///< between the DUT's output and the analyser, looked up at the IF
    DutType dutType = DutType::Amplifier;
    double loHz = 0;         ///< converters: the fixed LO frequency
    /// Converters: the image rejection in dB (signal band over image band); nothing is "SSB",
    /// the image band adds nothing.
    std::optional<double> imageRejectionDb;
    int calSource = kCalSourceAsMeasurement;

    bool operator==(const BenchSetup &) const = default;
    bool isConverter() const { return dutType != DutType::Amplifier; }
    /// Everything as designed: no losses, an amplifier, the measurement's noise source.
    bool isDefault() const;
};

/// The IFs of the frequencies `rfHz` (one per step, in order), or a refusal naming the first
/// step that cannot be measured: an LO at or below 0 Hz for a converter, an IF at or below
/// 0 Hz, or a down-converter plan whose RFs lie on both sides of the LO (the IF would run back
/// on itself). Steps are counted from 1 in the text, as the step display counts them.
struct IfPlan
{
    QList<double> ifHz;
    QString refusal;  ///< empty when the plan can be measured
    bool ok() const { return refusal.isEmpty(); }
};
IfPlan PlanIfs(DutType type, double loHz, const QList<double> &rfHz);

/// "Amplifier", "Down-converter", "Up-converter".
QString DutTypeText(DutType type);
/// "amplifier", "down", "up" as the command line and the files name them; nothing for another word.
QString DutTypeKey(DutType type);
std::optional<DutType> DutTypeFromKey(const QString &key);

/// One line of what is in effect, for the label on the options page: empty when the bench is
/// at its defaults ("Loss before 1 dB @ 290 K · Down-converter LO 9.75 GHz, SSB").
QString BenchSummaryText(const BenchSetup &bench);
