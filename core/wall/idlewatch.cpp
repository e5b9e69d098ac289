#include "core/wall/idlewatch.h"

IdleWatch::IdleWatch(int homeSeconds, int dimSeconds, Clock clock)
    : m_homeAfter(qint64(qMax(0, homeSeconds)) * 1000)
    , m_dimAfter(qint64(qMax(0, dimSeconds)) * 1000)
    , m_clock(std::move(clock))
    , m_lastInput(m_clock())
    , m_homeFrom(m_lastInput)
{
}

bool IdleWatch::input()
{
    const bool woke = m_dimmed;
    m_lastInput = m_homeFrom = m_clock();
    m_homeShown = false;
    m_dimmed = false;
    return woke;
}

void IdleWatch::pageChanged()
{
    m_homeFrom = m_clock();
    m_homeShown = false;
}

void IdleWatch::keepAwake(bool awake)
{
    if (awake)
        m_dimmed = false;
    else if (m_awake)
        m_awakeUntil = m_clock();
    m_awake = awake;
}

IdleWatch::Due IdleWatch::poll()
{
    Due due;
    const qint64 now = m_clock();
    if (m_dimAfter > 0 && !m_dimmed && !m_awake && now - qMax(m_lastInput, m_awakeUntil) >= m_dimAfter)
        m_dimmed = due.dim = true;
    if (m_homeAfter > 0 && !m_homeShown && (m_dimmed || now - m_homeFrom >= m_homeAfter))
        m_homeShown = due.home = true;
    return due;
}
