#include "analyser/command_channel.h"

#include "analyser/analyser_dialect.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
// How often a wait looks at its bound and at the port while no line arrives; a reply ends the
// wait at once, without waiting for this.
constexpr int kWaitPollMs = 20;
}  // namespace

QString NoAnswerText(const QString &deviceName, const QByteArray &command)
{
    return deviceName + QStringLiteral(" does not answer: ") + QString::fromLatin1(command);
}

CommandChannel::CommandChannel(CommandPort *port) : DeviceName(DefaultDialect().DeviceName()), m_port(port) {}

bool CommandChannel::SendCommand(const QByteArray &command, int wait)
{
    if (!portActive())
        return false;
    if (wait == 1) {
        QByteArray stale;
        ReadReply(stale);
    }
    m_port->write(command + QByteArrayLiteral("\r\n"));
    ++m_linesSent;
    if (wait != 1)
        return true;
    return waitForReply(command);
}

bool CommandChannel::waitForReply(const QByteArray &command)
{
    const QDeadlineTimer deadline(ReplyTimeoutMs);
    const QDeadlineTimer slow(kSlowWaitMs);
    bool told = false;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(kWaitPollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!PendingReply.isEmpty() || !portActive() || deadline.hasExpired()) {
            loop.quit();
        } else if (!told && slow.hasExpired() && OnWaiting) {
            told = true;
            OnWaiting(true);
        }
    });
    poll.start();
    m_loops.append(&loop);
    // Handlers that run inside the loop (timer ticks, clicks) may start a wait of their own;
    // a reply then ends both, since whatever line arrives is the reply.
    while (PendingReply.isEmpty() && portActive() && !deadline.hasExpired())
        loop.exec();
    m_loops.removeOne(&loop);
    poll.stop();
    if (told && OnWaiting)
        OnWaiting(false);

    if (!PendingReply.isEmpty())
        return true;
    if (portActive() && OnNoAnswer)
        OnNoAnswer(NoAnswerText(DeviceName, command));
    return false;
}

bool CommandChannel::ReadReply(QByteArray &text)
{
    if (PendingReply.isEmpty())
        return false;
    text = PendingReply;
    PendingReply.clear();
    return true;
}

void CommandChannel::PiloDataAvailable(const QByteArray &line)
{
    if (line.size() <= 2)
        return;
    PendingReply = line.left(line.size() - 2);
    WakeWaiting();
}

void CommandChannel::WakeWaiting()
{
    for (QEventLoop *loop : std::as_const(m_loops))
        loop->quit();
}
