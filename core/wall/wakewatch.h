#ifndef WAKEWATCH_H
#define WAKEWATCH_H

#include <QHash>
#include <QString>
#include <QStringList>

// The ports whose alarm must not go unseen behind the screen saver: a report
// that turns one of them to a value other than 0 (from 0, or from not known
// yet) wakes the panel, and while any of them is not 0 the saver stays away.
// A value counts as 0 exactly as an item's state does: only 0.0 itself.
class WakeWatch
{
public:
    explicit WakeWatch(const QStringList &keys);

    const QStringList &keys() const { return m_keys; }
    // A report of `value` for `key`. True when it wakes the panel.
    bool reported(const QString &key, double value);
    // Whether any of the ports is not 0 now.
    bool isAnyRaised() const { return m_raised > 0; }

private:
    QStringList m_keys;
    QHash<QString, bool> m_isRaised;
    int m_raised = 0;
};

#endif // WAKEWATCH_H
