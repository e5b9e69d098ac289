#ifndef DISCOVEREDHOSTS_H
#define DISCOVEREDHOSTS_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// The designer computers that answered the panel's greeting, in the order
// they first answered. Anybody on the network can send "WAVE", so an answer
// counts only while a greeting is outstanding (AnswerWindow after the last
// one), a host that answers more often than it was greeted is taken for a
// sprayer and dropped for good, and the list holds MaxHosts at most. A host
// that sprays all the time thus gains nothing by coming first.
class DiscoveredHosts
{
public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    static constexpr int MaxHosts = 32;
    static constexpr qint64 AnswerWindow = 3000;
    // Answers a host may give per greeting datagram of one round; the second
    // leaves room for an answer to the round before that comes late.
    static constexpr int AnswersPerGreeting = 2;
    // Sprayers remembered; once there are this many, no newcomer is listed
    // (the listed hosts stay), so the set grows by MaxHosts at most beyond.
    static constexpr int MaxSprayers = 256;

    enum Outcome {
        Added,   // a new host, now listed
        Known,   // listed already
        Unasked, // no greeting outstanding
        Dropped, // from a sprayer, or a newcomer once the list is full
        Full,    // the first newcomer turned away (MaxHosts listed, or
                 // MaxSprayers found): say so once
        Spraying // this host answered more often than greeted: no longer listed
    };

    explicit DiscoveredHosts(Clock clock = Clock());

    // A greeting went out in `datagrams` datagrams: a new round. A greeting
    // that reached no network (0) asks nobody.
    void greeted(int datagrams);
    Outcome answer(const QString &address);
    const QStringList &hosts() const { return m_hosts; }

private:
    Clock m_clock;
    qint64 m_lastGreeting = 0;
    bool m_greeted = false;
    int m_budget = 0;
    bool m_fullReported = false;
    QStringList m_hosts;
    QHash<QString, int> m_answers; // this round's, per listed host
    QSet<QString> m_sprayers;
};

#endif // DISCOVEREDHOSTS_H
