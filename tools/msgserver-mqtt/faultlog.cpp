#include "faultlog.h"

void FaultLog::report(const QString &key, const QString &text)
{
    const QString line = text.size() > maxLineLength ? text.left(maxLineLength) + QStringLiteral("…") : text;
    const auto found = kinds.find(key);
    if (found != kinds.end()) {
        bytes += 2 * (line.size() - found->lastLine.size());
        found->lastLine = line;
        ++found->repeats;
        found->seen = true;
        return;
    }
    if (firstLines >= maxLinesPerMinute || kinds.size() >= maxKinds || bytes + cost(key, line) > maxBytes) {
        ++others;
        return;
    }
    ++firstLines;
    kinds.insert(key, Kind{line});
    bytes += cost(key, line);
    sink(line);
}

void FaultLog::flush()
{
    int written = 0;
    for (auto it = kinds.begin(); it != kinds.end();) {
        if (!it->seen) {
            bytes -= cost(it.key(), it->lastLine);
            it = kinds.erase(it);
            continue;
        }
        if (it->repeats > 0) {
            if (written++ < maxLinesPerMinute)
                sink(QStringLiteral("%1 (%2 more in the last minute)").arg(it->lastLine).arg(it->repeats));
            else
                others += it->repeats;
        }
        it->repeats = 0;
        it->seen = false;
        ++it;
    }
    if (others > 0)
        sink(QStringLiteral("%1 more faults of other kinds in the last minute").arg(others));
    others = 0;
    firstLines = 0;
}
