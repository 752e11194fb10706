#pragma once
// The connection to the analyser as one object: the line (the serial component), the command
// channel over it, the sequencer and the timer that drives it. The window, or any other owner,
// uses a few verbs (open, set up, calibrate, measure, close) and hears back through the
// sequencer's host and two signals; it never reaches into the port or the timer itself.
//
// Threading: everything runs on the user-interface thread; the serial component's own receive
// thread hands its lines over to that thread before they reach the channel.

#include "analyser/command_channel.h"
#include "run/sequencer.h"

#include <QObject>
#include <QString>
#include <memory>

class QTimer;
class TPiloComPort;
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

    /// True while the line is open, also after the other end hung up.
    bool isOpen() const;
    /// Applies the line settings, opens the line and starts the analyser search. A line that
    /// cannot be opened shows up as the search's time-out: nothing can be sent.
    void openSerial(const LineChoice &line);
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

    /// One step of the sequencer (the timer's tick).
    void Timer1Timer();

    /// The serial component (for its list of ports and its events), the channel and the
    /// sequencer; the timer is named "Timer1" and ticks every millisecond.
    TPiloComPort *Pilo = nullptr;
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

private:
    void startTicking();
    std::unique_ptr<CommandPort> m_commandPort;
};
