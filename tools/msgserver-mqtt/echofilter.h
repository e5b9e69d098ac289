#ifndef ECHOFILTER_H
#define ECHOFILTER_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// What the bridge itself published on a topic it also reads. A broker
// without "no local" (MQTT 3.1.1) hands every publish back to its sender, and
// before any device's answer: so the first identical message on that topic
// after a publish is the bridge's own, not the device's report.
class EchoFilter
{
public:
    // The echo comes within a round trip to the broker; an entry that waits
    // longer was lost with its connection and must not swallow a real report.
    static constexpr qint64 windowMs = 5000;
    static constexpr int maxEntries = 1024;
    static constexpr qint64 maxBytes = 1024 * 1024;

    // False when the filter is full: that echo will read as a report.
    bool published(const QString &topic, const QByteArray &payload, qint64 nowMs);
    // True, once, for the echo of a publish.
    bool takeEcho(const QString &topic, const QByteArray &payload, qint64 nowMs);
    void clear();
    bool isEmpty() const { return m_entries == 0; }

private:
    struct Sent
    {
        QByteArray payload;
        qint64 until;
    };
    void expire(qint64 nowMs);
    void dropExpired(QList<Sent> &list, qint64 nowMs);

    QHash<QString, QList<Sent>> m_pending;
    int m_entries = 0;
    qint64 m_bytes = 0;
};

#endif // ECHOFILTER_H
