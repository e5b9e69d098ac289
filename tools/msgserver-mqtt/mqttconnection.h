#ifndef MQTTCONNECTION_H
#define MQTTCONNECTION_H

#include "backoff.h"
#include "librarylog.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

// The broker connection, through libmosquitto without its own thread: its
// socket is watched with QSocketNotifiers and its housekeeping runs on a
// timer, so messages arrive on the caller's thread in order and nothing needs
// a lock. Reconnects with Backoff; subscribes anew after every connect.
class MqttConnection : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString host;
        int port = 1883;
        bool tls = false;
        QString cafile;
        QString certfile; // client certificate and its key, when the broker asks for one
        QString keyfile;
        QString clientId;
        QString user;
        QString password;
        QStringList topics; // subscribed with QoS 1
        // Clean session off: the broker keeps the subscriptions and what
        // arrives for them while the bridge is away, for sessionExpirySeconds.
        bool persistent = false;
        // MQTT keep-alive: the broker is pinged after this long without
        // traffic, and a broker that has sent nothing for brokerSilenceMs()
        // counts as gone (frozen, or the network cut).
        int keepAliveSeconds = 10;
        // Published by the broker, retained, when the connection ends
        // without a DISCONNECT (a crash, a cut network); empty: none.
        QString willTopic;
        QByteArray willPayload;
        // Larger messages are refused before they are copied.
        int maxTopicBytes = 65535;
        int maxPayloadBytes = 256 * 1024 * 1024;
    };
    static constexpr int sessionExpirySeconds = 24 * 3600;
    // One and a half keep-alives: a healthy broker answers every ping, and
    // the library pings within a keep-alive and a second (it counts whole
    // seconds) of the last thing it heard.
    static qint64 brokerSilenceMs(int keepAliveSeconds) { return qint64(keepAliveSeconds) * 1500; }

    enum class State {
        Idle,       // not started
        Connecting, // an attempt waits for the TCP connection and the broker's CONNACK
        Connected,
        Failed, // the attempt failed or the connection was lost; the next one is due
    };
    Q_ENUM(State)

    explicit MqttConnection(const Settings &settings, QObject *parent = nullptr);
    ~MqttConnection() override;

    void start();
    // Ends the connection with a DISCONNECT, after what was published
    // before; stopped() follows, at the latest after stopTimeoutMs.
    void stop();
    static constexpr int stopTimeoutMs = 2000;
    State state() const { return m_currentState; }
    bool isConnected() const { return m_currentState == State::Connected; }
    // The broker hands our own publishes back (MQTT 3.1.1 has no "no local").
    bool echoesOwnPublishes() const { return m_protocol == Protocol::Mqtt311; }
    // False when not connected or refused by the library. QoS 1 and 2 are
    // watched for the broker's acknowledgement.
    bool publish(const QString &topic, const QByteArray &payload, QString *reason = nullptr, int qos = 1,
                 bool retain = false);

signals:
    void connected();
    void connectionLost(const QString &reason); // only after connected()
    void attemptFailed(const QString &reason, int retryMs);
    void subscriptionRefused(const QString &topic, const QString &reason);
    void subscribed(); // every subscription of this connection answered
    // A published command the broker refused or never acknowledged.
    void publishFailed(const QString &topic, const QString &reason);
    void message(const QString &topic, const QByteArray &payload);
    void stopped();
    // One over the bounds; `topic` cut short when it is the reason.
    void messageRefused(const QString &topic, const QString &reason);

private:
    enum class Protocol { Mqtt5, Mqtt311 };
    struct HandleDeleter
    {
        void operator()(mosquitto *handle) const;
    };

    static void onConnectCallback(mosquitto *, void *self, int rc, int flags, const struct mqtt5__property *);
    static void onMessageCallback(mosquitto *, void *self, const mosquitto_message *message,
                                  const struct mqtt5__property *);
    static void onSubscribeCallback(mosquitto *, void *self, int mid, int count, const int *granted,
                                    const struct mqtt5__property *);
    static void onPublishCallback(mosquitto *, void *self, int mid, int reasonCode, const struct mqtt5__property *);
    static void onDisconnectCallback(mosquitto *, void *self, int rc, const struct mqtt5__property *);
    static void onLogCallback(mosquitto *, void *self, int level, const char *text);

    void setState(State state);
    void attempt();
    bool setUpTls();
    void handleConnack(int rc);
    QString closeReason() const;
    QString dropReason(const QString &reason);
    void checkAcknowledgements();
    void forgetPublishes(const QString &reason);
    void subscribeAll();
    void keepSession();
    void afterIo(int rc);
    void fail(const QString &reason);
    void finishStop();
    void teardown();
    void dropNotifiers();
    void watchSocket();
    // A connection attempt the system refused: named at once, not at the
    // time-out. `afterRead`: the library has just read from the socket.
    bool attemptRefused(int fd, bool afterRead);

    Settings m_settings;
    std::unique_ptr<mosquitto, HandleDeleter> m_mosq;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    int m_watchedFd = -1;
    QTimer m_housekeeping;
    QTimer m_retry;
    QElapsedTimer m_attemptClock;
    Backoff m_backoff;
    State m_currentState = State::Idle;
    bool m_stopping = false;
    Protocol m_protocol = Protocol::Mqtt5; // 3.1.1 once a broker refuses 5
    QHash<int, QStringList> m_pendingSubscriptions;
    struct Publish
    {
        QString topic;
        qint64 sentAt = 0;
    };
    QHash<int, Publish> m_unacknowledged; // QoS 1 commands by message id
    QElapsedTimer m_clock;
    qint64 m_upSince = 0;
    qint64 m_lastInbound = 0;   // bytes from the broker, or the attempt
    bool m_pingOut = false;     // the library waits for the answer to its ping
    int m_brokerReason = 0;     // of the broker's DISCONNECT, 0 for none
    QList<qint64> m_shortDrops; // connections the broker closed soon after they came up
    LibraryLog m_libraryLog;    // what libmosquitto wrote during this attempt
};

#endif // MQTTCONNECTION_H
