#pragma once
// The behaviour of the page "Options": the sweep plan, connecting and disconnecting the
// analyser, the set-up and the starts of the calibration and measurement passes. The controls
// belong to the window; the connection itself is the window's AnalyserLink.

#include "run/calibration_state.h"
#include "run/sweep_plan.h"

#include <QChar>
#include <memory>

class TForm1;
struct MeasurementHeader;
struct PassInputs;

class OptionsPage
{
public:
    explicit OptionsPage(TForm1 &window);
    ~OptionsPage();
    OptionsPage(const OptionsPage &) = delete;
    OptionsPage &operator=(const OptionsPage &) = delete;

    /// Start-up: the serial ports present go into the port list.
    void ListPorts();

    void MakeSweepPlan();
    void rg_SweepClick();
    void cb_RefLvlAutoClick();
    void b_connectClick();
    void DisconnectAtClose();
    void e_commandKeyPress(QChar &key);
    bool InitialiseAnalyser();
    void b_StartClick();
    void b_MeasureClick();

    /// What the last completed calibration pass covered; "Measure" refuses to pair its levels
    /// with a plan or settings that differ.
    CalibrationState Calibration;
    /// A calibration pass has run to its end: it holds for the plan and settings its set-up sent.
    void CalibrationCompleted();
    /// The page's sweep fields and the analyser settings as the set-up would send them now.
    SweepInputs sweepInputs() const;
    SetupSettings setupSettings(double startHz) const;
    /// What a pass takes from the page as it starts: the averaging and the Single mode.
    PassInputs passInputs() const;
    /// A measurement file was loaded: its start, stop and step count in the sweep fields.
    void showLoadedPlan(const MeasurementHeader &header);

    /// Puts `calibration` in force and names it in l_Calibrated.
    void setCalibration(const CalibrationState &calibration);

private:
    /// No connection: the settings free, the button reads "Connect".
    void ConnectButtonIdle();
    TForm1 &w;
    /// The plan and settings of the last set-up, for the calibration pass that follows it.
    bool m_setUpSingle = false;
    SweepPlan m_setUpPlan;
    SetupSettings m_setUpSettings;
};
