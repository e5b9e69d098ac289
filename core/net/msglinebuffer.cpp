#include "core/net/msglinebuffer.h"

#include <cstring>

MsgLineBuffer::MsgLineBuffer(int maxLineLength)
    : maxLength(maxLineLength)
{
}

void MsgLineBuffer::append(const char *data, int size)
{
    if (size <= 0)
        return;
    // Drop handed-out bytes before growing, so the buffer never holds more than
    // one partial line and the chunk being appended.
    if (start > 0 && (start == buffer.size() || start >= buffer.size() / 2)) {
        buffer.remove(0, start);
        scanFrom -= start;
        start = 0;
    }
    buffer.append(data, size);
}

bool MsgLineBuffer::takeLine(const char **data, int *size)
{
    if (overflow)
        return false;
    const char *base = buffer.constData();
    const int end = buffer.size();
    const void *found = scanFrom < end ? std::memchr(base + scanFrom, '\n', size_t(end - scanFrom)) : nullptr;
    if (!found) {
        scanFrom = end;
        if (end - start > maxLength)
            overflow = true;
        return false;
    }
    const int lineFeed = int(static_cast<const char *>(found) - base);
    if (lineFeed - start > maxLength) {
        overflow = true;
        return false;
    }
    *data = base + start;
    *size = lineFeed - start;
    start = lineFeed + 1;
    scanFrom = start;
    return true;
}

bool MsgLineBuffer::takeLine(QByteArray *line)
{
    const char *data = nullptr;
    int size = 0;
    if (!takeLine(&data, &size))
        return false;
    *line = QByteArray(data, size);
    return true;
}

void MsgLineBuffer::clear()
{
    buffer.clear();
    start = 0;
    scanFrom = 0;
    overflow = false;
}
