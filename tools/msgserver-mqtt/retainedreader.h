#ifndef RETAINEDREADER_H
#define RETAINEDREADER_H

#include "mqttconnection.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// One look at the broker for --check --connect and --discover: a connection
// of its own (the configured login and TLS, the client id with a suffix, a
// clean session, no will, so that a running bridge keeps its connection and
// its session), the subscriptions it is given and the retained messages they
// bring. settled() once they have stopped coming.
class RetainedReader : public QObject
{
    Q_OBJECT

public:
    // Retained messages follow the subscriptions at once; this long without
    // one, they are all in.
    static constexpr int settleMs = 500;
    static constexpr int timeoutMs = 20000;

    RetainedReader(MqttConnection::Settings settings, const QString &idSuffix, const QString &url,
                   QObject *parent = nullptr);

    void start();
    bool isConnected() const { return m_broker->isConnected(); }
    bool publish(const QString &topic, const QByteArray &payload) { return m_broker->publish(topic, payload); }
    // Reads on for at least `ms` more (answers to requests just sent), then
    // until messages stop again; settled() once more after that.
    void readOn(int ms);
    const MqttConnection::Settings &settings() const { return m_settings; }

signals:
    void connected(const QString &protocol);
    void subscribed();
    void message(const QString &topic, const QByteArray &payload);
    // Something the bridge would meet too; `fatal`: the look ends here.
    void problem(const QString &text, bool fatal);
    void settled();

private:
    void fatal(const QString &text);

    MqttConnection::Settings m_settings;
    QString m_url;
    MqttConnection *m_broker;
    QTimer m_settle;
    QTimer m_deadline;
    QElapsedTimer m_clock;
    qint64 m_readUntil = 0;
    bool m_ended = false;
};

#endif // RETAINEDREADER_H
