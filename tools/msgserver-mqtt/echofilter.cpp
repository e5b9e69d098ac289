#include "echofilter.h"

void EchoFilter::dropExpired(QList<Sent> &list, qint64 nowMs)
{
    while (!list.isEmpty() && list.constFirst().until < nowMs) {
        --entries;
        bytes -= list.constFirst().payload.size();
        list.removeFirst();
    }
}

void EchoFilter::expire(qint64 nowMs)
{
    for (auto it = pending.begin(); it != pending.end();) {
        dropExpired(it.value(), nowMs);
        it = it.value().isEmpty() ? pending.erase(it) : std::next(it);
    }
}

bool EchoFilter::published(const QString &topic, const QByteArray &payload, qint64 nowMs)
{
    if (entries >= maxEntries || bytes + payload.size() > maxBytes)
        expire(nowMs);
    if (entries >= maxEntries || bytes + payload.size() > maxBytes)
        return false;
    pending[topic].append(Sent{payload, nowMs + windowMs});
    ++entries;
    bytes += payload.size();
    return true;
}

bool EchoFilter::takeEcho(const QString &topic, const QByteArray &payload, qint64 nowMs)
{
    const auto found = pending.find(topic);
    if (found == pending.end())
        return false;
    QList<Sent> &list = found.value();
    // Entries are in publish order, so the expired ones lead.
    dropExpired(list, nowMs);
    bool echo = false;
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).payload == payload) {
            --entries;
            bytes -= payload.size();
            list.removeAt(i);
            echo = true;
            break;
        }
    }
    if (list.isEmpty())
        pending.erase(found);
    return echo;
}

void EchoFilter::clear()
{
    pending.clear();
    entries = 0;
    bytes = 0;
}
