#include "echofilter.h"

void EchoFilter::dropExpired(QList<Sent> &list, qint64 nowMs)
{
    while (!list.isEmpty() && list.constFirst().until < nowMs) {
        --m_entries;
        m_bytes -= list.constFirst().payload.size();
        list.removeFirst();
    }
}

void EchoFilter::expire(qint64 nowMs)
{
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        dropExpired(it.value(), nowMs);
        it = it.value().isEmpty() ? m_pending.erase(it) : std::next(it);
    }
}

bool EchoFilter::published(const QString &topic, const QByteArray &payload, qint64 nowMs)
{
    if (m_entries >= maxEntries || m_bytes + payload.size() > maxBytes)
        expire(nowMs);
    if (m_entries >= maxEntries || m_bytes + payload.size() > maxBytes)
        return false;
    m_pending[topic].append(Sent{payload, nowMs + windowMs});
    ++m_entries;
    m_bytes += payload.size();
    return true;
}

bool EchoFilter::takeEcho(const QString &topic, const QByteArray &payload, qint64 nowMs)
{
    const auto found = m_pending.find(topic);
    if (found == m_pending.end())
        return false;
    QList<Sent> &list = found.value();
    // Entries are in publish order, so the expired ones lead.
    dropExpired(list, nowMs);
    bool echo = false;
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).payload == payload) {
            --m_entries;
            m_bytes -= payload.size();
            list.removeAt(i);
            echo = true;
            break;
        }
    }
    if (list.isEmpty())
        m_pending.erase(found);
    return echo;
}

void EchoFilter::clear()
{
    m_pending.clear();
    m_entries = 0;
    m_bytes = 0;
}
