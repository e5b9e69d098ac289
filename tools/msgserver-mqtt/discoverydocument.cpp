#include "discoverydocument.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringList>

namespace {

// Those of Home Assistant's abbreviations that name options the bridge reads.
const QHash<QString, QString> &abbreviations()
{
    static const QHash<QString, QString> table{
        {"atype", "automation_type"},
        {"avty", "availability"},
        {"avty_mode", "availability_mode"},
        {"avty_t", "availability_topic"},
        {"avty_tpl", "availability_template"},
        {"bri_cmd_t", "brightness_command_topic"},
        {"bri_stat_t", "brightness_state_topic"},
        {"cmd_t", "command_topic"},
        {"cmd_tpl", "command_template"},
        {"cmp", "components"},
        {"cmps", "components"},
        {"dev", "device"},
        {"dev_cla", "device_class"},
        {"e", "encoding"},
        {"en", "enabled_by_default"},
        {"evt_typ", "event_types"},
        {"exp_aft", "expire_after"},
        {"o", "origin"},
        {"obj_id", "object_id"},
        {"off_dly", "off_delay"},
        {"ops", "options"},
        {"p", "platform"},
        {"pl", "payload"},
        {"pl_avail", "payload_available"},
        {"pl_cls", "payload_close"},
        {"pl_lock", "payload_lock"},
        {"pl_not_avail", "payload_not_available"},
        {"pl_off", "payload_off"},
        {"pl_on", "payload_on"},
        {"pl_open", "payload_open"},
        {"pl_prs", "payload_press"},
        {"pl_unlk", "payload_unlock"},
        {"pos_t", "position_topic"},
        {"ret", "retain"},
        {"stat_cla", "state_class"},
        {"stat_clsd", "state_closed"},
        {"stat_locked", "state_locked"},
        {"stat_off", "state_off"},
        {"stat_on", "state_on"},
        {"stat_open", "state_open"},
        {"stat_t", "state_topic"},
        {"stat_tpl", "state_template"},
        {"stat_unlocked", "state_unlocked"},
        {"stat_val_tpl", "state_value_template"},
        {"stype", "subtype"},
        {"t", "topic"},
        {"uniq_id", "unique_id"},
        {"unit_of_meas", "unit_of_measurement"},
        {"val_tpl", "value_template"},
    };
    return table;
}

const QHash<QString, QString> &deviceAbbreviations()
{
    static const QHash<QString, QString> table{
        {"cns", "connections"},  {"cu", "configuration_url"}, {"hw", "hw_version"},   {"ids", "identifiers"},
        {"mdl", "model"},        {"mdl_id", "model_id"},      {"mf", "manufacturer"}, {"sa", "suggested_area"},
        {"sn", "serial_number"}, {"sw", "sw_version"},
    };
    return table;
}

QJsonObject expanded(const QJsonObject &in, bool device)
{
    QJsonObject out;
    for (auto it = in.constBegin(); it != in.constEnd(); ++it) {
        const QString key = device ? DiscoveryDocument::longDeviceKey(it.key()) : DiscoveryDocument::longKey(it.key());
        QJsonValue value = it.value();
        if (!device && key == QLatin1String("device") && value.isObject()) {
            value = expanded(value.toObject(), true);
        } else if (!device && key == QLatin1String("availability") && value.isArray()) {
            QJsonArray entries;
            for (const QJsonValue &entry : value.toArray())
                entries.append(entry.isObject() ? QJsonValue(expanded(entry.toObject(), false)) : entry);
            value = entries;
        }
        out.insert(key, value);
    }
    return out;
}

QString withBase(const QString &topic, const QString &base)
{
    if (topic.startsWith(QLatin1Char('~')))
        return base + topic.mid(1);
    if (topic.endsWith(QLatin1Char('~')))
        return topic.chopped(1) + base;
    return topic;
}

// "~" at the start or the end of a topic option is the base topic.
QJsonObject withBase(const QJsonObject &in)
{
    const QString base = in.value(QLatin1String("~")).toString();
    if (base.isEmpty())
        return in;
    QJsonObject out = in;
    for (auto it = out.begin(); it != out.end(); ++it) {
        if ((it.key().endsWith(QLatin1String("_topic")) || it.key() == QLatin1String("topic")) && it->isString()) {
            *it = withBase(it->toString(), base);
        } else if (it.key() == QLatin1String("availability") && it->isArray()) {
            QJsonArray entries = it->toArray();
            for (int i = 0; i < entries.size(); ++i) {
                QJsonObject entry = entries.at(i).toObject();
                if (entry.value(QLatin1String("topic")).isString())
                    entry.insert(QLatin1String("topic"),
                                 withBase(entry.value(QLatin1String("topic")).toString(), base));
                entries[i] = entry;
            }
            *it = entries;
        }
    }
    return out;
}

} // namespace

QString DiscoveryDocument::longKey(const QString &key)
{
    return abbreviations().value(key, key);
}

QString DiscoveryDocument::longDeviceKey(const QString &key)
{
    return deviceAbbreviations().value(key, key);
}

bool DiscoveryDocument::read(const QString &prefix, const QString &topic, const QByteArray &payload,
                             QList<Entity> *entities, QString *reason)
{
    const QString head = prefix + QLatin1Char('/');
    const QStringList levels = topic.mid(head.size()).split(QLatin1Char('/'));
    if (!topic.startsWith(head) || levels.size() < 3 || levels.size() > 4 || levels.last() != QLatin1String("config")
        || levels.contains(QString()) || (levels.first() == QLatin1String("device") && levels.size() != 3)) {
        *reason = QStringLiteral("not a discovery topic (%1/<component>/[<node_id>/]<object_id>/config)").arg(prefix);
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (!document.isObject()) {
        *reason = QStringLiteral("not a JSON object");
        return false;
    }
    const QJsonObject root = expanded(document.object(), false);
    const QJsonObject device = root.value(QLatin1String("device")).toObject();
    const QString component = levels.first();
    const QString id = levels.mid(1, levels.size() - 2).join(QLatin1Char('/'));
    if (component != QLatin1String("device")) {
        entities->append(Entity{topic, component, id, withBase(root), device});
        return true;
    }
    const QJsonObject components = root.value(QLatin1String("components")).toObject();
    if (components.isEmpty() || components.size() > maxComponents) {
        *reason = QStringLiteral("a device document needs from 1 to %1 components").arg(maxComponents);
        return false;
    }
    // Shared options, which a component's own override.
    QJsonObject shared = root;
    for (const char *own : {"device", "origin", "components"})
        shared.remove(QLatin1String(own));
    for (auto it = components.constBegin(); it != components.constEnd(); ++it) {
        QJsonObject options = shared;
        const QJsonObject own = expanded(it.value().toObject(), false);
        for (auto o = own.constBegin(); o != own.constEnd(); ++o)
            options.insert(o.key(), o.value());
        const QString platform = options.take(QLatin1String("platform")).toString();
        entities->append(Entity{topic, platform, id + QLatin1Char('/') + it.key(), withBase(options), device});
    }
    return true;
}
