#include "serial/portdevice.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

/// Serial core's type for a ttyS node with no UART behind it.
constexpr int PortTypeUnknown = 0;

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

struct RateConstant
{
    int Baudrate;
    speed_t Constant;
};

constexpr RateConstant StandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

/// The standard termios constant for a rate, or 0 when there is none. B0 is never returned:
/// it would drop DTR and hang up the line.
speed_t baudConstant(int baudrate)
{
    for (const RateConstant &r : StandardRates) {
        if (r.Baudrate == baudrate)
            return r.Constant;
    }
    return 0;
}

/// Reads the whole of a small sysfs attribute; empty when it is not there.
QByteArray readAttribute(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().trimmed();
}

/// Whether a node is a port, decided by opening it: used where sysfs tells nothing (pseudo-
/// terminals behind a ports/COM<n> link, systems without sysfs).
bool presentByOpening(const QByteArray &path)
{
    // Same flags as the working open, so that probing neither waits for carrier nor takes the
    // port as controlling terminal.
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // Held by another program (exclusive mode) or no permission: the port is there.
        return errno == EBUSY || errno == EACCES || errno == EPERM;
    }
    bool present = ::isatty(fd);
    serial_struct info{};
    if (present && ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PortTypeUnknown)
        present = false;
    ::close(fd);
    return present;
}

} // namespace

QString DevicePathForPort(int n)
{
    const QString link = QStringLiteral("ports/COM%1").arg(n);
    struct stat st
    {
    };
    if (::lstat(nativePath(link).constData(), &st) == 0)
        return link;
    if (n >= 1 && n <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    if (n >= 33 && n <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(n - 33);
    if (n >= 65 && n <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(n - 65);
    return link;
}

bool SerialDevicePresent(const QString &path)
{
    const QByteArray native = nativePath(path);
    struct stat st
    {
    };
    if (::stat(native.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;

    // sysfs answers without opening the port: opening a free port raises DTR and RTS, which
    // resets some devices. Serial-core ports (ttyS) publish their UART type there; USB and
    // modem-class adapters have a device entry only while they are plugged in.
    const QString name = QFileInfo(QFileInfo(path).canonicalFilePath()).fileName();
    if (!name.isEmpty()) {
        const QString sys = QStringLiteral("/sys/class/tty/") + name;
        const QByteArray type = readAttribute(sys + QStringLiteral("/type"));
        if (!type.isEmpty())
            return type.toInt() != PortTypeUnknown;
        if (QFileInfo::exists(sys + QStringLiteral("/device")))
            return true;
    }
    return presentByOpening(native);
}

QList<int> PresentComPorts()
{
    QList<int> ports;
    for (int n = 1; n <= MaxPortNumber; ++n) {
        const QString path = DevicePathForPort(n);
        if (SerialDevicePresent(path))
            ports.append(n);
    }
    return ports;
}

QString SystemErrorText(int err)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("there is no such port");
    case EBUSY:
    case EWOULDBLOCK:
        return QStringLiteral("the port is in use by another program");
    case EACCES:
    case EPERM:
        return QStringLiteral("no permission to use the port (is the user in the group dialout?)");
    case EIO:
        return QStringLiteral("the port does not respond (no device behind it, or it was "
                              "unplugged)");
    case ENOTTY:
        return QStringLiteral("the device is not a serial port");
    case EINVAL:
        return QStringLiteral("the port does not accept these line settings");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("too many open files");
    default:
        return QString::fromLocal8Bit(std::strerror(err));
    }
}

bool ApplyLineSettings(termios &t, const LineSettings &s)
{
    // Raw mode: every byte passes unchanged, no echo, no line editing, no signals, no
    // translation of CR and LF, no stripping to 7 bits. INPCK stays off: a chosen parity is
    // generated on output, but received characters are not checked.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                           IXOFF | IXANY | INPCK);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // CLOCAL: the port works without carrier (DCD), which a 3-wire cable never raises.
    // CREAD: the receiver is on.
    t.c_cflag |= CLOCAL | CREAD;

    switch (s.ByteSize) {
    case 5:
        t.c_cflag = (t.c_cflag & ~tcflag_t(CSIZE)) | CS5;
        break;
    case 6:
        t.c_cflag = (t.c_cflag & ~tcflag_t(CSIZE)) | CS6;
        break;
    case 7:
        t.c_cflag = (t.c_cflag & ~tcflag_t(CSIZE)) | CS7;
        break;
    case 8:
        t.c_cflag = (t.c_cflag & ~tcflag_t(CSIZE)) | CS8;
        break;
    default:
        break; // a UART has no other sizes; the port keeps its own
    }

    t.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR);
    switch (s.Parity) {
    case ptNone:
        break;
    case ptOdd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case ptEven:
        t.c_cflag |= PARENB;
        break;
    case ptMark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case ptSpace:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }

    if (s.StopBits == sbOne)
        t.c_cflag &= ~tcflag_t(CSTOPB);
    else
        t.c_cflag |= CSTOPB;

    // CRTSCTS only for CTS-controlled output. Linux applies it in both directions, so it must
    // not stand for the DTR/RTS handshake, which throttles only what the other side sends:
    // the kernel would hold back our own output while CTS is low, and a three-wire cable
    // never raises CTS. The component moves DTR and RTS for that handshake itself (rxflow.h).
    if (s.FlowFlags & PiloDcb::OutxCtsFlow)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~tcflag_t(CRTSCTS);
    if (s.FlowFlags & PiloDcb::OutX)
        t.c_iflag |= IXON;
    if (s.FlowFlags & PiloDcb::InX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;

    // The descriptor is non-blocking and reads only ask for bytes the driver reported, so
    // these matter only to a blocking reader; set them so that nothing is left to the driver's
    // previous user: a read returns as soon as one byte is there, with no inter-byte timer.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    const speed_t speed = baudConstant(s.Baudrate);
    if (speed == 0)
        return false;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return true;
}

int OpenPortDevice(const QString &path, int &err)
{
    // O_NOCTTY: the port must never become the program's controlling terminal, or a hang-up
    //   of the line would send it SIGHUP.
    // O_NONBLOCK: the open does not wait for carrier, and no read or write ever blocks the
    //   user-interface thread; the receive thread waits in poll() instead.
    // O_CLOEXEC: a program started later does not inherit the port.
    const int fd = ::open(nativePath(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    if (!::isatty(fd)) {
        err = ENOTTY;
        ::close(fd);
        return -1;
    }
    // flock: the advisory lock that cooperating serial programs take; it also keeps out a
    // second instance running as root, which TIOCEXCL does not stop.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return -1;
    }
    // TIOCEXCL: any further open of the terminal fails with EBUSY, whatever the other
    // program does about locks.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        err = errno;
        ::close(fd);
        return -1;
    }
    err = 0;
    return fd;
}

void ClosePortDevice(int fd)
{
    if (fd < 0)
        return;
    // The exclusive flag belongs to the terminal, not to the descriptor: on a pseudo-terminal
    // whose other side stays open it would outlive this close and lock everybody out.
    ::ioctl(fd, TIOCNXCL);
    // Closing a terminal waits until its output has drained, up to 30 s when a handshake holds
    // it back. Anything still unsent after a short grace time is given up instead, so that
    // closing never stalls the window.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (;;) {
        const int queued = OutputQueueBytes(fd);
        if (queued <= 0 || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::tcflush(fd, TCOFLUSH);
    ::close(fd);
}

bool WriteLineSettings(int fd, const LineSettings &s)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return false;
    const bool standardRate = ApplyLineSettings(t, s);
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return false;
    return standardRate || SetCustomBaudrate(fd, s.Baudrate);
}

quint32 ModemStatus(int fd, bool &supported)
{
    int lines = 0;
    supported = ::ioctl(fd, TIOCMGET, &lines) == 0;
    if (!supported)
        return 0;
    quint32 status = 0;
    if (lines & TIOCM_CTS)
        status |= PiloModem::CtsOn;
    if (lines & TIOCM_DSR)
        status |= PiloModem::DsrOn;
    if (lines & TIOCM_RNG)
        status |= PiloModem::RingOn;
    if (lines & TIOCM_CD)
        status |= PiloModem::RlsdOn;
    return status;
}

int InputQueueBytes(int fd)
{
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

int OutputQueueBytes(int fd)
{
    int n = 0;
    return ::ioctl(fd, TIOCOUTQ, &n) == 0 ? n : -1;
}

bool ReadLineErrorCounts(int fd, LineErrorCounts &counts)
{
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    counts.Frame = quint32(ic.frame);
    counts.Overrun = quint32(ic.overrun);
    counts.Parity = quint32(ic.parity);
    counts.Break = quint32(ic.brk);
    counts.BufferOverrun = quint32(ic.buf_overrun);
    return true;
}

quint32 LineErrorFlags(const LineErrorCounts &before, const LineErrorCounts &after)
{
    quint32 flags = 0;
    if (after.BufferOverrun != before.BufferOverrun)
        flags |= PiloError::RxOver;
    if (after.Overrun != before.Overrun)
        flags |= PiloError::Overrun;
    if (after.Parity != before.Parity)
        flags |= PiloError::RxParity;
    if (after.Frame != before.Frame)
        flags |= PiloError::Frame;
    if (after.Break != before.Break)
        flags |= PiloError::Break;
    return flags;
}
