#pragma once
// Shared by the benchmarks that drive the window: an operator who confirms every prompt, and an
// event loop as the program's own runs it.

#include "app/core/dialogs.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <QString>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <optional>

/// Every box answered with its affirmative button, as an operator who confirms each prompt;
/// anything but the two connection prompts is echoed on stderr.
class ConfirmAll : public Dialogs
{
public:
    MsgResult message(MsgType, MsgButtons buttons, const QString &text, bool) override
    {
        if (buttons != MsgButtons::OkCancel || !text.startsWith(QStringLiteral("Connect ")))
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
    }
    std::optional<QString> openFile(const QString &, int) override { return std::nullopt; }
    std::optional<QString> saveFile(const QString &, int) override { return std::nullopt; }
    bool choosePrinter(QPrinter &) override { return false; }
};

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

/// Starts analyser-sim `sim` as port COM1 of the working folder with `options`, and waits up to
/// five seconds until it serves the port.
inline void StartSimulatorOnCom1(QProcess &simulator, const QString &sim, const QStringList &options)
{
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.setStandardOutputFile(QProcess::nullDevice());
    simulator.start(sim, QStringList{QStringLiteral("--port"), QStringLiteral("1")} + options);
    const QDeadlineTimer ready(5000);
    while (!QFileInfo::exists(QStringLiteral("ports/COM1")) && !ready.hasExpired())
        QThread::msleep(10);
}
