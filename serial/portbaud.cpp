// Baud rates without a standard termios constant. The kernel's termios2 record carries the
// rate as a number; its header clashes with the C library's <termios.h>, so this file keeps
// to the kernel's definitions alone.

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

bool SetCustomBaudrate(int fd, int baudrate)
{
    if (baudrate <= 0) {
        errno = EINVAL;
        return false;
    }
    struct termios2 t
    {
    };
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~tcflag_t(CBAUD);
    t.c_cflag |= BOTHER;
    t.c_ispeed = speed_t(baudrate);
    t.c_ospeed = speed_t(baudrate);
    // TCSETS2 applies at once, like tcsetattr(TCSANOW).
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

int CurrentBaudrate(int fd)
{
    struct termios2 t
    {
    };
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return int(t.c_ospeed);
}
