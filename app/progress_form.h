#pragma once
// The progress window shown while a calibration or measurement pass runs, with the main window
// disabled: which pass, the step reached, the frequency in work, the fraction done, a moving
// mark that tells a live program from a hung one, and "Cancel", the only way to stop a pass.
// Created once after the main window and shown and closed again for every pass.

#include <QString>
#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TForm2 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);

    QLabel *l_info = nullptr;     ///< "Frequency: ..." written by the sequencer
    QLabel *Label1 = nullptr;     ///< the step line, rewritten by the animation
    QProgressBar *Gauge1 = nullptr;
    QPushButton *Button1 = nullptr;  ///< "Cancel"
    QTimer *Timer1 = nullptr;     ///< the animation, every 200 ms, running for the whole program

    /// The step number shown in the step line.
    qint32 ProgressStep = 0;
    /// Animation phase, shared by every window of this kind, counted up and never reset.
    static inline qint32 AnimationPhase = 0;

    /// The moving marks in the order of the phases; nine characters each.
    static const std::array<QString, 8> &Marks();

    /// Range and position of the bar. A position above the maximum shows as the maximum; an
    /// empty range (Single mode) shows 0 %.
    void SetGaugeRange(int minimum, int maximum);
    void SetGaugePosition(int position);
    int GaugeMin() const { return m_gaugeMin; }
    int GaugeMax() const { return m_gaugeMax; }
    int GaugePosition() const { return m_gaugePosition; }
    /// The percentage the bar shows.
    int GaugePercent() const;

    /// Places the window in the centre of the desktop.
    void CentreOnDesktop();

    /// Called by "Cancel" (sets the main window's CancelRequested) before the window closes.
    std::function<void()> OnCancel;
    /// Called whenever the window closes, however it is closed (enables the main window).
    std::function<void()> OnClose;

    void Button1Click();
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void updateGauge();

    int m_gaugeMin = 0;
    int m_gaugeMax = 100;
    int m_gaugePosition = 0;
};
