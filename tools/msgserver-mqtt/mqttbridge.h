#ifndef MQTTBRIDGE_H
#define MQTTBRIDGE_H

#include "bridgeconfig.h"
#include "echofilter.h"
#include "faultlog.h"
#include "loginthrottle.h"
#include "mqttconnection.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QTcpServer>
#include <QTimer>
#include <QVector>

class MsgServerSession;
class QTcpSocket;

// Panels on one side, the broker on the other. Keeps the newest value of every
// port that has one, so a panel that starts late is current at once; takes
// panels only while the broker is connected and some device can be reached.
// A port whose value it does not know (its device offline, nothing retained
// or refreshed since the start or the broker's return, older than its
// expire_after) is reported as unknown ("U"), to every panel as it happens
// and to each panel that starts.
class MqttBridge : public QObject
{
    Q_OBJECT

public:
    // Bounds: every connection, panel and port costs memory, and anybody who
    // can reach the port or publish below the prefix could make up more.
    static constexpr int maxPanels = 64;  // logged in
    static constexpr int maxWaiting = 16; // connected, not logged in yet
    static constexpr int maxWaitingPerAddress = 4;
    static constexpr int loginWindowMs = 5000;
    static constexpr int maxBytesBeforeLogin = 1024; // a keep-alive and the login
    static constexpr int panelReadBufferBytes = 64 * 1024;
    static constexpr qint64 maxPanelBacklog = 4 * 1024 * 1024;
    static constexpr qint64 maxTotalBacklog = 32 * 1024 * 1024;
    static constexpr int dumpChunkBytes = 64 * 1024; // of a new panel's first reports, unsent at a time
    static constexpr int maxPrefixPorts = 10000;     // ports under the prefix, beside the configured ones
    static constexpr int maxPrefixReportBytes = 1024 * 1024;

    explicit MqttBridge(const BridgeConfig &config, QObject *parent = nullptr);
    // The broker connection the configuration asks for, with every topic the
    // bridge reads.
    static MqttConnection::Settings brokerSettings(const BridgeConfig &config);
    ~MqttBridge() override;

    // Binds the panels' port. The port stays closed while the bridge has no
    // live values to give (the broker away, or every device out of reach),
    // so that panels see the server as gone; port 0 picks one, which is kept
    // for every reopening.
    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    quint16 serverPort() const { return m_listenPort; }
    QHostAddress serverAddress() const { return m_listenAddress; }
    // Connects to the broker; panels are taken once it is up.
    void start();
    // Says "offline" on the bridge's state topic and ends the broker
    // connection cleanly; stopped() follows.
    void stop();

signals:
    void brokerConnected();
    void brokerLost();
    void stopped();

private:
    // A port the bridge knows of: every configured one, and those under the
    // prefix once they reported.
    struct Value
    {
        PortId id;
        double value = 0.0;
        bool known = false;
        qint64 at = 0;      // of the last message that converted, on m_clock
        qint64 resetAt = 0; // a momentary input goes back to 0 then; 0: not due
        int config = -1;    // index into config.ports; -1 under the prefix
    };
    // A panel connection's own state.
    struct Panel
    {
        QString addressKey;     // LoginThrottle's
        bool unchecked = false; // its login was refused without a look (a throttled address)
        bool dumping = false;   // its first reports are still going out
        QString dumpedUpTo;     // the last address of them sent
        bool dropping = false;
    };

    // A port's state topic: which port, and which of its states (or answers).
    struct Route
    {
        int port;
        int state;
        bool answer = false;
    };

    void onMessage(const QString &topic, const QByteArray &payload);
    void onAvailability(const QString &topic, const QByteArray &payload);
    void updateServing();
    bool servesPanels() const;
    void closeForPanels(const QString &reason);
    void sayListening();
    void refresh(const QList<int> &indices);
    bool publish(const QString &topic, const QByteArray &payload, QString *reason, int qos = 1, bool retain = false);
    bool readsTopic(const QString &topic) const;
    void onBrokerLost(const QString &reason);
    void reportBrokerFaults();
    void setUpTimers();
    void onNewConnection();
    void admit(QTcpSocket *socket);
    void onStartRequested(MsgServerSession *session);
    void onPortCommand(const QString &object, int port, bool output, const QString &valueText, double value);
    // `shared`: a payload without the port's value is no fault (a topic
    // others' messages come on too).
    void apply(const BridgeConfig::Port &port, const ValuePath &path, const QString &topic, const QByteArray &payload,
               bool shared = false);
    void onBrokerConnected();
    void resetInputs();
    void scheduleReset(qint64 at);
    void nameSilentTopics();
    // The value of the port at `address` is no longer known: every panel is told.
    void forget(const QString &address);
    void sendToPanels(const QString &address, const Value &value);
    void expireValues();
    void dropPanels(const QString &reason);
    void openForPanels();
    void makeRoomFor(const QString &addressKey);
    void watchLogin(MsgServerSession *session);
    void continueDump(MsgServerSession *session);
    bool roomForPrefixPort(const QString &topic, const QString &address);
    void boundBacklogs();
    void drop(MsgServerSession *session, const QString &why);
    void giveMemoryBack();

    BridgeConfig m_config;
    QTcpServer m_server;
    QHostAddress m_listenAddress;
    quint16 m_listenPort = 0;
    QTimer m_relisten;
    MqttConnection *m_broker = nullptr;
    QHash<MsgServerSession *, Panel> m_panels;
    QList<MsgServerSession *> m_waiting;              // not logged in yet, oldest first
    QHash<QString, QList<Route>> m_portsByTopic;      // state topic -> ports in config.ports
    QHash<QString, QList<int>> m_portsByAvailability; // availability topic -> indices into config.ports
    QVector<QSet<QString>> m_offlineTopics;           // per port: its availability topics that say offline
    int m_offlinePorts = 0;
    bool m_noDeviceReachable = false; // every port offline and no other value known
    EchoFilter m_echoes;
    QHash<QString, int> m_portsByAddress; // "OUT.Kueche.1" -> index into config.ports
    QMap<QString, Value> m_values;        // by address, so reports go out in a stable order
    int m_knownValues = 0;                // of them, those with a value
    QTimer m_expiry;                      // runs when a port has expire_after
    QList<int> m_resetPorts;              // with reset_after
    QTimer m_reset;                       // for the next one due
    qint64 m_nextReset = 0;
    QTimer m_silence; // from the first connect to silent_after
    bool m_silenceChecked = false;
    QSet<QString> m_heard; // state topics with a message, until the silence check
    int m_prefixPorts = 0;
    qint64 m_prefixReportBytes = 0;
    LoginThrottle m_throttle;
    QElapsedTimer m_clock;
    FaultLog m_faults;
    QTimer m_faultFlush;
    QTimer m_trim;
};

#endif // MQTTBRIDGE_H
