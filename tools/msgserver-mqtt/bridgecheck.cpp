#include "bridgecheck.h"

#include "bridgelog.h"
#include "mqttbridge.h"
#include "retainedreader.h"

#include <QCoreApplication>
#include <QHash>

namespace {

void say(const QString &text)
{
    qCInfo(lcCheck).noquote() << text;
}

} // namespace

BridgeCheck::BridgeCheck(const BridgeConfig &c, QObject *parent)
    : QObject(parent)
    , m_config(c)
    , m_reader(new RetainedReader(MqttBridge::brokerSettings(c), QStringLiteral("-check"), c.url, this))
{
    for (int i = 0; i < m_config.ports.size(); ++i) {
        const BridgeConfig::Port &port = m_config.ports.at(i);
        for (const BridgeConfig::Port::State &state : port.states) {
            m_stateTopics << state.topic;
            m_readers[state.topic] << qMakePair(i, state);
        }
        for (const BridgeConfig::Port::State &answer : port.answers)
            m_readers[answer.topic] << qMakePair(i, answer);
        for (const QString &topic : port.availability.topics)
            m_availabilityOf[topic] << i;
    }
    m_stateTopics.removeDuplicates();
    connect(m_reader, &RetainedReader::connected, this, [this](const QString &protocol) {
        say(QStringLiteral("broker %1: connected as %2 (%3)")
                .arg(m_config.url, m_reader->settings().clientId, protocol));
    });
    connect(m_reader, &RetainedReader::problem, this, [this](const QString &text, bool fatal) {
        problem(text);
        if (fatal)
            finish();
    });
    connect(m_reader, &RetainedReader::subscribed, this,
            [this] { say(QStringLiteral("subscribed to %1 topics").arg(m_reader->settings().topics.size())); });
    connect(m_reader, &RetainedReader::message, this, &BridgeCheck::onMessage);
    connect(m_reader, &RetainedReader::settled, this, [this] {
        if (m_asked || !askSilentPorts())
            finish();
    });
}

int BridgeCheck::run()
{
    m_reader->start();
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
    bool known = false;
    for (const int index : m_availabilityOf.value(topic)) {
        const BridgeConfig::Port &port = m_config.ports.at(index);
        known = true;
        const Availability::State state = port.availability.read(payload);
        if (state == Availability::Unknown)
            problem(QStringLiteral("%1 (availability of %2): neither online nor offline: \"%3\"")
                        .arg(topic, port.address(), QString::fromUtf8(payload.left(40))));
        else if (state == Availability::Offline && ++m_valueLines <= maxValueLines)
            say(QStringLiteral("%1: offline, so %2 is not reported").arg(topic, port.address()));
        if (state == Availability::Offline)
            m_offline.insert(port.address());
    }
    for (const auto &reader : m_readers.value(topic)) {
        known = true;
        readState(m_config.ports.at(reader.first), reader.second, topic, payload);
    }
    if (known)
        return;
    BridgeConfig::Port port;
    if (m_config.prefixPort(topic, &port)) {
        readState(port, port.states.constFirst(), topic, payload);
        return;
    }
    const QString fault = m_config.prefixTopicFault(topic);
    if (!fault.isEmpty())
        problem(QStringLiteral("%1: %2; the bridge ignores it").arg(topic.left(100), fault));
}

void BridgeCheck::readState(const BridgeConfig::Port &port, const BridgeConfig::Port::State &state,
                            const QString &topic, const QByteArray &payload)
{
    m_retained.insert(topic);
    double value = 0.0;
    QString reason;
    bool absent = false;
    if (!port.mapping.toValue(payload, state.path, &value, &reason, &absent)) {
        if (!(state.shared && absent))
            problem(QStringLiteral("%1 (for %2): %3").arg(topic, port.address(), reason));
        return;
    }
    m_withValue.insert(port.address());
    if (++m_valueLines <= maxValueLines)
        say(QStringLiteral("%1 = %2 (from %3)").arg(port.address(), QString::number(value, 'g', 15), topic));
}

bool BridgeCheck::askSilentPorts()
{
    // As the bridge asks after its restart: devices that retain nothing
    // answer now, so that what stays silent is worth naming.
    m_asked = true;
    QSet<QPair<QString, QByteArray>> asked;
    for (const BridgeConfig::Port &port : qAsConst(m_config.ports)) {
        const QPair<QString, QByteArray> request{port.refreshTopic, port.refreshPayload};
        if (port.refreshTopic.isEmpty() || m_withValue.contains(port.address()) || m_offline.contains(port.address())
            || asked.contains(request))
            continue;
        asked.insert(request);
        if (!m_reader->publish(request.first, request.second))
            problem(QStringLiteral("the refresh request to %1 for %2 was not sent").arg(request.first, port.address()));
    }
    if (asked.isEmpty())
        return false;
    say(QStringLiteral("asked %1 devices for their state").arg(asked.size()));
    m_reader->readOn(answerMs);
    return true;
}

void BridgeCheck::nameSilentTopics()
{
    // A broker that withholds messages by its ACL still grants the
    // subscription, and a topic with a typo is as quiet: such topics show
    // up here, beside devices that retain nothing and could not be asked.
    QStringList silent;
    QHash<QString, QStringList> ports;
    QHash<QString, QString> askedOn;
    QSet<QString> heard; // a message came, or an answer elsewhere gave its port a value
    for (const BridgeConfig::Port &port : qAsConst(m_config.ports)) {
        for (const BridgeConfig::Port::State &state : port.states) {
            if (m_retained.contains(state.topic) || m_withValue.contains(port.address()))
                heard.insert(state.topic);
        }
        // A button that nobody presses is as quiet.
        if (m_withValue.contains(port.address()) || m_offline.contains(port.address()) || port.resetAfterSeconds > 0)
            continue;
        for (const BridgeConfig::Port::State &state : port.states) {
            if (m_retained.contains(state.topic))
                continue;
            if (!ports.contains(state.topic))
                silent << state.topic;
            ports[state.topic] << port.address();
            if (!port.refreshTopic.isEmpty())
                askedOn.insert(state.topic, port.refreshTopic);
        }
    }
    // Counted by what came: a button's topic, left out above, sent nothing either.
    say(QStringLiteral("values: %1 of %2 state topics sent one, retained or asked for")
            .arg(heard.size())
            .arg(m_stateTopics.size()));
    for (const QString &topic : silent.mid(0, maxValueLines)) {
        const QString asked = askedOn.value(topic);
        qCWarning(lcCheck).noquote()
            << QStringLiteral("--connect: nothing on %1 (%2), %3: a typo, an ACL that withholds it, or a device that "
                              "retains nothing and %4")
                   .arg(topic, ports.value(topic).join(QStringLiteral(", ")),
                        asked.isEmpty() ? QStringLiteral("nothing retained and no refresh to ask")
                                        : QStringLiteral("neither retained nor answered to %1").arg(asked),
                        asked.isEmpty() ? QStringLiteral("reports at its next change")
                                        : QStringLiteral("does not answer"));
    }
    if (silent.size() > maxValueLines)
        qCWarning(lcCheck).noquote()
            << QStringLiteral("--connect: nothing on %1 more state topics").arg(silent.size() - maxValueLines);
}

void BridgeCheck::finish()
{
    if (m_done)
        return;
    m_done = true;
    if (m_reader->isConnected())
        nameSilentTopics();
    // Queued: a connection may fail before the event loop runs.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}
