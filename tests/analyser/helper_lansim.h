#pragma once
// analyser-sim as a VXI-11 instrument or a "++" GPIB adapter for the transport and end-to-end
// tests: on a TCP port it picks itself (the port read from its first line on stdout) or on
// ports/COM<n> of the current working directory, with its command log.

#include "helper_link.h"

#include <QRegularExpression>

namespace link_test {

class LanSim
{
public:
    /// `args`: "--vxi11", "--tcp 0 --gpib-adapter" or "--port 2 --gpib-adapter", and faults.
    explicit LanSim(const QStringList &args)
    {
        m_log = QDir::current().filePath(QStringLiteral("sim-lan-%1.log").arg(++serial()));
        m_process.setWorkingDirectory(QDir::currentPath());
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(TESSARY_SIM), args + QStringList{QStringLiteral("--log"), m_log});
    }
    ~LanSim()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    LanSim(const LanSim &) = delete;
    LanSim &operator=(const LanSim &) = delete;

    /// Waits for the first line on stdout; the TCP port it names, or 0 (a pseudo-terminal, or
    /// a simulator that could not start: see running()).
    quint16 ready(int ms = 5000)
    {
        static const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)"));
        const QDeadlineTimer deadline(ms);
        while (!m_process.canReadLine() && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning)
            m_process.waitForReadyRead(50);
        m_first = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        const QRegularExpressionMatch match = listening.match(m_first);
        return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    QString firstLine() const { return m_first; }

    QList<QByteArray> lines() const
    {
        QList<QByteArray> out;
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (QByteArray l : f.readAll().split('\n')) {
            const qsizetype blank = l.indexOf(' ');
            if (blank >= 0)
                out.append(l.mid(blank + 1));
        }
        return out;
    }

private:
    static int &serial()
    {
        static int n = 0;
        return n;
    }
    QProcess m_process;
    QString m_log;
    QString m_first;
};

} // namespace link_test
