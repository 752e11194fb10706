#pragma once
// The line to the analyser, whatever carries it: the serial component or a TCP socket. The
// command channel writes through it and receives whole reply lines from it; the connection,
// the set-up, the sequencer and the search do not know which one they use.
//
// Threading: every call and every callback runs on the user-interface thread.

#include "analyser/command_channel.h"

#include <QByteArray>
#include <QString>
#include <functional>

class Transport : public CommandPort
{
public:
    /// Opens the line. `done` is called exactly once, on the user-interface thread, with true
    /// once the line is usable or with false and the operator-readable reason; it may be
    /// called before open() returns (the serial port opens at once). Never blocks the window.
    virtual void open(std::function<void(bool ok, const QString &error)> done) = 0;
    /// Closes the line at once; a pending open ends without calling its `done`.
    virtual void close() = 0;
    /// True from a successful open until close, also after a hang-up (isActive() is then false).
    virtual bool isOpen() const = 0;

    /// One reply line, ended by CR LF as the serial line mode delivers it.
    std::function<void(const QByteArray &line)> OnLine;
    /// The other end went away (cable pulled, peer closed): nothing more can be sent or received.
    std::function<void()> OnHangUp;
};
