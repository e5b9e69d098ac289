#include "retainedreader.h"

#include <utility>

RetainedReader::RetainedReader(MqttConnection::Settings settings, const QString &idSuffix, const QString &url,
                               QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_url(url)
{
    m_settings.clientId += idSuffix;
    m_settings.persistent = false;
    m_settings.willTopic.clear();
    m_broker = new MqttConnection(m_settings, this);
    connect(m_broker, &MqttConnection::attemptFailed, this,
            [this](const QString &reason) { fatal(QStringLiteral("broker %1: %2").arg(m_url, reason)); });
    connect(m_broker, &MqttConnection::connectionLost, this, [this](const QString &reason) {
        fatal(QStringLiteral("broker %1: connection lost: %2").arg(m_url, reason));
    });
    connect(m_broker, &MqttConnection::connected, this, [this] {
        emit connected(m_broker->echoesOwnPublishes() ? QStringLiteral("MQTT 3.1.1") : QStringLiteral("MQTT 5"));
    });
    connect(m_broker, &MqttConnection::subscriptionRefused, this, [this](const QString &topic, const QString &reason) {
        emit problem(QStringLiteral("the broker refused the subscription to %1: %2").arg(topic, reason), false);
    });
    connect(m_broker, &MqttConnection::messageRefused, this, [this](const QString &topic, const QString &reason) {
        emit problem(QStringLiteral("%1: %2; the bridge ignores it").arg(topic, reason), false);
    });
    connect(m_broker, &MqttConnection::publishFailed, this, [this](const QString &topic, const QString &reason) {
        emit problem(QStringLiteral("the broker did not take the request to %1: %2").arg(topic, reason), false);
    });
    connect(m_broker, &MqttConnection::subscribed, this, [this] {
        m_deadline.stop();
        emit subscribed();
        m_settle.start();
    });
    connect(m_broker, &MqttConnection::message, this, [this](const QString &topic, const QByteArray &payload) {
        if (m_settle.isActive())
            m_settle.start(); // more are coming
        emit message(topic, payload);
    });
    m_clock.start();
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        const qint64 left = m_readUntil - m_clock.elapsed();
        if (left > 0)
            m_settle.start(int(left));
        else if (!m_ended)
            emit settled();
    });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        fatal(QStringLiteral("broker %1: no answer to the subscriptions within %2 s").arg(m_url).arg(timeoutMs / 1000));
    });
}

void RetainedReader::start()
{
    m_deadline.start(timeoutMs);
    m_broker->start();
}

void RetainedReader::readOn(int ms)
{
    m_readUntil = m_clock.elapsed() + ms;
    m_settle.start(ms);
}

void RetainedReader::fatal(const QString &text)
{
    if (m_ended)
        return;
    m_ended = true;
    m_settle.stop();
    m_deadline.stop();
    emit problem(text, true);
}
