#pragma once
// What the last calibration pass covered: its frequency plan and the analyser settings its
// set-up sent, and when it ended. A measurement pass is only meaningful with the plan and the
// settings of its calibration, because the analyser's own noise (N2off, N2on) is taken per
// frequency and depends on bandwidth, attenuation and averaging. Widget-free value type.

#include "analyser/analyser_setup.h"
#include "noise/bench_setup.h"
#include "noise/measurement_record.h"

#include <QDateTime>
#include <QString>

/// A calibration as it was run.
struct CalibrationState
{
    bool valid = false;      ///< false until a calibration pass has run to its end
    /// A calibration's set-up began and its pass did not run to its end (cancelled, or the
    /// set-up failed): the record may hold calibration levels of two runs.
    bool interrupted = false;
    bool single = false;     ///< rg_Sweep was on "Single"
    SweepPlan plan;          ///< Start, Stop, Step and Steps of the pass (StepIndex is ignored)
    SetupSettings settings;  ///< the texts and the VBW position the set-up sent
    /// The noise source the bench names for the calibration (kCalSourceAsMeasurement: the
    /// measurement's, whatever it is); the plan's DUT kind and LO give the IFs it measured.
    int calSource = kCalSourceAsMeasurement;
    QDateTime endedAt;       ///< when the last frequency was read
};

/// The item of a measurement that departs from its calibration, in the order it is checked.
enum class CalibrationItem {
    None,           ///< everything matches
    NotCalibrated,  ///< no calibration has run to its end
    Cancelled,      ///< the last calibration began but did not run to its end
    Mode,           ///< Sweep against Single
    Start,
    Stop,
    Steps,
    Ifs,            ///< the analyser's frequencies: another DUT kind or LO
    Rbw,
    Vbw,            ///< the text, or its list position (which chooses the sweep time)
    Average,
    RfAtt,
    RefLevel,
    Range,
    CalSource,      ///< the bench names another noise source for the calibration
};

/// The state of a calibration pass that has just ended.
CalibrationState CompletedCalibration(bool single, const SweepPlan &plan,
                                      const SetupSettings &settings, const QDateTime &endedAt,
                                      int calSource = kCalSourceAsMeasurement);

/// The first item in which a measurement with this plan and these settings departs from the
/// calibration, or CalibrationItem::None when the calibration still holds. Frequencies compare
/// exactly: both plans come from the same texts through the same arithmetic. In Single mode
/// only the single frequency counts; Stop and Steps follow from it. The analyser's frequency of
/// every step (a converter's IF) must be the one calibrated, and so must the calibration's
/// noise source `calSource` that the bench names.
CalibrationItem CalibrationDifference(const CalibrationState &calibration, bool single,
                                      const SweepPlan &plan, const SetupSettings &settings,
                                      int calSource = kCalSourceAsMeasurement);

/// The name of an item as its label on the "Options" page shows it ("Start", "RBW", ...);
/// empty for None.
QString CalibrationItemText(CalibrationItem item);

/// "Calibrated: 400 MHz to 500 MHz, 11 points, 14:32", "Calibrated: 100 MHz, 1 point, 09:05"
/// in Single mode, "Not calibrated" before the first calibration.
QString CalibratedText(const CalibrationState &calibration);

/// What the operator is told when a measurement no longer matches its calibration.
QString CalibrationRefusalText();
/// What the operator is told when a measurement is refused for `item`: the sentence of a
/// cancelled calibration, or CalibrationRefusalText().
QString CalibrationRefusalText(CalibrationItem item);

/// The state while a new calibration's set-up and pass run: nothing calibrated, and
/// interrupted until the pass completes.
CalibrationState StartedCalibration();

/// A frequency with its prefix and without trailing zeros: 400 MHz, 433.33 MHz.
QString CalibrationFrequencyText(double hz);
