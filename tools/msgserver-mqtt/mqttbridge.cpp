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

MqttBridge::MqttBridge(const BridgeConfig &c, QObject *parent)
    : QObject(parent), config(c)
{
    MqttConnection::Settings settings;
    settings.host = config.host;
    settings.port = config.brokerPort;
    settings.tls = config.tls;
    settings.cafile = config.cafile;
    settings.clientId = config.clientId;
    settings.user = config.brokerUser;
    settings.password = config.brokerPassword;
    for (int i = 0; i < config.ports.size(); ++i) {
        const BridgeConfig::Port &port = config.ports.at(i);
        if (!portsByTopic.contains(port.state))
            settings.topics << port.state;
        portsByTopic[port.state] << i;
        portsByAddress.insert(port.address(), i);
    }
    if (!config.prefix.isEmpty())
        settings.topics << config.prefix + QStringLiteral("/#");

    broker = new MqttConnection(settings, this);
    connect(broker, &MqttConnection::message, this, &MqttBridge::onMessage);
    connect(broker, &MqttConnection::connected, this, [this] {
        say(QStringLiteral("broker %1 connected").arg(config.url));
        emit brokerConnected();
    });
    connect(broker, &MqttConnection::connectionLost, this, [this](const QString &reason) {
        complain(QStringLiteral("broker %1: connection lost (%2); panels are refused until it is back")
                     .arg(config.url, reason));
        dropPanels(QStringLiteral("broker lost"));
        // What it reported may be stale by the time it is back; its retained
        // messages bring the values again.
        values.clear();
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
    const auto found = portsByTopic.constFind(topic);
    if (found != portsByTopic.constEnd()) {
        for (const int index : found.value())
            apply(config.ports.at(index), topic, payload);
        return;
    }
    BridgeConfig::Port port;
    if (!config.prefixPort(topic, &port)) {
        qCDebug(lcBridge) << "not a port topic:" << topic;
        return;
    }
    // A port with a section of its own has its state elsewhere.
    if (portsByAddress.contains(port.address()))
        return;
    apply(port, topic, payload);
}

void MqttBridge::apply(const BridgeConfig::Port &port, const QString &topic, const QByteArray &payload)
{
    double value = 0.0;
    QString reason;
    if (!port.mapping.toValue(payload, &value, &reason)) {
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
        if (!broker->isConnected() || sessions.size() >= maxPanels) {
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
        port.state = config.prefixState(object, portNumber, output);
        port.command = port.state + QStringLiteral("/set");
    }
    QByteArray payload;
    if (!port.mapping.commandPayload(value, valueText, &payload)) {
        warnOnce(QStringLiteral("command value ") + address,
                 QStringLiteral("command for %1: value \"%2\" is not a number; not sent").arg(address, valueText.left(40)));
        return;
    }
    QString reason;
    if (!broker->publish(port.command, payload, &reason)) {
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
