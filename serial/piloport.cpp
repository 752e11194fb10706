#include "serial/piloport.h"

#include "serial/pilobuffer.h"
#include "serial/pilothread.h"
#include "serial/pilotimer.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>

// ---------------------------------------------------------------------------------------------
// Calling handlers from notifications

template <typename F> void TPiloComPort::guarded(F &&call)
{
    auto report = [this](const std::exception &e) {
        if (!OnBGException)
            return;
        try {
            OnBGException(this, e);
        } catch (...) {
            // An error in the error handler has nowhere left to go.
        }
    };
    try {
        call();
    } catch (const std::exception &e) {
        report(e);
    } catch (...) {
        report(std::runtime_error("unknown error in an event handler"));
    }
}

// ---------------------------------------------------------------------------------------------
// TFlowCtrl

void TFlowCtrl::setBits(quint32 mask, quint32 bits)
{
    m_flags = (m_flags & ~mask) | bits;
    m_owner->flowFlagsChanged();
}

void TFlowCtrl::setRxDsrSensivity(bool on)
{
    if (on == m_rxDsrSensivity)
        return;
    m_rxDsrSensivity = on;
    setBits(PiloDcb::DsrSensitivity, on ? PiloDcb::DsrSensitivity : 0);
}

void TFlowCtrl::setRxDtrControl(TDtrControl value)
{
    if (value == m_rxDtrControl)
        return;
    m_rxDtrControl = value;
    quint32 bits = 0;
    if (value == dtrEnable)
        bits = PiloDcb::DtrEnable;
    else if (value == dtrHandshake)
        bits = PiloDcb::DtrHandshake;
    setBits(PiloDcb::DtrControlMask, bits);
}

void TFlowCtrl::setRxRtsControl(TRtsControl value)
{
    if (value == m_rxRtsControl)
        return;
    m_rxRtsControl = value;
    quint32 bits = 0;
    if (value == rtsEnable)
        bits = PiloDcb::RtsEnable;
    else if (value == rtsHandshake)
        bits = PiloDcb::RtsHandshake;
    else if (value == rtsToggle)
        bits = PiloDcb::RtsToggle;
    setBits(PiloDcb::RtsControlMask, bits);
}

void TFlowCtrl::setTxContinueXoff(bool on)
{
    if (on == m_txContinueXoff)
        return;
    m_txContinueXoff = on;
    setBits(PiloDcb::TxContinueOnXoff, on ? PiloDcb::TxContinueOnXoff : 0);
}

void TFlowCtrl::setTxCtsFlow(bool on)
{
    if (on == m_txCtsFlow)
        return;
    m_txCtsFlow = on;
    setBits(PiloDcb::OutxCtsFlow, on ? PiloDcb::OutxCtsFlow : 0);
}

void TFlowCtrl::setTxDsrFlow(bool on)
{
    if (on == m_txDsrFlow)
        return;
    m_txDsrFlow = on;
    setBits(PiloDcb::OutxDsrFlow, on ? PiloDcb::OutxDsrFlow : 0);
}

void TFlowCtrl::setXonXoff(bool on)
{
    if (on == m_xonXoff)
        return;
    m_xonXoff = on;
    const quint32 both = PiloDcb::OutX | PiloDcb::InX;
    setBits(both, on ? both : 0);
}

// ---------------------------------------------------------------------------------------------
// TPiloComPort: construction, properties

TPiloComPort::TPiloComPort(QObject *parent)
    : QObject(parent), m_txQueue(std::make_unique<TPiloTxBuffer>()),
      m_rxShared(std::make_unique<TPiloRxSettings>())
{
    publishRxSettings();
}

TPiloComPort::~TPiloComPort()
{
    m_destroying = true;
    if (m_active)
        Close();
    m_timer.reset();
}

void TPiloComPort::EnumComPorts(QStringList &list)
{
    for (int n : PresentComPorts())
        list.append(QString::number(n));
}

void TPiloComPort::setBaudrate(int baudrate)
{
    if (baudrate == m_line.Baudrate)
        return;
    m_line.Baudrate = baudrate;
    if (m_thread)
        m_thread->SetBaudrate(baudrate);
    applyLineSettings();
}

void TPiloComPort::setByteSize(quint8 bits)
{
    if (bits == m_line.ByteSize)
        return;
    m_line.ByteSize = bits;
    applyLineSettings();
}

void TPiloComPort::setParity(TParity parity)
{
    if (parity == m_line.Parity)
        return;
    m_line.Parity = parity;
    applyLineSettings();
}

void TPiloComPort::setStopBits(TStopBits stopBits)
{
    if (stopBits == m_line.StopBits)
        return;
    m_line.StopBits = stopBits;
    applyLineSettings();
}

void TPiloComPort::flowFlagsChanged()
{
    m_line.FlowFlags = m_flowCtrl.Flags();
    applyLineSettings();
    if (m_active && m_thread)
        m_thread->SetFlowControl(m_line.FlowFlags);
}

void TPiloComPort::applyLineSettings()
{
    // Like the driver calls of the other platform, a refused setting is not reported: the
    // port keeps what it had.
    if (m_active && m_thread)
        WriteLineSettings(m_thread->Fd(), m_line);
}

void TPiloComPort::setRxBuffer(quint32 bytes)
{
    if (bytes == m_rxBuffer)
        return;
    m_rxBuffer = bytes;
    // The kernel keeps its own XON/XOFF thresholds, so on Linux the limits are only stored.
    m_xoffLim = (bytes / 4) * 3;
    m_xonLim = bytes / 2;
}

void TPiloComPort::setLineMode(bool on)
{
    if (on == m_lineMode)
        return;
    m_lineMode = on;
    if (on) {
        m_thresholdUse = false;
        m_rxTimeoutMs = 0;
        // The pause timer object stays, but must not offer data behind line mode's back.
        if (m_timer)
            guarded([this] { m_timer->setEnabled(false); });
    } else if (m_active && RxCount() > 0) {
        postDataAvailable();
    }
    publishRxSettings();
}

void TPiloComPort::setLineEnd(const QByteArray &lineEnd)
{
    if (lineEnd == m_lineEnd)
        return;
    m_lineEnd = lineEnd;
    publishRxSettings();
}

void TPiloComPort::setRxThresholdUse(bool on)
{
    if (on == m_thresholdUse)
        return;
    m_thresholdUse = on;
    if (on) {
        m_lineMode = false;
        m_rxTimeoutMs = 0;
        if (m_timer)
            guarded([this] { m_timer->setEnabled(false); });
    } else if (m_active && RxCount() > 0) {
        postDataAvailable();
    }
    publishRxSettings();
}

void TPiloComPort::setRxThresholdAmount(int bytes)
{
    if (bytes == m_thresholdAmount)
        return;
    m_thresholdAmount = bytes;
    publishRxSettings();
}

void TPiloComPort::setRxTimeout(int ms)
{
    if (ms < 0)
        throw EPiloComPort(QStringLiteral("Value can not be negatieve"));
    if (ms == m_rxTimeoutMs)
        return;
    if (ms == 0) {
        m_timer.reset();
    } else {
        if (!m_timer)
            m_timer = std::make_unique<TPiloTimer>(this);
        m_timer->setInterval(ms);
        m_timer->setEnabled(m_active && RxCount() > 0);
        m_lineMode = false;
        m_thresholdUse = false;
    }
    m_rxTimeoutMs = ms;
    publishRxSettings();
}

TPiloRxMode TPiloComPort::rxMode() const
{
    if (m_rxTimeoutMs > 0)
        return TPiloRxMode::Timeout;
    // The two settings below would make the receive thread loop for ever; they behave as
    // direct mode instead.
    if (m_lineMode && !m_lineEnd.isEmpty())
        return TPiloRxMode::Line;
    if (m_thresholdUse && m_thresholdAmount > 0)
        return TPiloRxMode::Threshold;
    return TPiloRxMode::Direct;
}

void TPiloComPort::publishRxSettings()
{
    std::lock_guard<std::mutex> lock(m_rxSettingsLock);
    m_rxShared->Mode = rxMode();
    m_rxShared->LineEnd = m_lineEnd;
    m_rxShared->ThresholdAmount = m_thresholdAmount;
    m_rxSettingsVersion.fetch_add(1, std::memory_order_release);
}

bool TPiloComPort::takeRxSettings(TPiloRxSettings &settings, quint32 &seenVersion)
{
    // Called by the receive thread for every event; copies only after a change. A QByteArray
    // copy shares the data, so even that allocates nothing.
    const quint32 version = m_rxSettingsVersion.load(std::memory_order_acquire);
    if (version == seenVersion)
        return false;
    std::lock_guard<std::mutex> lock(m_rxSettingsLock);
    settings = *m_rxShared;
    seenVersion = m_rxSettingsVersion.load(std::memory_order_relaxed);
    return true;
}

bool TPiloComPort::HungUp() const
{
    return m_thread && m_thread->HungUp();
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

bool TPiloComPort::Open()
{
    if (m_active)
        return true;
    try {
        openPort();
        m_lastError.clear();
        m_lastErrorReason.clear();
        m_lastErrorCode = 0;
        return true;
    } catch (const EPiloComPort &e) {
        m_lastError = e.Message();
    } catch (const std::exception &e) {
        m_lastError = QStringLiteral("Cannot open port '%1'").arg(m_devicePath);
        m_lastErrorReason = QString::fromLocal8Bit(e.what());
    } catch (...) {
        m_lastError = QStringLiteral("Cannot open port '%1'").arg(m_devicePath);
        m_lastErrorReason.clear();
    }
    return false;
}

void TPiloComPort::openPort()
{
    m_devicePath = DevicePathForPort(m_port);
    const QString failure = QStringLiteral("Cannot open port '%1'").arg(m_devicePath);
    m_lastErrorCode = 0;
    if (m_port <= 0) {
        m_lastErrorCode = ENOENT;
        m_lastErrorReason = QStringLiteral("there is no port %1").arg(m_port);
        throw EPiloComPort(failure);
    }
    int err = 0;
    const int fd = OpenPortDevice(m_devicePath, err);
    if (fd < 0) {
        m_lastErrorCode = err;
        m_lastErrorReason = SystemErrorText(err);
        throw EPiloComPort(failure);
    }
    // The thread object owns the descriptor from here on and closes it if starting fails.
    auto thread = std::make_unique<TPiloCommThread>(this, fd, m_session + 1, m_portOptions,
                                                    m_rxBuffer, std::make_unique<TPiloCommBuffer>());
    WriteLineSettings(fd, m_line);
    thread->SetBaudrate(m_line.Baudrate);
    thread->SetFlowControl(m_line.FlowFlags);
    thread->Start();
    ++m_session;
    m_thread = std::move(thread);
    m_active = true;
}

bool TPiloComPort::Close()
{
    if (!m_active || m_closing)
        return false;
    m_closing = true;

    // Offer what is ready once more, so that the reader can take it. In line and threshold
    // mode bytes are ready only while a delivery waits for the UI thread; serving it here is
    // safe because the receive thread keeps waiting until the stop signal. Not from inside a
    // handler: that handler is serving the same bytes already.
    const TPiloRxMode mode = rxMode();
    if (!m_destroying && m_deliveryDepth == 0 && mode != TPiloRxMode::Direct &&
        m_thread->ReadyCount() > 0 &&
        (mode == TPiloRxMode::Timeout || m_thread->SyncDeliveryPending())) {
        offerData();
    }

    std::unique_ptr<TPiloCommThread> thread = std::move(m_thread);
    thread->Stop();
    thread.reset();
    m_active = false;
    m_closing = false;
    m_txQueue->Clear();
    m_sending = false;
    m_lastChunk = 0;
    if (m_timer)
        guarded([this] { m_timer->setEnabled(false); });
    return true;
}

// ---------------------------------------------------------------------------------------------
// Transmit side

quint32 TPiloComPort::chunkSize() const
{
    return std::max<quint32>(1, m_txBuffer);
}

int TPiloComPort::Write(const char *data, int count)
{
    if (!m_active)
        throw EPiloComPort(QStringLiteral("Port not open"));
    if (count <= 0 || !data)
        return 0;
    if (m_thread->HungUp())
        return 0;
    quint32 rest = quint32(count);
    if (!m_sending && m_txQueue->Count == 0) {
        const quint32 chunk = std::min(rest, chunkSize());
        handOver(data, chunk);
        data += chunk;
        rest -= chunk;
    }
    m_txQueue->Put(data, rest);
    return count;
}

int TPiloComPort::WriteStr(const QByteArray &s)
{
    return Write(s.constData(), int(s.size()));
}

void TPiloComPort::handOver(const char *data, quint32 n)
{
    m_sending = true;
    m_lastChunk = n;
    m_thread->HandOver(data, n);
}

void TPiloComPort::onTransmitEmpty()
{
    const quint64 session = m_session;
    const int sent = int(m_lastChunk);
    guarded([&] { OnSendProgress(this, sent); });
    if (!m_active || m_session != session)
        return; // the handler closed the port
    quint32 taken = 0;
    const char *chunk = m_txQueue->Take(chunkSize(), taken);
    if (taken > 0) {
        handOver(chunk, taken);
    } else {
        m_sending = false;
        guarded([this] { OnDataSent(this); });
    }
}

// ---------------------------------------------------------------------------------------------
// Receive side

int TPiloComPort::Read(char *dest, int count)
{
    if (!m_thread || count <= 0)
        return 0;
    return m_thread->Read(dest, count);
}

void TPiloComPort::ReadStr(QByteArray &s)
{
    s.resize(RxCount());
    s.resize(Read(s.data(), int(s.size())));
}

int TPiloComPort::RxCount() const
{
    return m_thread ? m_thread->ReadyCount() : 0;
}

void TPiloComPort::PurgeRx()
{
    if (m_thread)
        m_thread->PurgeRx();
}

void TPiloComPort::postDataAvailable()
{
    QCoreApplication::postEvent(this,
                                new TPiloNotification(TPiloNotification::DataAvailable, m_session));
}

void TPiloComPort::offerData()
{
    ++m_deliveryDepth;
    guarded([this] { OnDataAvailable(this); });
    --m_deliveryDepth;
}

void TPiloComPort::onSyncDelivery(quint64 session)
{
    if (!m_thread || !m_thread->SyncDeliveryPending())
        return;
    offerData();
    // The handler may have closed the port, or closed and opened it again.
    if (m_thread && m_session == session)
        m_thread->SyncDeliveryDone();
}

// ---------------------------------------------------------------------------------------------
// Notifications

bool TPiloComPort::event(QEvent *e)
{
    if (e->type() != TPiloNotification::EventType())
        return QObject::event(e);
    const auto *n = static_cast<const TPiloNotification *>(e);
    // A notification of an earlier opening is stale.
    if (!m_thread || n->Session != m_session)
        return true;

    switch (n->NotificationKind) {
    case TPiloNotification::DataAvailable:
        if (n->Synchronous)
            onSyncDelivery(n->Session);
        else
            offerData();
        break;
    case TPiloNotification::TransmitEmpty:
        onTransmitEmpty();
        break;
    case TPiloNotification::CtsChanged: {
        const bool on = n->Param & PiloModem::CtsOn;
        guarded([&] { OnCtsChanged(this, on); });
        break;
    }
    case TPiloNotification::DsrChanged: {
        const bool on = n->Param & PiloModem::DsrOn;
        guarded([&] { OnDsrChanged(this, on); });
        break;
    }
    case TPiloNotification::LineError: {
        const quint32 flags = n->Param;
        guarded([&] { OnError(this, flags); });
        break;
    }
    case TPiloNotification::RestartTimer:
        if (m_timer)
            guarded([this] { m_timer->Restart(); });
        break;
    case TPiloNotification::LineHungUp: {
        const quint64 session = m_session;
        guarded([this] { OnError(this, PiloError::HangUp); });
        if (m_thread && m_session == session)
            guarded([this] { OnHangUp(this); });
        break;
    }
    }
    return true;
}

void TPiloComPort::timerEvent(QTimerEvent *e)
{
    if (!m_timer || e->timerId() != m_timer->TimerId()) {
        QObject::timerEvent(e);
        return;
    }
    guarded([this] { m_timer->setEnabled(false); });
    if (m_active && RxCount() > 0)
        postDataAvailable();
}
