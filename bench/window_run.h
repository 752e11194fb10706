#pragma once
// Shared by the benchmarks that drive the window: an operator who confirms every prompt; the
// event loop and the simulator come from the tests' own tools (tests/common).

#include "app/core/dialogs.h"
#include "common/event_loop.h"
#include "common/simulator_process.h"

#include <QString>

#include <cstdio>
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

/// How often the benchmarks ask whether what they wait for has come, in ms (ServeEventsUntil):
/// seldom enough not to weigh on what they measure.
inline constexpr int kBenchCheckMs = 20;
