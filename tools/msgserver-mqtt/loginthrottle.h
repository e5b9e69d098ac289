#ifndef LOGINTHROTTLE_H
#define LOGINTHROTTLE_H

#include <QHash>
#include <QString>

class QHostAddress;

// Wrong panel logins slow their address down: after the n-th wrong login in a
// row, a login from there is refused unchecked for firstDelayMs * 2^(n-1), at
// most maxDelayMs, so a 4-digit password takes days instead of a second. A
// right login, or a quarter of an hour without a wrong one, forgets the
// address. An address is one host for IPv4, a /64 for IPv6 (where one host
// may use a whole /64).
class LoginThrottle
{
public:
    static constexpr qint64 firstDelayMs = 1000;
    static constexpr qint64 maxDelayMs = 60000;
    static constexpr qint64 forgetAfterMs = 15 * 60 * 1000;
    static constexpr int maxAddresses = 1024;

    static QString addressKey(const QHostAddress &address);

    // False while the address waits out its delay.
    bool mayTry(const QString &key, qint64 nowMs) const;
    // A checked login from there was wrong.
    void failed(const QString &key, qint64 nowMs);
    void succeeded(const QString &key) { m_records.remove(key); }

    int addressCount() const { return m_records.size(); }

private:
    struct Record
    {
        int failures = 0;
        qint64 lastFailure = 0;
    };

    static qint64 delayAfter(int failures);
    void makeRoom(qint64 nowMs);

    QHash<QString, Record> m_records;
};

#endif // LOGINTHROTTLE_H
