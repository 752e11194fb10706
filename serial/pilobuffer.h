#pragma once
// The byte blocks of the serial port component: the receive buffer that the receive thread
// fills and the reader empties, and the transmit queue that feeds the port chunk by chunk.
//
// Neither class locks anything itself. The receive buffer is guarded by its owner,
// TPiloCommThread (see the threading contract in piloport.h); the transmit queue is only ever
// touched on the user-interface thread.

#include <QtGlobal>

/// A growable byte block. Growing by n reallocates to capacity + n and keeps the contents;
/// the block never shrinks and is freed with the object.
class TPiloCustomBuffer
{
public:
    TPiloCustomBuffer() = default;
    ~TPiloCustomBuffer();
    TPiloCustomBuffer(const TPiloCustomBuffer &) = delete;
    TPiloCustomBuffer &operator=(const TPiloCustomBuffer &) = delete;

    char *Data() const noexcept { return m_data; }
    quint32 Capacity() const noexcept { return m_capacity; }

    /// Adds n bytes of capacity. Throws std::bad_alloc when the system has no memory left.
    void Grow(quint32 n);

    /// How often any buffer of this family has reallocated since the process started.
    /// The benchmark reads it to show that steady traffic allocates nothing.
    static quint64 GrowCount() noexcept;

private:
    char *m_data = nullptr;
    quint32 m_capacity = 0;
};

/// The receive buffer. Bytes between ReadPos and WritePos have been received and not yet
/// consumed; ScanPos marks how far the search for the line end has come, so that a line end
/// split across two reads is still found.
class TPiloCommBuffer : public TPiloCustomBuffer
{
public:
    quint32 ReadPos = 0;
    quint32 WritePos = 0;
    quint32 ScanPos = 0;

    quint32 Unread() const noexcept { return WritePos - ReadPos; }

    /// Makes room for n more bytes behind WritePos. Consumed bytes at the front are given
    /// back first (the unread rest moves to the start of the block); only if that is not
    /// enough does the block grow, by n. Without this a line that is always half received
    /// when the reader catches up would keep the positions from ever returning to 0, and the
    /// block would grow with every read under continuous traffic.
    void Reserve(quint32 n);

    /// Takes up to n bytes from ReadPos into dest; when everything is consumed the three
    /// positions go back to 0 so that the block is reused from its start.
    quint32 Take(char *dest, quint32 n);

    /// Looks for the next `lineEnd` (n bytes, n > 0) between ScanPos and WritePos. When one is
    /// there, ScanPos moves past it and the result is the length of the line from ReadPos, its
    /// end included. Otherwise the result is 0 and ScanPos stops n - 1 bytes before WritePos,
    /// where a line end that the next read completes may begin. An n of 0 finds nothing.
    quint32 ScanLine(const char *lineEnd, quint32 n) noexcept;

    void Clear() noexcept { ReadPos = WritePos = ScanPos = 0; }
};

/// The transmit queue: bytes waiting until the port has sent the chunk before them.
class TPiloTxBuffer : public TPiloCustomBuffer
{
public:
    quint32 ReadPos = 0;
    quint32 WritePos = 0;
    quint32 Count = 0;

    /// Appends n bytes. Space already sent at the front is reused before the block grows,
    /// and the block grows by exactly the shortfall.
    void Put(const char *data, quint32 n);

    /// The next chunk of at most max bytes, removed from the queue. The pointer stays valid
    /// until the next Put; the positions go back to 0 when the queue becomes empty.
    const char *Take(quint32 max, quint32 &taken);

    void Clear() noexcept { ReadPos = WritePos = Count = 0; }
};
