#include "core/wall/stalewatch.h"

StaleWatch::StaleWatch(int staleSeconds, Clock clock, WallClock wallClock)
    : m_staleAfter(qint64(qMax(0, staleSeconds)) * 1000)
    , m_clock(std::move(clock))
    , m_wallClock(std::move(wallClock))
    , m_downSince(m_clock())
    , m_downAt(m_wallClock())
{
}

bool StaleWatch::setLive(bool live)
{
    if (live == m_live)
        return false;
    m_live = live;
    if (!live) {
        m_downSince = m_clock();
        m_downAt = m_wallClock();
        return false;
    }
    const bool bannerGoes = m_staleNow;
    m_staleNow = false;
    return bannerGoes;
}

bool StaleWatch::poll()
{
    if (m_live || m_staleNow || m_staleAfter <= 0 || m_clock() - m_downSince < m_staleAfter)
        return false;
    m_staleNow = true;
    m_fresh.clear();
    return true;
}

bool StaleWatch::delivered(const QString &key)
{
    if (!m_live || m_fresh.contains(key))
        return false;
    m_fresh.insert(key);
    return true;
}

bool StaleWatch::setUnknown(const QString &key)
{
    return m_fresh.remove(key) && !m_staleNow;
}

bool StaleWatch::isStale(const QString &key) const
{
    return m_staleNow || !m_fresh.contains(key);
}

QString StaleWatch::bannerText(const QString &why) const
{
    QString text = tr("Keine Verbindung seit %1").arg(m_downAt.toString(QStringLiteral("HH:mm")));
    if (!why.isEmpty())
        text += QStringLiteral(" – ") + why;
    return text;
}
