#pragma once
// The receive thread of the serial port component and the notifications it hands to the
// user-interface thread. Internal to the component: the rest of the program uses piloport.h.

#include "serial/pilobuffer.h"
#include "serial/pilotypes.h"
#include "serial/portdevice.h"
#include "serial/rxflow.h"

#include <QByteArray>
#include <QEvent>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class TPiloComPort;

/// How received bytes are offered to the reader. Derived by the component from its mode
/// properties; a setting that would make a buffered mode loop for ever (line mode with an
/// empty LineEnd, threshold mode with an amount of 0 or less) gives direct mode.
enum class TPiloRxMode : quint8
{
    Direct,
    Line,
    Threshold,
    Timeout
};

/// The part of the component's settings that the receive thread reads.
struct TPiloRxSettings
{
    TPiloRxMode Mode = TPiloRxMode::Direct;
    QByteArray LineEnd;
    int ThresholdAmount = 0;
};

/// A notification for the user-interface thread, posted to the component. The numbers are the
/// message numbers that the same notifications have on the other platform.
class TPiloNotification : public QEvent
{
public:
    enum Kind : quint16
    {
        DataAvailable = 1027,
        TransmitEmpty = 1028,
        CtsChanged = 1029,
        DsrChanged = 1030,
        LineError = 1031,
        RestartTimer = 1032,
        LineHungUp = 1033,
    };

    TPiloNotification(Kind kind, quint64 session, quint32 param = 0, bool synchronous = false);
    static QEvent::Type EventType();

    const Kind NotificationKind;
    /// The opening of the port that the notification belongs to; a notification that outlived
    /// its opening (the port was closed, maybe opened again) is dropped.
    const quint64 Session;
    /// Modem status word or error flags.
    const quint32 Param;
    /// A data-available notification whose sender waits until the handler has returned.
    const bool Synchronous;
};

/// Waits for port events while the port is open and hands them to the component.
///
/// Created for each opening with the open descriptor and a new, empty receive buffer, then
/// started; Stop (or destruction) sets the stop signal, wakes the thread, waits for it to end
/// and closes the descriptor. Methods marked "UI" are called on the user-interface thread.
class TPiloCommThread
{
public:
    /// rxBufferBytes sets the marks of the receive-side handshake for this opening.
    TPiloCommThread(TPiloComPort *port, int fd, quint64 session, TPortOptions options,
                    quint32 rxBufferBytes, std::unique_ptr<TPiloCommBuffer> buffer);
    ~TPiloCommThread();
    TPiloCommThread(const TPiloCommThread &) = delete;
    TPiloCommThread &operator=(const TPiloCommThread &) = delete;

    /// UI. Starts the thread; throws std::system_error when the system refuses.
    void Start();
    /// UI. Sets the stop signal and waits until the thread has ended. The thread never blocks
    /// anywhere that the stop signal does not reach, so the wait is short. Idempotent.
    void Stop();

    int Fd() const noexcept { return m_fd; }
    quint64 Session() const noexcept { return m_session; }
    /// True once the line has hung up; the thread has then ended by itself.
    bool HungUp() const noexcept { return m_hungUp.load(std::memory_order_acquire); }

    /// UI. Whether a synchronous delivery waits for its handler. While it does, the receive
    /// buffer is the reader's.
    bool SyncDeliveryPending();
    /// UI. The handler of the pending synchronous delivery has returned.
    void SyncDeliveryDone();

    /// Bytes offered to the reader and not yet read.
    int ReadyCount() const noexcept { return m_ready.load(std::memory_order_acquire); }
    /// UI. Takes up to count of the ready bytes, from the receive buffer or, when the offer
    /// came straight from the driver (direct mode), from the port. While the handshake holds
    /// the sender, wakes the receive thread to look at the fill again.
    int Read(char *dest, int count);
    /// Discards what waits in the driver's input queue.
    void PurgeRx();

    /// UI. Hands one chunk to the driver: as much as it takes now, the rest when it has room.
    /// A TransmitEmpty notification follows once the driver has sent the whole chunk.
    void HandOver(const char *data, quint32 n);

    /// UI. The rate, to estimate how long the driver needs to send its queue.
    void SetBaudrate(int baudrate) noexcept { m_baudrate.store(baudrate); }
    /// UI. The flow-control flag word (PiloDcb layout): sets DTR and RTS as their controls
    /// say. Called before Start and at every change of the word.
    void SetFlowControl(quint32 flowFlags);

private:
    void run();
    bool step();
    bool receive();
    bool deliverDirect();
    bool readIntoBuffer();
    bool scanLines(std::unique_lock<std::mutex> &lock);
    bool deliverThreshold(std::unique_lock<std::mutex> &lock);
    bool deliverSync();
    void writePending();
    int drainWaitMs(int queued) const;
    void finishChunk();
    quint64 rxFill();
    void updateRxFlow();
    void checkModemLines();
    void checkLineErrors();
    void hangUp();
    void post(TPiloNotification::Kind kind, quint32 param = 0);
    void refreshSettings();

    TPiloComPort *const m_port;
    const int m_fd;
    const quint64 m_session;
    const TPortOptions m_options;
    int m_wakeFd = -1;
    std::thread m_thread;

    // Stop signal and the hand-over of synchronous deliveries.
    std::mutex m_handLock;
    std::condition_variable m_handCv;
    bool m_stop = false;
    bool m_syncPending = false;

    // Receive side. m_rxLock guards the buffer and m_fromDriver; the receive thread holds it
    // while it fills or scans the buffer and releases it before it waits for a handler.
    std::mutex m_rxLock;
    std::unique_ptr<TPiloCommBuffer> m_buffer;
    bool m_fromDriver = false;
    std::atomic<int> m_ready{0};
    int m_driverCount = 0;
    TPiloRxSettings m_settings;
    quint32 m_settingsSeen = 0;

    // Transmit side. m_txLock guards the part of the chunk that the driver has not taken yet
    // and the wait for the driver to send it.
    std::mutex m_txLock;
    TPiloTxBuffer m_txRest;
    bool m_awaitDrain = false;
    std::atomic<int> m_baudrate{9600};

    // DTR and RTS. m_flowLock serialises the UI thread's changes of the flag word and chunk
    // hand-overs with the receive thread's look at the fill.
    std::mutex m_flowLock;
    const quint32 m_rxBufferBytes;
    TPiloPortModemLines m_modemLines;
    TPiloRxFlow m_rxFlow{m_modemLines};
    std::atomic<bool> m_handshake{false};
    std::atomic<bool> m_held{false};

    // Modem lines and line errors, receive thread only.
    quint32 m_modemStatus = 0;
    bool m_modemSupported = false;
    LineErrorCounts m_errorCounts;
    bool m_errorCountsSupported = false;
    std::atomic<bool> m_hungUp{false};
};
