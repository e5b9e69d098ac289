#include "bridgecheck.h"

#include "bridgelog.h"
#include "mqttbridge.h"
#include "mqttconnection.h"

#include <QCoreApplication>

namespace {

void say(const QString &text)
{
    qCInfo(lcCheck).noquote() << text;
}

} // namespace

BridgeCheck::BridgeCheck(const BridgeConfig &c, QObject *parent)
    : QObject(parent)
    , m_config(c)
{
    MqttConnection::Settings settings = MqttBridge::brokerSettings(m_config);
    settings.clientId += QStringLiteral("-check");
    settings.persistent = false;
    for (const BridgeConfig::Port &port : qAsConst(m_config.ports)) {
        for (const BridgeConfig::Port::State &state : port.states) {
            if (!m_stateTopics.contains(state.topic))
                m_stateTopics << state.topic;
        }
    }
    m_broker = new MqttConnection(settings, this);
    connect(m_broker, &MqttConnection::attemptFailed, this, [this](const QString &reason) {
        problem(QStringLiteral("broker %1: %2").arg(m_config.url, reason));
        finish();
    });
    connect(m_broker, &MqttConnection::connectionLost, this, [this](const QString &reason) {
        problem(QStringLiteral("broker %1: connection lost: %2").arg(m_config.url, reason));
        finish();
    });
    connect(m_broker, &MqttConnection::connected, this, [this, settings] {
        say(QStringLiteral("broker %1: connected as %2 (%3)")
                .arg(m_config.url, settings.clientId,
                     m_broker->echoesOwnPublishes() ? QStringLiteral("MQTT 3.1.1") : QStringLiteral("MQTT 5")));
    });
    connect(m_broker, &MqttConnection::subscriptionRefused, this, [this](const QString &topic, const QString &reason) {
        problem(QStringLiteral("the broker refused the subscription to %1: %2").arg(topic, reason));
    });
    connect(m_broker, &MqttConnection::messageRefused, this, [this](const QString &topic, const QString &reason) {
        problem(QStringLiteral("%1: %2; the bridge ignores it").arg(topic, reason));
    });
    connect(m_broker, &MqttConnection::subscribed, this, [this, settings] {
        say(QStringLiteral("subscribed to %1 topics").arg(settings.topics.size()));
        m_settle.start();
    });
    connect(m_broker, &MqttConnection::message, this, &BridgeCheck::onMessage);
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &BridgeCheck::finish);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        problem(QStringLiteral("broker %1: no answer to the subscriptions within %2 s")
                    .arg(m_config.url)
                    .arg(timeoutMs / 1000));
        finish();
    });
}

int BridgeCheck::run()
{
    m_deadline.start(timeoutMs);
    m_broker->start();
    QCoreApplication::exec();
    return m_problems > 0 ? 2 : 0;
}

void BridgeCheck::problem(const QString &text)
{
    ++m_problems;
    qCWarning(lcCheck).noquote() << QStringLiteral("--connect: ") + text;
}

void BridgeCheck::onMessage(const QString &topic, const QByteArray &payload)
{
    if (m_settle.isActive())
        m_settle.start(); // more are coming
    bool known = false;
    for (const BridgeConfig::Port &port : qAsConst(m_config.ports)) {
        if (port.availability.topics.contains(topic)) {
            known = true;
            const Availability::State state = port.availability.read(payload);
            if (state == Availability::Unknown)
                problem(QStringLiteral("%1 (availability of %2): neither online nor offline: \"%3\"")
                            .arg(topic, port.address(), QString::fromUtf8(payload.left(40))));
            else if (state == Availability::Offline && ++m_valueLines <= maxValueLines)
                say(QStringLiteral("%1: offline, so %2 is not reported").arg(topic, port.address()));
        }
        for (const BridgeConfig::Port::State &state : port.states) {
            if (state.topic == topic) {
                known = true;
                readState(port, state.path, topic, payload);
            }
        }
    }
    if (known)
        return;
    BridgeConfig::Port port;
    if (m_config.prefixPort(topic, &port)) {
        readState(port, ValuePath(), topic, payload);
        return;
    }
    const QString fault = m_config.prefixTopicFault(topic);
    if (!fault.isEmpty())
        problem(QStringLiteral("%1: %2; the bridge ignores it").arg(topic.left(100), fault));
}

void BridgeCheck::readState(const BridgeConfig::Port &port, const ValuePath &path, const QString &topic,
                            const QByteArray &payload)
{
    m_retained.insert(topic);
    double value = 0.0;
    QString reason;
    if (!port.mapping.toValue(payload, path, &value, &reason)) {
        problem(QStringLiteral("%1 (for %2): %3").arg(topic, port.address(), reason));
    } else if (++m_valueLines <= maxValueLines) {
        say(QStringLiteral("%1 = %2 (from %3)").arg(port.address(), QString::number(value, 'g', 15), topic));
    }
}

void BridgeCheck::finish()
{
    if (m_done)
        return;
    m_done = true;
    if (m_broker->isConnected()) {
        // A broker that withholds messages by its ACL still grants the
        // subscription: such topics show up here.
        QStringList silent;
        for (const QString &topic : qAsConst(m_stateTopics)) {
            if (!m_retained.contains(topic))
                silent << topic;
        }
        say(QStringLiteral("retained values: %1 of %2 state topics (devices that do not retain report at "
                           "their next change)")
                .arg(m_stateTopics.size() - silent.size())
                .arg(m_stateTopics.size()));
        if (!silent.isEmpty())
            say(QStringLiteral("nothing retained on: %1%2")
                    .arg(silent.mid(0, maxValueLines).join(QStringLiteral(", ")),
                         silent.size() > maxValueLines ? QStringLiteral(", …") : QString()));
    }
    // Queued: a connection may fail before the event loop runs.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}
