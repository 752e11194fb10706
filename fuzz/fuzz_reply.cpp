// The command channel's reply handling: reply lines, cut from arbitrary received chunks by the
// serial component's line scanning and read whole as the window's handler reads them, fill the
// one reply slot; polls in between take it. The slot always holds the latest line of three or
// more bytes without its CR LF, or nothing once it has been taken.
#include "analyser/command_channel.h"
#include "fuzz/fuzz_common.h"
#include "serial/pilobuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    static const QByteArray lineEnd("\r\n");
    CommandChannel channel;  // no port: replies only
    TPiloCommBuffer buffer;
    QByteArray expected;

    while (in.remaining() > 0) {
        const uint8_t decision = in.byte();
        if (decision & 0x80) {
            // A poll of the sequencer.
            QByteArray text("untouched");
            const bool got = channel.ReadReply(text);
            FUZZ_CHECK(got == !expected.isEmpty(), "ReadReply disagrees with the slot");
            FUZZ_CHECK(text == (got ? expected : QByteArray("untouched")), "ReadReply gave another text");
            FUZZ_CHECK(channel.PendingReply.isEmpty(), "the slot is not empty after a poll");
            expected.clear();
            continue;
        }
        const QByteArray chunk = in.bytes(1 + decision % 64);
        if (chunk.isEmpty())
            break;
        const auto count = quint32(chunk.size());
        buffer.Reserve(count);
        std::memcpy(buffer.Data() + buffer.WritePos, chunk.constData(), count);
        buffer.WritePos += count;
        while (const quint32 length = buffer.ScanLine(lineEnd.constData(), quint32(lineEnd.size()))) {
            QByteArray line(qsizetype(length), '\0');
            FUZZ_CHECK(buffer.Take(line.data(), length) == length, "the offered line could not be read");
            channel.PiloDataAvailable(line);
            if (line.size() > 2)
                expected = line.left(line.size() - 2);
            FUZZ_CHECK(channel.PendingReply == expected, "the slot holds another reply");
            FUZZ_CHECK(!channel.IsWaiting(), "a reply left a wait behind");
        }
    }
    return 0;
}
