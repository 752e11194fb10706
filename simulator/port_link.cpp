#include "simulator/port_link.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

std::string systemError(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

/// Raw 8-bit line: no echo (an echo would send the client's own commands back to it), no
/// CR/LF translation (the commands end in CR LF and must arrive as sent), no signals.
bool makeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

std::string readPid(int fd)
{
    std::array<char, 32> buffer{};
    const ssize_t n = pread(fd, buffer.data(), buffer.size() - 1, 0);
    std::string text = n > 0 ? std::string(buffer.data(), size_t(n)) : std::string();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "unknown" : text;
}

} // namespace

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyPair::open(std::string &error)
{
    if (openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        error = systemError("cannot open a pseudo-terminal");
        return false;
    }
    std::array<char, PATH_MAX> name{};
    if (ttyname_r(m_slave, name.data(), name.size()) != 0) {
        error = "cannot name the pseudo-terminal";
        return false;
    }
    m_slavePath = name.data();
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    // Non-blocking master: a client that stops reading must not stall the simulator.
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (!makeRaw(m_slave) || !makeRaw(m_master)) {
        error = systemError("cannot set the pseudo-terminal to raw mode");
        return false;
    }
    return true;
}

void PtyPair::closeMaster()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

int PtyPair::unreadBytes() const
{
    int count = 0;
    if (m_slave < 0 || ioctl(m_slave, FIONREAD, &count) != 0)
        return 0;
    return count;
}

PortLink::~PortLink()
{
    release();
}

bool PortLink::claim(int port, const std::string &targetPath, std::string &error)
{
    if (mkdir("ports", 0755) != 0 && errno != EEXIST) {
        error = systemError("cannot create the folder ports");
        return false;
    }
    const std::string linkPath = "ports/COM" + std::to_string(port);
    const std::string pidPath = linkPath + ".pid";

    int fd = -1;
    for (int attempt = 0; attempt < 5 && fd < 0; ++attempt) {
        fd = ::open(pidPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            error = systemError("cannot open " + pidPath);
            return false;
        }
        struct flock lock{};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (fcntl(fd, F_SETLK, &lock) != 0) {
            const bool held = errno == EACCES || errno == EAGAIN;
            error = held ? linkPath + " is served by a running simulator (pid " + readPid(fd) +
                               "); stop it first or choose another --port"
                         : systemError("cannot lock " + pidPath);
            ::close(fd);
            return false;
        }
        // A simulator that was ending may have removed the file between our open and our
        // lock; then the lock guards nothing and we start over.
        struct stat locked{};
        struct stat named{};
        if (fstat(fd, &locked) != 0 || stat(pidPath.c_str(), &named) != 0 ||
            locked.st_ino != named.st_ino || locked.st_dev != named.st_dev) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        error = "cannot take " + pidPath + ": it keeps changing";
        return false;
    }

    struct stat existing{};
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error = linkPath + " exists and is not a link; not replacing it";
            unlink(pidPath.c_str());
            ::close(fd);
            return false;
        }
        std::array<char, PATH_MAX> old{};
        const ssize_t n = readlink(linkPath.c_str(), old.data(), old.size() - 1);
        std::fprintf(stderr, "analyser-sim: replacing the stale link %s -> %s\n", linkPath.c_str(),
                     n > 0 ? old.data() : "?");
    }

    const std::string pidText = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 ||
        pwrite(fd, pidText.data(), pidText.size(), 0) != ssize_t(pidText.size())) {
        error = systemError("cannot write " + pidPath);
        unlink(pidPath.c_str());
        ::close(fd);
        return false;
    }

    // Made under a temporary name and renamed over the old link, so that a client never finds
    // the name missing or half made.
    const std::string tempPath = "ports/.COM" + std::to_string(port) + "." + std::to_string(getpid());
    unlink(tempPath.c_str());
    if (symlink(targetPath.c_str(), tempPath.c_str()) != 0 ||
        rename(tempPath.c_str(), linkPath.c_str()) != 0) {
        error = systemError("cannot link " + linkPath + " to " + targetPath);
        unlink(tempPath.c_str());
        unlink(pidPath.c_str());
        ::close(fd);
        return false;
    }

    m_lockFd = fd;
    m_linkPath = linkPath;
    m_pidPath = pidPath;
    m_target = targetPath;
    return true;
}

void PortLink::release()
{
    if (m_lockFd < 0)
        return;
    std::array<char, PATH_MAX> target{};
    const ssize_t n = readlink(m_linkPath.c_str(), target.data(), target.size() - 1);
    if (n > 0 && std::string(target.data(), size_t(n)) == m_target)
        unlink(m_linkPath.c_str());
    // Removed while the lock is still held, so that no starting simulator takes a file that is
    // about to vanish (it checks the name after locking).
    unlink(m_pidPath.c_str());
    ::close(m_lockFd);
    m_lockFd = -1;
}
