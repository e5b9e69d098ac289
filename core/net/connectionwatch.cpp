#include "core/net/connectionwatch.h"

#include <utility>

ConnectionWatch::ConnectionWatch(std::function<bool()> isConnected, std::function<void()> reconnect,
                                 std::function<void(bool)> show)
    : m_isConnected(std::move(isConnected))
    , m_reconnect(std::move(reconnect))
    , m_show(std::move(show))
{
}

void ConnectionWatch::check()
{
    bool connected = m_isConnected();
    if (connected != m_lastShown)
        m_show(connected);
    if (!connected) {
        m_reconnect();
        // Normally still down: an attempt does not block.
        connected = m_isConnected();
    }
    m_lastShown = connected;
}
