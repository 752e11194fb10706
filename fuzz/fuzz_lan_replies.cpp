// The reply framing of the VXI-11 transport (one device_read's answer into reply lines) and of
// the "++" GPIB adapter (one received line into a reply line), and the adapter's escaping of a
// command, on arbitrary bytes. Every line offered ends in CR LF, is never longer than the
// bound plus its CR LF, holds no LF before its end, and the lines together hold every byte of
// the answer that was not an LF, a CR before an LF, or beyond a line's bound. An escaped
// command, with the escapes taken out again, is the command.
#include "fuzz/fuzz_common.h"
#include "analyser/gpib_transport.h"
#include "analyser/vxi11_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    qsizetype kept = 0;
    Vxi11ReplyLines(bytes, [&kept](const QByteArray &line) {
        FUZZ_CHECK(line.endsWith("\r\n"), "a VXI-11 line without CR LF");
        FUZZ_CHECK(line.size() <= Vxi11Transport::kMaxReplyBytes + 2, "a VXI-11 line longer than the bound");
        FUZZ_CHECK(line.indexOf('\n') == line.size() - 1, "a VXI-11 line with an LF inside");
        kept += line.size() - 2;
        return true;
    });
    FUZZ_CHECK(kept <= bytes.size(), "VXI-11 lines hold more than the answer");
    if (bytes.size() <= Vxi11Transport::kMaxReplyBytes && !bytes.contains('\r')) {
        FUZZ_CHECK(kept == bytes.size() - bytes.count('\n'), "VXI-11 lines lost bytes of the answer");
    }

    const QByteArray line = GpibReplyLine(bytes);
    FUZZ_CHECK(line.endsWith("\r\n"), "an adapter line without CR LF");
    FUZZ_CHECK(line.size() <= GpibTransport::kMaxLineBytes + 2, "an adapter line longer than the bound");

    const QByteArray escaped = GpibCommandBytes(bytes);
    FUZZ_CHECK(escaped.endsWith('\n'), "an adapter command without its LF");
    QByteArray plain;
    for (qsizetype i = 0; i + 1 < escaped.size(); ++i) {
        const char c = escaped[i];
        // An escaped character is taken with its ESC, so none of these is ever met here.
        FUZZ_CHECK(c != '\r' && c != '\n' && c != '+', "an unescaped CR, LF or '+' in an adapter command");
        if (c == '\x1b')
            ++i;
        plain.append(escaped[i]);
    }
    QByteArray expected = bytes;
    if (expected.endsWith("\r\n"))
        expected.chop(2);
    FUZZ_CHECK(plain == expected, "an escaped adapter command does not give back the command");
    return 0;
}
