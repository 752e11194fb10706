#include "run/analyser_link.h"

#include "analyser/analyser_setup.h"
#include "analyser/connection.h"
#include "analyser/serial_transport.h"
#include "analyser/tcp_transport.h"
#include "serial/piloport.h"

#include <QTimer>

AnalyserLink::AnalyserLink(MeasurementRecord &record, QObject *parent, const AnalyserDialect &dialect)
    : QObject(parent),
      m_dialect(dialect),
      m_serial(std::make_unique<SerialTransport>()),
      m_tcp(std::make_unique<TcpTransport>()),
      m_sequencer(record, m_channel, dialect)
{
    m_serial->port().setObjectName(QStringLiteral("Pilo"));
    for (Transport *t : {static_cast<Transport *>(m_serial.get()), static_cast<Transport *>(m_tcp.get())}) {
        t->OnLine = [this](const QByteArray &line) {
            m_channel.PiloDataAvailable(line);
            // A pass that waits for this reply takes it as soon as the line's handler has
            // returned rather than at the timer's next tick, once its millisecond is up: the
            // timer's ticks come late by a fraction of a millisecond each, and a reply just
            // missed by one would cost a whole tick.
            if (m_sequencer.SequencerRunning)
                m_replyTick->start();
        };
        t->OnHangUp = [this] {
            // Nothing more can be sent or received: a wait ends now. A pass ends as "Cancel"
            // ends it and the owner hears of the loss once the transport's own handler has
            // returned, so that it may close the line.
            m_channel.WakeWaiting();
            QTimer::singleShot(0, this, [this] {
                if (!hungUp())
                    return;  // closed meanwhile
                m_sequencer.LineLost();
                emit connectionLost();
            });
        };
    }
    use(m_serial.get());
    m_channel.DeviceName = dialect.DeviceName();
    m_channel.OnNoAnswer = [this](const QString &message) { emit noAnswer(message); };
    m_channel.OnWaiting = [this](bool waiting) { emit waitingForAnalyser(waiting); };

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1);
    connect(m_timer, &QTimer::timeout, this, &AnalyserLink::Timer1Timer);
    m_replyTick = new QTimer(this);
    m_replyTick->setSingleShot(true);
    m_replyTick->setInterval(0);
    connect(m_replyTick, &QTimer::timeout, this, [this] {
        if (m_sequencer.SequencerRunning && m_sequencer.TickDue())
            Timer1Timer();
    });

    ::Sequencer *s = &m_sequencer;
    connect(s, &Sequencer::searchStarted, this, &AnalyserLink::searchStarted);
    connect(s, &Sequencer::searchEnded, this, [this](bool found, const QByteArray &identification) {
        // Nobody answered: the timer stops and the port closes before the owner hears of it.
        if (!found)
            abandon();
        emit searchEnded(found, identification);
    });
    connect(s, &Sequencer::passStarted, this, &AnalyserLink::passStarted);
    connect(s, &Sequencer::sweepTimeRead, this, &AnalyserLink::sweepTimeRead);
    connect(s, &Sequencer::frequencyStarted, this, &AnalyserLink::frequencyStarted);
    connect(s, &Sequencer::levelRead, this, &AnalyserLink::levelRead);
    connect(s, &Sequencer::stepCompleted, this, &AnalyserLink::stepCompleted);
    connect(s, &Sequencer::passEnded, this, &AnalyserLink::passEnded);
    connect(s, &Sequencer::readingRefused, this, &AnalyserLink::readingRefused);
    connect(s, &Sequencer::passFailed, this, &AnalyserLink::passFailed);
}

AnalyserLink::~AnalyserLink() = default;

TPiloComPort &AnalyserLink::serialPort()
{
    return m_serial->port();
}

bool AnalyserLink::isOpen() const
{
    return m_connecting || m_transport->isOpen();
}

bool AnalyserLink::hungUp() const
{
    return m_transport->isOpen() && !m_transport->isActive();
}

void AnalyserLink::use(Transport *transport)
{
    m_transport = transport;
    m_channel.setPort(transport);
}

void AnalyserLink::openSerial(const LineChoice &line)
{
    use(m_serial.get());
    ApplyLineChoice(m_serial->port(), line);
    m_serial->open([](bool, const QString &) {});
    m_sequencer.StartSearch();
    startTicking();
}

void AnalyserLink::openTcp(const QString &host, quint16 port)
{
    use(m_tcp.get());
    m_tcp->setHost(host);
    m_tcp->setPort(port);
    m_connecting = true;
    m_tcp->open([this, host, port](bool ok, const QString &error) {
        m_connecting = false;
        if (!ok) {
            emit connectFailed(CannotConnectText(host, port, error));
            return;
        }
        m_sequencer.StartSearch();
        startTicking();
        emit connected();
    });
}

void AnalyserLink::close()
{
    // A restore that gets no answer is reported by the channel; the line is closed all the same.
    if (m_stateSaved)
        m_channel.SendCommand(m_dialect.RestoreState(), 1);
    m_connecting = false;
    m_transport->close();
    m_stateSaved = false;
    m_timer->stop();
    m_sequencer.SequencerRunning = false;
    m_sequencer.SequencerState = StateIdle;
}

void AnalyserLink::abandon()
{
    m_connecting = false;
    m_transport->close();
    m_timer->stop();
}

void AnalyserLink::idle()
{
    m_sequencer.SetIdle();
    m_timer->stop();
}

bool AnalyserLink::setUp(const SetupSettings &settings)
{
    if (!isOpen())
        return false;
    return RunSetup(m_channel, m_dialect, settings, m_stateSaved);
}

void AnalyserLink::startCalibration(const PassInputs &inputs)
{
    m_sequencer.StartCalibration(inputs);
    startTicking();
}

void AnalyserLink::startMeasurement(const PassInputs &inputs)
{
    m_sequencer.StartMeasurement(inputs);
    startTicking();
}

void AnalyserLink::cancel()
{
    m_sequencer.CancelRequested = true;
    startTicking();
}

void AnalyserLink::sendLine(const QByteArray &text)
{
    if (m_transport->isActive())
        m_transport->write(text + QByteArrayLiteral("\r\n"));
}

void AnalyserLink::Timer1Timer()
{
    ++m_ticks;
    m_sequencer.Tick();
    // Nothing to do until the next search or pass: a connected, idle program does not tick.
    if (!m_sequencer.NeedsTicks())
        m_timer->stop();
}

void AnalyserLink::startTicking()
{
    if (!m_timer->isActive())
        m_timer->start();
}
