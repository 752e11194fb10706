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

/// Why a line could not be opened or went down, for the code that branches on it; the text
/// beside it is for the operator.
enum class TransportError {
    None,
    NoSuchPort,    ///< the serial port, or the adapter's port, is not there
    Busy,          ///< another program holds the port
    NoPermission,  ///< the user may not open the port (not in the group dialout)
    NotATerminal,  ///< the path is a file or device that is not a serial port
    Refused,       ///< the host, its portmapper or the instrument turned the connection down
    UnknownHost,   ///< the name does not resolve
    TimedOut,      ///< nothing answered within the bound
    HungUp,        ///< the other end went away
    Other,         ///< anything else; the text says what
};

/// The kind's name as the README's table and the tests write it: "no such port", "busy",
/// "no permission", "not a terminal", "refused", "unknown host", "timed out", "hung up",
/// "other", "" for None.
QString TransportErrorName(TransportError kind);
/// The kind of a failed open(2) of a serial device, from its errno.
TransportError TransportErrorFromErrno(int err);

/// True when a command asks for an answer: it holds a '?' outside quotes. Transports that
/// must fetch the answer themselves (VXI-11, a GPIB adapter) read after such a command.
bool CommandAsksForAnswer(const QByteArray &command);

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
    /// Why the last open failed or the line went down; None after a good open.
    TransportError lastError() const { return m_lastError; }

    /// One reply line, ended by CR LF as the serial line mode delivers it.
    std::function<void(const QByteArray &line)> OnLine;
    /// The other end went away (cable pulled, peer closed): nothing more can be sent or received.
    std::function<void()> OnHangUp;

protected:
    TransportError m_lastError = TransportError::None;
};
