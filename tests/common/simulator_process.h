#pragma once
// analyser-sim as every test and benchmark starts it: one process in a working folder, ready
// once it has printed its first line ("analyser-sim: serving COM<n> on <pty>" after it has
// linked ports/COM<n>, or "listening on <address>:<port>" with --tcp), with its TCP port read
// from that line, its command log (every line it received, with the seconds since its start)
// and a stop that ends it for certain. Header-only, so that a benchmark can use it too.

#include "common/event_loop.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class SimulatorProcess
{
public:
    /// The simulator with `arguments`, in `workDir`, or in a temporary folder of its own when
    /// `workDir` is empty. Nothing runs before launch() or start().
    explicit SimulatorProcess(const QStringList &arguments = {}, const QString &workDir = {})
        : m_arguments(arguments)
    {
        if (workDir.isEmpty())
            m_temp = std::make_unique<QTemporaryDir>();
        m_dir = workDir.isEmpty() ? m_temp->path() : workDir;
#ifdef TESSARY_SIM
        m_program = QStringLiteral(TESSARY_SIM);
#endif
    }
    ~SimulatorProcess() { stop(); }
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    /// The simulator serving ports/COM<port> of the current working folder with `extra`
    /// options, every received line in its command log sim-<port>.log there; launched at once
    /// (ready() waits for it).
    static std::unique_ptr<SimulatorProcess> onComPort(int port, const QStringList &extra = {})
    {
        auto sim = std::make_unique<SimulatorProcess>(
            QStringList{QStringLiteral("--port"), QString::number(port)} + extra, QDir::currentPath());
        sim->setCommandLog(QStringLiteral("sim-%1.log").arg(port));
        sim->launch();
        return sim;
    }
    /// The simulator on a loopback TCP port of its own choosing with `extra` options, in the
    /// current working folder, every received line in its command log sim-tcp.log there;
    /// launched at once (tcpPort() waits for it).
    static std::unique_ptr<SimulatorProcess> onTcp(const QStringList &extra = {})
    {
        auto sim = std::make_unique<SimulatorProcess>(
            QStringList{QStringLiteral("--tcp"), QStringLiteral("0")} + extra, QDir::currentPath());
        sim->setCommandLog(QStringLiteral("sim-tcp.log"));
        sim->launch();
        return sim;
    }

    // ---- Before the start ----------------------------------------------------------------

    /// The program to run, for a benchmark that is told where the simulator is; the tests run
    /// the one this build made.
    void setProgram(const QString &program) { m_program = program; }
    /// Every line the simulator receives goes to the file `name` in its working folder
    /// (--log); entries() and lines() read it.
    void setCommandLog(const QString &name) { m_log = QDir(m_dir).filePath(name); }
    /// Keep the simulator's stderr for errors() instead of passing it on to the caller's own
    /// stderr (where its notes help to read a failure).
    void captureErrors() { m_errorMode = ErrorMode::Capture; }
    /// Append the simulator's stderr to the file `path` (relative to the working folder).
    void setErrorFile(const QString &path)
    {
        m_errorMode = ErrorMode::File;
        m_errorFile = QDir(m_dir).filePath(path);
    }
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }

    // ---- Running -------------------------------------------------------------------------

    /// Starts the process and returns without waiting for it.
    void launch()
    {
        stop();
        m_ready = false;
        m_servingLine.clear();
        m_stdout.clear();
        m_errors.clear();
        // A simulator whose stderr nobody reads would block once the pipe is full.
        if (m_errorMode == ErrorMode::Capture)
            m_process.setProcessChannelMode(QProcess::SeparateChannels);
        else
            m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (m_errorMode == ErrorMode::File)
            m_process.setStandardErrorFile(m_errorFile, QIODevice::Append);
        m_process.setWorkingDirectory(m_dir);
        m_process.setProgram(m_program);
        QStringList arguments = m_arguments;
        if (!m_log.isEmpty())
            arguments << QStringLiteral("--log") << m_log;
        m_process.setArguments(arguments);
        m_process.start();
    }

    /// Waits (at most `ms`) until the simulator has printed its first line, which it does once
    /// it serves its port or listens on its socket. `why` receives the reason when it fails.
    bool ready(int ms = 5000, QString *why = nullptr)
    {
        if (m_ready)
            return true;
        const QDeadlineTimer deadline(ms);
        if (m_process.state() == QProcess::Starting && !m_process.waitForStarted(ms)
            && m_process.error() == QProcess::FailedToStart) {
            if (why)
                *why = QStringLiteral("cannot start %1: %2").arg(m_program, m_process.errorString());
            return false;
        }
        for (;;) {
            m_stdout += m_process.readAllStandardOutput();
            const qsizetype eol = m_stdout.indexOf('\n');
            if (eol >= 0) {
                m_servingLine = QString::fromLocal8Bit(m_stdout.left(eol));
                m_ready = true;
                return true;
            }
            if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
                break;
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        if (why)
            *why = QStringLiteral("no serving line; stderr: ") + QString::fromLocal8Bit(errors());
        return false;
    }

    /// launch() and ready(5 s).
    bool start(QString *why = nullptr)
    {
        launch();
        return ready(5000, why);
    }

    /// SIGTERM and wait for the end (at most 5 s), killed when it does not end; true when it
    /// ended by itself with code 0.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
            return false;
        }
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    /// Killed at once, without a chance to tidy up (its port link stays behind).
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    bool running() const { return m_process.state() != QProcess::NotRunning; }
    QProcess &process() { return m_process; }
    const QProcess &process() const { return m_process; }

    // ---- What it says --------------------------------------------------------------------

    /// The first line the simulator printed (after ready()).
    QString servingLine() const { return m_servingLine; }
    /// With --tcp: the port from "listening on <address>:<port>", waiting for the line if need
    /// be; 0 when there is none.
    quint16 tcpPort(int ms = 5000)
    {
        static const QString prefix = QStringLiteral("listening on ");
        if (!ready(ms) || !m_servingLine.startsWith(prefix))
            return 0;
        const qsizetype colon = m_servingLine.lastIndexOf(u':');
        return quint16(m_servingLine.mid(colon + 1).trimmed().toUInt());
    }
    /// Everything the simulator wrote to stderr so far (with captureErrors()).
    QByteArray errors()
    {
        if (m_errorMode == ErrorMode::Capture)
            m_errors += m_process.readAllStandardError();
        return m_errors;
    }

    QString workDir() const { return m_dir; }
    /// A file's path inside the working folder.
    QString file(const QString &name) const { return QDir(m_dir).filePath(name); }
    QString portPath(int port = 1) const { return file(QStringLiteral("ports/COM%1").arg(port)); }
    QString pidPath(int port = 1) const { return portPath(port) + QStringLiteral(".pid"); }

    // ---- Its command log -----------------------------------------------------------------

    struct Entry
    {
        double seconds = 0;
        QByteArray line;
    };
    /// The log: every line the simulator received, with the seconds since its start.
    QList<Entry> entries() const
    {
        QList<Entry> out;
        QFile f(m_log);
        if (m_log.isEmpty() || !f.open(QIODevice::ReadOnly))
            return out;
        for (QByteArray l : f.readAll().split('\n')) {
            if (l.endsWith('\r'))
                l.chop(1);
            const qsizetype blank = l.indexOf(' ');
            if (blank < 0)
                continue;
            out.append({l.left(blank).toDouble(), l.mid(blank + 1)});
        }
        return out;
    }
    /// The received lines alone.
    QList<QByteArray> lines() const
    {
        QList<QByteArray> out;
        for (const Entry &e : entries())
            out.append(e.line);
        return out;
    }
    /// The number of lines in the log once it has stopped growing for `quietMs`, or -1 when
    /// it is still growing after `boundMs`. Lines the program wrote just before it stopped
    /// sending may still be on their way to a simulator that answers late; this waits for them
    /// instead of counting them as sent afterwards.
    int settledLineCount(int quietMs = 300, int boundMs = 5000) const
    {
        int count = int(lines().size());
        QElapsedTimer quiet;
        quiet.start();
        const bool settled = ServeEventsUntil(
            [&] {
                const int now = int(lines().size());
                if (now != count) {
                    count = now;
                    quiet.restart();
                }
                return quiet.elapsed() >= quietMs;
            },
            boundMs, 10);
        return settled ? count : -1;
    }
    /// Serves events until the log holds at least `count` lines.
    bool waitLines(int count, int ms = 5000) const
    {
        return ServeEventsUntil([&] { return lines().size() >= count; }, ms);
    }

private:
    enum class ErrorMode { Forward, Capture, File };

    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_dir;
    QString m_program;
    QStringList m_arguments;
    QString m_log;
    ErrorMode m_errorMode = ErrorMode::Forward;
    QString m_errorFile;
    QProcess m_process;
    QByteArray m_stdout;
    QString m_servingLine;
    QByteArray m_errors;
    bool m_ready = false;
};
