#pragma once
// The single-point calculator behind the button "Calculate!": gain and noise figure from the four
// typed levels, the ENR at the typed frequency and the room temperature. The window hands in the
// texts of its fields and shows the texts that come back; the results are also stored in the
// measurement record (the calculator's slot and the selected step).

#include "noise/measurement_record.h"

#include <QString>
#include <functional>

/// The texts of the calculator's fields as the operator typed them (or as the step display
/// filled them in).
struct CalculatorFields
{
    QString n2off;        ///< e_n2off, dBm with or without unit ("-75.55", "-75.550 dBm")
    QString n2on;         ///< e_n2on
    QString n12off;       ///< e_n12off
    QString n12on;        ///< e_n12on
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

/// The linear ENR at a frequency in Hz (LookupEnr with the page's current noise-source setting).
using EnrLookupFunction = std::function<double(double frequencyHz)>;
/// Shows the status bar text at once.
using StatusFunction = std::function<void(const QString &text)>;

/// The message of the error box (OK and Cancel) after an arithmetic failure.
inline QString CalculationErrorText() { return QStringLiteral("Error by calculating!"); }

/// Reads the levels (field text + " dB") into slot 100, looks the ENR up at the frequency,
/// passes the status text to `showStatus` before the temperature is read, then computes gain
/// and noise figure into slot 100 and into `selectedStep` (the noise figure only when it could
/// be computed). A selected step outside 0..100 stores nothing beyond slot 100.
/// Conversion errors of the fields and failures of the lookup propagate (EConvertError,
/// EMathError) and end the calculation where they occur; arithmetic failures of the gain and
/// noise figure are caught and reported as `failed`.
CalculationResult CalculatePointFromFields(const CalculatorFields &fields,
                                           const EnrLookupFunction &lookupEnr,
                                           MeasurementRecord &record, int selectedStep,
                                           const StatusFunction &showStatus = {});
