// The line scanning of the serial receive buffer, fed arbitrary chunks as the driver hands
// them over and read in arbitrary pieces as a handler may read them. Every line offered ends
// with the first line end after the previous line, the lines and the bytes still waiting are
// exactly the bytes received, and the block grows only as far as the unread bytes need.
#include "fuzz/fuzz_common.h"
#include "serial/pilobuffer.h"

#include <QList>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    QByteArray lineEnd("\r\n");
    if (in.byte() & 1) {
        lineEnd = in.bytes(1 + in.byte() % 3);
        if (lineEnd.isEmpty())
            return 0;  // an empty line end gives direct mode: nothing is scanned
    }
    const quint32 n = quint32(lineEnd.size());

    TPiloCommBuffer buffer;
    QByteArray received;
    QList<QByteArray> lines;
    quint64 capacityBound = 0;
    while (in.remaining() > 0) {
        const QByteArray chunk = in.bytes(1 + in.byte() % 64);
        if (chunk.isEmpty())
            break;
        const auto count = quint32(chunk.size());
        capacityBound = std::max<quint64>(capacityBound, quint64(buffer.Unread()) + 2 * count);
        buffer.Reserve(count);
        FUZZ_CHECK(buffer.Capacity() - buffer.WritePos >= count, "Reserve left too little room");
        std::memcpy(buffer.Data() + buffer.WritePos, chunk.constData(), count);
        buffer.WritePos += count;
        received += chunk;

        while (const quint32 length = buffer.ScanLine(lineEnd.constData(), n)) {
            FUZZ_CHECK(buffer.ReadPos <= buffer.ScanPos && buffer.ScanPos <= buffer.WritePos,
                       "scan position outside the unread bytes");
            // The handler reads the offered line in pieces until nothing of it is left.
            QByteArray line;
            quint32 ready = length;
            while (ready > 0) {
                const quint32 want = 1 + in.byte() % ready;
                char piece[256];
                const quint32 got = buffer.Take(piece, std::min<quint32>(want, sizeof piece));
                FUZZ_CHECK(got > 0, "a ready byte could not be taken");
                line.append(piece, qsizetype(got));
                ready -= got;
            }
            FUZZ_CHECK(line.endsWith(lineEnd), "a line offered without its line end");
            FUZZ_CHECK(line.indexOf(lineEnd) == line.size() - qsizetype(n), "two lines offered as one");
            lines.append(line);
        }
        FUZZ_CHECK(buffer.WritePos <= buffer.Capacity(), "write position beyond the block");
        FUZZ_CHECK(buffer.Capacity() <= capacityBound, "the block grew beyond what the bytes need");
    }

    // The same stream cut into lines at once.
    qsizetype pos = 0;
    for (const QByteArray &line : std::as_const(lines)) {
        const qsizetype end = received.indexOf(lineEnd, pos);
        FUZZ_CHECK(end >= 0 && received.mid(pos, end + n - pos) == line, "a line differs from the stream");
        pos = end + n;
    }
    FUZZ_CHECK(received.indexOf(lineEnd, pos) < 0, "a complete line was not offered");
    const QByteArray waiting(buffer.Data() + buffer.ReadPos, qsizetype(buffer.Unread()));
    FUZZ_CHECK(waiting == received.mid(pos), "the waiting bytes differ from the rest of the stream");
    return 0;
}
