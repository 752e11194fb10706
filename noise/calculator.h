#pragma once
// The record's side of an evaluation: the single-point calculator behind the button
// "Calculate!" and the step display's evaluation of a measured step, both thin wrappers around
// the pure evaluation (noise/evaluation.h) that store what it gives into the measurement record
// (the calculator's slot and the selected step). The window hands in the texts of its fields
// and shows the texts that come back.

#include "noise/evaluation.h"
#include "noise/measurement_record.h"

#include <QString>
#include <functional>

/// The texts of the calculator's fields as the operator typed them (or as the step display
/// filled them in).
struct CalculatorFields
{
    LevelTexts levels;    ///< e_n2off, e_n2on, e_n12off, e_n12on: dBm with or without unit ("-75.55", "-75.550 dBm")
    QString frequency;    ///< e_Frequency ("100 MHz")
    QString temperature;  ///< e_Temperature ("21 °C", "294 K")
};

struct CalculationResult
{
    QString statusText;       ///< "For calculation used ENR: 5.52 dB"
    bool failed = false;      ///< an arithmetic failure: show CalculationErrorText(), keep the labels
    QString gainText;         ///< for l_gain: "Gain: 130.11  (21.14 dB)"; empty when failed
    QString noiseFigureText;  ///< for l_NoiseFigure: "F: 1.53  (1.84 dB)" or "F: Error"; empty when failed
};

/// Shows the status bar text at once.
using StatusFunction = std::function<void(const QString &text)>;

/// The message of the error box (OK and Cancel) after an arithmetic failure.
inline QString CalculationErrorText() { return QStringLiteral("Error by calculating!"); }

/// The levels of `step` as the step display shows them and the calculation reads them back:
/// each rounded to the six decimals of its field, in dBm. A step outside 0..99 reads slot 99
/// or 0. A level that is not a number throws EConvertError, one whose linear power overflows
/// EMathError, as reading the field would.
StepLevels ShownStepLevels(const MeasurementRecord &record, int step);
/// The frequency of `step` at which its ENR is looked up, as the step display shows it: rounded
/// to the two decimals of its prefixed text ("433.33 MHz").
double ShownEnrHz(const MeasurementRecord &record, int step);

/// One step's result from the record's numbers alone, without touching the record: what the
/// step display computes and shows for `step` (clamped to 0..99). Conversion and lookup
/// failures propagate as in the step display.
StepEvaluation EvaluateStep(const MeasurementRecord &record, int step, const EvaluationContext &context);

/// The step display's evaluation, stored: the levels of `step` as linear powers in the
/// calculator's slot (before the ENR is looked up, as the calculator's fields would hold
/// them), then the ENR, 290 K and the room temperature, and gain and noise figure into the
/// calculator's slot and into `selectedStep` (the noise figure only when it could be computed;
/// a selected step outside 0..99 stores nothing beyond the calculator's slot). Conversion and
/// lookup failures propagate; an arithmetic failure is reported in the result.
StepEvaluation StoreStepEvaluation(MeasurementRecord &record, int step, int selectedStep,
                                   const EvaluationContext &context);

/// The calculator's texts of an evaluation.
CalculationResult CalculationResultOf(const StepEvaluation &evaluation);

/// "Calculate!": reads the levels (field text + " dB") into slot 100, looks the ENR of
/// `context` up at the frequency, passes the status text to `showStatus` before the
/// temperature is read from its field (the temperature of `context` is not used), then
/// computes gain and noise figure into slot 100 and into `selectedStep` (the noise figure only
/// when it could be computed). A selected step outside 0..100 stores nothing beyond slot 100.
/// Conversion errors of the fields and failures of the lookup propagate (EConvertError,
/// EMathError) and end the calculation where they occur; arithmetic failures of the gain and
/// noise figure are caught and reported as `failed`.
CalculationResult CalculatePointFromFields(const CalculatorFields &fields, const EvaluationContext &context,
                                           MeasurementRecord &record, int selectedStep,
                                           const StatusFunction &showStatus = {});
