#pragma once
// The connection to the analyser as one object: the line (the serial component or a TCP
// socket, behind one transport seam), the command channel over it, the analyser's dialect, the
// sequencer and the timer that drives it. The sequencer talks to the line through the channel;
// the window, the command line or any other owner uses a few verbs (open, set up, calibrate,
// measure, cancel, close) and hears back through value-typed signals. It never reaches into
// the port, the channel or the timer itself.
//
// Threading: everything runs on the user-interface thread; the serial component's own receive
// thread hands its lines over to that thread before they reach the channel. Every signal is
// delivered directly, while the sequencer's step that caused it is still running.

#include "analyser/command_channel.h"
#include "analyser/transport.h"
#include "run/sequencer.h"

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

class GpibTransport;
class QTimer;
class SerialTransport;
class TcpTransport;
class Vxi11Transport;
class TPiloComPort;
class Transport;
struct LineChoice;
struct SetupSettings;

class AnalyserLink : public QObject
{
    Q_OBJECT

public:
    /// `record` receives the levels of both passes; `dialect` (which must outlive the link)
    /// gives every line sent.
    explicit AnalyserLink(MeasurementRecord &record, QObject *parent = nullptr,
                          const AnalyserDialect &dialect = DefaultDialect());
    ~AnalyserLink() override;

    /// True while the line is open (also after the other end hung up) or being opened.
    bool isOpen() const;
    /// True once the other end went away, until the line is closed.
    bool hungUp() const;
    /// True while a TCP connection is being set up.
    bool isConnecting() const { return m_connecting; }
    /// Applies the line settings, opens the line and starts the analyser search. A port that
    /// cannot be opened is told at once by connectFailed ("Could not open FSP ! COM3: no such
    /// port"), and no search starts.
    void openSerial(const LineChoice &line);
    /// Links to the analyser by VXI-11 (device `device`, found through the host's portmapper)
    /// without blocking, at most 5 s; the search starts once linked. A failure is told by
    /// connectFailed: "Cannot connect to <host> (VXI-11 <device>): <reason>".
    void openVxi11(const QString &host, const QString &device);
    /// The analyser at GPIB address `address` behind a "++" adapter on the serial port of
    /// `line`, or (with a host) at `host`:`port`. The search starts once the adapter answered
    /// and is set up; a failure is told by connectFailed.
    void openGpibSerial(const LineChoice &line, int address);
    void openGpibTcp(const QString &host, quint16 port, int address);
    /// Why the last open failed, or the line went down.
    TransportError lastError() const;
    /// Connects to the analyser's SCPI socket without blocking, at most 5 s for the name lookup
    /// and the connection together; the search starts once connected. A failure is told by
    /// connectFailed, with nothing left open.
    void openTcp(const QString &host, quint16 port);
    /// Gives the analyser back the settings the last set-up stored (when there are any), then
    /// closes the line and stops the sequencer: a pass left running ends with it.
    void close();
    /// Closes the line without a word to the analyser (the search found nobody).
    void abandon();
    /// The sequencer idle and the timer stopped, as the program starts.
    void idle();

    /// The set-up: the analyser stores its own settings, then gets the measurement settings.
    /// False when the line is closed or a command got no answer.
    bool setUp(const SetupSettings &settings);
    void startCalibration(const PassInputs &inputs);
    void startMeasurement(const PassInputs &inputs);
    /// The progress window's "Cancel": the pass ends at the next tick.
    void cancel();
    /// A line typed by hand, sent as it stands followed by CR LF, without waiting.
    void sendLine(const QByteArray &text);

    /// One step of the sequencer (the timer's tick). The timer runs only while the search or
    /// a pass needs it, and stops itself once the sequencer is idle.
    void Timer1Timer();
    /// Ticks served since construction.
    quint64 ticks() const { return m_ticks; }

    /// The serial component (named "Pilo"), for its list of ports and its events.
    TPiloComPort &serialPort();
    /// The TCP line, for its host and port.
    TcpTransport &tcp() { return *m_tcp; }
    /// The sequencer's variables, to look at.
    const ::Sequencer &sequencer() const { return m_sequencer; }
    /// True while a pass or the search runs.
    bool passRunning() const { return m_sequencer.SequencerRunning; }
    /// How many command lines this link has sent.
    qint64 linesSent() const { return m_channel.LinesSent(); }
    /// The timer "Timer1", ticking every millisecond while it runs.
    const QTimer &timer() const { return *m_timer; }
    /// The set-up has stored the analyser's own settings on it; the disconnect brings them back.
    bool stateSaved() const { return m_stateSaved; }
    /// The bound of a waiting command (set-up, restore), in milliseconds.
    int replyTimeoutMs() const { return m_channel.ReplyTimeoutMs; }
    void setReplyTimeoutMs(int ms) { m_channel.ReplyTimeoutMs = ms; }
    const AnalyserDialect &dialect() const { return m_dialect; }

signals:
    /// The other end went away in the middle of the connection; a pass has ended (passFailed)
    /// or the search (searchEnded) just before. The line stays open until the owner closes it.
    void connectionLost();
    /// A waiting command got no answer in time: "FSP does not answer: <command>".
    void noAnswer(const QString &message);
    /// A waiting command (set-up, restore) has had no answer for a while (true) and the wait
    /// has ended (false), answered or not.
    void waitingForAnalyser(bool waiting);
    /// The TCP connection stands; the analyser search has started.
    void connected();
    /// The TCP connection could not be made: "Cannot connect to <host>:<port>: <reason>".
    void connectFailed(const QString &message);

    // ---- The sequencer's news (see Sequencer) ----
    void searchStarted();
    /// The search ended; when nobody answered, the line has been closed already.
    void searchEnded(bool found, const QByteArray &identification);
    void passStarted(PassKind pass, int steps);
    void sweepTimeRead(PassKind pass, const QString &sweepTime);
    void frequencyStarted(PassKind pass, int step, double hz);
    void levelRead(PassKind pass, SourceState source, int step, double levelDbm);
    void stepCompleted(PassKind pass, int step);
    void passEnded(PassKind pass);
    void readingRefused(const QString &message);
    void passFailed(PassKind pass, PassFailure why, const QString &message);

private:
    void startTicking();
    void use(Transport *transport);
    void openThen(Transport *transport, std::function<QString(const QString &reason)> failureText);
    const AnalyserDialect &m_dialect;
    std::unique_ptr<SerialTransport> m_serial;
    std::unique_ptr<TcpTransport> m_tcp;
    std::unique_ptr<Vxi11Transport> m_vxi11;
    std::unique_ptr<GpibTransport> m_gpib;
    Transport *m_transport = nullptr;
    CommandChannel m_channel;
    ::Sequencer m_sequencer;
    QTimer *m_timer = nullptr;
    QTimer *m_replyTick = nullptr;  ///< a tick as soon as a reply has arrived
    bool m_stateSaved = false;
    bool m_connecting = false;
    quint64 m_ticks = 0;
};
