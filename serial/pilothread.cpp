#include "serial/pilothread.h"

#include "serial/piloport.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

/// How often the modem lines are read while CTS/DSR changes are watched. Linux reports no
/// modem-line change through poll(), and TIOCMIWAIT would block where the stop signal cannot
/// reach; ten reads a second cost nothing measurable.
constexpr int ModemPollMs = 100;

/// Longest pause between two looks at the driver's output queue while a chunk drains.
constexpr int MaxDrainWaitMs = 50;

/// Bits on the line per character, rounded up (start, 8 data, parity, stop), for estimating
/// how long the driver needs to send what it holds.
constexpr int BitsPerCharacter = 11;

/// Writes as much of data as the driver takes now. An error other than a full queue drops the
/// rest: the port has gone, which poll() reports as a hang-up.
quint32 writeSome(int fd, const char *data, quint32 n)
{
    quint32 done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, data + done, n - done);
        if (w > 0) {
            done += quint32(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            return n;
        }
    }
    return done;
}

} // namespace

TPiloNotification::TPiloNotification(Kind kind, quint64 session, quint32 param, bool synchronous)
    : QEvent(EventType()), NotificationKind(kind), Session(session), Param(param),
      Synchronous(synchronous)
{
}

QEvent::Type TPiloNotification::EventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

TPiloCommThread::TPiloCommThread(TPiloComPort *port, int fd, quint64 session, TPortOptions options,
                                 std::unique_ptr<TPiloCommBuffer> buffer)
    : m_port(port), m_fd(fd), m_session(session), m_options(options), m_buffer(std::move(buffer))
{
}

TPiloCommThread::~TPiloCommThread()
{
    Stop();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    ClosePortDevice(m_fd);
}

void TPiloCommThread::Start()
{
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    m_thread = std::thread(&TPiloCommThread::run, this);
}

void TPiloCommThread::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_handLock);
        m_stop = true;
    }
    m_handCv.notify_all();
    if (m_wakeFd >= 0) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t w = ::write(m_wakeFd, &one, sizeof one);
    }
    if (m_thread.joinable())
        m_thread.join();
}

bool TPiloCommThread::SyncDeliveryPending()
{
    std::lock_guard<std::mutex> lock(m_handLock);
    return m_syncPending;
}

void TPiloCommThread::SyncDeliveryDone()
{
    {
        std::lock_guard<std::mutex> lock(m_handLock);
        m_syncPending = false;
    }
    m_handCv.notify_all();
}

int TPiloCommThread::Read(char *dest, int count)
{
    if (count <= 0 || !dest)
        return 0;
    std::lock_guard<std::mutex> lock(m_rxLock);
    const int n = std::min(count, m_ready.load());
    if (n <= 0)
        return 0;
    int got = 0;
    if (m_fromDriver) {
        ssize_t r;
        do {
            r = ::read(m_fd, dest, size_t(n));
        } while (r < 0 && errno == EINTR);
        got = r > 0 ? int(r) : 0;
    } else {
        got = int(m_buffer->Take(dest, quint32(n)));
    }
    m_ready.fetch_sub(got);
    return got;
}

void TPiloCommThread::PurgeRx()
{
    ::tcflush(m_fd, TCIFLUSH);
}

void TPiloCommThread::HandOver(const char *data, quint32 n)
{
    {
        std::lock_guard<std::mutex> lock(m_txLock);
        if (HungUp())
            return;
        if (m_rtsToggle.load())
            SetRtsLine(m_fd, true);
        // Bytes of an earlier chunk still waiting for room go first.
        const quint32 done = m_txRest.Count == 0 ? writeSome(m_fd, data, n) : 0;
        if (done < n)
            m_txRest.Put(data + done, n - done);
        m_awaitDrain = true;
    }
    // The receive thread now watches the driver's output queue.
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t w = ::write(m_wakeFd, &one, sizeof one);
}

void TPiloCommThread::run()
{
    // The modem lines as they are at the start are reported once, whatever the options say;
    // later changes only with EventCtsDsr.
    m_modemStatus = ModemStatus(m_fd, m_modemSupported);
    if (m_modemStatus & PiloModem::CtsOn)
        post(TPiloNotification::CtsChanged, m_modemStatus);
    if (m_modemStatus & PiloModem::DsrOn)
        post(TPiloNotification::DsrChanged, m_modemStatus);
    m_errorCountsSupported =
        m_options.Contains(EventError) && ReadLineErrorCounts(m_fd, m_errorCounts);

    for (;;) {
        try {
            if (!step())
                break;
        } catch (const std::bad_alloc &) {
            // The receive buffer cannot grow: what it holds and what waits in the driver are
            // lost, which the owner learns as an input overflow.
            {
                std::lock_guard<std::mutex> lock(m_rxLock);
                m_buffer->Clear();
                m_ready.store(0);
            }
            PurgeRx();
            post(TPiloNotification::LineError, PiloError::RxOver);
        }
    }
}

bool TPiloCommThread::step()
{
    bool wantOut = false;
    bool draining = false;
    {
        std::lock_guard<std::mutex> lock(m_txLock);
        wantOut = m_txRest.Count > 0;
        draining = m_awaitDrain && !wantOut;
    }
    int timeoutMs = -1;
    if (draining) {
        // Linux has no event for "output queue empty": look at the queue again when its
        // bytes should be gone at the current rate. Pseudo-terminals always report 0.
        const int queued = OutputQueueBytes(m_fd);
        if (queued <= 0)
            finishChunk();
        else
            timeoutMs = drainWaitMs(queued);
    }
    const bool watchModem = m_modemSupported && m_options.Contains(EventCtsDsr);
    if (watchModem && (timeoutMs < 0 || timeoutMs > ModemPollMs))
        timeoutMs = ModemPollMs;

    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_fd, short(POLLIN | (wantOut ? POLLOUT : 0)), 0}};
    if (::poll(fds, 2, timeoutMs) < 0) {
        if (errno == EINTR)
            return true;
        hangUp();
        return false;
    }
    if (fds[0].revents & POLLIN) {
        quint64 count = 0;
        [[maybe_unused]] const ssize_t r = ::read(m_wakeFd, &count, sizeof count);
    }
    {
        std::lock_guard<std::mutex> lock(m_handLock);
        if (m_stop)
            return false;
    }

    const short events = fds[1].revents;
    if ((events & POLLIN) && !receive())
        return false;
    if (events & POLLOUT)
        writePending();
    if (m_errorCountsSupported)
        checkLineErrors();
    // The other side hung up or the adapter has gone: the descriptor will never work again,
    // and poll() would report it at once for ever.
    if (events & (POLLHUP | POLLERR | POLLNVAL)) {
        hangUp();
        return false;
    }
    if (watchModem)
        checkModemLines();
    return true;
}

bool TPiloCommThread::receive()
{
    const int queued = InputQueueBytes(m_fd);
    if (queued < 0) {
        hangUp();
        return false;
    }
    m_driverCount = queued;
    if (queued == 0)
        return true;
    refreshSettings();
    if (!m_port->OnDataAvailable.Assigned()) {
        PurgeRx();
        m_driverCount = 0;
        return true;
    }
    if (m_settings.Mode == TPiloRxMode::Direct)
        return deliverDirect();
    return readIntoBuffer();
}

bool TPiloCommThread::deliverDirect()
{
    {
        std::lock_guard<std::mutex> lock(m_rxLock);
        // Bytes that a buffered mode left behind are offered before newer ones.
        m_fromDriver = m_buffer->Unread() == 0;
        m_ready.store(m_fromDriver ? m_driverCount : int(m_buffer->Unread()));
    }
    while (m_ready.load() > 0) {
        if (!deliverSync())
            return false;
        if (!m_port->OnDataAvailable.Assigned())
            break;
    }
    return true;
}

bool TPiloCommThread::readIntoBuffer()
{
    std::unique_lock<std::mutex> lock(m_rxLock);
    TPiloCommBuffer &b = *m_buffer;
    b.Reserve(quint32(m_driverCount));
    ssize_t got;
    do {
        got = ::read(m_fd, b.Data() + b.WritePos, size_t(m_driverCount));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            lock.unlock();
            hangUp();
            return false;
        }
        got = 0;
    }
    b.WritePos += quint32(got);
    m_driverCount -= int(got);
    m_fromDriver = false;

    switch (m_settings.Mode) {
    case TPiloRxMode::Timeout:
        m_ready.store(int(b.Unread()));
        lock.unlock();
        post(TPiloNotification::RestartTimer);
        return true;
    case TPiloRxMode::Line:
        return scanLines(lock);
    case TPiloRxMode::Threshold:
        return deliverThreshold(lock);
    case TPiloRxMode::Direct:
        break;
    }
    return true;
}

bool TPiloCommThread::scanLines(std::unique_lock<std::mutex> &lock)
{
    const QByteArray &end = m_settings.LineEnd;
    TPiloCommBuffer &b = *m_buffer;
    while (b.ScanLine(end.constData(), quint32(end.size())) > 0) {
        // Offer the line, and again as long as the reader leaves part of it.
        do {
            m_ready.store(int(b.ScanPos - b.ReadPos));
            lock.unlock();
            if (!deliverSync())
                return false;
            if (!m_port->OnDataAvailable.Assigned())
                return true;
            lock.lock();
        } while (m_ready.load() > 0);
    }
    return true;
}

bool TPiloCommThread::deliverThreshold(std::unique_lock<std::mutex> &lock)
{
    const quint32 amount = quint32(m_settings.ThresholdAmount);
    while (m_buffer->Unread() >= amount) {
        m_ready.store(int(amount));
        lock.unlock();
        if (!deliverSync())
            return false;
        if (!m_port->OnDataAvailable.Assigned())
            return true;
        lock.lock();
    }
    return true;
}

bool TPiloCommThread::deliverSync()
{
    {
        std::lock_guard<std::mutex> lock(m_handLock);
        if (m_stop)
            return false;
        m_syncPending = true;
    }
    QCoreApplication::postEvent(
        m_port, new TPiloNotification(TPiloNotification::DataAvailable, m_session, 0, true));
    std::unique_lock<std::mutex> lock(m_handLock);
    m_handCv.wait(lock, [this] { return !m_syncPending || m_stop; });
    // Stopped while the handler may still be running: the buffer stays the reader's and the
    // thread ends without touching it again.
    return !m_stop;
}

void TPiloCommThread::writePending()
{
    std::lock_guard<std::mutex> lock(m_txLock);
    if (m_txRest.Count == 0)
        return;
    const quint32 done = writeSome(m_fd, m_txRest.Data() + m_txRest.ReadPos, m_txRest.Count);
    quint32 taken = 0;
    m_txRest.Take(done, taken);
}

int TPiloCommThread::drainWaitMs(int queued) const
{
    const int baudrate = std::max(1, m_baudrate.load());
    const qint64 ms = qint64(queued) * BitsPerCharacter * 1000 / baudrate + 1;
    return int(std::clamp<qint64>(ms, 1, MaxDrainWaitMs));
}

void TPiloCommThread::finishChunk()
{
    {
        std::lock_guard<std::mutex> lock(m_txLock);
        m_awaitDrain = false;
    }
    if (m_rtsToggle.load())
        SetRtsLine(m_fd, false);
    post(TPiloNotification::TransmitEmpty);
}

void TPiloCommThread::checkModemLines()
{
    bool supported = false;
    const quint32 status = ModemStatus(m_fd, supported);
    if (!supported)
        return;
    const quint32 changed = status ^ m_modemStatus;
    m_modemStatus = status;
    if (changed & PiloModem::CtsOn)
        post(TPiloNotification::CtsChanged, status);
    if (changed & PiloModem::DsrOn)
        post(TPiloNotification::DsrChanged, status);
}

void TPiloCommThread::checkLineErrors()
{
    LineErrorCounts now;
    if (!ReadLineErrorCounts(m_fd, now))
        return;
    const quint32 flags = LineErrorFlags(m_errorCounts, now);
    m_errorCounts = now;
    if (flags)
        post(TPiloNotification::LineError, flags);
}

void TPiloCommThread::hangUp()
{
    {
        std::lock_guard<std::mutex> lock(m_txLock);
        m_txRest.Clear();
        m_awaitDrain = false;
    }
    if (!m_hungUp.exchange(true))
        post(TPiloNotification::LineHungUp, PiloError::HangUp);
}

void TPiloCommThread::post(TPiloNotification::Kind kind, quint32 param)
{
    QCoreApplication::postEvent(m_port, new TPiloNotification(kind, m_session, param));
}

void TPiloCommThread::refreshSettings()
{
    if (!m_port->takeRxSettings(m_settings, m_settingsSeen))
        return;
    // A new LineEnd (or mode) may match where the old one was already ruled out.
    std::lock_guard<std::mutex> lock(m_rxLock);
    m_buffer->ScanPos = m_buffer->ReadPos;
}
