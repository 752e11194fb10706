#pragma once
// The simulator's end of the serial line: a pseudo-terminal pair and the link ports/COM<n>
// that clients open as if it were a serial port.

#include "simulator/sim_line.h"

#include <string>

/// A pseudo-terminal pair in raw mode. The master is the analyser's side (non-blocking); the
/// slave stays open here as well, so that a client closing its side never leaves the master
/// hung up: clients come and go all through a test run.
class PtyPair : public SimLine
{
public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    /// Opens the pair; false with `error` set when the system has no pseudo-terminal to give.
    bool open(std::string &error);
    /// Closes the master: every client of the slave sees the line hang up.
    void closeMaster();
    /// Bytes written to the master that no client has read yet.
    int unreadBytes() const override;

    int fd() const override { return m_master; }
    /// The slave is held open here, so a master in trouble only rests a while.
    bool clientGone() override { return false; }
    void hangUp() override { closeMaster(); }
    /// Answers end in CR LF, as on the serial line.
    const std::string &answerEnd() const override { return m_answerEnd; }

    int master() const { return m_master; }
    const std::string &slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_answerEnd = "\r\n";
};

/// ports/COM<n> -> /dev/pts/N, guarded by ports/COM<n>.pid: the pid file carries a write lock
/// for as long as the simulator runs, so a second simulator for the same port can tell a live
/// owner from a link left behind by one that was killed.
class PortLink
{
public:
    PortLink() = default;
    ~PortLink();
    PortLink(const PortLink &) = delete;
    PortLink &operator=(const PortLink &) = delete;

    /// Creates ports/ if needed, takes the port and points its link at `targetPath`. False with
    /// `error` set when a live simulator holds the port or the link cannot be made.
    bool claim(int port, const std::string &targetPath, std::string &error);
    /// Removes the link (if it still points at our target) and the pid file.
    void release();

    const std::string &linkPath() const { return m_linkPath; }

private:
    int m_lockFd = -1;
    std::string m_linkPath;
    std::string m_pidPath;
    std::string m_target;
};
