#include "serial/pilobuffer.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {
std::atomic<quint64> g_growCount{0};
}

TPiloCustomBuffer::~TPiloCustomBuffer()
{
    std::free(m_data);
}

void TPiloCustomBuffer::Grow(quint32 n)
{
    if (n == 0)
        return;
    if (n > std::numeric_limits<quint32>::max() - m_capacity)
        throw std::bad_alloc();
    const quint32 capacity = m_capacity + n;
    char *data = static_cast<char *>(std::realloc(m_data, capacity));
    if (!data)
        throw std::bad_alloc();
    m_data = data;
    m_capacity = capacity;
    g_growCount.fetch_add(1, std::memory_order_relaxed);
}

quint64 TPiloCustomBuffer::GrowCount() noexcept
{
    return g_growCount.load(std::memory_order_relaxed);
}

void TPiloCommBuffer::Reserve(quint32 n)
{
    if (Capacity() - WritePos >= n)
        return;
    if (ReadPos > 0) {
        const quint32 unread = Unread();
        if (unread > 0)
            std::memmove(Data(), Data() + ReadPos, unread);
        ScanPos = ScanPos > ReadPos ? ScanPos - ReadPos : 0;
        WritePos = unread;
        ReadPos = 0;
    }
    if (Capacity() - WritePos < n)
        Grow(n);
}

quint32 TPiloCommBuffer::Take(char *dest, quint32 n)
{
    if (n > Unread())
        n = Unread();
    if (n > 0 && dest)
        std::memcpy(dest, Data() + ReadPos, n);
    ReadPos += n;
    if (ReadPos >= WritePos)
        Clear();
    return n;
}

quint32 TPiloCommBuffer::ScanLine(const char *lineEnd, quint32 n) noexcept
{
    if (n == 0)
        return 0;
    if (ScanPos < ReadPos)
        ScanPos = ReadPos;
    if (WritePos - ScanPos < n)
        return 0;
    const char *base = Data();
    const void *hit = ::memmem(base + ScanPos, WritePos - ScanPos, lineEnd, n);
    if (!hit) {
        ScanPos = WritePos - (n - 1);
        return 0;
    }
    ScanPos = quint32(static_cast<const char *>(hit) - base) + n;
    return ScanPos - ReadPos;
}

void TPiloTxBuffer::Put(const char *data, quint32 n)
{
    if (n == 0)
        return;
    if (Capacity() - WritePos < n && ReadPos > 0) {
        if (Count > 0)
            std::memmove(Data(), Data() + ReadPos, Count);
        ReadPos = 0;
        WritePos = Count;
    }
    if (Capacity() - WritePos < n)
        Grow(n - (Capacity() - WritePos));
    std::memcpy(Data() + WritePos, data, n);
    WritePos += n;
    Count += n;
}

const char *TPiloTxBuffer::Take(quint32 max, quint32 &taken)
{
    taken = max < Count ? max : Count;
    const char *chunk = Data() + ReadPos;
    ReadPos += taken;
    Count -= taken;
    if (Count == 0)
        ReadPos = WritePos = 0;
    return chunk;
}
