#include "loginthrottle.h"

#include <QHostAddress>

#include <algorithm>

QString LoginThrottle::addressKey(const QHostAddress &address)
{
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4); // also for an IPv4-mapped IPv6 address
    if (v4)
        return QHostAddress(ipv4).toString();
    Q_IPV6ADDR bytes = address.toIPv6Address();
    std::fill(bytes.c + 8, bytes.c + 16, 0);
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

qint64 LoginThrottle::delayAfter(int failures)
{
    const int shift = std::min(failures - 1, 16);
    return std::min(firstDelayMs << shift, maxDelayMs);
}

bool LoginThrottle::mayTry(const QString &key, qint64 nowMs) const
{
    const auto found = m_records.constFind(key);
    return found == m_records.constEnd() || nowMs - found->lastFailure >= delayAfter(found->failures);
}

void LoginThrottle::failed(const QString &key, qint64 nowMs)
{
    auto found = m_records.find(key);
    if (found == m_records.end() || nowMs - found->lastFailure >= forgetAfterMs) {
        if (found == m_records.end())
            makeRoom(nowMs);
        found = m_records.insert(key, Record());
    }
    ++found->failures;
    found->lastFailure = nowMs;
}

void LoginThrottle::makeRoom(qint64 nowMs)
{
    if (m_records.size() < maxAddresses)
        return;
    for (auto it = m_records.begin(); it != m_records.end();)
        it = nowMs - it->lastFailure >= forgetAfterMs ? m_records.erase(it) : std::next(it);
    if (m_records.size() < maxAddresses)
        return;
    // Still full: the address quiet for longest goes.
    const auto oldest = std::min_element(m_records.begin(), m_records.end(), [](const Record &a, const Record &b) {
        return a.lastFailure < b.lastFailure;
    });
    m_records.erase(oldest);
}
