#include "discoveryreport.h"

#include <QHash>
#include <QJsonArray>
#include <QMap>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <tuple>

namespace {

// One line in a comment, whatever a document holds.
QString shown(const QString &text, int max = DiscoveryReport::maxShownCharacters)
{
    QString line = text.size() > max ? text.left(max) + QStringLiteral("…") : text;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char('?');
    }
    return line;
}

QString firstText(const QJsonValue &value)
{
    if (value.isArray())
        return firstText(value.toArray().first());
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

// Why the section would not load; empty when it does, without a warning.
QString loadFault(const DiscoveredPort &port)
{
    PortConfig config;
    config.id = PortId(port.direction, QStringLiteral("X"), 1);
    QSet<QString> keys;
    QString reason;
    for (const DiscoveredPort::Key &key : port.keys) {
        if (keys.contains(key.first))
            return QStringLiteral("%1 twice").arg(key.first);
        keys.insert(key.first);
        if (!config.set(key.first, key.second, &reason))
            return reason;
    }
    if (!config.complete(QString(), &reason))
        return reason;
    return config.uselessKeys();
}

} // namespace

DiscoveryReport::DiscoveryReport(const BridgeConfig &config, const QString &prefix)
    : m_config(config)
    , m_prefix(prefix)
{
}

void DiscoveryReport::add(const QString &topic, const QByteArray &payload)
{
    ++m_documents;
    QList<DiscoveryDocument::Entity> entities;
    QString reason;
    if (!DiscoveryDocument::read(m_prefix, topic, payload, &entities, &reason)) {
        if (++m_unreadCount <= maxListedFaults)
            m_unread << QStringLiteral("%1: %2").arg(shown(topic), reason);
        return;
    }
    for (const DiscoveryDocument::Entity &entity : qAsConst(entities)) {
        if (m_found.size() >= maxEntities) {
            ++m_dropped;
            continue;
        }
        Found found;
        found.port = DiscoveredPort::fromEntity(entity);
        found.topic = topic;
        found.id = entity.id;
        const QJsonObject &device = entity.device;
        const QString ids = firstText(device.value(QLatin1String("identifiers")));
        const QJsonArray connection = device.value(QLatin1String("connections")).toArray().first().toArray();
        const QStringList levels = entity.id.split(QLatin1Char('/'));
        // A device by its identifiers; without them, what the topic says of it.
        found.deviceKey = !ids.isEmpty() ? QStringLiteral("ids ") + ids
            : !connection.isEmpty()      ? QStringLiteral("cns ") + firstText(connection.last())
            : levels.size() < 2          ? QStringLiteral("topic ") + topic
                                         : QStringLiteral("node ") + levels.first();
        const QString entityName = entity.options.value(QLatin1String("name")).toString();
        found.deviceName = device.value(QLatin1String("name")).toString();
        if (found.deviceName.isEmpty())
            found.deviceName = entityName.isEmpty() ? levels.first() : entityName;
        found.deviceInfo = QStringList{device.value(QLatin1String("manufacturer")).toString(),
                                       device.value(QLatin1String("model")).toString()}
                               .join(QLatin1Char(' '))
                               .trimmed();
        found.entity = QStringLiteral("%1 \"%2\"")
                           .arg(entity.component.isEmpty() ? QStringLiteral("?") : shown(entity.component, 40),
                                shown(entityName.isEmpty() ? found.deviceName : entityName));
        m_found << found;
    }
}

QList<DiscoveryReport::Found> DiscoveryReport::merged() const
{
    QList<Found> all = m_found;
    std::stable_sort(all.begin(), all.end(), [](const Found &a, const Found &b) {
        return std::tie(a.deviceKey, a.topic, a.id) < std::tie(b.deviceKey, b.topic, b.id);
    });
    // A device's triggers on one topic are one port, each word a number.
    QList<Found> out;
    QHash<QString, int> groups; // device and trigger group -> index into out
    QHash<int, QStringList> words;
    for (const Found &found : all) {
        const QString group = found.deviceKey + QLatin1Char('\n') + found.port.triggerGroup;
        if (found.port.triggerGroup.isEmpty() || !found.port.isMapped()) {
            out << found;
        } else if (groups.contains(group)) {
            QStringList &known = words[groups.value(group)];
            if (!known.contains(found.port.triggerWord, Qt::CaseInsensitive))
                known << found.port.triggerWord;
        } else {
            groups.insert(group, out.size());
            words[out.size()] << found.port.triggerWord;
            out << found;
            out.last().entity = QStringLiteral("device triggers on %1").arg(shown(found.port.stateTopic));
        }
    }
    for (auto it = words.constBegin(); it != words.constEnd(); ++it) {
        QStringList map;
        for (int i = 0; i < it->size(); ++i)
            map << QStringLiteral("%1:%2").arg(it->at(i)).arg(i + 1);
        out[it.key()].port.keys << DiscoveredPort::Key(QStringLiteral("map"), map.join(QStringLiteral(", ")))
                                << DiscoveredPort::Key(QStringLiteral("reset_after"),
                                                       QString::number(DiscoveredPort::eventSeconds));
    }
    // What the configuration reads already, by topic and value path.
    QHash<QString, QString> configured;
    for (const BridgeConfig::Port &port : m_config.ports) {
        for (const BridgeConfig::Port::State &state : port.states)
            configured.insert(state.topic + QLatin1Char('\n') + state.path.toString(), port.address());
    }
    for (Found &found : out) {
        if (!found.port.isMapped())
            continue;
        const QString fault = loadFault(found.port);
        if (!fault.isEmpty())
            found.port.why = fault;
        else
            found.mappedAs = configured.value(found.port.stateTopic + QLatin1Char('\n') + found.port.path.toString());
    }
    return out;
}

QString DiscoveryReport::objectName(const QString &deviceName)
{
    QString name;
    for (const QChar c : deviceName.normalized(QString::NormalizationForm_C)) {
        QString kept;
        if (c.unicode() <= 0xFF) {
            if (c.isLetterOrNumber())
                kept = c;
        } else {
            // "ő" as "o": its base letter, where that is one of Latin-1.
            for (const QChar part : QString(c).normalized(QString::NormalizationForm_D)) {
                if (part.unicode() <= 0xFF && part.isLetterOrNumber())
                    kept += part;
            }
        }
        if (kept.isEmpty()) {
            if (!name.isEmpty() && !name.endsWith(QLatin1Char('_')))
                name += QLatin1Char('_');
        } else {
            name += kept;
        }
        if (name.size() >= maxNameCharacters)
            break;
    }
    name = name.left(maxNameCharacters);
    while (name.endsWith(QLatin1Char('_')))
        name.chop(1);
    return name.isEmpty() ? QStringLiteral("device") : name;
}

QString DiscoveryReport::render(int *portCount) const
{
    const QList<Found> all = merged();
    // Devices, in the order of their names, so that a second "Küche" is always Küche_2.
    QMap<QString, QList<int>> devices;
    QMap<QString, QString> deviceOrder; // sort key -> device key
    for (int i = 0; i < all.size(); ++i) {
        if (!devices.contains(all.at(i).deviceKey))
            deviceOrder.insert(all.at(i).deviceName.toLower() + QLatin1Char('\n') + all.at(i).deviceKey,
                               all.at(i).deviceKey);
        devices[all.at(i).deviceKey] << i;
    }
    QSet<QString> taken;               // object names, in lower case
    QHash<QString, QSet<int>> numbers; // object name in lower case -> port numbers in use
    for (const BridgeConfig::Port &port : m_config.ports) {
        taken.insert(port.id.object().toLower());
        numbers[port.id.object().toLower()].insert(port.id.port());
    }

    QString body;
    QTextStream out(&body);
    int ports = 0;
    int notMapped = 0;
    QSet<QString> deviceNames;
    for (const QString &key : deviceOrder) {
        const QList<int> &entries = devices.value(key);
        const Found &first = all.at(entries.first());
        // A device the configuration already maps keeps its name.
        QString object;
        for (const int i : entries) {
            if (object.isEmpty() && !all.at(i).mappedAs.isEmpty())
                object = PortId::fromAddress(all.at(i).mappedAs).object();
        }
        if (object.isEmpty()) {
            const QString base = objectName(first.deviceName);
            object = base;
            for (int n = 2; taken.contains(object.toLower()); ++n)
                object = QStringLiteral("%1_%2").arg(base.left(maxNameCharacters)).arg(n);
            taken.insert(object.toLower());
        }
        QSet<int> &used = numbers[object.toLower()];
        out << "\n; " << shown(first.deviceName)
            << (first.deviceInfo.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(shown(first.deviceInfo))) << "\n";
        for (const int i : entries) {
            const Found &found = all.at(i);
            const QString note =
                found.port.note.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(shown(found.port.note));
            if (!found.port.isMapped()) {
                ++notMapped;
                out << "; not mapped: " << found.entity << ": " << shown(found.port.why) << " (" << shown(found.topic)
                    << ")\n";
                continue;
            }
            if (!found.mappedAs.isEmpty()) {
                out << "; already mapped as [" << found.mappedAs << "]: " << found.entity << " (" << shown(found.topic)
                    << ")\n";
                continue;
            }
            int number = 1;
            while (used.contains(number))
                ++number;
            used.insert(number);
            ++ports;
            deviceNames.insert(key);
            out << "; " << found.entity << note << ": " << shown(found.topic) << "\n";
            out << "[" << PortId(found.port.direction, object, number).toAddress() << "]\n";
            for (const DiscoveredPort::Key &k : found.port.keys)
                out << k.first << " = " << k.second << "\n";
        }
    }
    for (const QString &unread : m_unread)
        out << "; not read: " << unread << "\n";
    if (m_unreadCount > m_unread.size())
        out << "; not read: " << m_unreadCount - m_unread.size() << " more documents\n";
    if (m_dropped > 0)
        out << "; left out: " << m_dropped << " entities beyond the first " << maxEntities << "\n";

    QString text;
    QTextStream head(&text);
    head << "; msgserver-mqtt --discover: " << ports << " ports of " << deviceNames.size() << " devices from "
         << m_documents << " discovery documents on " << m_prefix << "/ at " << m_config.url << "\n"
         << "; " << notMapped << " entities not mapped, " << m_unreadCount
         << " documents not read; append the sections to the configuration\n"
         << body;
    if (portCount)
        *portCount = ports;
    return text;
}
