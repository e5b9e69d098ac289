#include "mqttbridge.h"

#include "mqttconnection.h"
#include "core/net/msgserversession.h"

#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

Q_LOGGING_CATEGORY(lcBridge, "qalix.mqtt.bridge")

namespace {

// A panel that has not logged in by then is not a panel.
constexpr int loginTimeoutMs = 30000;

void complain(const QString &text)
{
    std::fprintf(stderr, "msgserver-mqtt: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
}

void say(const QString &text)
{
    std::fprintf(stdout, "%s\n", qUtf8Printable(text));
    std::fflush(stdout);
}

} // namespace

MqttConnection::Settings MqttBridge::brokerSettings(const BridgeConfig &config)
{
    MqttConnection::Settings settings;
    settings.host = config.host;
    settings.port = config.brokerPort;
    settings.tls = config.tls;
    settings.cafile = config.cafile;
    settings.clientId = config.clientId;
    settings.user = config.brokerUser;
    settings.password = config.brokerPassword;
    settings.persistent = config.persistentSession;
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
    : QObject(parent), config(c)
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
    clock.start();

    broker = new MqttConnection(brokerSettings(config), this);
    connect(broker, &MqttConnection::message, this, &MqttBridge::onMessage);
    connect(broker, &MqttConnection::connected, this, [this] {
        say(QStringLiteral("broker %1 connected").arg(config.url));
        echoes.clear();
        // Sent after the subscriptions, so the answers find them in place.
        QList<int> all;
        for (int i = 0; i < config.ports.size(); ++i)
            all << i;
        refresh(all);
        emit brokerConnected();
    });
    connect(broker, &MqttConnection::connectionLost, this, [this](const QString &reason) {
        complain(QStringLiteral("broker %1: connection lost (%2); panels are refused until it is back")
                     .arg(config.url, reason));
        dropPanels(QStringLiteral("broker lost"));
        // What it reported may be stale by the time it is back; its retained
        // messages bring the values again, and the devices' availability.
        values.clear();
        offlineTopics.fill(QSet<QString>());
        offlinePorts = 0;
        noDeviceReachable = false;
        emit brokerLost();
    });
    connect(broker, &MqttConnection::attemptFailed, this, [this](const QString &reason, int retryMs) {
        complain(QStringLiteral("broker %1: %2; next attempt in %3 s").arg(config.url, reason).arg(retryMs / 1000));
    });
    connect(broker, &MqttConnection::subscriptionRefused, this, [this](const QString &topic) {
        complain(QStringLiteral("broker %1 refused the subscription to %2").arg(config.url, topic));
    });
    connect(&server, &QTcpServer::newConnection, this, &MqttBridge::onNewConnection);
}

MqttBridge::~MqttBridge()
{
    // Sessions are children; their closed() must not reach a half-destroyed bridge.
    for (MsgServerSession *session : qAsConst(sessions))
        session->disconnect(this);
}

bool MqttBridge::listen(const QHostAddress &address, quint16 port)
{
    server.setMaxPendingConnections(maxPanels);
    return server.listen(address, port);
}

void MqttBridge::start()
{
    broker->start();
}

void MqttBridge::warnOnce(const QString &key, const QString &text)
{
    if (warned.contains(key) || warned.size() > maxWarnings)
        return;
    warned.insert(key);
    complain(warned.size() > maxWarnings ? QStringLiteral("too many faults; no further ones are reported") : text);
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
        warnOnce(QStringLiteral("topic ") + topic, QStringLiteral("%1 (for %2): %3; ignored")
                                                        .arg(topic, port.address(), reason));
        return;
    }
    const QString address = port.address();
    auto known = values.find(address);
    if (known == values.end()) {
        if (values.size() >= maxPorts) {
            warnOnce(QStringLiteral("ports"), QStringLiteral("more than %1 ports; new ones are ignored").arg(maxPorts));
            return;
        }
        known = values.insert(address, Value{port.object, port.port, port.output, value});
        if (noDeviceReachable)
            updateServing();
    } else if (known->value == value) {
        return; // the panels have it already
    } else {
        known->value = value;
    }
    qCDebug(lcBridge) << topic << "->" << address << value;
    for (MsgServerSession *session : qAsConst(sessions)) {
        if (!session->sendPort(port.object, port.port, port.output, value))
            continue;
        // A panel that stops reading would grow our buffer without end.
        if (session->socket()->bytesToWrite() > maxPanelBacklog) {
            complain(QStringLiteral("panel %1 does not keep up; dropped")
                         .arg(session->socket()->peerAddress().toString()));
            QTimer::singleShot(0, session, &MsgServerSession::close);
        }
    }
}

void MqttBridge::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        if (!servesPanels() || sessions.size() >= maxPanels) {
            if (sessions.size() >= maxPanels)
                complain(QStringLiteral("more than %1 panels; %2 refused").arg(maxPanels).arg(socket->peerAddress().toString()));
            qCDebug(lcBridge) << "panel refused:" << socket->peerAddress();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *session = new MsgServerSession(socket, this);
        session->setCredentials(config.panelUser, config.panelPassword);
        // The panel reconnects after a minute without a line from us; its own
        // keep-alive, answered, keeps a quiet installation connected.
        session->setEchoKeepAlive(true);
        sessions << session;
        connect(session, &MsgServerSession::startRequested, this, [this, session] { onStartRequested(session); });
        connect(session, &MsgServerSession::portCommand, this,
                [this](const QString &object, int port, bool output, double value, const QString &valueText) {
                    onPortCommand(object, port, output, valueText, value);
                });
        connect(session, &MsgServerSession::loginRefused, this, [session] {
            complain(QStringLiteral("panel %1: wrong login; refused").arg(session->socket()->peerAddress().toString()));
        });
        connect(session, &MsgServerSession::closed, this, [this, session](const QString &reason) {
            qCDebug(lcBridge) << "panel gone:" << reason;
            sessions.removeOne(session);
            session->deleteLater();
        });
        QTimer::singleShot(loginTimeoutMs, session, [session] {
            if (!session->isLoggedIn())
                session->close();
        });
        qCDebug(lcBridge) << "panel connected:" << socket->peerAddress();
    }
}

void MqttBridge::onStartRequested(MsgServerSession *session)
{
    // The panel repeats its start request on every configuration answer; it
    // needs the values once, changes follow anyway.
    const bool first = !session->isStarted();
    session->acceptStart();
    if (!first)
        return;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        session->sendPort(it->object, it->port, it->output, it->value);
}

void MqttBridge::onPortCommand(const QString &object, int portNumber, bool output, const QString &valueText,
                               double value)
{
    const QString address = (output ? QStringLiteral("OUT.") : QStringLiteral("IN.")) + object + QLatin1Char('.')
        + QString::number(portNumber);
    if (!output) {
        warnOnce(QStringLiteral("command ") + address,
                 QStringLiteral("command for %1: an input port takes no commands; not sent").arg(address));
        return;
    }
    BridgeConfig::Port port;
    const auto configured = portsByAddress.constFind(address);
    if (configured != portsByAddress.constEnd()) {
        port = config.ports.at(configured.value());
    } else {
        QString checkedObject;
        int checkedPort = 0;
        bool checkedOutput = false;
        if (config.prefix.isEmpty()
            || !BridgeConfig::parseAddress(address, &checkedObject, &checkedPort, &checkedOutput)) {
            warnOnce(QStringLiteral("command ") + address,
                     QStringLiteral("command for %1: no such port in the configuration; not sent").arg(address));
            return;
        }
        port.object = object;
        port.port = portNumber;
        port.output = output;
        port.command = config.prefixState(object, portNumber, output) + QStringLiteral("/set");
    }
    QByteArray payload;
    QString reason;
    if (!port.mapping.commandPayload(value, valueText, &payload, &reason)) {
        warnOnce(QStringLiteral("command value ") + address,
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
    qCDebug(lcBridge) << "dropping" << sessions.size() << "panels:" << reason;
    const QList<MsgServerSession *> all = sessions;
    for (MsgServerSession *session : all)
        session->close();
}

void MqttBridge::onAvailability(const QString &topic, const QByteArray &payload)
{
    QStringList gone;
    QStringList back;
    QList<int> backPorts;
    for (const int index : portsByAvailability.value(topic)) {
        const BridgeConfig::Port &port = config.ports.at(index);
        const Availability::State state = port.availability.read(payload);
        if (state == Availability::Unknown) {
            warnOnce(QStringLiteral("availability ") + topic,
                     QStringLiteral("%1 (availability of %2): neither online nor offline: \"%3\"; ignored")
                         .arg(topic, port.address(), QString::fromUtf8(payload.left(40))));
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
        dropPanels(QStringLiteral("no device reachable"));
    } else {
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
        if (!publish(port.refreshTopic, port.refreshPayload, &reason))
            complain(QStringLiteral("refresh for %1 to %2 not sent: %3").arg(port.address(), port.refreshTopic, reason));
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
