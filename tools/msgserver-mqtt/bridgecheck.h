#ifndef BRIDGECHECK_H
#define BRIDGECHECK_H

#include "bridgeconfig.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>

class RetainedReader;

// --check --connect: every subscription the bridge makes, the retained
// values read as the ports read them, then the refresh requests for the
// ports still without a value and their answers. Says what it could not do,
// and names the state topics that sent nothing.
class BridgeCheck : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxValueLines = 100; // values and offline devices, and topics that sent nothing
    // Devices answer a refresh request within this.
    static constexpr int answerMs = 2000;

    explicit BridgeCheck(const BridgeConfig &config, QObject *parent = nullptr);

    // Runs the event loop until the check is done: 0 when everything went, 2 when not.
    int run();

private:
    void onMessage(const QString &topic, const QByteArray &payload);
    void readState(const BridgeConfig::Port &port, const BridgeConfig::Port::State &state, const QString &topic,
                   const QByteArray &payload);
    void problem(const QString &text);
    bool askSilentPorts();
    void nameSilentTopics();
    void finish();

    BridgeConfig m_config;
    RetainedReader *m_reader;
    // Topic -> the ports that read it, and which of their states or answers.
    QHash<QString, QList<QPair<int, BridgeConfig::Port::State>>> m_readers;
    QHash<QString, QList<int>> m_availabilityOf; // topic -> ports
    QStringList m_stateTopics;
    QSet<QString> m_retained;  // state topics with a message
    QSet<QString> m_withValue; // ports, by address, that have one from any topic
    QSet<QString> m_offline;   // ports whose device says it is away
    bool m_asked = false;
    int m_valueLines = 0;
    int m_problems = 0;
    bool m_done = false;
};

#endif // BRIDGECHECK_H
