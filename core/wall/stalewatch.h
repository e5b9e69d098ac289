#ifndef STALEWATCH_H
#define STALEWATCH_H

#include <QSet>
#include <QString>
#include <QCoreApplication>
#include <QTime>

#include <functional>

// Whether the values on the panel can still be trusted. A key is fresh only
// once a report for it has been handed to its items while the connection was
// live, and until the server says its value is unknown: so an item whose
// port never reported looks unknown from the first frame. Once the
// connection to the message server has been down for a while, every bound
// item counts as stale; after the connection is back, each stays so until a
// report for its key has been handed to it.
//
// "Up" here is the client's live connection (QalixMsgClient::isLive()): the
// server has logged the panel in and then sent a report or answered a
// keep-alive sent after the start request. A TCP connection that gets no
// further, however often it comes and goes, leaves the panel down since the
// last live connection ended.
class StaleWatch
{
    Q_DECLARE_TR_FUNCTIONS(StaleWatch)

public:
    // Milliseconds on a monotonic clock; the local time of day for the banner.
    using Clock = std::function<qint64()>;
    using WallClock = std::function<QTime()>;

    // The connection counts as down from construction until it is live.
    StaleWatch(int staleSeconds, Clock clock, WallClock wallClock);

    // Whether the connection is live, as often as it is known; only changes
    // count. True when the banner goes.
    bool setLive(bool live);
    // True when the panel has just turned stale: every bound item, and the banner.
    bool poll();
    // A report for `key` was handed to its items. True when it ended their
    // stale look. One handed on while the connection is not live is no fresh report.
    bool delivered(const QString &key);
    // The server does not know the value of `key`. True when that ended its fresh look.
    bool setUnknown(const QString &key);

    bool isStale(const QString &key) const;
    bool isBannerShown() const { return m_staleNow; }
    // "Keine Verbindung seit HH:MM", the time the connection went down, and
    // " – " and `why` when there is a reason to give.
    QString bannerText(const QString &why = QString()) const;

private:
    qint64 m_staleAfter;
    Clock m_clock;
    WallClock m_wallClock;
    bool m_live = false;
    qint64 m_downSince;
    QTime m_downAt;
    // Down for long enough, and not back yet.
    bool m_staleNow = false;
    // Keys reported since the start or the last stale spell, and known since.
    // Only bound keys are handed on, so this holds no more than the items' keys.
    QSet<QString> m_fresh;
};

#endif // STALEWATCH_H
