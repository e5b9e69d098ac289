#include "core/download/discoveredhosts.h"

#include <QDeadlineTimer>

DiscoveredHosts::DiscoveredHosts(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock([] { return QDeadlineTimer::current().deadline(); }))
{
}

void DiscoveredHosts::greeted(int datagrams)
{
    if (datagrams <= 0)
        return;
    m_greeted = true;
    m_lastGreeting = m_clock();
    m_budget = datagrams * AnswersPerGreeting;
    m_answers.clear();
}

DiscoveredHosts::Outcome DiscoveredHosts::answer(const QString &address)
{
    if (!m_greeted || m_clock() - m_lastGreeting > AnswerWindow)
        return Unasked;
    if (m_sprayers.contains(address))
        return Dropped;
    const bool listed = m_hosts.contains(address);
    // So many sprayers are a flood from made-up addresses: newcomers would
    // only come and go.
    if (!listed && (m_hosts.size() >= MaxHosts || m_sprayers.size() >= MaxSprayers)) {
        if (m_fullReported)
            return Dropped;
        m_fullReported = true;
        return Full;
    }
    if (++m_answers[address] > m_budget) {
        m_sprayers.insert(address);
        m_answers.remove(address);
        m_hosts.removeAll(address);
        return Spraying;
    }
    if (listed)
        return Known;
    m_hosts << address;
    return Added;
}
