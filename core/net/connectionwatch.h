#ifndef CONNECTIONWATCH_H
#define CONNECTIONWATCH_H

#include <functional>

// The check behind the connection button, run every 5 s: the state shown
// changes only when it differs from the one shown last, and a link that is
// down is asked to connect again (without blocking; the result shows at the
// next check).
class ConnectionWatch
{
public:
    ConnectionWatch(std::function<bool()> isConnected, std::function<void()> reconnect,
                    std::function<void(bool connected)> show);

    void check();
    // What the last check took as shown: not connected at first.
    bool lastShown() const { return m_lastShown; }

private:
    std::function<bool()> m_isConnected;
    std::function<void()> m_reconnect;
    std::function<void(bool)> m_show;
    bool m_lastShown = false;
};

#endif // CONNECTIONWATCH_H
