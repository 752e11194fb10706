#pragma once
// The behaviour of the page "Options": the sweep plan, connecting and disconnecting the
// analyser, the set-up and the starts of the calibration and measurement passes. The controls
// belong to the window; the connection itself is the window's AnalyserLink.

#include <QChar>
#include <memory>

class TForm1;
class WindowSequencerHost;

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

private:
    TForm1 &w;
    std::unique_ptr<WindowSequencerHost> m_host;
};
