#pragma once
// Shared by the benchmarks that drive the window: an event loop as the program's own runs it.

#include <QEventLoop>
#include <QTimer>

#include <functional>

/// Runs an event loop, as the program's own does (sleeping until an event comes), until `done`
/// or the time is up.
inline bool serveUntil(const std::function<bool()> &done, int ms)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}
