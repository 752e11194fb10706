#pragma once
// Test bench for the analyser simulator: starts analyser-sim in a temporary folder and talks to
// it over its pseudo-terminal with plain POSIX calls, as a client program would.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

/// One analyser-sim process in its own temporary working folder.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments = {}, const QString &workDir = {});
    ~SimProcess();

    /// Keep the simulator's stderr for errors() instead of passing it on to the test's own
    /// stderr (where its notes help to read a failure). Call before start().
    void captureErrors() { m_captureErrors = true; }
    /// Everything the simulator wrote to stderr so far (with captureErrors()).
    QByteArray errors();

    /// Starts the simulator and waits (at most 5 s) for its "serving COM<n> on ..." line.
    /// `why` receives the reason when it fails.
    bool start(QString *why = nullptr);
    /// SIGTERM and wait for the end (at most 5 s); true when it ended by itself with code 0.
    bool stop();

    QString workDir() const { return m_dir; }
    QString portPath(int port = 1) const;
    QString pidPath(int port = 1) const;
    /// The first line the simulator printed.
    QString servingLine() const { return m_servingLine; }
    /// With --tcp: the port from "listening on <address>:<port>"; 0 when there is none.
    quint16 tcpPort() const;
    QProcess &process() { return m_process; }
    /// Log file path inside the working folder (for --log).
    QString file(const QString &name) const;

private:
    QTemporaryDir m_temp;
    QString m_dir;
    QStringList m_arguments;
    QProcess m_process;
    QString m_servingLine;
    QByteArray m_errors;
    bool m_captureErrors = false;
};

/// A client on the simulator's port: raw 8N1, CR LF lines; or on its TCP socket, where answer
/// lines end in LF with an optional CR before it.
class PortClient
{
public:
    PortClient() = default;
    ~PortClient();
    PortClient(const PortClient &) = delete;
    PortClient &operator=(const PortClient &) = delete;

    /// Opens the link (raw mode, stale input dropped). False when it cannot be opened.
    bool open(const QString &path);
    /// Connects to the simulator's TCP socket on a loopback address ("127.0.0.1" or "::1").
    bool connectTcp(quint16 port, const QByteArray &loopback = "127.0.0.1");
    /// What send() puts after a command: CR LF unless set otherwise.
    void setCommandEnd(const QByteArray &end) { m_commandEnd = end; }
    void close();
    bool isOpen() const { return m_fd >= 0; }

    /// Writes `command` followed by the command end (or the bytes as given when `raw` is set).
    bool send(const QByteArray &command, bool raw = false);
    /// Next answer line without its CR LF; nullopt on time-out, hang-up, or a line that does
    /// not end in CR LF (over TCP a bare LF ends a line too).
    std::optional<QByteArray> readLine(int timeoutMs = 2000);
    /// Everything that arrives within `ms`.
    QByteArray readFor(int ms);
    /// Sends `command` and returns its answer line (empty on time-out).
    QByteArray ask(const QByteArray &command, int timeoutMs = 2000);
    /// True when the line hangs up within `timeoutMs`.
    bool waitHangup(int timeoutMs);

private:
    int m_fd = -1;
    bool m_tcp = false;
    QByteArray m_commandEnd = "\r\n";
    QByteArray m_pending;
};

/// The reading of an answer such as "-75.55" or "-7.555012E+01"; nullopt when it is not a number.
std::optional<double> readingValue(const QByteArray &answer);
