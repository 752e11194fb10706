#pragma once
// Types shared by the serial port component and its Linux layer: the line-setting
// enumerations, the option set, the error class, the event holder, and the bit layouts of the
// flow-control flag word, the modem status word and the error flag word.

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <concepts>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <type_traits>
#include <utility>

/// Stop bits. sbOne_5 exists on a UART only with 5 data bits; Linux selects it there through
/// the two-stop-bit setting, so sbOne_5 and sbTwo both set CSTOPB.
enum TStopBits : quint8
{
    sbOne,
    sbOne_5,
    sbTwo
};

/// Parity, generated on output; received characters are not checked.
enum TParity : quint8
{
    ptNone,
    ptOdd,
    ptEven,
    ptMark,
    ptSpace
};

/// What the DTR line does while the port is open.
enum TDtrControl : quint8
{
    dtrDisable,
    dtrEnable,
    dtrHandshake
};

/// What the RTS line does while the port is open.
enum TRtsControl : quint8
{
    rtsDisable,
    rtsEnable,
    rtsHandshake,
    rtsToggle
};

/// Port events to watch besides received data and transmit-empty; read at the next Open.
enum TPiloPortOptions : quint8
{
    EventCtsDsr,
    EventError
};

/// A set of TPiloPortOptions.
class TPortOptions
{
public:
    constexpr TPortOptions() = default;
    constexpr TPortOptions(std::initializer_list<TPiloPortOptions> options)
    {
        for (TPiloPortOptions o : options)
            m_bits |= bit(o);
    }
    constexpr bool Contains(TPiloPortOptions o) const { return m_bits & bit(o); }
    constexpr void Include(TPiloPortOptions o) { m_bits |= bit(o); }
    constexpr void Exclude(TPiloPortOptions o) { m_bits &= ~bit(o); }
    constexpr bool IsEmpty() const { return m_bits == 0; }
    constexpr bool operator==(const TPortOptions &) const = default;

private:
    static constexpr quint8 bit(TPiloPortOptions o) { return quint8(1u << o); }
    quint8 m_bits = 0;
};

/// Errors of the serial port component. what() is the operator-visible text
/// ("Port not open", "Cannot open port '...'", "Value can not be negatieve").
class EPiloComPort : public std::runtime_error
{
public:
    explicit EPiloComPort(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

/// The system has no timer left for the pause timer ("TPiloTimer: No timers available").
class EPiloOutOfResources : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Bits of the flow-control flag word, laid out as the flag word of the Win32 line-settings
/// record (DCB) so that stored values and comparisons with the other platform stay bit exact.
namespace PiloDcb {
constexpr quint32 Binary = 0x1;
constexpr quint32 ParityCheck = 0x2;
constexpr quint32 OutxCtsFlow = 0x4;
constexpr quint32 OutxDsrFlow = 0x8;
constexpr quint32 DtrControlMask = 0x30;
constexpr quint32 DtrEnable = 0x10;
constexpr quint32 DtrHandshake = 0x20;
constexpr quint32 DsrSensitivity = 0x40;
constexpr quint32 TxContinueOnXoff = 0x80;
constexpr quint32 OutX = 0x100;
constexpr quint32 InX = 0x200;
constexpr quint32 RtsControlMask = 0x3000;
constexpr quint32 RtsEnable = 0x1000;
constexpr quint32 RtsHandshake = 0x2000;
constexpr quint32 RtsToggle = 0x3000;
/// Binary mode, DTR on, RTS on: the word of a new component.
constexpr quint32 Initial = Binary | DtrEnable | RtsEnable;
} // namespace PiloDcb

/// Bits of the modem status word passed with the CTS and DSR notifications.
namespace PiloModem {
constexpr quint32 CtsOn = 0x10;
constexpr quint32 DsrOn = 0x20;
constexpr quint32 RingOn = 0x40;
constexpr quint32 RlsdOn = 0x80;
} // namespace PiloModem

/// Bits of the error flag word passed to OnError. The line-error bits have the values of the
/// Win32 communication error flags; HangUp is this component's own.
namespace PiloError {
constexpr quint32 RxOver = 0x1;   ///< the input buffer overflowed
constexpr quint32 Overrun = 0x2;  ///< the UART lost a character (hardware overrun)
constexpr quint32 RxParity = 0x4; ///< parity error (only counted where the driver checks it)
constexpr quint32 Frame = 0x8;    ///< framing error: wrong baud rate or a broken line
constexpr quint32 Break = 0x10;   ///< a break condition was received
/// The line hung up: the other side closed, or the USB adapter was pulled. The receive
/// thread has ended; the port stays Active until Close.
constexpr quint32 HangUp = 0x80000000u;
} // namespace PiloError

/// An event of the component: holds a handler like std::function and can be assigned from
/// any callable or nullptr. The receive thread may ask whether a handler is assigned
/// (Assigned(), an atomic read); assigning, testing with operator bool and calling happen on
/// the user-interface thread only.
template <typename... Args> class TPiloEvent
{
public:
    using Handler = std::function<void(Args...)>;

    TPiloEvent() = default;
    TPiloEvent(const TPiloEvent &) = delete;
    TPiloEvent &operator=(const TPiloEvent &) = delete;

    template <typename F>
    requires(!std::same_as<std::remove_cvref_t<F>, TPiloEvent> &&
             std::constructible_from<Handler, F>) TPiloEvent &
    operator=(F &&f)
    {
        m_handler = Handler(std::forward<F>(f));
        m_assigned.store(static_cast<bool>(m_handler), std::memory_order_release);
        return *this;
    }

    explicit operator bool() const noexcept { return static_cast<bool>(m_handler); }
    void operator()(Args... args) const
    {
        if (m_handler)
            m_handler(args...);
    }
    bool Assigned() const noexcept { return m_assigned.load(std::memory_order_acquire); }
    const Handler &Function() const noexcept { return m_handler; }

private:
    Handler m_handler;
    std::atomic<bool> m_assigned{false};
};
