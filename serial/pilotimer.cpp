#include "serial/pilotimer.h"

#include "serial/pilotypes.h"

#include <QObject>

TPiloTimer::TPiloTimer(QObject *owner) : m_owner(owner) {}

TPiloTimer::~TPiloTimer()
{
    if (m_timerId != 0)
        m_owner->killTimer(m_timerId);
}

void TPiloTimer::setInterval(int ms)
{
    if (ms == m_intervalMs)
        return;
    m_intervalMs = ms;
    apply();
}

void TPiloTimer::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    apply();
}

void TPiloTimer::Restart()
{
    m_enabled = true;
    apply();
}

void TPiloTimer::apply()
{
    if (m_timerId != 0) {
        m_owner->killTimer(m_timerId);
        m_timerId = 0;
    }
    if (m_intervalMs > 0 && m_enabled) {
        // A precise timer: the pause is a promise to the reader ("50 ms after the last
        // byte"), and a coarse timer may fire up to 5 % late.
        m_timerId = m_owner->startTimer(m_intervalMs, Qt::PreciseTimer);
        if (m_timerId == 0)
            throw EPiloOutOfResources("TPiloTimer: No timers available");
    }
}
