#include "mqttconnection.h"

#include "bridgelog.h"

#include <QSocketNotifier>

#include <cerrno>
#include <utility>
#include <sys/ioctl.h>
#include <cstring>

#include <mosquitto.h>
#include <mqtt_protocol.h>

namespace {

constexpr int keepAliveSeconds = 30;
constexpr int connackTimeoutMs = 10000;
// A SUBSCRIBE packet per this many topics keeps each well below any broker's
// packet limit.
constexpr int topicsPerSubscribe = 100;
constexpr int maxPacketsPerRead = 1000;
// A QoS 1 command unacknowledged this long is reported; a bound on those
// waiting, for a broker that acknowledges nothing.
constexpr qint64 acknowledgeMs = 10000;
constexpr int maxUnacknowledged = 1000;
// A connection that lasted this long starts the back-off anew; one that
// did not (a broker or a twin that drops us at once) keeps it growing.
constexpr qint64 stableMs = 10000;
// Connections dropped soon after connecting twice within this time are named
// as two clients sharing one client id.
constexpr qint64 takeoverWindowMs = 10 * 60 * 1000;

// An encrypted key would make OpenSSL ask on the terminal; a service has none.
int noPassword(char *, int, int, void *)
{
    return 0;
}

void initLibrary()
{
    static const int rc = mosquitto_lib_init();
    Q_UNUSED(rc)
}

} // namespace

MqttConnection::MqttConnection(const Settings &s, QObject *parent)
    : QObject(parent), settings(s)
{
    initLibrary();
    clock.start();
    housekeeping.setInterval(1000);
    connect(&housekeeping, &QTimer::timeout, this, [this] {
        if (!mosq)
            return;
        if (currentState != State::Connected && attemptClock.elapsed() > connackTimeoutMs) {
            fail(QStringLiteral("no answer within %1 s").arg(connackTimeoutMs / 1000));
            return;
        }
        checkAcknowledgements();
        afterIo(mosquitto_loop_misc(mosq.get()));
    });
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, this, &MqttConnection::attempt);
}

MqttConnection::~MqttConnection()
{
    teardown();
}

void MqttConnection::start()
{
    attempt();
}

void MqttConnection::dropNotifiers()
{
    // Off before the library closes their descriptor; deleted later, since
    // this may run inside one of their own signals.
    for (QSocketNotifier *notifier : {readNotifier, writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    readNotifier = writeNotifier = nullptr;
    watchedFd = -1;
}

void MqttConnection::teardown()
{
    dropNotifiers();
    housekeeping.stop();
    pendingSubscriptions.clear();
    mosq.reset();
}

void MqttConnection::HandleDeleter::operator()(mosquitto *handle) const
{
    mosquitto_destroy(handle);
}

void MqttConnection::setState(State state)
{
    if (state == currentState)
        return;
    currentState = state;
    qCDebug(lcBroker) << state;
}

void MqttConnection::attempt()
{
    // A fresh handle per attempt: nothing of a half-open connection survives.
    teardown();
    setState(State::Connecting);
    const QByteArray id = settings.clientId.toUtf8();
    mosq.reset(mosquitto_new(id.constData(), !settings.persistent, this));
    if (!mosq) {
        fail(QStringLiteral("cannot create the MQTT client"));
        return;
    }
    const bool v5 = protocol == Protocol::Mqtt5;
    mosquitto *handle = mosq.get();
    mosquitto_int_option(handle, MOSQ_OPT_PROTOCOL_VERSION, v5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    if (settings.persistent && v5)
        keepSession();
    mosquitto_connect_v5_callback_set(handle, &MqttConnection::onConnectCallback);
    mosquitto_message_v5_callback_set(handle, &MqttConnection::onMessageCallback);
    mosquitto_subscribe_v5_callback_set(handle, &MqttConnection::onSubscribeCallback);
    mosquitto_publish_v5_callback_set(handle, &MqttConnection::onPublishCallback);
    mosquitto_disconnect_v5_callback_set(handle, &MqttConnection::onDisconnectCallback);
    mosquitto_log_callback_set(handle, &MqttConnection::onLogCallback);
    mosquitto_int_option(handle, MOSQ_OPT_TCP_NODELAY, 1);
    libraryLog.clear();
    brokerReason = 0;
    if (!settings.user.isEmpty()) {
        mosquitto_username_pw_set(handle, settings.user.toUtf8().constData(),
                                  settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    }
    if (settings.tls && !setUpTls())
        return;
    attemptClock.start();
    qCDebug(lcBroker) << "connecting to" << settings.host << settings.port << (v5 ? "MQTT 5" : "MQTT 3.1.1");
    const int rc = mosquitto_connect_async(handle, settings.host.toUtf8().constData(), settings.port,
                                           keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        fail(rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                  : QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    housekeeping.start();
    watchSocket();
}

void MqttConnection::keepSession()
{
    // MQTT 5 ends a session with its connection unless CONNECT asks for an
    // expiry. libmosquitto 2.0 takes CONNECT properties only in its blocking
    // connect, which keeps them in the handle before it checks its arguments:
    // a call refused for its port leaves them for the asynchronous connect.
    // The persistent-session test holds this to the library in use.
    mosquitto_property *properties = nullptr;
    mosquitto_property_add_int32(&properties, MQTT_PROP_SESSION_EXPIRY_INTERVAL, sessionExpirySeconds);
    const int rc = mosquitto_connect_bind_v5(mosq.get(), "localhost", -1, keepAliveSeconds, nullptr, properties);
    mosquitto_property_free_all(&properties);
    if (rc != MOSQ_ERR_INVAL)
        qCWarning(lcBroker) << "persistent session: unexpected answer" << rc;
}

bool MqttConnection::setUpTls()
{
    const QByteArray cafile = settings.cafile.toLocal8Bit();
    const QByteArray certfile = settings.certfile.toLocal8Bit();
    const QByteArray keyfile = settings.keyfile.toLocal8Bit();
    const int rc = mosquitto_tls_set(mosq.get(), cafile.constData(), nullptr,
                                     certfile.isEmpty() ? nullptr : certfile.constData(),
                                     keyfile.isEmpty() ? nullptr : keyfile.constData(), &noPassword);
    if (rc == MOSQ_ERR_SUCCESS)
        return true;
    fail(QStringLiteral("TLS with %1: %2").arg(settings.cafile, QString::fromUtf8(mosquitto_strerror(rc))));
    return false;
}

void MqttConnection::watchSocket()
{
    if (!mosq)
        return;
    const int fd = mosquitto_socket(mosq.get());
    if (fd != watchedFd) {
        dropNotifiers();
        watchedFd = fd;
        if (fd >= 0) {
            readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(readNotifier, &QSocketNotifier::activated, this, [this, fd] {
                // The library reads one packet a call (and drains TLS's own
                // buffer); a burst is read here in one go, a bounded one, so
                // that the panels' sockets get their turn.
                int rc = MOSQ_ERR_SUCCESS;
                int waiting = 0;
                for (int i = 0; i < maxPacketsPerRead && rc == MOSQ_ERR_SUCCESS && currentState != State::Failed; ++i) {
                    rc = mosquitto_loop_read(mosq.get(), 1);
                    if (::ioctl(fd, FIONREAD, &waiting) != 0 || waiting == 0)
                        break;
                }
                afterIo(rc);
            });
            // mosquitto_connect_async returns before the TCP connect has
            // finished, so its CONNECT packet waits in the handle
            // (mosquitto_want_write). Writable means connected: loop_write
            // sends it then, and later what a publish or a subscription left
            // queued. Without this the attempt ends in the CONNACK time-out.
            writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(writeNotifier, &QSocketNotifier::activated, this,
                    [this] { afterIo(mosquitto_loop_write(mosq.get(), 1)); });
        }
    }
    if (writeNotifier)
        writeNotifier->setEnabled(mosquitto_want_write(mosq.get()));
}

void MqttConnection::afterIo(int rc)
{
    if (!mosq || currentState == State::Failed)
        return;
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq.get()) < 0) {
        fail(rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
             : rc == MOSQ_ERR_SUCCESS ? closeReason()
                                      : QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    watchSocket();
}

void MqttConnection::fail(const QString &reason)
{
    if (currentState == State::Failed)
        return;
    const bool wasUp = currentState == State::Connected;
    setState(State::Failed);
    // The handle goes with the next attempt: this may run inside one of its callbacks.
    dropNotifiers();
    housekeeping.stop();
    if (wasUp && clock.elapsed() - upSince >= stableMs)
        backoff.reset();
    forgetPublishes(QStringLiteral("the connection was lost before the broker acknowledged it"));
    const int delay = backoff.next();
    retry.start(delay);
    const QString said = libraryLog.reason(reason, {settings.host, settings.cafile, settings.certfile});
    if (wasUp)
        emit connectionLost(dropReason(said));
    else
        emit attemptFailed(said, delay);
}

QString MqttConnection::closeReason() const
{
    return brokerReason == 0 ? QStringLiteral("connection closed")
                             : QStringLiteral("the broker closed the connection: %1")
                                   .arg(QString::fromUtf8(mosquitto_reason_string(brokerReason)));
}

QString MqttConnection::dropReason(const QString &reason)
{
    // Two clients with one client id take the connection from each other
    // at each connect. MQTT 5 brokers may say so (session taken over);
    // others, mosquitto 2.0 among them, just close the older connection.
    const qint64 now = clock.elapsed();
    const bool takenOver = brokerReason == MQTT_RC_SESSION_TAKEN_OVER;
    if (!takenOver && now - upSince >= stableMs)
        return reason;
    while (!shortDrops.isEmpty() && (now - shortDrops.constFirst() > takeoverWindowMs || shortDrops.size() >= 100))
        shortDrops.removeFirst();
    shortDrops << now;
    if (shortDrops.size() < 2)
        return reason;
    return reason + QStringLiteral("; dropped %1 times in %2 min, each soon after connecting: two clients with "
                                   "client_id %3 (a copied configuration?) take the connection from each other, "
                                   "so give each bridge its own client_id")
                        .arg(shortDrops.size()).arg((now - shortDrops.constFirst()) / 60000 + 1).arg(settings.clientId);
}

void MqttConnection::checkAcknowledgements()
{
    const qint64 now = clock.elapsed();
    for (auto it = unacknowledged.begin(); it != unacknowledged.end();) {
        if (now - it->sentAt < acknowledgeMs) {
            ++it;
            continue;
        }
        const QString topic = it->topic;
        it = unacknowledged.erase(it);
        emit publishFailed(topic, QStringLiteral("not acknowledged by the broker within %1 s").arg(acknowledgeMs / 1000));
    }
}

void MqttConnection::forgetPublishes(const QString &reason)
{
    const QHash<int, Publish> lost = std::exchange(unacknowledged, {});
    for (const Publish &publish : lost)
        emit publishFailed(publish.topic, reason);
}

void MqttConnection::onConnectCallback(mosquitto *, void *self, int rc, int, const mosquitto_property *)
{
    static_cast<MqttConnection *>(self)->handleConnack(rc);
}

void MqttConnection::handleConnack(int rc)
{
    if (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || (rc == CONNACK_REFUSED_PROTOCOL_VERSION && protocol == Protocol::Mqtt5)) {
        // An MQTT 3.1.1 broker: no "no local" subscriptions there, but it works.
        protocol = Protocol::Mqtt311;
        qCDebug(lcBroker) << "broker refuses MQTT 5, falling back to 3.1.1";
        setState(State::Failed);
        QTimer::singleShot(0, this, &MqttConnection::attempt);
        return;
    }
    if (rc != 0) {
        fail(QStringLiteral("broker refused the connection: %1")
                 .arg(QString::fromUtf8(protocol == Protocol::Mqtt5 ? mosquitto_reason_string(rc)
                                                                   : mosquitto_connack_string(rc))));
        return;
    }
    setState(State::Connected);
    upSince = clock.elapsed();
    subscribeAll();
    emit connected();
}

void MqttConnection::subscribeAll()
{
    if (settings.topics.isEmpty())
        QMetaObject::invokeMethod(this, &MqttConnection::subscribed, Qt::QueuedConnection);
    for (int at = 0; at < settings.topics.size(); at += topicsPerSubscribe) {
        const QStringList chunk = settings.topics.mid(at, topicsPerSubscribe);
        QList<QByteArray> bytes;
        std::vector<char *> pointers;
        for (const QString &topic : chunk)
            bytes << topic.toUtf8();
        for (QByteArray &b : bytes)
            pointers.push_back(b.data());
        int mid = 0;
        // Without "no local" a command published to a topic that is also a
        // state topic would come back as the device's state.
        const int rc = mosquitto_subscribe_multiple(mosq.get(), &mid, int(pointers.size()), pointers.data(), 1,
                                                    protocol == Protocol::Mqtt5 ? MQTT_SUB_OPT_NO_LOCAL : 0,
                                                    nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            fail(QStringLiteral("subscribe: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
            return;
        }
        pendingSubscriptions.insert(mid, chunk);
    }
}

void MqttConnection::onSubscribeCallback(mosquitto *, void *self, int mid, int count, const int *granted,
                                         const mosquitto_property *)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const QStringList topics = connection->pendingSubscriptions.take(mid);
    for (int i = 0; i < count && i < topics.size(); ++i) {
        if (granted[i] > 2) {
            emit connection->subscriptionRefused(
                topics.at(i), connection->protocol == Protocol::Mqtt5 ? QString::fromUtf8(mosquitto_reason_string(granted[i]))
                                             : QStringLiteral("refused (MQTT 3.1.1 gives no reason)"));
        }
    }
    if (connection->pendingSubscriptions.isEmpty() && !topics.isEmpty())
        emit connection->subscribed();
}

void MqttConnection::onPublishCallback(mosquitto *, void *self, int mid, int reasonCode, const mosquitto_property *)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const Publish publish = connection->unacknowledged.take(mid);
    // Reason codes from 0x80 are refusals (MQTT 5); 0x10, no subscribers, is none.
    if (reasonCode >= 0x80 && !publish.topic.isEmpty())
        emit connection->publishFailed(publish.topic, QString::fromUtf8(mosquitto_reason_string(reasonCode)));
}

void MqttConnection::onDisconnectCallback(mosquitto *, void *self, int rc, const mosquitto_property *)
{
    // Called with the broker's reason code for its DISCONNECT (MQTT 5), or
    // with the library's own result code when the connection just ended.
    if (rc >= 0x80)
        static_cast<MqttConnection *>(self)->brokerReason = rc;
}

void MqttConnection::onLogCallback(mosquitto *, void *self, int level, const char *text)
{
    qCDebug(lcBroker) << "libmosquitto:" << text;
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING))
        static_cast<MqttConnection *>(self)->libraryLog.add(QString::fromUtf8(text));
}

void MqttConnection::onMessageCallback(mosquitto *, void *self, const mosquitto_message *m,
                                       const mosquitto_property *)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const int topicBytes = int(std::strlen(m->topic));
    if (topicBytes > connection->settings.maxTopicBytes) {
        emit connection->messageRefused(QString::fromUtf8(m->topic, 80) + QStringLiteral("…"),
                                        QStringLiteral("topic of %1 bytes, more than %2")
                                            .arg(topicBytes).arg(connection->settings.maxTopicBytes));
        return;
    }
    const QString topic = QString::fromUtf8(m->topic, topicBytes);
    if (m->payloadlen > connection->settings.maxPayloadBytes) {
        emit connection->messageRefused(topic, QStringLiteral("payload of %1 bytes, more than %2")
                                                   .arg(m->payloadlen).arg(connection->settings.maxPayloadBytes));
        return;
    }
    emit connection->message(topic, QByteArray(static_cast<const char *>(m->payload), m->payloadlen));
}

bool MqttConnection::publish(const QString &topic, const QByteArray &payload, QString *reason)
{
    if (currentState != State::Connected || !mosq) {
        if (reason)
            *reason = QStringLiteral("not connected to the broker");
        return false;
    }
    int mid = 0;
    const int rc = mosquitto_publish(mosq.get(), &mid, topic.toUtf8().constData(), payload.size(),
                                     payload.constData(), 1, false);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (reason)
            *reason = QString::fromUtf8(mosquitto_strerror(rc));
        return false;
    }
    if (unacknowledged.size() < maxUnacknowledged)
        unacknowledged.insert(mid, Publish{topic, clock.elapsed()});
    watchSocket();
    return true;
}
