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
    const auto found = records.constFind(key);
    return found == records.constEnd() || nowMs - found->lastFailure >= delayAfter(found->failures);
}

void LoginThrottle::failed(const QString &key, qint64 nowMs)
{
    auto found = records.find(key);
    if (found == records.end() || nowMs - found->lastFailure >= forgetAfterMs) {
        if (found == records.end())
            makeRoom(nowMs);
        found = records.insert(key, Record());
    }
    ++found->failures;
    found->lastFailure = nowMs;
}

void LoginThrottle::makeRoom(qint64 nowMs)
{
    if (records.size() < maxAddresses)
        return;
    for (auto it = records.begin(); it != records.end();)
        it = nowMs - it->lastFailure >= forgetAfterMs ? records.erase(it) : std::next(it);
    if (records.size() < maxAddresses)
        return;
    // Still full: the address quiet for longest goes.
    const auto oldest = std::min_element(records.begin(), records.end(), [](const Record &a, const Record &b) {
        return a.lastFailure < b.lastFailure;
    });
    records.erase(oldest);
}
