#ifndef BRIDGECHECK_H
#define BRIDGECHECK_H

#include "bridgeconfig.h"

#include <QObject>
#include <QSet>
#include <QTimer>

class MqttConnection;

// --check --connect: one connection to the broker with the configured login
// and TLS, every subscription the bridge makes, and the retained values read
// as the ports read them. Says what it could not do. Its own client id, with
// a clean session, so that a running bridge keeps its connection and session.
class BridgeCheck : public QObject
{
    Q_OBJECT

public:
    // Retained messages follow the subscriptions at once; this long without
    // one, they are all in.
    static constexpr int settleMs = 500;
    static constexpr int timeoutMs = 20000;
    static constexpr int maxValueLines = 100; // values and offline devices, and topics without a value

    explicit BridgeCheck(const BridgeConfig &config, QObject *parent = nullptr);

    // Runs the event loop until the check is done: 0 when everything went, 2 when not.
    int run();

private:
    void onMessage(const QString &topic, const QByteArray &payload);
    void readState(const BridgeConfig::Port &port, const ValuePath &path, const QString &topic,
                   const QByteArray &payload);
    void problem(const QString &text);
    void finish();

    BridgeConfig m_config;
    MqttConnection *m_broker;
    QTimer m_settle;
    QTimer m_deadline;
    QStringList m_stateTopics;
    QSet<QString> m_retained;
    int m_valueLines = 0;
    int m_problems = 0;
    bool m_done = false;
};

#endif // BRIDGECHECK_H
