#include "run/analyser_link.h"

#include "analyser/analyser_setup.h"
#include "analyser/commands.h"
#include "analyser/connection.h"
#include "serial/piloport.h"

#include <QTimer>

AnalyserLink::AnalyserLink(MeasurementRecord &record, QObject *parent)
    : QObject(parent), Sequencer(record)
{
    Pilo = new TPiloComPort(this);
    Pilo->setObjectName(QStringLiteral("Pilo"));
    // One analyser reply line per delivery.
    Pilo->setLineEnd(QByteArrayLiteral("\r\n"));
    Pilo->setLineMode(true);
    Pilo->FlowCtrl().setRxDtrControl(dtrDisable);
    Pilo->FlowCtrl().setRxRtsControl(rtsHandshake);
    Pilo->OnDataAvailable = [this](TPiloComPort *sender) {
        QByteArray line;
        sender->ReadStr(line);
        Channel.PiloDataAvailable(line);
    };
    Pilo->OnHangUp = [this](TPiloComPort *) {
        // The port stays open until Disconnect; nothing more can be sent or received, so a
        // wait ends now and a pass waits until "Cancel".
        Channel.WakeWaiting();
        emit connectionLost();
    };
    m_commandPort = std::make_unique<PiloCommandPort>(Pilo);
    Channel.setPort(m_commandPort.get());
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
    return Pilo->Active();
}

void AnalyserLink::openSerial(const LineChoice &line)
{
    ApplyLineChoice(*Pilo, line);
    Pilo->Open();
    Sequencer.StartSearch();
    startTicking();
}

void AnalyserLink::close()
{
    // A restore that gets no answer is reported by the channel; the line is closed all the same.
    if (StateSaved)
        Channel.SendCommand(Cmd::RestoreState, 1);
    Pilo->Close();
    StateSaved = false;
    Timer1->stop();
    Sequencer.SequencerRunning = false;
    Sequencer.SequencerState = StateIdle;
}

void AnalyserLink::abandon()
{
    Pilo->Close();
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
    if (isOpen())
        Pilo->WriteStr(text + QByteArrayLiteral("\r\n"));
}

void AnalyserLink::Timer1Timer()
{
    Sequencer.Tick();
}

void AnalyserLink::startTicking()
{
    if (!Timer1->isActive())
        Timer1->start();
}
