#include "availability.h"

#include <QJsonDocument>
#include <QJsonObject>

Availability::Availability()
    : onlineWords{QStringLiteral("online"), QStringLiteral("true")}
    , offlineWords{QStringLiteral("offline"), QStringLiteral("false")}
{
}

Availability::State Availability::read(const QByteArray &payload) const
{
    QString word = QString::fromUtf8(payload).trimmed();
    if (word.startsWith(QLatin1Char('{')))
        word = QJsonDocument::fromJson(payload).object().value(QLatin1String("state")).toString().trimmed();
    if (onlineWords.contains(word, Qt::CaseInsensitive))
        return Online;
    if (offlineWords.contains(word, Qt::CaseInsensitive))
        return Offline;
    return Unknown;
}

QStringList Availability::conventionTopics(const QString &stateTopic)
{
    const QStringList levels = stateTopic.split(QLatin1Char('/'));
    if (levels.size() < 2 || levels.at(1).isEmpty())
        return {};
    const QString &first = levels.at(0);
    if (first == QLatin1String("zigbee2mqtt") && levels.at(1) != QLatin1String("bridge")) {
        // Friendly names may hold "/"; the device's topics hang below all of
        // it, beside its action topic. Every device is out of reach while
        // Zigbee2MQTT itself is.
        const QString device = levels.size() > 2 && levels.last() == QLatin1String("action")
            ? stateTopic.left(stateTopic.size() - 7)
            : stateTopic;
        return {QStringLiteral("zigbee2mqtt/bridge/state"), device + QStringLiteral("/availability")};
    }
    if ((first == QLatin1String("stat") || first == QLatin1String("tele")) && levels.size() == 3)
        return {QStringLiteral("tele/%1/LWT").arg(levels.at(1))};
    if (first == QLatin1String("shellies") && levels.size() >= 3)
        return {QStringLiteral("shellies/%1/online").arg(levels.at(1))};
    return {};
}
