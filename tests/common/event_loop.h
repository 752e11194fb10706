#pragma once
// The one way tests and benchmarks wait for something the program does: an event loop as the
// program's own runs it, so that timers, sockets and the serial component's hand-over are
// served while the test waits.

#include <QEventLoop>
#include <QTimer>

#include <functional>

/// Runs an event loop until `done` holds or `timeoutMs` have passed; returns done(). `done` is
/// asked every `checkEveryMs` (and once more at the end); benchmarks ask less often, so that the
/// asking does not weigh on what they measure.
inline bool ServeEventsUntil(const std::function<bool()> &done, int timeoutMs = 5000, int checkEveryMs = 1)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(checkEveryMs);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return done();
}
