#ifndef MQTTBRIDGE_H
#define MQTTBRIDGE_H

#include "bridgeconfig.h"
#include "echofilter.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QTcpServer>
#include <QVector>

#include "mqttconnection.h"

class MsgServerSession;

// Panels on one side, the broker on the other. Keeps the newest value of every
// port that has one, so a panel that starts late is current at once; takes
// panels only while the broker is connected and some device can be reached.
class MqttBridge : public QObject
{
    Q_OBJECT

public:
    // Bounds: every panel and every port costs memory, and anyone allowed to
    // publish below the prefix could make up ports without end.
    static constexpr int maxPanels = 64;
    static constexpr int maxPorts = 100000;
    static constexpr int maxWarnings = 10000;
    static constexpr qint64 maxPanelBacklog = 8 * 1024 * 1024;

    explicit MqttBridge(const BridgeConfig &config, QObject *parent = nullptr);
    // The broker connection the configuration asks for, with every topic the
    // bridge reads.
    static MqttConnection::Settings brokerSettings(const BridgeConfig &config);
    ~MqttBridge() override;

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return server.errorString(); }
    quint16 serverPort() const { return server.serverPort(); }
    QHostAddress serverAddress() const { return server.serverAddress(); }
    // Connects to the broker; panels are taken once it is up.
    void start();

signals:
    void brokerConnected();
    void brokerLost();

private:
    struct Value
    {
        QString object;
        int port = 0;
        bool output = false;
        double value = 0.0;
    };

    // A port's state topic: which port, and which of its states.
    struct Route
    {
        int port;
        int state;
    };

    void onMessage(const QString &topic, const QByteArray &payload);
    void onAvailability(const QString &topic, const QByteArray &payload);
    void updateServing();
    bool servesPanels() const;
    void refresh(const QList<int> &indices);
    bool publish(const QString &topic, const QByteArray &payload, QString *reason);
    bool readsTopic(const QString &topic) const;
    void onNewConnection();
    void onStartRequested(MsgServerSession *session);
    void onPortCommand(const QString &object, int port, bool output, const QString &valueText, double value);
    void apply(const BridgeConfig::Port &port, const ValuePath &path, const QString &topic, const QByteArray &payload);
    void dropPanels(const QString &reason);
    void warnOnce(const QString &key, const QString &text);

    BridgeConfig config;
    QTcpServer server;
    MqttConnection *broker = nullptr;
    QList<MsgServerSession *> sessions;
    QHash<QString, QList<Route>> portsByTopic; // state topic -> ports in config.ports
    QHash<QString, QList<int>> portsByAvailability; // availability topic -> indices into config.ports
    QVector<QSet<QString>> offlineTopics;            // per port: its availability topics that say offline
    int offlinePorts = 0;
    bool noDeviceReachable = false;                  // every port offline and no other value known
    EchoFilter echoes;
    QElapsedTimer clock;
    QHash<QString, int> portsByAddress;      // "OUT.Kueche.1" -> index into config.ports
    QMap<QString, Value> values;              // by address, so reports go out in a stable order
    QSet<QString> warned;
};

#endif // MQTTBRIDGE_H
