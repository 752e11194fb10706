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

/// The four levels as linear powers (mW) and the frequency in Hz that a calculation reads.
struct PointLevels
{
    double n2off = 0;
    double n2on = 0;
    double n12off = 0;
    double n12on = 0;
    double frequencyHz = 0;
};

/// The levels and the frequency of `step` as the step display shows them and the calculation
/// reads them back: each level rounded to the six decimals of its field, the frequency to the
/// two decimals of its prefixed text ("433.33 MHz"). A step outside 0..99 reads slot 99 or 0.
PointLevels StepLevels(const MeasurementRecord &record, int step);

/// The calculation behind both the button and the step display: stores the levels in slot 100,
/// looks the ENR up at the frequency, passes the status text to `showStatus`, then reads the
/// room temperature (kelvin) from `roomTemperatureK` and computes gain and noise figure into
/// slot 100 and into `selectedStep`, as CalculatePointFromFields describes.
CalculationResult CalculateFromLevels(const PointLevels &levels, const EnrLookupFunction &lookupEnr,
                                      const std::function<double()> &roomTemperatureK,
                                      MeasurementRecord &record, int selectedStep,
                                      const StatusFunction &showStatus = {});

/// One step's result from the record's numbers alone, without touching the record: what the
/// step display computes and shows for `step` at `roomTemperatureK`. Conversion and lookup
/// failures propagate as in the step display.
struct StepEvaluation
{
    double frequencyHz = 0;   ///< as the step display reads it back
    double n2offDbm = 0;      ///< the four levels as read back, dBm
    double n2onDbm = 0;
    double n12offDbm = 0;
    double n12onDbm = 0;
    double enr = 0;           ///< linear ENR used
    double roomTemperatureK = 0;
    bool failed = false;      ///< an arithmetic failure: no gain and no noise figure
    double gainDb = 0;
    double noiseFigureDb = -1;  ///< negative: no noise figure could be computed
    QString statusText;       ///< "For calculation used ENR: 5.52 dB"

    bool hasNoiseFigure() const { return !failed && noiseFigureDb >= 0; }
    /// Noise factor (linear) and noise temperature (K, against 290 K) of the noise figure.
    double noiseFactor() const;
    double noiseTemperatureK() const;
    /// Y-factors in dB: without the DUT (N2on/N2off) and with it (N12on/N12off).
    double calibrationYDb() const { return n2onDbm - n2offDbm; }
    double dutYDb() const { return n12onDbm - n12offDbm; }
};
StepEvaluation EvaluateStep(const MeasurementRecord &record, int step, const EnrLookupFunction &lookupEnr,
                            double roomTemperatureK);

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
