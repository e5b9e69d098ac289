#ifndef STALEWATCH_H
#define STALEWATCH_H

#include <QSet>
#include <QString>
#include <QTime>

#include <functional>

// Whether the values on the panel can still be trusted. Once the connection
// to the message server has been down for a while, every bound item counts
// as stale, also one that never had a value; after the connection is back,
// each stays so until a report for its key has been handed to it.
class StaleWatch
{
public:
    // Milliseconds on a monotonic clock; the local time of day for the banner.
    using Clock = std::function<qint64()>;
    using WallClock = std::function<QTime()>;

    // The connection counts as down from construction until it comes up.
    StaleWatch(int staleSeconds, Clock clock, WallClock wallClock);

    // The connection's state, as often as it is known; only changes count.
    // True when the banner goes.
    bool setConnected(bool connected);
    // True when the panel has just turned stale: every bound item, and the banner.
    bool poll();
    // A report for `key` was handed to its items. True when it ended their
    // stale look. One handed on while the connection is down is no fresh report.
    bool delivered(const QString &key);

    bool isStale(const QString &key) const;
    bool isBannerShown() const { return m_staleNow; }
    // "Keine Verbindung seit HH:MM", the time the connection went down.
    QString bannerText() const;

private:
    qint64 m_staleAfter;
    Clock m_clock;
    WallClock m_wallClock;
    bool m_connected = false;
    qint64 m_downSince;
    QTime m_downAt;
    // Down for long enough, and not back yet.
    bool m_staleNow = false;
    bool m_everStale = false;
    // Keys reported since the connection came back from the last stale spell.
    QSet<QString> m_fresh;
};

#endif // STALEWATCH_H
