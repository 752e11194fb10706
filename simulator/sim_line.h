#pragma once
// What the simulator's event loop needs of the link to its client: a pseudo-terminal that
// stands for the serial line, or a TCP listener with at most one client.

#include <string>

class SimLine
{
public:
    virtual ~SimLine() = default;

    /// The descriptor commands come from and answers go to; -1 while there is no client.
    virtual int fd() const = 0;
    /// A descriptor to watch for a new client, or -1 where clients do not connect.
    virtual int listenFd() const { return -1; }
    /// A client knocks: true when it is taken as the new client, false when it was turned away.
    virtual bool acceptClient() { return false; }
    /// Reading or writing found the client's end closed or broken. True when the client is gone
    /// for good (what it left pending is forgotten); false when the line stays and only rests.
    virtual bool clientGone() = 0;
    /// Ends the line for --hangup-after: the client sees it go down.
    virtual void hangUp() = 0;
    /// Bytes written that the client has not taken yet.
    virtual int unreadBytes() const = 0;
    /// The end of every answer line.
    virtual const std::string &answerEnd() const = 0;
};
