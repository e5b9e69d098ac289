#include "mqttconnection.h"

#include "bridgelog.h"
#include "socketprobe.h"

#include <QSocketNotifier>

#include <cerrno>
#include <utility>
#include <cstring>

#include <mosquitto.h>
#include <mqtt_protocol.h>

namespace {

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
    : QObject(parent)
    , m_settings(s)
{
    initLibrary();
    m_clock.start();
    m_housekeeping.setInterval(1000);
    connect(&m_housekeeping, &QTimer::timeout, this, [this] {
        if (!m_mosq)
            return;
        if (m_currentState != State::Connected && m_attemptClock.elapsed() > connackTimeoutMs) {
            fail(QStringLiteral("no answer within %1 s").arg(connackTimeoutMs / 1000));
            return;
        }
        if (m_currentState == State::Connecting && attemptRefused(mosquitto_socket(m_mosq.get()), false))
            return;
        const qint64 silence = m_clock.elapsed() - m_lastInbound;
        if (m_currentState == State::Connected && silence > brokerSilenceMs(m_settings.keepAliveSeconds)) {
            fail(QStringLiteral("no answer from the broker for %1 s (keepalive %2 s): frozen, or the network is cut")
                     .arg(silence / 1000)
                     .arg(m_settings.keepAliveSeconds));
            return;
        }
        checkAcknowledgements();
        // The library's keep-alive check takes a ping whose answer still
        // waits behind a backlog in our socket as unanswered, and drops a
        // broker that is only faster than we are. While its ping is out and
        // data waits (which proves the broker alive) the check waits until
        // we have caught up; a ping that is due still goes out.
        const int fd = mosquitto_socket(m_mosq.get());
        if (m_pingOut && fd >= 0 && socketBacklog(fd) > 0)
            return;
        afterIo(mosquitto_loop_misc(m_mosq.get()));
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttConnection::attempt);
}

bool MqttConnection::attemptRefused(int fd, bool afterRead)
{
    // Under TLS the library waits for its handshake on a socket whose
    // connection failed (spinning on it), and only the time-out would end
    // the attempt. Errors of a connection that did come up are the library's
    // to name: it knows a TLS port from a plain one.
    if (fd < 0)
        return false;
    const QString failure = socketConnectFailure(fd);
    if (!failure.isEmpty()) {
        fail(failure);
        return true;
    }
    // Its handshake may have taken the error already: a socket read from
    // that was never connected has failed all the same.
    if (!afterRead || !socketNeverConnected(fd))
        return false;
    fail(QStringLiteral("connection refused, or no route to the broker"));
    return true;
}

MqttConnection::~MqttConnection()
{
    teardown();
}

void MqttConnection::start()
{
    attempt();
}

void MqttConnection::stop()
{
    m_retry.stop();
    if (m_currentState != State::Connected || !m_mosq) {
        m_stopping = true;
        QMetaObject::invokeMethod(this, &MqttConnection::finishStop, Qt::QueuedConnection);
        return;
    }
    m_stopping = true;
    // The library writes at once what its socket takes, and closes it once
    // the DISCONNECT is out.
    mosquitto_disconnect(m_mosq.get());
    afterIo(MOSQ_ERR_SUCCESS);
    if (m_stopping)
        QTimer::singleShot(stopTimeoutMs, this, &MqttConnection::finishStop);
}

void MqttConnection::finishStop()
{
    if (!m_stopping)
        return;
    m_stopping = false;
    teardown();
    setState(State::Idle);
    emit stopped();
}

void MqttConnection::dropNotifiers()
{
    // Off before the library closes their descriptor; deleted later, since
    // this may run inside one of their own signals.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = m_writeNotifier = nullptr;
    m_watchedFd = -1;
}

void MqttConnection::teardown()
{
    dropNotifiers();
    m_housekeeping.stop();
    m_pendingSubscriptions.clear();
    m_mosq.reset();
}

void MqttConnection::HandleDeleter::operator()(mosquitto *handle) const
{
    mosquitto_destroy(handle);
}

void MqttConnection::setState(State state)
{
    if (state == m_currentState)
        return;
    m_currentState = state;
    qCDebug(lcBroker) << state;
}

void MqttConnection::attempt()
{
    // A fresh handle per attempt: nothing of a half-open connection survives.
    teardown();
    setState(State::Connecting);
    const QByteArray id = m_settings.clientId.toUtf8();
    m_mosq.reset(mosquitto_new(id.constData(), !m_settings.persistent, this));
    if (!m_mosq) {
        fail(QStringLiteral("cannot create the MQTT client"));
        return;
    }
    const bool v5 = m_protocol == Protocol::Mqtt5;
    mosquitto *handle = m_mosq.get();
    mosquitto_int_option(handle, MOSQ_OPT_PROTOCOL_VERSION, v5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    if (m_settings.persistent && v5)
        keepSession();
    mosquitto_connect_v5_callback_set(handle, &MqttConnection::onConnectCallback);
    mosquitto_message_v5_callback_set(handle, &MqttConnection::onMessageCallback);
    mosquitto_subscribe_v5_callback_set(handle, &MqttConnection::onSubscribeCallback);
    mosquitto_publish_v5_callback_set(handle, &MqttConnection::onPublishCallback);
    mosquitto_disconnect_v5_callback_set(handle, &MqttConnection::onDisconnectCallback);
    mosquitto_log_callback_set(handle, &MqttConnection::onLogCallback);
    mosquitto_int_option(handle, MOSQ_OPT_TCP_NODELAY, 1);
    m_libraryLog.clear();
    m_brokerReason = 0;
    if (!m_settings.user.isEmpty()) {
        mosquitto_username_pw_set(handle, m_settings.user.toUtf8().constData(),
                                  m_settings.password.isEmpty() ? nullptr : m_settings.password.toUtf8().constData());
    }
    if (m_settings.tls && !setUpTls())
        return;
    if (!m_settings.willTopic.isEmpty()) {
        const QByteArray topic = m_settings.willTopic.toUtf8();
        mosquitto_will_set_v5(handle, topic.constData(), m_settings.willPayload.size(),
                              m_settings.willPayload.constData(), 1, true, nullptr);
    }
    m_attemptClock.start();
    m_lastInbound = m_clock.elapsed();
    m_pingOut = false;
    qCDebug(lcBroker) << "connecting to" << m_settings.host << m_settings.port << (v5 ? "MQTT 5" : "MQTT 3.1.1");
    const int rc = mosquitto_connect_async(handle, m_settings.host.toUtf8().constData(), m_settings.port,
                                           m_settings.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        fail(rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                  : QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    m_housekeeping.start();
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
    const int rc =
        mosquitto_connect_bind_v5(m_mosq.get(), "localhost", -1, m_settings.keepAliveSeconds, nullptr, properties);
    mosquitto_property_free_all(&properties);
    if (rc != MOSQ_ERR_INVAL)
        qCWarning(lcBroker) << "persistent session: unexpected answer" << rc;
}

bool MqttConnection::setUpTls()
{
    const QByteArray cafile = m_settings.cafile.toLocal8Bit();
    const QByteArray certfile = m_settings.certfile.toLocal8Bit();
    const QByteArray keyfile = m_settings.keyfile.toLocal8Bit();
    const int rc = mosquitto_tls_set(m_mosq.get(), cafile.constData(), nullptr,
                                     certfile.isEmpty() ? nullptr : certfile.constData(),
                                     keyfile.isEmpty() ? nullptr : keyfile.constData(), &noPassword);
    if (rc == MOSQ_ERR_SUCCESS)
        return true;
    fail(QStringLiteral("TLS with %1: %2").arg(m_settings.cafile, QString::fromUtf8(mosquitto_strerror(rc))));
    return false;
}

void MqttConnection::watchSocket()
{
    if (!m_mosq)
        return;
    const int fd = mosquitto_socket(m_mosq.get());
    if (fd != m_watchedFd) {
        dropNotifiers();
        m_watchedFd = fd;
        if (fd >= 0) {
            m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, [this, fd] {
                if (m_currentState == State::Connecting && attemptRefused(fd, false))
                    return;
                m_lastInbound = m_clock.elapsed();
                // The library reads one packet a call (and drains TLS's own
                // buffer); a burst is read here in one go, a bounded one, so
                // that the panels' sockets get their turn.
                int rc = MOSQ_ERR_SUCCESS;
                for (int i = 0; i < maxPacketsPerRead && rc == MOSQ_ERR_SUCCESS && m_currentState != State::Failed;
                     ++i) {
                    rc = mosquitto_loop_read(m_mosq.get(), 1);
                    if (socketBacklog(fd) == 0)
                        break;
                }
                afterIo(rc);
                if (m_currentState == State::Connecting)
                    attemptRefused(fd, true);
            });
            // mosquitto_connect_async returns before the TCP connect has
            // finished, so its CONNECT packet waits in the handle
            // (mosquitto_want_write). Writable means connected: loop_write
            // sends it then, and later what a publish or a subscription left
            // queued. Without this the attempt ends in the CONNACK time-out.
            m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, [this, fd] {
                if (m_currentState == State::Connecting && attemptRefused(fd, false))
                    return;
                afterIo(mosquitto_loop_write(m_mosq.get(), 1));
            });
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq.get()));
}

void MqttConnection::afterIo(int rc)
{
    if (m_stopping && (!m_mosq || rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_mosq.get()) < 0)) {
        finishStop();
        return;
    }
    if (!m_mosq || m_currentState == State::Failed)
        return;
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_mosq.get()) < 0) {
        // The library has no text for its own keep-alive time-out ("Unknown error.").
        fail(rc == MOSQ_ERR_ERRNO           ? QString::fromLocal8Bit(strerror(errno))
                 : rc == MOSQ_ERR_SUCCESS   ? closeReason()
                 : rc == MOSQ_ERR_KEEPALIVE ? QStringLiteral("no answer to the keep-alive from the broker within %1 s: "
                                                             "frozen, or the network is cut")
                                                  .arg(m_settings.keepAliveSeconds)
                                            : QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    watchSocket();
}

void MqttConnection::fail(const QString &reason)
{
    if (m_stopping) {
        finishStop();
        return;
    }
    if (m_currentState == State::Failed)
        return;
    const bool wasUp = m_currentState == State::Connected;
    setState(State::Failed);
    // The handle goes with the next attempt: this may run inside one of its callbacks.
    dropNotifiers();
    m_housekeeping.stop();
    if (wasUp && m_clock.elapsed() - m_upSince >= stableMs)
        m_backoff.reset();
    forgetPublishes(QStringLiteral("the connection was lost before the broker acknowledged it"));
    const int delay = m_backoff.next();
    m_retry.start(delay);
    const QString said = m_libraryLog.reason(reason, {m_settings.host, m_settings.cafile, m_settings.certfile});
    if (wasUp)
        emit connectionLost(dropReason(said));
    else
        emit attemptFailed(said, delay);
}

QString MqttConnection::closeReason() const
{
    return m_brokerReason == 0 ? QStringLiteral("connection closed")
                               : QStringLiteral("the broker closed the connection: %1")
                                     .arg(QString::fromUtf8(mosquitto_reason_string(m_brokerReason)));
}

QString MqttConnection::dropReason(const QString &reason)
{
    // Two clients with one client id take the connection from each other
    // at each connect. MQTT 5 brokers may say so (session taken over);
    // others, mosquitto 2.0 among them, just close the older connection.
    const qint64 now = m_clock.elapsed();
    const bool takenOver = m_brokerReason == MQTT_RC_SESSION_TAKEN_OVER;
    if (!takenOver && now - m_upSince >= stableMs)
        return reason;
    while (!m_shortDrops.isEmpty()
           && (now - m_shortDrops.constFirst() > takeoverWindowMs || m_shortDrops.size() >= 100))
        m_shortDrops.removeFirst();
    m_shortDrops << now;
    if (m_shortDrops.size() < 2)
        return reason;
    return reason
        + QStringLiteral("; dropped %1 times in %2 min, each soon after connecting: two clients with "
                         "client_id %3 (a copied configuration?) take the connection from each other, "
                         "so give each bridge its own client_id")
              .arg(m_shortDrops.size())
              .arg((now - m_shortDrops.constFirst()) / 60000 + 1)
              .arg(m_settings.clientId);
}

void MqttConnection::checkAcknowledgements()
{
    const qint64 now = m_clock.elapsed();
    for (auto it = m_unacknowledged.begin(); it != m_unacknowledged.end();) {
        if (now - it->sentAt < acknowledgeMs) {
            ++it;
            continue;
        }
        const QString topic = it->topic;
        it = m_unacknowledged.erase(it);
        emit publishFailed(topic,
                           QStringLiteral("not acknowledged by the broker within %1 s").arg(acknowledgeMs / 1000));
    }
}

void MqttConnection::forgetPublishes(const QString &reason)
{
    const QHash<int, Publish> lost = std::exchange(m_unacknowledged, {});
    for (const Publish &publish : lost)
        emit publishFailed(publish.topic, reason);
}

void MqttConnection::onConnectCallback(mosquitto *, void *self, int rc, int, const mosquitto_property *)
{
    static_cast<MqttConnection *>(self)->handleConnack(rc);
}

void MqttConnection::handleConnack(int rc)
{
    if (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION
        || (rc == CONNACK_REFUSED_PROTOCOL_VERSION && m_protocol == Protocol::Mqtt5)) {
        // An MQTT 3.1.1 broker: no "no local" subscriptions there, but it works.
        m_protocol = Protocol::Mqtt311;
        qCDebug(lcBroker) << "broker refuses MQTT 5, falling back to 3.1.1";
        setState(State::Failed);
        QTimer::singleShot(0, this, &MqttConnection::attempt);
        return;
    }
    if (rc != 0) {
        fail(QStringLiteral("broker refused the connection: %1")
                 .arg(QString::fromUtf8(m_protocol == Protocol::Mqtt5 ? mosquitto_reason_string(rc)
                                                                      : mosquitto_connack_string(rc))));
        return;
    }
    setState(State::Connected);
    m_upSince = m_clock.elapsed();
    subscribeAll();
    emit connected();
}

void MqttConnection::subscribeAll()
{
    if (m_settings.topics.isEmpty())
        QMetaObject::invokeMethod(this, &MqttConnection::subscribed, Qt::QueuedConnection);
    for (int at = 0; at < m_settings.topics.size(); at += topicsPerSubscribe) {
        const QStringList chunk = m_settings.topics.mid(at, topicsPerSubscribe);
        QList<QByteArray> bytes;
        std::vector<char *> pointers;
        for (const QString &topic : chunk)
            bytes << topic.toUtf8();
        for (QByteArray &b : bytes)
            pointers.push_back(b.data());
        int mid = 0;
        // Without "no local" a command published to a topic that is also a
        // state topic would come back as the device's state.
        const int rc = mosquitto_subscribe_multiple(m_mosq.get(), &mid, int(pointers.size()), pointers.data(), 1,
                                                    m_protocol == Protocol::Mqtt5 ? MQTT_SUB_OPT_NO_LOCAL : 0, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            fail(QStringLiteral("subscribe: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
            return;
        }
        m_pendingSubscriptions.insert(mid, chunk);
    }
}

void MqttConnection::onSubscribeCallback(mosquitto *, void *self, int mid, int count, const int *granted,
                                         const mosquitto_property *)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const QStringList topics = connection->m_pendingSubscriptions.take(mid);
    for (int i = 0; i < count && i < topics.size(); ++i) {
        if (granted[i] > 2) {
            emit connection->subscriptionRefused(topics.at(i),
                                                 connection->m_protocol == Protocol::Mqtt5
                                                     ? QString::fromUtf8(mosquitto_reason_string(granted[i]))
                                                     : QStringLiteral("refused (MQTT 3.1.1 gives no reason)"));
        }
    }
    if (connection->m_pendingSubscriptions.isEmpty() && !topics.isEmpty())
        emit connection->subscribed();
}

void MqttConnection::onPublishCallback(mosquitto *, void *self, int mid, int reasonCode, const mosquitto_property *)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const Publish publish = connection->m_unacknowledged.take(mid);
    // Reason codes from 0x80 are refusals (MQTT 5); 0x10, no subscribers, is none.
    if (reasonCode >= 0x80 && !publish.topic.isEmpty())
        emit connection->publishFailed(publish.topic, QString::fromUtf8(mosquitto_reason_string(reasonCode)));
}

void MqttConnection::onDisconnectCallback(mosquitto *, void *self, int rc, const mosquitto_property *)
{
    // Called with the broker's reason code for its DISCONNECT (MQTT 5), or
    // with the library's own result code when the connection just ended.
    if (rc >= 0x80)
        static_cast<MqttConnection *>(self)->m_brokerReason = rc;
}

void MqttConnection::onLogCallback(mosquitto *, void *self, int level, const char *text)
{
    qCDebug(lcBroker) << "libmosquitto:" << text;
    auto *connection = static_cast<MqttConnection *>(self);
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING))
        connection->m_libraryLog.add(QString::fromUtf8(text));
    // The library tells of its pings only here.
    if (level == MOSQ_LOG_DEBUG) {
        const QByteArray line = QByteArray::fromRawData(text, int(std::strlen(text)));
        if (line.endsWith(" sending PINGREQ"))
            connection->m_pingOut = true;
        else if (line.endsWith(" received PINGRESP"))
            connection->m_pingOut = false;
    }
}

void MqttConnection::onMessageCallback(mosquitto *, void *self, const mosquitto_message *m, const mosquitto_property *)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const int topicBytes = int(std::strlen(m->topic));
    if (topicBytes > connection->m_settings.maxTopicBytes) {
        emit connection->messageRefused(QString::fromUtf8(m->topic, 80) + QStringLiteral("…"),
                                        QStringLiteral("topic of %1 bytes, more than %2")
                                            .arg(topicBytes)
                                            .arg(connection->m_settings.maxTopicBytes));
        return;
    }
    const QString topic = QString::fromUtf8(m->topic, topicBytes);
    if (m->payloadlen > connection->m_settings.maxPayloadBytes) {
        emit connection->messageRefused(topic,
                                        QStringLiteral("payload of %1 bytes, more than %2")
                                            .arg(m->payloadlen)
                                            .arg(connection->m_settings.maxPayloadBytes));
        return;
    }
    emit connection->message(topic, QByteArray(static_cast<const char *>(m->payload), m->payloadlen));
}

bool MqttConnection::publish(const QString &topic, const QByteArray &payload, QString *reason, int qos, bool retain)
{
    if (m_currentState != State::Connected || !m_mosq) {
        if (reason)
            *reason = QStringLiteral("not connected to the broker");
        return false;
    }
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq.get(), &mid, topic.toUtf8().constData(), payload.size(),
                                     payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (reason)
            *reason = QString::fromUtf8(mosquitto_strerror(rc));
        return false;
    }
    // QoS 0 has no acknowledgement to wait for.
    if (qos > 0 && m_unacknowledged.size() < maxUnacknowledged)
        m_unacknowledged.insert(mid, Publish{topic, m_clock.elapsed()});
    watchSocket();
    return true;
}
