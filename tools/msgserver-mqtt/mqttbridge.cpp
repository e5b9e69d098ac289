#include "mqttbridge.h"

#include "bridgelog.h"
#include "mqttconnection.h"
#include "core/net/msgserversession.h"

#include <QTcpSocket>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int relistenMs = 5000;
constexpr int faultFlushMs = 60000;
constexpr int trimDelayMs = 2000;

void complain(const QString &text)
{
    // One fault, one line: a payload quoted in it may hold line feeds or
    // terminal controls.
    QString line = text;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    qCWarning(lcBridge).noquote() << line;
}

void say(const QString &text)
{
    qCInfo(lcBridge).noquote() << text;
}

QString peerOf(const MsgServerSession *session)
{
    return session->socket()->peerAddress().toString();
}

// A topic as a fault line shows it: no 64 KiB lines on standard error.
QString shown(const QString &topic)
{
    return topic.size() > 100 ? topic.left(100) + QStringLiteral("…") : topic;
}

// About what one report line costs: "P", the address, "=", a value, a line feed.
qint64 reportBytes(const QString &address)
{
    return address.toUtf8().size() + 16;
}

} // namespace

MqttConnection::Settings MqttBridge::brokerSettings(const BridgeConfig &config)
{
    MqttConnection::Settings settings;
    settings.host = config.host;
    settings.port = config.brokerPort;
    settings.tls = config.tls;
    settings.cafile = config.cafile;
    settings.certfile = config.certfile;
    settings.keyfile = config.keyfile;
    settings.clientId = config.clientId;
    settings.user = config.brokerUser;
    settings.password = config.brokerPassword;
    settings.persistent = config.persistentSession;
    settings.keepAliveSeconds = config.keepAliveSeconds;
    settings.willTopic = config.stateTopic();
    settings.willPayload = QByteArrayLiteral("offline");
    settings.maxTopicBytes = BridgeConfig::maxTopicBytes;
    settings.maxPayloadBytes = PayloadMapping::maxPayloadBytes;
    // Availability first: a broker sends the retained messages in the order
    // of the subscriptions, so a device known to be out of reach is known
    // before its last state arrives.
    for (const BridgeConfig::Port &port : config.ports)
        settings.topics << port.availability.topics;
    for (const BridgeConfig::Port &port : config.ports) {
        for (const BridgeConfig::Port::State &state : port.states + port.answers)
            settings.topics << state.topic;
    }
    settings.topics.removeDuplicates();
    if (!config.prefix.isEmpty())
        settings.topics << config.prefix + QStringLiteral("/#");
    return settings;
}

MqttBridge::MqttBridge(const BridgeConfig &c, QObject *parent)
    : QObject(parent)
    , m_config(c)
    , m_faults(complain)
{
    m_offlineTopics.resize(m_config.ports.size());
    for (int i = 0; i < m_config.ports.size(); ++i) {
        const BridgeConfig::Port &port = m_config.ports.at(i);
        for (int s = 0; s < port.states.size(); ++s)
            m_portsByTopic[port.states.at(s).topic] << Route{i, s};
        for (int a = 0; a < port.answers.size(); ++a)
            m_portsByTopic[port.answers.at(a).topic] << Route{i, a, true};
        for (const QString &topic : port.availability.topics)
            m_portsByAvailability[topic] << i;
        m_portsByAddress.insert(port.address(), i);
        // Unknown until the broker brings a value: a panel hears so at its start.
        Value value;
        value.id = port.id;
        value.config = i;
        m_values.insert(port.address(), value);
        if (port.expireAfterSeconds > 0)
            m_expiry.start(1000);
        if (port.resetAfterSeconds > 0)
            m_resetPorts << i;
    }
    connect(&m_expiry, &QTimer::timeout, this, &MqttBridge::expireValues);
    m_reset.setSingleShot(true);
    connect(&m_reset, &QTimer::timeout, this, &MqttBridge::resetInputs);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &MqttBridge::nameSilentTopics);

    m_broker = new MqttConnection(brokerSettings(m_config), this);
    connect(m_broker, &MqttConnection::message, this, &MqttBridge::onMessage);
    connect(m_broker, &MqttConnection::connected, this, &MqttBridge::onBrokerConnected);
    connect(m_broker, &MqttConnection::connectionLost, this, &MqttBridge::onBrokerLost);
    connect(m_broker, &MqttConnection::stopped, this, &MqttBridge::stopped);
    reportBrokerFaults();
    connect(&m_server, &QTcpServer::newConnection, this, &MqttBridge::onNewConnection);
    setUpTimers();
}

void MqttBridge::onBrokerConnected()
{
    m_echoes.clear();
    // Retained, so that a site's monitoring sees it whenever it looks; the
    // broker says "offline" for a bridge that is gone without a word.
    QString reason;
    if (!m_config.stateTopic().isEmpty()
        && !m_broker->publish(m_config.stateTopic(), QByteArrayLiteral("online"), &reason, 1, true))
        m_faults.report(QStringLiteral("publish ") + m_config.stateTopic(),
                        QStringLiteral("state to %1 not sent: %2").arg(m_config.stateTopic(), reason));
    // Sent after the subscriptions, so the answers find them in place.
    QList<int> all;
    for (int i = 0; i < m_config.ports.size(); ++i)
        all << i;
    refresh(all);
    if (m_config.silentAfterSeconds > 0 && !m_silenceChecked && !m_silence.isActive())
        m_silence.start(m_config.silentAfterSeconds * 1000);
    // Open before saying so: whoever reads the line may connect at once.
    openForPanels();
    say(QStringLiteral("broker %1 connected").arg(m_config.url));
    emit brokerConnected();
}

void MqttBridge::stop()
{
    if (!m_config.stateTopic().isEmpty() && m_broker->isConnected())
        m_broker->publish(m_config.stateTopic(), QByteArrayLiteral("offline"), nullptr, 1, true);
    m_broker->stop();
}

void MqttBridge::reportBrokerFaults()
{
    // Each once, then counted: a broker that refuses keeps refusing.
    connect(m_broker, &MqttConnection::attemptFailed, this, [this](const QString &reason, int retryMs) {
        m_faults.report(
            QStringLiteral("attempt ") + reason,
            QStringLiteral("broker %1: %2; next attempt in %3 s").arg(m_config.url, reason).arg(retryMs / 1000));
    });
    connect(m_broker, &MqttConnection::messageRefused, this, [this](const QString &topic, const QString &reason) {
        m_faults.report(QStringLiteral("topic ") + topic, QStringLiteral("%1: %2; ignored").arg(shown(topic), reason));
    });
    connect(m_broker, &MqttConnection::subscriptionRefused, this, [this](const QString &topic, const QString &reason) {
        m_faults.report(
            QStringLiteral("subscription ") + topic,
            QStringLiteral("broker %1 refused the subscription to %2: %3").arg(m_config.url, topic, reason));
    });
    connect(m_broker, &MqttConnection::publishFailed, this, [this](const QString &topic, const QString &reason) {
        m_faults.report(QStringLiteral("publish ") + topic,
                        QStringLiteral("command to %1 not taken by the broker: %2").arg(topic, reason));
    });
}

void MqttBridge::setUpTimers()
{
    m_relisten.setSingleShot(true);
    connect(&m_relisten, &QTimer::timeout, this, &MqttBridge::openForPanels);
    m_faultFlush.start(faultFlushMs);
    connect(&m_faultFlush, &QTimer::timeout, this, [this] { m_faults.flush(); });
    m_trim.setSingleShot(true);
    m_trim.setInterval(trimDelayMs);
    connect(&m_trim, &QTimer::timeout, this, [] {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    });
    m_clock.start();
}

void MqttBridge::onBrokerLost(const QString &reason)
{
    complain(QStringLiteral("broker %1: connection lost (%2); panels are refused until it is back")
                 .arg(m_config.url, reason));
    closeForPanels(QStringLiteral("broker lost"));
    // What it reported may be stale by the time it is back; its retained
    // messages bring the values again, and the devices' availability. The
    // ports stay, unknown, so that a panel is told of those that do not come back.
    for (Value &value : m_values)
        value.known = false;
    m_knownValues = 0;
    m_offlineTopics.fill(QSet<QString>());
    m_offlinePorts = 0;
    m_noDeviceReachable = false;
    giveMemoryBack();
    emit brokerLost();
}

MqttBridge::~MqttBridge()
{
    // Sessions are children; their closed() must not reach a half-destroyed bridge.
    for (auto it = m_panels.cbegin(); it != m_panels.cend(); ++it)
        it.key()->disconnect(this);
}

bool MqttBridge::listen(const QHostAddress &address, quint16 port)
{
    m_server.setMaxPendingConnections(maxWaiting);
    if (!m_server.listen(address, port))
        return false;
    m_listenAddress = address;
    m_listenPort = m_server.serverPort();
    if (!servesPanels()) {
        m_server.close();
        // Bound and kept, not open: a panel finds no server until the values are there.
        say(QStringLiteral("msgserver-mqtt will listen on %1:%2 once the broker is reached")
                .arg(m_listenAddress.toString())
                .arg(m_listenPort));
    } else {
        sayListening();
    }
    return true;
}

void MqttBridge::sayListening()
{
    say(QStringLiteral("msgserver-mqtt listening on %1:%2").arg(m_listenAddress.toString()).arg(m_listenPort));
}

void MqttBridge::openForPanels()
{
    if (m_server.isListening() || !servesPanels() || m_listenPort == 0)
        return;
    if (!m_server.listen(m_listenAddress, m_listenPort)) {
        m_faults.report(QStringLiteral("listen"),
                        QStringLiteral("cannot listen on %1:%2 again: %3; trying every %4 s")
                            .arg(m_listenAddress.toString())
                            .arg(m_listenPort)
                            .arg(m_server.errorString())
                            .arg(relistenMs / 1000));
        m_relisten.start(relistenMs);
        return;
    }
    sayListening();
}

void MqttBridge::closeForPanels(const QString &reason)
{
    // Closed, not accepting and dropping: a panel that cannot connect shows
    // the connection lost, and after -stale its values as stale, whatever
    // rule it has for a connection that comes and goes.
    m_server.close();
    m_relisten.stop();
    dropPanels(reason);
}

void MqttBridge::start()
{
    m_broker->start();
}

void MqttBridge::giveMemoryBack()
{
    // A flood's buffers are freed in small pieces that the allocator keeps;
    // return them, so that the peak does not stay for months.
    if (!m_trim.isActive())
        m_trim.start();
}

void MqttBridge::onMessage(const QString &topic, const QByteArray &payload)
{
    if (!m_echoes.isEmpty() && m_echoes.takeEcho(topic, payload, m_clock.elapsed())) {
        qCDebug(lcBridge) << "own publish back from the broker, not a report:" << topic;
        return;
    }
    if (m_portsByAvailability.contains(topic))
        onAvailability(topic, payload);
    const auto found = m_portsByTopic.constFind(topic);
    if (found != m_portsByTopic.constEnd()) {
        if (m_silence.isActive())
            m_heard.insert(topic);
        for (const Route &route : found.value()) {
            // Whatever an unreachable device's topic still carries is not its state now.
            if (!m_offlineTopics.at(route.port).isEmpty())
                continue;
            const BridgeConfig::Port &port = m_config.ports.at(route.port);
            const BridgeConfig::Port::State &state =
                route.answer ? port.answers.at(route.state) : port.states.at(route.state);
            apply(port, state.path, topic, payload, state.shared);
        }
        return;
    }
    if (m_portsByAvailability.contains(topic))
        return;
    BridgeConfig::Port port;
    if (!m_config.prefixPort(topic, &port)) {
        const QString fault = m_config.prefixTopicFault(topic);
        if (!fault.isEmpty())
            m_faults.report(QStringLiteral("topic ") + topic,
                            QStringLiteral("%1: %2; ignored").arg(shown(topic), fault));
        else
            qCDebug(lcBridge) << "not a port topic:" << topic;
        return;
    }
    // A port with a section of its own has its state elsewhere.
    if (m_portsByAddress.contains(port.address()))
        return;
    apply(port, ValuePath(), topic, payload);
}

void MqttBridge::apply(const BridgeConfig::Port &port, const ValuePath &path, const QString &topic,
                       const QByteArray &payload, bool shared)
{
    double value = 0.0;
    QString reason;
    bool absent = false;
    if (!port.mapping.toValue(payload, path, &value, &reason, &absent)) {
        if (shared && absent)
            qCDebug(lcBridge) << topic << "holds nothing for" << port.address() << reason;
        else
            m_faults.report(
                QStringLiteral("topic %1 for %2").arg(topic, port.address()),
                QStringLiteral("%1 (for %2): %3; ignored").arg(shown(topic), shown(port.address()), reason));
        return;
    }
    const QString address = port.address();
    auto known = m_values.find(address);
    if (known == m_values.end()) {
        if (port.line != 0 || !roomForPrefixPort(topic, address))
            return;
        Value entry;
        entry.id = port.id;
        known = m_values.insert(address, entry);
    }
    known->at = m_clock.elapsed();
    if (port.resetAfterSeconds > 0) {
        // A repeat before the time is up keeps the input up longer.
        known->resetAt = value != 0.0 ? known->at + qint64(port.resetAfterSeconds) * 1000 : 0;
        scheduleReset(known->resetAt);
    }
    if (known->known && known->value == value)
        return; // the panels have it already
    known->value = value;
    if (!known->known) {
        known->known = true;
        ++m_knownValues;
        if (m_noDeviceReachable)
            updateServing();
    }
    qCDebug(lcBridge) << topic << "->" << address << value;
    sendToPanels(address, *known);
}

void MqttBridge::sendToPanels(const QString &address, const Value &value)
{
    for (auto it = m_panels.cbegin(); it != m_panels.cend(); ++it) {
        // A panel still getting its first reports gets this one with them.
        if (it->dumping && address > it->dumpedUpTo)
            continue;
        if (value.known)
            it.key()->sendPort(value.id.object(), value.id.port(), value.id.isOutput(), value.value);
        else
            it.key()->sendUnknown(value.id);
    }
    boundBacklogs();
}

void MqttBridge::forget(const QString &address)
{
    const auto found = m_values.find(address);
    if (found == m_values.end() || !found->known)
        return;
    found->known = false;
    found->resetAt = 0;
    --m_knownValues;
    qCDebug(lcBridge) << address << "unknown";
    sendToPanels(address, *found);
}

void MqttBridge::expireValues()
{
    const qint64 now = m_clock.elapsed();
    for (const BridgeConfig::Port &port : qAsConst(m_config.ports)) {
        if (port.expireAfterSeconds <= 0)
            continue;
        const Value value = m_values.value(port.address());
        if (!value.known || now - value.at <= qint64(port.expireAfterSeconds) * 1000)
            continue;
        m_faults.report(QStringLiteral("expired ") + port.address(),
                        QStringLiteral("%1: no message for %2 s (expire_after); unknown to the panels until the next")
                            .arg(port.address())
                            .arg(port.expireAfterSeconds));
        forget(port.address());
    }
}

void MqttBridge::scheduleReset(qint64 at)
{
    if (at == 0 || (m_reset.isActive() && m_nextReset <= at))
        return;
    m_nextReset = at;
    m_reset.start(int(qMax<qint64>(0, at - m_clock.elapsed())));
}

void MqttBridge::resetInputs()
{
    const qint64 now = m_clock.elapsed();
    qint64 next = 0;
    for (const int index : qAsConst(m_resetPorts)) {
        const QString address = m_config.ports.at(index).address();
        Value &value = m_values[address];
        if (!value.known || value.resetAt == 0)
            continue;
        if (value.resetAt > now) {
            next = next == 0 ? value.resetAt : qMin(next, value.resetAt);
            continue;
        }
        value.resetAt = 0;
        value.value = 0.0;
        qCDebug(lcBridge) << address << "back to 0";
        sendToPanels(address, value);
    }
    scheduleReset(next);
}

void MqttBridge::nameSilentTopics()
{
    if (!m_broker->isConnected())
        return; // again from the next connect: the broker may bring them then
    m_silenceChecked = true;
    // Topic by topic, each with its ports; a device that says it is away is
    // not silent by mistake, nor a button that nobody pressed.
    QStringList topics;
    QHash<QString, QStringList> ports;
    for (int i = 0; i < m_config.ports.size(); ++i) {
        const BridgeConfig::Port &port = m_config.ports.at(i);
        for (const BridgeConfig::Port::State &state : port.states) {
            if (m_heard.contains(state.topic) || !m_offlineTopics.at(i).isEmpty() || port.resetAfterSeconds > 0)
                continue;
            if (!ports.contains(state.topic))
                topics << state.topic;
            ports[state.topic] << port.address();
        }
    }
    m_heard = QSet<QString>();
    if (topics.isEmpty())
        return;
    constexpr int shownTopics = 10;
    QStringList named;
    for (const QString &topic : topics.mid(0, shownTopics))
        named << QStringLiteral("%1 (%2)").arg(shown(topic), ports.value(topic).join(QStringLiteral(", ")));
    complain(QStringLiteral("no message on %1 state topic%2 in the %3 s since the broker was first reached "
                            "(silent_after): %4%5; a typo, an ACL that withholds them, or devices that retain "
                            "nothing and report rarely")
                 .arg(topics.size())
                 .arg(topics.size() == 1 ? QString() : QStringLiteral("s"))
                 .arg(m_config.silentAfterSeconds)
                 .arg(named.join(QStringLiteral(", ")),
                      topics.size() > shownTopics ? QStringLiteral(" and %1 more").arg(topics.size() - shownTopics)
                                                  : QString()));
}

bool MqttBridge::roomForPrefixPort(const QString &topic, const QString &address)
{
    // Ports under the prefix are anybody's to make up: they have a bound of
    // their own, in count and bytes, so that configured ports always have room.
    if (m_prefixPorts >= maxPrefixPorts || m_prefixReportBytes + reportBytes(address) > maxPrefixReportBytes) {
        m_faults.report(
            QStringLiteral("prefix ports"),
            QStringLiteral("%1: more than %2 ports or %3 KiB of reports under the prefix; new ones are ignored")
                .arg(shown(topic))
                .arg(maxPrefixPorts)
                .arg(maxPrefixReportBytes / 1024));
        return false;
    }
    ++m_prefixPorts;
    m_prefixReportBytes += reportBytes(address);
    return true;
}

void MqttBridge::boundBacklogs()
{
    // Each session drops a panel that falls maxPanelBacklog behind by itself;
    // all of them together must not hold more than maxTotalBacklog either.
    qint64 total = 0;
    MsgServerSession *furthest = nullptr;
    qint64 furthestBytes = 0;
    for (auto it = m_panels.cbegin(); it != m_panels.cend(); ++it) {
        if (it->dropping)
            continue;
        const qint64 bytes = it.key()->socket()->bytesToWrite();
        total += bytes;
        if (bytes > furthestBytes) {
            furthest = it.key();
            furthestBytes = bytes;
        }
    }
    if (total > maxTotalBacklog && furthest) {
        drop(furthest,
             QStringLiteral("the panels together fall %1 MiB behind; the one furthest behind (%2 KiB) is dropped")
                 .arg(maxTotalBacklog >> 20)
                 .arg(furthestBytes >> 10));
    }
}

void MqttBridge::drop(MsgServerSession *session, const QString &why)
{
    Panel &panel = m_panels[session];
    if (panel.dropping)
        return;
    panel.dropping = true;
    complain(QStringLiteral("panel %1: %2").arg(peerOf(session), why));
    // The caller may be walking the panels: close on the next turn.
    QTimer::singleShot(0, session, &MsgServerSession::close);
}

void MqttBridge::makeRoomFor(const QString &addressKey)
{
    // Strangers that connect and say nothing must not keep panels out: the
    // oldest waiting connection makes room for the new one, first among
    // those from the same address.
    MsgServerSession *oldestThere = nullptr;
    int fromThere = 0;
    for (MsgServerSession *session : qAsConst(m_waiting)) {
        if (m_panels.value(session).addressKey != addressKey)
            continue;
        if (!oldestThere)
            oldestThere = session;
        ++fromThere;
    }
    MsgServerSession *victim = nullptr;
    if (fromThere >= maxWaitingPerAddress) {
        victim = oldestThere;
        m_faults.report(QStringLiteral("waiting ") + addressKey,
                        QStringLiteral("panel %1: more than %2 connections from there wait for their login; "
                                       "the oldest is closed")
                            .arg(addressKey)
                            .arg(maxWaitingPerAddress));
    } else if (m_waiting.size() >= maxWaiting) {
        victim = m_waiting.constFirst();
        m_faults.report(QStringLiteral("waiting"),
                        QStringLiteral("more than %1 connections wait for their login; the oldest (from %2) is closed")
                            .arg(maxWaiting)
                            .arg(m_panels.value(victim).addressKey));
    }
    if (victim) {
        m_waiting.removeOne(victim);
        victim->close();
    }
}

void MqttBridge::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (servesPanels()) {
            admit(socket);
        } else {
            socket->abort();
            socket->deleteLater();
        }
    }
}

void MqttBridge::admit(QTcpSocket *socket)
{
    const QString key = LoginThrottle::addressKey(socket->peerAddress());
    makeRoomFor(key);
    // Report lines go out as they come, not held back for the panel's
    // acknowledgement of the last one (Nagle).
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setReadBufferSize(panelReadBufferBytes);
    auto *session = new MsgServerSession(socket, this);
    session->setCredentials(m_config.panelUser, m_config.panelPassword);
    session->setLoginFirst(maxBytesBeforeLogin);
    session->setMaxBacklog(maxPanelBacklog);
    // The panel reconnects after a minute without a line from us; its own
    // keep-alive, answered, keeps a quiet installation connected.
    session->setEchoKeepAlive(true);
    Panel panel;
    panel.addressKey = key;
    m_panels.insert(session, panel);
    m_waiting << session;
    watchLogin(session);
    connect(session, &MsgServerSession::startRequested, this, [this, session] { onStartRequested(session); });
    connect(session, &MsgServerSession::portCommand, this,
            [this](const QString &object, int port, bool output, double value, const QString &valueText) {
                onPortCommand(object, port, output, valueText, value);
            });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, session] { continueDump(session); });
    connect(session, &MsgServerSession::closed, this, [this, session](const QString &reason) {
        qCDebug(lcBridge) << "panel gone:" << reason;
        m_panels.remove(session);
        m_waiting.removeOne(session);
        session->deleteLater();
        giveMemoryBack();
    });
    qCDebug(lcBridge) << "panel connected:" << socket->peerAddress();
}

void MqttBridge::watchLogin(MsgServerSession *session)
{
    // Lines are reported before they are handled: a login from an address
    // that has to wait is refused without a look at the password. A
    // connection that says nothing is closed after the login window.
    connect(session, &MsgServerSession::lineReceived, this, [this, session](const QByteArray &line) {
        if (session->isLoggedIn() || !line.startsWith('L'))
            return;
        Panel &panel = m_panels[session];
        panel.unchecked = !m_throttle.mayTry(panel.addressKey, m_clock.elapsed());
        session->setRefuseLogin(panel.unchecked);
    });
    connect(session, &MsgServerSession::loginRefused, this, [this, session] {
        const Panel &panel = m_panels[session];
        if (!panel.unchecked)
            m_throttle.failed(panel.addressKey, m_clock.elapsed());
        m_faults.report(QStringLiteral("login ") + panel.addressKey,
                        QStringLiteral("panel %1: wrong login; refused, and logins from there are slowed down")
                            .arg(panel.addressKey));
    });
    const QString key = m_panels.value(session).addressKey;
    QTimer::singleShot(loginWindowMs, session, [this, session, key] {
        if (session->isLoggedIn() || session->isClosed())
            return;
        m_faults.report(QStringLiteral("silent ") + key,
                        QStringLiteral("panel %1: no login within %2 s; closed").arg(key).arg(loginWindowMs / 1000));
        session->close();
    });
    connect(session, &MsgServerSession::loggedIn, this, [this, session] {
        m_waiting.removeOne(session);
        m_throttle.succeeded(m_panels[session].addressKey);
        if (m_panels.size() - m_waiting.size() > maxPanels) {
            complain(QStringLiteral("more than %1 panels; %2 refused").arg(maxPanels).arg(peerOf(session)));
            session->close();
        }
    });
}

void MqttBridge::onStartRequested(MsgServerSession *session)
{
    // The panel repeats its start request on every configuration answer; it
    // needs the values once, changes follow anyway.
    const bool first = !session->isStarted();
    session->acceptStart();
    if (!first || !session->isStarted())
        return;
    Panel &panel = m_panels[session];
    panel.dumping = true;
    panel.dumpedUpTo.clear();
    continueDump(session);
}

void MqttBridge::continueDump(MsgServerSession *session)
{
    // A new panel's reports go out as fast as it reads them, a chunk at a
    // time, so that a large table neither waits in memory nor gets the panel
    // dropped for falling behind.
    const auto found = m_panels.find(session);
    if (found == m_panels.end() || !found->dumping)
        return;
    const QTcpSocket *socket = session->socket();
    auto it = m_values.upperBound(found->dumpedUpTo);
    for (; it != m_values.cend() && socket->bytesToWrite() < dumpChunkBytes; ++it) {
        if (it->known)
            session->sendPort(it->id.object(), it->id.port(), it->id.isOutput(), it->value);
        else
            session->sendUnknown(it->id);
        found->dumpedUpTo = it.key();
    }
    if (it == m_values.cend()) {
        found->dumping = false;
        found->dumpedUpTo.clear();
    }
}

void MqttBridge::onPortCommand(const QString &object, int portNumber, bool output, const QString &valueText,
                               double value)
{
    const PortId id(output ? PortId::Out : PortId::In, object, portNumber);
    const QString address = id.toAddress();
    if (!output) {
        m_faults.report(QStringLiteral("command ") + address,
                        QStringLiteral("command for %1: an input port takes no commands; not sent").arg(address));
        return;
    }
    BridgeConfig::Port port;
    const auto configured = m_portsByAddress.constFind(address);
    if (configured != m_portsByAddress.constEnd()) {
        port = m_config.ports.at(configured.value());
    } else {
        if (m_config.prefix.isEmpty() || !BridgeConfig::carries(id)) {
            m_faults.report(QStringLiteral("command ") + address,
                            QStringLiteral("command for %1: no such port in the configuration; not sent").arg(address));
            return;
        }
        port.id = id;
        port.command.topic = m_config.prefixState(id) + QStringLiteral("/set");
    }
    QByteArray payload;
    QString reason;
    if (!port.command.payload(port.mapping, value, valueText, &payload, &reason)) {
        m_faults.report(QStringLiteral("command value ") + address,
                        QStringLiteral("command for %1: %2; not sent").arg(address, reason));
        return;
    }
    if (!publish(port.command.topic, payload, &reason, port.command.qos, port.command.retain)) {
        // A panel may send any number of them (object names with "#" make
        // topics no broker takes): the first, then a count.
        m_faults.report(QStringLiteral("command not sent ") + reason,
                        QStringLiteral("command for %1 to %2 not sent: %3").arg(address, port.command.topic, reason));
        return;
    }
    qCDebug(lcBridge) << "command" << address << "->" << port.command.topic << payload;
}

void MqttBridge::dropPanels(const QString &reason)
{
    qCDebug(lcBridge) << "dropping" << m_panels.size() << "panels:" << reason;
    const QList<MsgServerSession *> all = m_panels.keys();
    for (MsgServerSession *session : all)
        session->close();
}

void MqttBridge::onAvailability(const QString &topic, const QByteArray &payload)
{
    QStringList gone;
    QStringList back;
    QStringList unknown;
    QList<int> backPorts;
    for (const int index : m_portsByAvailability.value(topic)) {
        const BridgeConfig::Port &port = m_config.ports.at(index);
        const Availability::State state = port.availability.read(payload);
        if (state == Availability::Unknown) {
            unknown << port.address();
            continue;
        }
        QSet<QString> &offline = m_offlineTopics[index];
        const bool wasOffline = !offline.isEmpty();
        if (state == Availability::Offline)
            offline.insert(topic);
        else
            offline.remove(topic);
        if (wasOffline == !offline.isEmpty())
            continue;
        if (wasOffline) {
            --m_offlinePorts;
            back << port.address();
            backPorts << index;
        } else {
            // Unknown to every panel, at once and at its start.
            ++m_offlinePorts;
            forget(port.address());
            gone << port.address();
        }
    }
    const auto listed = [](const QStringList &addresses) {
        return addresses.size() <= 5 ? addresses.join(QStringLiteral(", "))
                                     : QStringLiteral("%1 and %2 more")
                                           .arg(addresses.mid(0, 5).join(QStringLiteral(", ")))
                                           .arg(addresses.size() - 5);
    };
    // One fault per message, however many ports share the topic.
    if (!unknown.isEmpty()) {
        m_faults.report(QStringLiteral("availability ") + topic,
                        QStringLiteral("%1 (availability of %2): neither online nor offline: \"%3\"; ignored")
                            .arg(shown(topic), listed(unknown), QString::fromUtf8(payload.left(40))));
    }
    if (!gone.isEmpty())
        complain(QStringLiteral("%1: offline; %2 unknown to the panels until it is back").arg(topic, listed(gone)));
    if (!back.isEmpty()) {
        say(QStringLiteral("%1: online; %2 reported again").arg(topic, listed(back)));
        refresh(backPorts);
    }
    updateServing();
}

void MqttBridge::updateServing()
{
    // Every device out of reach is an installation without live values: the
    // panels then show the stale look, as without a broker. One device of
    // many is not; its items keep what they show.
    const bool none = !m_config.ports.isEmpty() && m_offlinePorts == m_config.ports.size() && m_knownValues == 0;
    if (none == m_noDeviceReachable)
        return;
    m_noDeviceReachable = none;
    if (none) {
        complain(QStringLiteral("no device is reachable; panels are refused until one is back"));
        closeForPanels(QStringLiteral("no device reachable"));
    } else {
        openForPanels();
        say(QStringLiteral("a device is reachable again; panels are taken again"));
    }
}

bool MqttBridge::servesPanels() const
{
    return m_broker->isConnected() && !m_noDeviceReachable;
}

void MqttBridge::refresh(const QList<int> &indices)
{
    QSet<QPair<QString, QByteArray>> asked;
    for (const int index : indices) {
        const BridgeConfig::Port &port = m_config.ports.at(index);
        if (port.refreshTopic.isEmpty() || !m_offlineTopics.at(index).isEmpty())
            continue;
        const QPair<QString, QByteArray> request{port.refreshTopic, port.refreshPayload};
        if (asked.contains(request))
            continue;
        asked.insert(request);
        QString reason;
        if (!publish(port.refreshTopic, port.refreshPayload, &reason)) {
            m_faults.report(
                QStringLiteral("refresh ") + port.refreshTopic,
                QStringLiteral("refresh for %1 to %2 not sent: %3").arg(port.address(), port.refreshTopic, reason));
        }
    }
}

bool MqttBridge::readsTopic(const QString &topic) const
{
    BridgeConfig::Port port;
    return m_portsByTopic.contains(topic) || m_portsByAvailability.contains(topic) || m_config.prefixPort(topic, &port);
}

bool MqttBridge::publish(const QString &topic, const QByteArray &payload, QString *reason, int qos, bool retain)
{
    if (!m_broker->publish(topic, payload, reason, qos, retain))
        return false;
    if (m_broker->echoesOwnPublishes() && readsTopic(topic) && !m_echoes.published(topic, payload, m_clock.elapsed()))
        qCDebug(lcBridge) << "too many publishes waiting for their echo; this one will read as a report:" << topic;
    return true;
}
