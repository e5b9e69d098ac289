#ifndef FAULTLOG_H
#define FAULTLOG_H

#include <QMap>
#include <QString>

#include <functional>

// Faults that can repeat without end (a payload that never converts, a
// stranger guessing the panel login) are written when they start and then
// counted: flush(), called once a minute, writes one line per kind that
// repeated, with the count, and forgets the kinds that were quiet for a whole
// minute, so that their next fault is written at once again. Kinds, their
// bytes and the first lines per minute are bounded; faults beyond the bounds
// are counted together.
class FaultLog
{
public:
    using Sink = std::function<void(const QString &line)>;

    static constexpr int maxKinds = 4096;
    static constexpr int maxBytes = 1024 * 1024;  // of keys and lines kept
    static constexpr int maxLinesPerMinute = 100; // first lines, and count lines
    static constexpr int maxLineLength = 300;     // characters kept of a line

    explicit FaultLog(Sink sink)
        : m_sink(std::move(sink))
    {
    }

    // `key` names the kind of fault (a topic, an address); `line` says what happened.
    void report(const QString &key, const QString &line);
    // Once a minute: the counts, and the quiet kinds forgotten.
    void flush();

    int kindCount() const { return m_kinds.size(); }

private:
    struct Kind
    {
        QString lastLine;
        int repeats = 0;
        bool seen = true; // since the last flush
    };

    static qint64 cost(const QString &key, const QString &line) { return 2 * (key.size() + line.size()) + 64; }

    Sink m_sink;
    QMap<QString, Kind> m_kinds; // in key order, so that count lines come in a stable order
    qint64 m_bytes = 0;
    int m_firstLines = 0;
    int m_others = 0; // faults beyond the bounds since the last flush
};

#endif // FAULTLOG_H
