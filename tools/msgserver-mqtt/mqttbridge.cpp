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
    settings.maxTopicBytes = BridgeConfig::maxTopicBytes;
    settings.maxPayloadBytes = PayloadMapping::maxPayloadBytes;
    // Availability first: a broker sends the retained messages in the order
    // of the subscriptions, so a device known to be out of reach is known
    // before its last state arrives.
    for (const BridgeConfig::Port &port : config.ports)
        settings.topics << port.availability.topics;
    for (const BridgeConfig::Port &port : config.ports) {
        for (const BridgeConfig::Port::State &state : port.states)
            settings.topics << state.topic;
    }
    settings.topics.removeDuplicates();
    if (!config.prefix.isEmpty())
        settings.topics << config.prefix + QStringLiteral("/#");
    return settings;
}

MqttBridge::MqttBridge(const BridgeConfig &c, QObject *parent)
    : QObject(parent), config(c), faults(complain)
{
    offlineTopics.resize(config.ports.size());
    for (int i = 0; i < config.ports.size(); ++i) {
        const BridgeConfig::Port &port = config.ports.at(i);
        for (int s = 0; s < port.states.size(); ++s)
            portsByTopic[port.states.at(s).topic] << Route{i, s};
        for (const QString &topic : port.availability.topics)
            portsByAvailability[topic] << i;
        portsByAddress.insert(port.address(), i);
    }

    broker = new MqttConnection(brokerSettings(config), this);
    connect(broker, &MqttConnection::message, this, &MqttBridge::onMessage);
    connect(broker, &MqttConnection::connected, this, [this] {
        echoes.clear();
        // Sent after the subscriptions, so the answers find them in place.
        QList<int> all;
        for (int i = 0; i < config.ports.size(); ++i)
            all << i;
        refresh(all);
        // Open before saying so: whoever reads the line may connect at once.
        openForPanels();
        say(QStringLiteral("broker %1 connected").arg(config.url));
        emit brokerConnected();
    });
    connect(broker, &MqttConnection::connectionLost, this, &MqttBridge::onBrokerLost);
    reportBrokerFaults();
    connect(&server, &QTcpServer::newConnection, this, &MqttBridge::onNewConnection);
    setUpTimers();
}

void MqttBridge::reportBrokerFaults()
{
    // Each once, then counted: a broker that refuses keeps refusing.
    connect(broker, &MqttConnection::attemptFailed, this, [this](const QString &reason, int retryMs) {
        faults.report(QStringLiteral("attempt ") + reason, QStringLiteral("broker %1: %2; next attempt in %3 s")
                                                              .arg(config.url, reason).arg(retryMs / 1000));
    });
    connect(broker, &MqttConnection::messageRefused, this, [this](const QString &topic, const QString &reason) {
        faults.report(QStringLiteral("topic ") + topic, QStringLiteral("%1: %2; ignored").arg(shown(topic), reason));
    });
    connect(broker, &MqttConnection::subscriptionRefused, this, [this](const QString &topic, const QString &reason) {
        faults.report(QStringLiteral("subscription ") + topic,
                      QStringLiteral("broker %1 refused the subscription to %2: %3").arg(config.url, topic, reason));
    });
    connect(broker, &MqttConnection::publishFailed, this, [this](const QString &topic, const QString &reason) {
        faults.report(QStringLiteral("publish ") + topic,
                      QStringLiteral("command to %1 not taken by the broker: %2").arg(topic, reason));
    });
}

void MqttBridge::setUpTimers()
{
    relisten.setSingleShot(true);
    connect(&relisten, &QTimer::timeout, this, &MqttBridge::openForPanels);
    faultFlush.start(faultFlushMs);
    connect(&faultFlush, &QTimer::timeout, this, [this] { faults.flush(); });
    trim.setSingleShot(true);
    trim.setInterval(trimDelayMs);
    connect(&trim, &QTimer::timeout, this, [] {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    });
    clock.start();
}

void MqttBridge::onBrokerLost(const QString &reason)
{
    complain(QStringLiteral("broker %1: connection lost (%2); panels are refused until it is back").arg(config.url, reason));
    closeForPanels(QStringLiteral("broker lost"));
    // What it reported may be stale by the time it is back; its retained
    // messages bring the values again, and the devices' availability.
    values.clear();
    offlineTopics.fill(QSet<QString>());
    offlinePorts = 0;
    noDeviceReachable = false;
    prefixPorts = 0;
    prefixReportBytes = 0;
    giveMemoryBack();
    emit brokerLost();
}

MqttBridge::~MqttBridge()
{
    // Sessions are children; their closed() must not reach a half-destroyed bridge.
    for (auto it = panels.cbegin(); it != panels.cend(); ++it)
        it.key()->disconnect(this);
}

bool MqttBridge::listen(const QHostAddress &address, quint16 port)
{
    server.setMaxPendingConnections(maxWaiting);
    if (!server.listen(address, port))
        return false;
    listenAddress = address;
    listenPort = server.serverPort();
    if (!servesPanels())
        server.close();
    return true;
}

void MqttBridge::openForPanels()
{
    if (server.isListening() || !servesPanels() || listenPort == 0)
        return;
    if (!server.listen(listenAddress, listenPort)) {
        faults.report(QStringLiteral("listen"), QStringLiteral("cannot listen on %1:%2 again: %3; trying every %4 s")
                                                    .arg(listenAddress.toString()).arg(listenPort)
                                                    .arg(server.errorString()).arg(relistenMs / 1000));
        relisten.start(relistenMs);
    }
}

void MqttBridge::closeForPanels(const QString &reason)
{
    // Closed, not accepting and dropping: a panel that cannot connect shows
    // the connection lost, and after -stale its values as stale, whatever
    // rule it has for a connection that comes and goes.
    server.close();
    relisten.stop();
    dropPanels(reason);
}

void MqttBridge::start()
{
    broker->start();
}

void MqttBridge::giveMemoryBack()
{
    // A flood's buffers are freed in small pieces that the allocator keeps;
    // return them, so that the peak does not stay for months.
    if (!trim.isActive())
        trim.start();
}

void MqttBridge::onMessage(const QString &topic, const QByteArray &payload)
{
    if (!echoes.isEmpty() && echoes.takeEcho(topic, payload, clock.elapsed())) {
        qCDebug(lcBridge) << "own publish back from the broker, not a report:" << topic;
        return;
    }
    if (portsByAvailability.contains(topic))
        onAvailability(topic, payload);
    const auto found = portsByTopic.constFind(topic);
    if (found != portsByTopic.constEnd()) {
        for (const Route &route : found.value()) {
            // Whatever an unreachable device's topic still carries is not its state now.
            if (!offlineTopics.at(route.port).isEmpty())
                continue;
            const BridgeConfig::Port &port = config.ports.at(route.port);
            apply(port, port.states.at(route.state).path, topic, payload);
        }
        return;
    }
    if (portsByAvailability.contains(topic))
        return;
    BridgeConfig::Port port;
    if (!config.prefixPort(topic, &port)) {
        const QString fault = config.prefixTopicFault(topic);
        if (!fault.isEmpty())
            faults.report(QStringLiteral("topic ") + topic, QStringLiteral("%1: %2; ignored").arg(shown(topic), fault));
        else
            qCDebug(lcBridge) << "not a port topic:" << topic;
        return;
    }
    // A port with a section of its own has its state elsewhere.
    if (portsByAddress.contains(port.address()))
        return;
    apply(port, ValuePath(), topic, payload);
}

void MqttBridge::apply(const BridgeConfig::Port &port, const ValuePath &path, const QString &topic,
                       const QByteArray &payload)
{
    double value = 0.0;
    QString reason;
    if (!port.mapping.toValue(payload, path, &value, &reason)) {
        faults.report(QStringLiteral("topic %1 for %2").arg(topic, port.address()),
                      QStringLiteral("%1 (for %2): %3; ignored").arg(shown(topic), shown(port.address()), reason));
        return;
    }
    const QString address = port.address();
    auto known = values.find(address);
    if (known == values.end()) {
        if (port.line == 0 && !roomForPrefixPort(topic, address))
            return;
        known = values.insert(address, Value{port.id, value});
        if (noDeviceReachable)
            updateServing();
    } else if (known->value == value) {
        return; // the panels have it already
    } else {
        known->value = value;
    }
    qCDebug(lcBridge) << topic << "->" << address << value;
    for (auto it = panels.cbegin(); it != panels.cend(); ++it) {
        // A panel still getting its first reports gets this one with them.
        if (it->dumping && address > it->dumpedUpTo)
            continue;
        it.key()->sendPort(port.id.object(), port.id.port(), port.id.isOutput(), value);
    }
    boundBacklogs();
}

bool MqttBridge::roomForPrefixPort(const QString &topic, const QString &address)
{
    // Ports under the prefix are anybody's to make up: they have a bound of
    // their own, in count and bytes, so that configured ports always have room.
    if (prefixPorts >= maxPrefixPorts || prefixReportBytes + reportBytes(address) > maxPrefixReportBytes) {
        faults.report(QStringLiteral("prefix ports"),
                      QStringLiteral("%1: more than %2 ports or %3 KiB of reports under the prefix; new ones are ignored")
                          .arg(shown(topic)).arg(maxPrefixPorts).arg(maxPrefixReportBytes / 1024));
        return false;
    }
    ++prefixPorts;
    prefixReportBytes += reportBytes(address);
    return true;
}

void MqttBridge::boundBacklogs()
{
    // Each session drops a panel that falls maxPanelBacklog behind by itself;
    // all of them together must not hold more than maxTotalBacklog either.
    qint64 total = 0;
    MsgServerSession *furthest = nullptr;
    qint64 furthestBytes = 0;
    for (auto it = panels.cbegin(); it != panels.cend(); ++it) {
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
        drop(furthest, QStringLiteral("the panels together fall %1 MiB behind; the one furthest behind (%2 KiB) is dropped")
                           .arg(maxTotalBacklog >> 20).arg(furthestBytes >> 10));
    }
}

void MqttBridge::drop(MsgServerSession *session, const QString &why)
{
    Panel &panel = panels[session];
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
    for (MsgServerSession *session : qAsConst(waiting)) {
        if (panels.value(session).addressKey != addressKey)
            continue;
        if (!oldestThere)
            oldestThere = session;
        ++fromThere;
    }
    MsgServerSession *victim = nullptr;
    if (fromThere >= maxWaitingPerAddress) {
        victim = oldestThere;
        faults.report(QStringLiteral("waiting ") + addressKey,
                      QStringLiteral("panel %1: more than %2 connections from there wait for their login; "
                                     "the oldest is closed").arg(addressKey).arg(maxWaitingPerAddress));
    } else if (waiting.size() >= maxWaiting) {
        victim = waiting.constFirst();
        faults.report(QStringLiteral("waiting"),
                      QStringLiteral("more than %1 connections wait for their login; the oldest (from %2) is closed")
                          .arg(maxWaiting).arg(panels.value(victim).addressKey));
    }
    if (victim) {
        waiting.removeOne(victim);
        victim->close();
    }
}

void MqttBridge::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
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
    session->setCredentials(config.panelUser, config.panelPassword);
    session->setLoginFirst(maxBytesBeforeLogin);
    session->setMaxBacklog(maxPanelBacklog);
    // The panel reconnects after a minute without a line from us; its own
    // keep-alive, answered, keeps a quiet installation connected.
    session->setEchoKeepAlive(true);
    Panel panel;
    panel.addressKey = key;
    panels.insert(session, panel);
    waiting << session;
    watchLogin(session);
    connect(session, &MsgServerSession::startRequested, this, [this, session] { onStartRequested(session); });
    connect(session, &MsgServerSession::portCommand, this,
            [this](const QString &object, int port, bool output, double value, const QString &valueText) {
                onPortCommand(object, port, output, valueText, value);
            });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, session] { continueDump(session); });
    connect(session, &MsgServerSession::closed, this, [this, session](const QString &reason) {
        qCDebug(lcBridge) << "panel gone:" << reason;
        panels.remove(session);
        waiting.removeOne(session);
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
        Panel &panel = panels[session];
        panel.unchecked = !throttle.mayTry(panel.addressKey, clock.elapsed());
        session->setRefuseLogin(panel.unchecked);
    });
    connect(session, &MsgServerSession::loginRefused, this, [this, session] {
        const Panel &panel = panels[session];
        if (!panel.unchecked)
            throttle.failed(panel.addressKey, clock.elapsed());
        faults.report(QStringLiteral("login ") + panel.addressKey,
                      QStringLiteral("panel %1: wrong login; refused, and logins from there are slowed down")
                          .arg(panel.addressKey));
    });
    const QString key = panels.value(session).addressKey;
    QTimer::singleShot(loginWindowMs, session, [this, session, key] {
        if (session->isLoggedIn() || session->isClosed())
            return;
        faults.report(QStringLiteral("silent ") + key,
                      QStringLiteral("panel %1: no login within %2 s; closed").arg(key).arg(loginWindowMs / 1000));
        session->close();
    });
    connect(session, &MsgServerSession::loggedIn, this, [this, session] {
        waiting.removeOne(session);
        throttle.succeeded(panels[session].addressKey);
        if (panels.size() - waiting.size() > maxPanels) {
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
    Panel &panel = panels[session];
    panel.dumping = true;
    panel.dumpedUpTo.clear();
    continueDump(session);
}

void MqttBridge::continueDump(MsgServerSession *session)
{
    // A new panel's reports go out as fast as it reads them, a chunk at a
    // time, so that a large table neither waits in memory nor gets the panel
    // dropped for falling behind.
    const auto found = panels.find(session);
    if (found == panels.end() || !found->dumping)
        return;
    const QTcpSocket *socket = session->socket();
    auto it = values.upperBound(found->dumpedUpTo);
    for (; it != values.cend() && socket->bytesToWrite() < dumpChunkBytes; ++it) {
        session->sendPort(it->id.object(), it->id.port(), it->id.isOutput(), it->value);
        found->dumpedUpTo = it.key();
    }
    if (it == values.cend()) {
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
        faults.report(QStringLiteral("command ") + address,
                      QStringLiteral("command for %1: an input port takes no commands; not sent").arg(address));
        return;
    }
    BridgeConfig::Port port;
    const auto configured = portsByAddress.constFind(address);
    if (configured != portsByAddress.constEnd()) {
        port = config.ports.at(configured.value());
    } else {
        if (config.prefix.isEmpty() || !BridgeConfig::carries(id)) {
            faults.report(QStringLiteral("command ") + address,
                          QStringLiteral("command for %1: no such port in the configuration; not sent").arg(address));
            return;
        }
        port.id = id;
        port.command = config.prefixState(id) + QStringLiteral("/set");
    }
    QByteArray payload;
    QString reason;
    if (!port.mapping.commandPayload(value, valueText, &payload, &reason)) {
        faults.report(QStringLiteral("command value ") + address,
                      QStringLiteral("command for %1: %2; not sent").arg(address, reason));
        return;
    }
    if (!publish(port.command, payload, &reason)) {
        complain(QStringLiteral("command for %1 to %2 not sent: %3").arg(address, port.command, reason));
        return;
    }
    qCDebug(lcBridge) << "command" << address << "->" << port.command << payload;
}

void MqttBridge::dropPanels(const QString &reason)
{
    qCDebug(lcBridge) << "dropping" << panels.size() << "panels:" << reason;
    const QList<MsgServerSession *> all = panels.keys();
    for (MsgServerSession *session : all)
        session->close();
}

void MqttBridge::onAvailability(const QString &topic, const QByteArray &payload)
{
    QStringList gone;
    QStringList back;
    QStringList unknown;
    QList<int> backPorts;
    for (const int index : portsByAvailability.value(topic)) {
        const BridgeConfig::Port &port = config.ports.at(index);
        const Availability::State state = port.availability.read(payload);
        if (state == Availability::Unknown) {
            unknown << port.address();
            continue;
        }
        QSet<QString> &offline = offlineTopics[index];
        const bool wasOffline = !offline.isEmpty();
        if (state == Availability::Offline)
            offline.insert(topic);
        else
            offline.remove(topic);
        if (wasOffline == !offline.isEmpty())
            continue;
        if (wasOffline) {
            --offlinePorts;
            back << port.address();
            backPorts << index;
        } else {
            // Panels that start from now on get no value for it; those that
            // were stale keep the stale look on its items.
            ++offlinePorts;
            values.remove(port.address());
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
        faults.report(QStringLiteral("availability ") + topic,
                      QStringLiteral("%1 (availability of %2): neither online nor offline: \"%3\"; ignored")
                          .arg(shown(topic), listed(unknown), QString::fromUtf8(payload.left(40))));
    }
    if (!gone.isEmpty())
        complain(QStringLiteral("%1: offline; %2 not reported until it is back").arg(topic, listed(gone)));
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
    const bool none = !config.ports.isEmpty() && offlinePorts == config.ports.size() && values.isEmpty();
    if (none == noDeviceReachable)
        return;
    noDeviceReachable = none;
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
    return broker->isConnected() && !noDeviceReachable;
}

void MqttBridge::refresh(const QList<int> &indices)
{
    QSet<QPair<QString, QByteArray>> asked;
    for (const int index : indices) {
        const BridgeConfig::Port &port = config.ports.at(index);
        if (port.refreshTopic.isEmpty() || !offlineTopics.at(index).isEmpty())
            continue;
        const QPair<QString, QByteArray> request{port.refreshTopic, port.refreshPayload};
        if (asked.contains(request))
            continue;
        asked.insert(request);
        QString reason;
        if (!publish(port.refreshTopic, port.refreshPayload, &reason)) {
            faults.report(QStringLiteral("refresh ") + port.refreshTopic,
                          QStringLiteral("refresh for %1 to %2 not sent: %3").arg(port.address(), port.refreshTopic, reason));
        }
    }
}

bool MqttBridge::readsTopic(const QString &topic) const
{
    BridgeConfig::Port port;
    return portsByTopic.contains(topic) || portsByAvailability.contains(topic) || config.prefixPort(topic, &port);
}

bool MqttBridge::publish(const QString &topic, const QByteArray &payload, QString *reason)
{
    if (!broker->publish(topic, payload, reason))
        return false;
    if (broker->echoesOwnPublishes() && readsTopic(topic) && !echoes.published(topic, payload, clock.elapsed()))
        qCDebug(lcBridge) << "too many publishes waiting for their echo; this one will read as a report:" << topic;
    return true;
}
