#ifndef ANSWERWATCH_H
#define ANSWERWATCH_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// Which pressed ports have not answered. A command sent for a key waits for
// the server's next report of that key; one that has waited longer than the
// wait is overdue until that report comes, so its items can say that the
// press had no effect anyone can see. Holds no more keys than are pressed,
// and those are the items' own.
class AnswerWatch
{
public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    // How long a report may take: a device behind a bridge answers within
    // a second, a press that shows nothing after three has been lost.
    static constexpr qint64 defaultWaitMsecs = 3000;

    AnswerWatch(qint64 waitMsecs, Clock clock);

    // A command for `key` went out. A key that is waiting already keeps its
    // first command's time: that press is still unanswered.
    void sent(const QString &key);
    // A report for `key` came. True when the key was overdue: its mark goes.
    bool answered(const QString &key);
    // The keys that have become overdue since the last call.
    QStringList poll();
    bool isOverdue(const QString &key) const { return m_overdue.contains(key); }

private:
    qint64 m_wait;
    Clock m_clock;
    QHash<QString, qint64> m_waiting; // key, the time its command went out
    QSet<QString> m_overdue;
};

#endif // ANSWERWATCH_H
