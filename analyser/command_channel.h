#pragma once
// The command channel: one SCPI line at a time to the analyser, one reply slot back.
//
// Replies are not matched to commands: whatever line of three or more bytes arrives next is the
// reply, and a newer line overwrites one that nobody has taken. A command either waits for its
// reply on the spot (set-up, disconnect) or is sent without waiting and its reply is polled
// later with ReadReply (the sequencer). A waiting command keeps serving the user-interface
// events, which is how the reply reaches it; it waits at most ReplyTimeoutMs.
//
// Threading: everything here runs on the user-interface thread. Lines arrive through
// PiloDataAvailable, which the serial component calls on that thread.

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class QEventLoop;

/// What the channel needs of the serial port.
class CommandPort
{
public:
    virtual ~CommandPort() = default;
    virtual bool isActive() const = 0;
    /// Queues the bytes for sending; never blocks.
    virtual void write(const QByteArray &bytes) = 0;
};

class CommandChannel
{
public:
    /// The bound of a waiting command: an analyser takes well under a second for any set-up
    /// command, so ten seconds means it is not answering at all.
    static constexpr int kDefaultReplyTimeoutMs = 10000;

    explicit CommandChannel(CommandPort *port = nullptr);
    CommandChannel(const CommandChannel &) = delete;
    CommandChannel &operator=(const CommandChannel &) = delete;

    void setPort(CommandPort *port) { m_port = port; }

    /// Sends `command` followed by CR LF, unchanged. With wait 1 an earlier unread reply is
    /// dropped first and the call returns once a reply line is in PendingReply (left there).
    /// Returns false when nothing was sent (port not open) or, with wait 1, when no reply came:
    /// after ReplyTimeoutMs OnNoAnswer receives "FSP does not answer: <command>" (the window
    /// shows it to the operator); a port that closes during the wait ends it without a report.
    /// The caller then sends nothing more for that operation.
    bool SendCommand(const QByteArray &command, int wait);

    /// Takes the waiting reply: false and `text` unchanged when there is none.
    bool ReadReply(QByteArray &text);

    /// A line offered by the serial port (in line mode: one line with its CR LF). Lines of two
    /// bytes or fewer (a bare CR LF) are ignored; a longer one, without its last two bytes,
    /// becomes the reply.
    void PiloDataAvailable(const QByteArray &line);

    /// Ends a wait at once (the port closed or the other end hung up).
    void WakeWaiting();

    /// How many lines went out since the channel was made (for the record of a session).
    qint64 LinesSent() const { return m_linesSent; }

    /// True while a waiting SendCommand is in progress (it may be nested).
    bool IsWaiting() const { return !m_loops.isEmpty(); }

    /// One reply slot; empty means no reply is waiting.
    QByteArray PendingReply;
    /// The bound of every waiting command, in milliseconds.
    int ReplyTimeoutMs = kDefaultReplyTimeoutMs;
    /// The analyser family named in the message of an unanswered command (the dialect's).
    QString DeviceName;
    /// How long a waiting command goes unanswered before OnWaiting hears of it.
    static constexpr int kSlowWaitMs = 500;
    /// Told true once a waiting command has had no answer for kSlowWaitMs, and false when that
    /// wait ends (before OnNoAnswer), so that the operator sees why nothing happens.
    std::function<void(bool waiting)> OnWaiting;
    /// Told, before SendCommand returns false, that a waiting command got no answer in time.
    std::function<void(const QString &message)> OnNoAnswer;

private:
    bool portActive() const { return m_port && m_port->isActive(); }
    bool waitForReply(const QByteArray &command);

    CommandPort *m_port = nullptr;
    QList<QEventLoop *> m_loops;
    qint64 m_linesSent = 0;
};

/// The text of the message shown when `command` got no answer: "FSP does not answer: *RST;*OPC?".
QString NoAnswerText(const QString &deviceName, const QByteArray &command);
