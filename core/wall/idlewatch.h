#ifndef IDLEWATCH_H
#define IDLEWATCH_H

#include <QtGlobal>

#include <functional>

// When an unattended wall panel goes back to its first page and when the
// screen saver covers it, counted from the last touch, click or key. Each
// happens once per idle spell; the next input starts a new one. While the
// saver is up, an input only wakes the panel.
class IdleWatch
{
public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    struct Due
    {
        bool home = false;
        bool dim = false;
    };

    // 0 seconds switch that part off.
    IdleWatch(int homeSeconds, int dimSeconds, Clock clock);

    // A touch, click or key. True when the saver was up: the input woke the
    // panel and must reach nothing else.
    bool input();
    // The operator changed the page: the count towards the first page starts anew.
    void pageChanged();
    // An alarm is up: the screen saver goes (if it was up) and stays away
    // until the alarm is down; the count towards it then starts anew. The
    // count towards the first page goes on.
    void keepAwake(bool awake);
    // What has fallen due since the last call. With the saver, the first page
    // is shown when the saver goes up at the latest, so it is in place on waking.
    Due poll();
    bool isDimmed() const { return m_dimmed; }
    // Milliseconds since the last input.
    qint64 idleMsecs() const { return m_clock() - m_lastInput; }

private:
    qint64 m_homeAfter;
    qint64 m_dimAfter;
    Clock m_clock;
    qint64 m_lastInput;
    qint64 m_homeFrom;
    bool m_homeShown = false;
    bool m_dimmed = false;
    bool m_awake = false;
    qint64 m_awakeUntil = 0;
};

#endif // IDLEWATCH_H
