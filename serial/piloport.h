#pragma once
// TPiloComPort: one RS-232 port with a receive thread, a transmit queue and four ways of
// offering received data to its owner. Version "1.15".
//
// Threading contract
// ------------------
// * The component is a QObject that lives on the user-interface (UI) thread, the thread that
//   creates it, and that thread must run a Qt event loop. Every public member function,
//   property accessor and event assignment is called on that thread only.
// * Every event handler (OnDataAvailable, OnDataSent, ...) runs on the UI thread. None ever
//   runs on the receive thread.
// * While the port is open one receive thread (TPiloCommThread) waits in poll() on the port and
//   on a wake-up descriptor. It hands every event to the UI thread as a Qt event posted to the
//   component:
//     - received data in direct, line and threshold mode: synchronously. The receive thread
//       waits until OnDataAvailable has returned, so that the reader has the receive buffer to
//       itself while it reads;
//     - everything else (transmit empty, CTS/DSR changes, line errors, hang-up, the pause-timer
//       restarts of timeout mode, and the data-available offers of the pause timer and of the
//       mode switches): posted. The receive thread goes on at once.
// * Read, ReadStr and RxCount are meant for the OnDataAvailable handler but may be called at
//   any time on the UI thread. The receive buffer and the ready count are guarded by a lock
//   that neither thread holds for longer than a copy or a non-blocking read; in timeout mode,
//   where the receive thread keeps filling the buffer while the reader takes from it, this is
//   what keeps the two apart. DTR and RTS are moved under a second such lock: by the UI
//   thread when the flag word changes and around chunks (rtsToggle), by the receive thread for
//   the handshake. The UI thread never waits for the receive thread otherwise.
// * Close may be called at any time on the UI thread, also from inside any handler. It sets
//   the stop signal, which also releases a receive thread that waits for a synchronous
//   delivery, and waits for the thread to end; nothing the receive thread waits for needs the
//   UI thread, so Close cannot deadlock. A delivery that the UI thread has not served yet is
//   dropped; a stale notification that arrives after Close (or after a new Open) is ignored.
// * Writes never block: the descriptor is non-blocking; what the driver does not take at once
//   is finished by the receive thread when the driver has room.
// * An exception thrown by a handler called from a notification is caught and passed to
//   OnBGException (if set; an exception thrown by that handler is dropped). It never reaches
//   the event loop.
//
// Linux notes
// -----------
// * Port numbers map to devices through DevicePathForPort (portdevice.h).
// * DTR and RTS are raised at the opening as their controls say. The DTR/RTS handshake
//   (dtrHandshake, rtsHandshake) throttles only what the other side sends: the receive thread
//   drops the line while the bytes waiting for the reader lie above 3/4 of RxBuffer and raises
//   it again below 1/4 (TPiloRxFlow, rxflow.h). Our own output is never held back by it, so a
//   three-wire cable works. Only TxCtsFlow holds our output while CTS is low (CRTSCTS, which
//   Linux applies in both directions). rtsToggle raises RTS while a chunk is being sent.
//   RxDsrSensivity, TxDsrFlow, TxContinueXoff and the XON/XOFF limits are kept and stored but
//   have no Linux counterpart; the kernel uses its own XON/XOFF thresholds.
// * The driver queue sizes cannot be set on Linux; RxBuffer and TxBuffer keep their other
//   meanings (XON/XOFF limits, chunk size of writes).
// * Line errors (EventError) come from the driver's error counters, CTS/DSR changes
//   (EventCtsDsr) from the modem status, read every 100 ms while the port is open and only
//   where the driver has modem lines. Pseudo-terminals have neither.
// * When the line hangs up (the other side closes, a USB adapter is pulled) the receive thread
//   ends, OnError is called with PiloError::HangUp and then OnHangUp. The port stays Active;
//   Write accepts nothing more (returns 0) and Close works as always.

#include "serial/pilotypes.h"
#include "serial/portdevice.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>

class TPiloComPort;
class TPiloCommThread;
class TPiloTimer;
class TPiloTxBuffer;
enum class TPiloRxMode : quint8;
struct TPiloRxSettings;

using TNotifyEvent = TPiloEvent<TPiloComPort *>;
using TPortSendProgressEvent = TPiloEvent<TPiloComPort *, int>;
using TPortLineEvent = TPiloEvent<TPiloComPort *, bool>;
using TPortErrEvent = TPiloEvent<TPiloComPort *, quint32>;
using TPortExceptionEvent = TPiloEvent<TPiloComPort *, const std::exception &>;

/// The flow-control settings of a TPiloComPort, owned by it. Each setter does nothing for an
/// unchanged value; otherwise it rewrites its bits of the flag word (PiloDcb layout) and, while
/// the port is open, applies the flag word to the port at once.
class TFlowCtrl
{
public:
    explicit TFlowCtrl(TPiloComPort *owner) : m_owner(owner) {}
    TFlowCtrl(const TFlowCtrl &) = delete;
    TFlowCtrl &operator=(const TFlowCtrl &) = delete;

    bool RxDsrSensivity() const noexcept { return m_rxDsrSensivity; }
    void setRxDsrSensivity(bool on);
    TDtrControl RxDtrControl() const noexcept { return m_rxDtrControl; }
    void setRxDtrControl(TDtrControl value);
    TRtsControl RxRtsControl() const noexcept { return m_rxRtsControl; }
    void setRxRtsControl(TRtsControl value);
    bool TxContinueXoff() const noexcept { return m_txContinueXoff; }
    void setTxContinueXoff(bool on);
    bool TxCtsFlow() const noexcept { return m_txCtsFlow; }
    void setTxCtsFlow(bool on);
    bool TxDsrFlow() const noexcept { return m_txDsrFlow; }
    void setTxDsrFlow(bool on);
    bool XonXoff() const noexcept { return m_xonXoff; }
    void setXonXoff(bool on);

    /// The flag word: 0x1011 for a new component.
    quint32 Flags() const noexcept { return m_flags; }

private:
    void setBits(quint32 mask, quint32 bits);

    TPiloComPort *const m_owner;
    quint32 m_flags = PiloDcb::Initial;
    bool m_rxDsrSensivity = false;
    TDtrControl m_rxDtrControl = dtrEnable;
    TRtsControl m_rxRtsControl = rtsEnable;
    bool m_txContinueXoff = false;
    bool m_txCtsFlow = false;
    bool m_txDsrFlow = false;
    bool m_xonXoff = false;
};

/// One serial port. See the threading contract at the top of this file.
class TPiloComPort : public QObject
{
    Q_OBJECT

public:
    explicit TPiloComPort(QObject *parent = nullptr);
    ~TPiloComPort() override;

    /// Appends the number of every serial port that is there, as decimal text ("1", "2", ...);
    /// the list is not cleared first. A port in use by another program is listed.
    static void EnumComPorts(QStringList &list);

    /// Opens port Port with the current properties and starts the receive thread. True on
    /// success and when the port is open already. Never throws: on failure the port stays
    /// closed, LastError() holds "Cannot open port '<device path>'" and LastErrorReason() the
    /// system's reason. Port numbers of 0 and below never open.
    bool Open();
    /// Closes the port if open (see the threading contract); returns whether it was open.
    /// Queued, unsent bytes are dropped.
    bool Close();
    bool Active() const noexcept { return m_active; }

    /// Queues count bytes for sending and returns at once. The first min(count, TxBuffer) go to
    /// the driver now when nothing is being sent; the rest follows chunk by chunk. Returns the
    /// count accepted: count, 0 for a count of 0 or less or no data, 0 after a hang-up.
    /// Throws EPiloComPort "Port not open" when closed.
    int Write(const char *data, int count);
    /// Write of the bytes of s.
    int WriteStr(const QByteArray &s);

    /// Takes up to count of the ready bytes (RxCount) into dest; returns the number taken.
    int Read(char *dest, int count);
    /// Sets s to the ready bytes and takes them: in line mode one whole line with its LineEnd.
    void ReadStr(QByteArray &s);
    /// The ready count: bytes offered to the reader and not yet read.
    int RxCount() const;
    /// Discards what waits in the driver's input queue.
    void PurgeRx();

    // Properties. Line settings apply to an open port at once; an unchanged value touches
    // nothing. Port, PortOptions and TxBuffer (as queue size) take effect at the next Open.

    int Baudrate() const noexcept { return m_line.Baudrate; }
    void setBaudrate(int baudrate);
    quint8 ByteSize() const noexcept { return m_line.ByteSize; }
    void setByteSize(quint8 bits);
    TParity Parity() const noexcept { return m_line.Parity; }
    void setParity(TParity parity);
    TStopBits StopBits() const noexcept { return m_line.StopBits; }
    void setStopBits(TStopBits stopBits);
    TFlowCtrl &FlowCtrl() noexcept { return m_flowCtrl; }
    const TFlowCtrl &FlowCtrl() const noexcept { return m_flowCtrl; }

    /// Line mode: each OnDataAvailable offers one line ending in LineEnd (default CR LF).
    /// Switching it on switches threshold and timeout mode off. An empty LineEnd makes line
    /// mode behave as direct mode.
    bool LineMode() const noexcept { return m_lineMode; }
    void setLineMode(bool on);
    QByteArray LineEnd() const { return m_lineEnd; }
    void setLineEnd(const QByteArray &lineEnd);

    /// Threshold mode: OnDataAvailable offers blocks of RxThresholdAmount bytes. Switching it
    /// on switches line and timeout mode off. An amount of 0 or less makes threshold mode
    /// behave as direct mode.
    bool RxThresholdUse() const noexcept { return m_thresholdUse; }
    void setRxThresholdUse(bool on);
    int RxThresholdAmount() const noexcept { return m_thresholdAmount; }
    void setRxThresholdAmount(int bytes);

    /// Timeout mode when above 0: everything received is offered in one OnDataAvailable once
    /// no byte has arrived for RxTimeout milliseconds. Setting it above 0 switches line and
    /// threshold mode off. Throws EPiloComPort "Value can not be negatieve" for a negative
    /// value and keeps the old one.
    int RxTimeout() const noexcept { return m_rxTimeoutMs; }
    void setRxTimeout(int ms);

    int Port() const noexcept { return m_port; }
    void setPort(int port) { m_port = port; }
    TPortOptions PortOptions() const noexcept { return m_portOptions; }
    void setPortOptions(TPortOptions options) { m_portOptions = options; }

    /// Receive queue size in bytes (8192); sets the XON/XOFF limits.
    quint32 RxBuffer() const noexcept { return m_rxBuffer; }
    void setRxBuffer(quint32 bytes);
    quint32 XonLim() const noexcept { return m_xonLim; }
    quint32 XoffLim() const noexcept { return m_xoffLim; }
    /// Chunk size of writes in bytes (8192). A value of 0 sends byte by byte.
    quint32 TxBuffer() const noexcept { return m_txBuffer; }
    void setTxBuffer(quint32 bytes) { m_txBuffer = bytes; }

    QString Version() const { return QStringLiteral("1.15"); }
    void setVersion(const QString &) {}

    /// The device of the open port, or the one the last Open tried.
    QString DevicePath() const { return m_devicePath; }
    /// "Cannot open port '<device path>'" after a failed Open; empty after a good one.
    QString LastError() const { return m_lastError; }
    /// The system's reason for the last failed Open, for the operator.
    QString LastErrorReason() const { return m_lastErrorReason; }
    /// The system's errno of the last failed Open (ENOENT, EBUSY, EACCES, ENOTTY, ...); 0 after
    /// a good one, and for a port number that names no device (ENOENT then).
    int LastErrorCode() const { return m_lastErrorCode; }
    /// True after the line has hung up, until Close.
    bool HungUp() const;

    // Events; see the threading contract.
    TNotifyEvent OnDataAvailable;
    TNotifyEvent OnDataSent;
    TPortSendProgressEvent OnSendProgress;
    TPortLineEvent OnCtsChanged;
    TPortLineEvent OnDsrChanged;
    TPortErrEvent OnError;
    TPortExceptionEvent OnBGException;
    /// The line hung up (after OnError with PiloError::HangUp).
    TNotifyEvent OnHangUp;

protected:
    bool event(QEvent *e) override;
    void timerEvent(QTimerEvent *e) override;

private:
    friend class TFlowCtrl;
    friend class TPiloCommThread;

    void openPort();
    void applyLineSettings();
    void flowFlagsChanged();
    void publishRxSettings();
    bool takeRxSettings(TPiloRxSettings &settings, quint32 &seenVersion);
    TPiloRxMode rxMode() const;
    quint32 chunkSize() const;
    void handOver(const char *data, quint32 n);
    void postDataAvailable();
    void onSyncDelivery(quint64 session);
    void onTransmitEmpty();
    void offerData();
    template <typename F> void guarded(F &&call);

    LineSettings m_line;
    TFlowCtrl m_flowCtrl{this};
    QByteArray m_lineEnd = QByteArrayLiteral("\r\n");
    bool m_lineMode = false;
    bool m_thresholdUse = false;
    int m_thresholdAmount = 0;
    int m_rxTimeoutMs = 0;
    int m_port = 0;
    TPortOptions m_portOptions;
    quint32 m_rxBuffer = 8192;
    quint32 m_txBuffer = 8192;
    quint32 m_xoffLim = 8192 / 2;
    quint32 m_xonLim = (8192 / 4) * 3;

    bool m_active = false;
    bool m_destroying = false;
    bool m_closing = false;
    int m_deliveryDepth = 0;
    quint64 m_session = 0;
    std::unique_ptr<TPiloCommThread> m_thread;
    std::unique_ptr<TPiloTimer> m_timer;
    std::unique_ptr<TPiloTxBuffer> m_txQueue;
    bool m_sending = false;
    quint32 m_lastChunk = 0;
    QString m_devicePath;
    QString m_lastError;
    QString m_lastErrorReason;
    int m_lastErrorCode = 0;

    // What the receive thread reads of the mode properties, republished on every change.
    std::mutex m_rxSettingsLock;
    std::unique_ptr<TPiloRxSettings> m_rxShared;
    std::atomic<quint32> m_rxSettingsVersion{1};
};
