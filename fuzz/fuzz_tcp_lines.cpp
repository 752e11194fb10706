// The line framing of the socket transport, fed arbitrary chunks as the socket hands them
// over, some repeated many times so that lines grow past the longest line kept. Every line
// offered is the stream's next line up to its LF, cut to the longest line kept, without the
// CR right before the LF and followed by CR LF; the framer never holds more than that bound; and a
// consumer that goes away in the middle of a chunk (the transport closes) gets nothing more of
// it, the framer starting afresh.
#include "fuzz/fuzz_common.h"
#include "analyser/tcp_transport.h"

#include <algorithm>

namespace {

/// The framing written the plain way, one byte at a time.
class Model
{
public:
    /// Feeds bytes up to and including the next LF from `pos`; true and the line when one ends.
    bool nextLine(const QByteArray &chunk, qsizetype &pos, QByteArray &line)
    {
        while (pos < chunk.size()) {
            const char c = chunk[pos++];
            if (c == '\n') {
                line = m_current;
                m_current.clear();
                if (!m_cut && line.endsWith('\r'))
                    line.chop(1);
                m_cut = false;
                line.append("\r\n");
                return true;
            }
            if (m_current.size() < TcpLineFramer::kMaxLineBytes)
                m_current.append(c);
            else
                m_cut = true;
        }
        return false;
    }
    void clear()
    {
        m_current.clear();
        m_cut = false;
    }
    qsizetype partialBytes() const { return m_current.size(); }

private:
    QByteArray m_current;
    bool m_cut = false;  ///< bytes beyond the bound were dropped
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    TcpLineFramer framer;
    Model model;
    while (in.remaining() > 0) {
        const uint8_t head = in.byte();
        const QByteArray piece = in.bytes(1 + head % 64);
        if (piece.isEmpty())
            break;
        // A piece marked so is repeated: long lines without long inputs.
        const int repeat = (head & 0x40) ? 1 + 16 * int(in.byte()) : 1;
        const QByteArray chunk = piece.repeated(repeat);

        qsizetype pos = 0;
        bool stopped = false;
        framer.take(chunk.constData(), chunk.size(), [&](const QByteArray &line) {
            QByteArray expected;
            FUZZ_CHECK(model.nextLine(chunk, pos, expected), "a line offered where the stream has none");
            FUZZ_CHECK(line == expected, "a line differs from the stream");
            FUZZ_CHECK(line.size() <= TcpLineFramer::kMaxLineBytes + 2, "a line longer than the bound");
            if (in.byte() % 8 == 0) {
                // The consumer closes the transport, which clears the framer.
                stopped = true;
                framer.clear();
                return false;
            }
            return true;
        });
        if (stopped) {
            model.clear();
        } else {
            QByteArray missed;
            FUZZ_CHECK(!model.nextLine(chunk, pos, missed), "a complete line was not offered");
        }
        FUZZ_CHECK(framer.partialBytes() == model.partialBytes(), "the line so far differs from the stream");
        FUZZ_CHECK(framer.partialBytes() <= TcpLineFramer::kMaxLineBytes, "the framer holds more than a line");
    }
    return 0;
}
