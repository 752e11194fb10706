#pragma once
// The pause timer of timeout mode: a timer on the user-interface thread whose ticks arrive as
// timer events of its owner (the serial port component).

#include <QtGlobal>

class QObject;

/// Interval in milliseconds (0 at creation) and an enabled flag (false at creation). The
/// timer runs only while both allow it; every change of either restarts it from zero.
/// Created, changed and destroyed on the owner's thread.
class TPiloTimer
{
public:
    explicit TPiloTimer(QObject *owner);
    ~TPiloTimer();
    TPiloTimer(const TPiloTimer &) = delete;
    TPiloTimer &operator=(const TPiloTimer &) = delete;

    int Interval() const noexcept { return m_intervalMs; }
    /// Throws EPiloOutOfResources when the system has no timer left.
    void setInterval(int ms);
    bool Enabled() const noexcept { return m_enabled; }
    /// Throws EPiloOutOfResources when the system has no timer left.
    void setEnabled(bool on);
    /// Stops and starts again, so that the interval begins anew.
    void Restart();

    /// The identifier of the running timer in the owner's timer events, 0 when stopped.
    int TimerId() const noexcept { return m_timerId; }

private:
    void apply();

    QObject *m_owner;
    int m_intervalMs = 0;
    bool m_enabled = false;
    int m_timerId = 0;
};
