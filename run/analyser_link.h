#pragma once
// The connection to the analyser as one object: the line (the serial component or a TCP
// socket, behind one transport seam), the command channel over it, the sequencer and the timer that drives it. The window, or any other owner,
// uses a few verbs (open, set up, calibrate, measure, close) and hears back through the
// sequencer's host and two signals; it never reaches into the port or the timer itself.
//
// Threading: everything runs on the user-interface thread; the serial component's own receive
// thread hands its lines over to that thread before they reach the channel.

#include "analyser/command_channel.h"
#include "run/sequencer.h"

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <memory>

class QTimer;
class SerialTransport;
class TcpTransport;
class TPiloComPort;
class Transport;
struct LineChoice;
struct SetupSettings;

class AnalyserLink : public QObject
{
    Q_OBJECT

public:
    /// `record` receives the levels of both passes; `host` is the owner's side of the sequencer.
    explicit AnalyserLink(MeasurementRecord &record, QObject *parent = nullptr);
    ~AnalyserLink() override;

    void setHost(SequencerHost *host) { Sequencer.setHost(host); }

    /// True while the line is open (also after the other end hung up) or being opened.
    bool isOpen() const;
    /// True once the other end went away, until the line is closed.
    bool hungUp() const;
    /// True while a TCP connection is being set up.
    bool isConnecting() const { return m_connecting; }
    /// Applies the line settings, opens the line and starts the analyser search. A line that
    /// cannot be opened shows up as the search's time-out: nothing can be sent.
    void openSerial(const LineChoice &line);
    /// Connects to the analyser's SCPI socket without blocking, at most 5 s for the name lookup
    /// and the connection together; the search starts once connected. A failure is told by
    /// connectFailed, with nothing left open.
    void openTcp(const QString &host, quint16 port);
    /// Gives the analyser back the settings the last set-up stored (when there are any), then
    /// closes the line and stops the sequencer: a pass left running ends with it.
    void close();
    /// Closes the line without a word to the analyser (the search found nobody).
    void abandon();

    /// The set-up: the analyser stores its own settings, then gets the measurement settings.
    /// False when the line is closed or a command got no answer.
    bool setUp(const SetupSettings &settings);
    void startCalibration();
    void startMeasurement();
    /// A line typed by hand, sent as it stands followed by CR LF, without waiting.
    void sendLine(const QByteArray &text);

    /// One step of the sequencer (the timer's tick). The timer runs only while the search or
    /// a pass needs it, and stops itself once the sequencer is idle.
    void Timer1Timer();
    /// Ticks served since construction.
    quint64 ticks() const { return m_ticks; }

    /// The serial component (for its list of ports and its events), the channel and the
    /// sequencer; the timer is named "Timer1" and ticks every millisecond.
    TPiloComPort *Pilo = nullptr;
    /// The TCP line, for its host and port.
    TcpTransport &tcp() { return *m_tcp; }
    CommandChannel Channel;
    ::Sequencer Sequencer;
    QTimer *Timer1 = nullptr;
    /// The set-up has stored the analyser's own settings on it; the disconnect brings them back.
    bool StateSaved = false;

signals:
    /// The other end went away in the middle of the connection.
    void connectionLost();
    /// A waiting command got no answer in time: "FSP does not answer: <command>".
    void noAnswer(const QString &message);
    /// The TCP connection stands; the analyser search has started.
    void connected();
    /// The TCP connection could not be made: "Cannot connect to <host>:<port>: <reason>".
    void connectFailed(const QString &message);

private:
    void startTicking();
    void use(Transport *transport);
    std::unique_ptr<SerialTransport> m_serial;
    std::unique_ptr<TcpTransport> m_tcp;
    Transport *m_transport = nullptr;
    bool m_connecting = false;
    quint64 m_ticks = 0;
};
