#include "core/net/msglinebuffer.h"

#include <cstring>

MsgLineBuffer::MsgLineBuffer(int maxLineLength)
    : m_maxLength(maxLineLength)
{
}

void MsgLineBuffer::append(const char *data, int size)
{
    if (size <= 0)
        return;
    // Drop handed-out bytes before growing, so the buffer never holds more than
    // one partial line and the chunk being appended.
    if (m_start > 0 && (m_start == m_buffer.size() || m_start >= m_buffer.size() / 2)) {
        m_buffer.remove(0, m_start);
        m_scanFrom -= m_start;
        m_start = 0;
    }
    m_buffer.append(data, size);
}

bool MsgLineBuffer::takeLine(const char **data, int *size)
{
    if (m_overflow)
        return false;
    const char *base = m_buffer.constData();
    const int end = m_buffer.size();
    const void *found = m_scanFrom < end ? std::memchr(base + m_scanFrom, '\n', size_t(end - m_scanFrom)) : nullptr;
    if (!found) {
        m_scanFrom = end;
        if (end - m_start > m_maxLength)
            m_overflow = true;
        return false;
    }
    const int lineFeed = int(static_cast<const char *>(found) - base);
    if (lineFeed - m_start > m_maxLength) {
        m_overflow = true;
        return false;
    }
    *data = base + m_start;
    *size = lineFeed - m_start;
    m_start = lineFeed + 1;
    m_scanFrom = m_start;
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
    m_buffer.clear();
    m_start = 0;
    m_scanFrom = 0;
    m_overflow = false;
}
