#pragma once
// A dialog seam for tests: answers come from a script, and every question is recorded.

#include "app/core/dialogs.h"

#include <QList>
#include <QString>
#include <deque>
#include <functional>

struct ShownMessage
{
    MsgType type;
    MsgButtons buttons;
    QString text;
    bool defaultNo;
};

class ScriptedDialogs : public Dialogs
{
public:
    ScriptedDialogs() { m_previous = setDialogs(this); }
    ~ScriptedDialogs() override { setDialogs(m_previous); }

    /// Answers for the next message boxes, in order; without a scripted answer a box is
    /// answered with its affirmative button (OK or Yes).
    std::deque<MsgResult> answers;
    /// Paths for the next file dialogs; an empty string stands for Cancel.
    std::deque<QString> files;
    /// Answer of the print dialog; an optional hook prepares the printer (e.g. a PDF file).
    bool printAnswer = true;
    std::function<void(QPrinter &)> preparePrinter;

    QList<ShownMessage> messages;
    QList<int> filterIndexes;  ///< the filter index each file dialog was opened with
    QStringList proposedPaths;  ///< what each save dialog that proposes a name proposed

    MsgResult message(MsgType type, MsgButtons buttons, const QString &text, bool defaultNo) override
    {
        messages.append({type, buttons, text, defaultNo});
        if (!answers.empty()) {
            const MsgResult r = answers.front();
            answers.pop_front();
            return r;
        }
        return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
    }
    std::optional<QString> openFile(const QString &, int filterIndex) override { return next(filterIndex); }
    std::optional<QString> saveFile(const QString &, int filterIndex) override { return next(filterIndex); }
    std::optional<QString> saveFileNamed(const QString &, int filterIndex, const QString &proposedPath) override
    {
        proposedPaths.append(proposedPath);
        return next(filterIndex);
    }
    bool choosePrinter(QPrinter &printer) override
    {
        if (preparePrinter)
            preparePrinter(printer);
        return printAnswer;
    }

    QString lastMessage() const { return messages.isEmpty() ? QString() : messages.last().text; }

private:
    std::optional<QString> next(int filterIndex)
    {
        filterIndexes.append(filterIndex);
        if (files.empty())
            return std::nullopt;
        QString f = files.front();
        files.pop_front();
        if (f.isEmpty())
            return std::nullopt;
        return f;
    }
    Dialogs *m_previous = nullptr;
};
