#pragma once
// Shared by the fuzz targets: a check that stops the run with a message libFuzzer records as a
// crash, and a reader that takes small decisions (chunk sizes, options) from the input.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

/// Aborts with `what` when `condition` is false; libFuzzer saves the input as a crash.
#define FUZZ_CHECK(condition, what)                                                        \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__, __LINE__, what); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

/// The input as a stream: numbers from its front, the rest as bytes. Reading past the end
/// gives zeros, so a short input still makes every decision.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    uint8_t byte()
    {
        return m_pos < m_size ? m_data[m_pos++] : 0;
    }

    template <typename T>
    T number()
    {
        unsigned char raw[sizeof(T)] = {};
        for (unsigned char &b : raw)
            b = byte();
        T value;
        std::memcpy(&value, raw, sizeof value);
        return value;
    }

    /// Up to `max` bytes.
    QByteArray bytes(size_t max)
    {
        const size_t n = max < remaining() ? max : remaining();
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return out;
    }

    QByteArray rest() { return bytes(remaining()); }
    size_t remaining() const { return m_size - m_pos; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

/// The whole input as bytes, without a copy of the decisions.
inline QByteArray FuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}
