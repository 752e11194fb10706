#include "run/analyser_link.h"

#include "analyser/analyser_setup.h"
#include "analyser/commands.h"
#include "analyser/connection.h"
#include "analyser/serial_transport.h"
#include "analyser/tcp_transport.h"
#include "serial/piloport.h"

#include <QTimer>

AnalyserLink::AnalyserLink(MeasurementRecord &record, QObject *parent)
    : QObject(parent),
      Sequencer(record),
      m_serial(std::make_unique<SerialTransport>()),
      m_tcp(std::make_unique<TcpTransport>())
{
    Pilo = &m_serial->port();
    Pilo->setObjectName(QStringLiteral("Pilo"));
    for (Transport *t : {static_cast<Transport *>(m_serial.get()), static_cast<Transport *>(m_tcp.get())}) {
        t->OnLine = [this](const QByteArray &line) { Channel.PiloDataAvailable(line); };
        t->OnHangUp = [this] {
            // The line stays open until Disconnect; nothing more can be sent or received, so a
            // wait ends now and a pass waits until "Cancel".
            Channel.WakeWaiting();
            emit connectionLost();
        };
    }
    use(m_serial.get());
    Channel.OnNoAnswer = [this](const QString &message) { emit noAnswer(message); };

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &AnalyserLink::Timer1Timer);
}

AnalyserLink::~AnalyserLink() = default;

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
    Channel.setPort(transport);
}

void AnalyserLink::openSerial(const LineChoice &line)
{
    use(m_serial.get());
    ApplyLineChoice(*Pilo, line);
    m_serial->open([](bool, const QString &) {});
    Sequencer.StartSearch();
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
        Sequencer.StartSearch();
        startTicking();
        emit connected();
    });
}

void AnalyserLink::close()
{
    // A restore that gets no answer is reported by the channel; the line is closed all the same.
    if (StateSaved)
        Channel.SendCommand(Cmd::RestoreState, 1);
    m_connecting = false;
    m_transport->close();
    StateSaved = false;
    Timer1->stop();
    Sequencer.SequencerRunning = false;
    Sequencer.SequencerState = StateIdle;
}

void AnalyserLink::abandon()
{
    m_connecting = false;
    m_transport->close();
    Timer1->stop();
}

bool AnalyserLink::setUp(const SetupSettings &settings)
{
    if (!isOpen())
        return false;
    return RunSetup(Channel, settings, StateSaved);
}

void AnalyserLink::startCalibration()
{
    Sequencer.StartCalibration();
    startTicking();
}

void AnalyserLink::startMeasurement()
{
    Sequencer.StartMeasurement();
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
    Sequencer.Tick();
    // Nothing to do until the next search or pass: a connected, idle program does not tick.
    if (!Sequencer.NeedsTicks())
        Timer1->stop();
}

void AnalyserLink::startTicking()
{
    if (!Timer1->isActive())
        Timer1->start();
}
