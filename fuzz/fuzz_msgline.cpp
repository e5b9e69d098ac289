// Feeds arbitrary server bytes through the client's line buffer and parser, in
// chunks whose sizes the input chooses, with a small line limit; every value
// read is written back in a server's report format, fast and by Qt, a
// report's "Data" line must read as its reference form, and the port's state
// key and address must read back as the port; a "U" line framed again for its
// port must read as it did.

#include "core/bus/portid.h"
#include "core/live/reportline.h"
#include "core/net/msgline.h"
#include "core/net/msglinebuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MsgLineBuffer buffer(256);
    size_t at = 0;
    while (at < size) {
        // The first byte of each chunk gives its length.
        const size_t chunk = std::min<size_t>(size - at, size_t(data[at] % 64) + 1);
        buffer.append(reinterpret_cast<const char *>(data + at), int(chunk));
        at += chunk;
        const char *line = nullptr;
        int length = 0;
        while (buffer.takeLine(&line, &length)) {
            if (length > buffer.maxLineLength())
                std::abort();
            const MsgLine parsed = MsgLine::parse(line, length);
            if (parsed.kind == MsgLine::NoValue) {
                const QByteArray wire =
                    MsgLine::frameNoValue(PortId(parsed.output ? PortId::Out : PortId::In, parsed.object, parsed.port));
                if (!wire.isEmpty() && MsgLine::parse(wire.chopped(1)) != parsed)
                    std::abort();
            }
            // What the client would send back for a report must be one clean line.
            if (parsed.kind == MsgLine::Port) {
                const QByteArray wire =
                    MsgLine::frame('P', MsgLine::portPayload(parsed.object, parsed.port, parsed.output, parsed.value));
                if (wire.isEmpty() || !wire.endsWith('\n') || wire.count('\n') != 1)
                    std::abort();
                // A server's report of that value: the fast writer as Qt's.
                if (MsgLine::formatReportValue(parsed.value) != QByteArray::number(parsed.value, 'g', 15))
                    std::abort();
                // The report's "Data" line and key, built by hand, read as the reference builds them.
                if (ReportLine::text(parsed.object, parsed.output, parsed.port, parsed.value)
                    != ReportLine::referenceText(parsed.object, parsed.output, parsed.port, parsed.value))
                    std::abort();
                const PortId id(parsed.output ? PortId::Out : PortId::In, parsed.object, parsed.port);
                const PortId keyed = PortId::fromStateKey(id.toStateKey());
                if (keyed != id && !parsed.object.isEmpty() && parsed.port >= 0 && parsed.port <= 999999999)
                    std::abort();
                const QByteArray address = id.toUtf8Address();
                if (!address.isEmpty() && PortId::fromReportAddress(address.constData(), address.size()) != id)
                    std::abort();
            }
        }
        if (buffer.overflowed()) {
            if (buffer.pending() > 256 + 64)
                std::abort();
            buffer.clear();
        }
    }
    return 0;
}
