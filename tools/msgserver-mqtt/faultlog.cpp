#include "faultlog.h"

void FaultLog::report(const QString &key, const QString &text)
{
    const QString line = text.size() > maxLineLength ? text.left(maxLineLength) + QStringLiteral("…") : text;
    const auto found = m_kinds.find(key);
    if (found != m_kinds.end()) {
        m_bytes += 2 * (line.size() - found->lastLine.size());
        found->lastLine = line;
        ++found->repeats;
        found->seen = true;
        return;
    }
    if (m_firstLines >= maxLinesPerMinute || m_kinds.size() >= maxKinds || m_bytes + cost(key, line) > maxBytes) {
        ++m_others;
        return;
    }
    ++m_firstLines;
    m_kinds.insert(key, Kind{line});
    m_bytes += cost(key, line);
    m_sink(line);
}

void FaultLog::flush()
{
    int written = 0;
    for (auto it = m_kinds.begin(); it != m_kinds.end();) {
        if (!it->seen) {
            m_bytes -= cost(it.key(), it->lastLine);
            it = m_kinds.erase(it);
            continue;
        }
        if (it->repeats > 0) {
            if (written++ < maxLinesPerMinute)
                m_sink(QStringLiteral("%1 (%2 more in the last minute)").arg(it->lastLine).arg(it->repeats));
            else
                m_others += it->repeats;
        }
        it->repeats = 0;
        it->seen = false;
        ++it;
    }
    if (m_others > 0)
        m_sink(QStringLiteral("%1 more faults of other kinds in the last minute").arg(m_others));
    m_others = 0;
    m_firstLines = 0;
}
