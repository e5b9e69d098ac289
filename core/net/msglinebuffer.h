#ifndef MSGLINEBUFFER_H
#define MSGLINEBUFFER_H

#include <QByteArray>

// Collects received bytes and hands out complete lines. A line longer than
// `maxLineLength` bytes (without its line feed) is never handed out: the buffer
// reports the overflow instead, so memory stays bounded whatever the peer sends.
class MsgLineBuffer
{
public:
    static constexpr int defaultMaxLineLength = 64 * 1024;

    explicit MsgLineBuffer(int maxLineLength = defaultMaxLineLength);

    void append(const char *data, int size);
    void append(const QByteArray &data) { append(data.constData(), data.size()); }

    // The next complete line, without its line feed. The pointer stays valid
    // until the next call of a non-const member. False when no line is complete
    // or the current line is too long (see overflowed()).
    bool takeLine(const char **data, int *size);
    bool takeLine(QByteArray *line);

    // The current line has grown past the maximum; only clear() resets this.
    bool overflowed() const { return m_overflow; }
    // Bytes received and not yet handed out.
    int pending() const { return m_buffer.size() - m_start; }
    void clear();

    int maxLineLength() const { return m_maxLength; }

private:
    QByteArray m_buffer;
    int m_start = 0;    // first byte not handed out yet
    int m_scanFrom = 0; // the bytes from start up to here hold no line feed
    int m_maxLength;
    bool m_overflow = false;
};

#endif // MSGLINEBUFFER_H
