#include "discoveredport.h"

#include "portconfig.h"
#include "valuetemplate.h"

#include <QJsonArray>
#include <QRegularExpression>

#include <cmath>

namespace {

// A payload option as the device sends it (JSON true is the word "true");
// `fallback` when it is not given.
QString word(const QJsonObject &options, const char *key, const QString &fallback)
{
    const QJsonValue value = options.value(QLatin1String(key));
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString().trimmed();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 15);
    default:
        return fallback;
    }
}

bool withinWords(const QStringList &words, const QStringList &known)
{
    for (const QString &w : words) {
        if (!known.contains(w, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

// Builds one port, key by key; the first thing it cannot map ends it.
class Mapping
{
public:
    explicit Mapping(const QJsonObject &options)
        : m_options(options)
    {
    }

    DiscoveredPort port;

    bool fail(const QString &why)
    {
        port.why = why;
        return false;
    }
    void add(const QString &key, const QString &value) { port.keys << DiscoveredPort::Key(key, value); }
    QString text(const char *key) const { return m_options.value(QLatin1String(key)).toString(); }
    bool has(const char *key) const { return m_options.contains(QLatin1String(key)); }
    const QJsonObject &options() const { return m_options; }

    bool topic(const char *key, const QString &what, QString *topic)
    {
        *topic = text(key);
        if (topic->isEmpty())
            return fail(QStringLiteral("no %1 topic").arg(what));
        if (!PortConfig::validTopic(*topic) || !DiscoveredPort::fitsTheFile(*topic))
            return fail(QStringLiteral("its %1 topic %2 is none the bridge can use").arg(what, topic->left(80)));
        return true;
    }

    // The state topic and, from the template, the value path.
    bool state(const char *topicKey, const char *templateKey)
    {
        ValuePath path;
        QString why;
        if (templateKey && has(templateKey) && !ValueTemplate::path(text(templateKey), &path, &why))
            return fail(why);
        return stateAt(topicKey, path);
    }
    bool stateAt(const char *topicKey, const ValuePath &path)
    {
        QString at;
        if (!topic(topicKey, QStringLiteral("state"), &at))
            return fail(port.why + QStringLiteral(": the panels could not show it"));
        if (!DiscoveredPort::fitsTheFile(path.toString()) && !path.isEmpty())
            return fail(
                QStringLiteral("its value path %1 cannot be written in the file").arg(path.toString().left(80)));
        port.stateTopic = at;
        port.path = path;
        add(QStringLiteral("state"), at);
        if (!path.isEmpty())
            add(QStringLiteral("value"), path.toString());
        return true;
    }

    bool wordFits(const QString &w)
    {
        if (w.isEmpty() || w.contains(QLatin1Char(',')) || !DiscoveredPort::fitsTheFile(w))
            return fail(QStringLiteral("its word \"%1\" cannot be written in the file").arg(w.left(40)));
        return true;
    }

    bool onOff(const QString &on, const QString &off)
    {
        if (!wordFits(on) || !wordFits(off))
            return false;
        if (on.compare(off, Qt::CaseInsensitive) == 0)
            return fail(QStringLiteral("\"%1\" means both on and off").arg(on.left(40)));
        add(QStringLiteral("on"), on);
        add(QStringLiteral("off"), off);
        return true;
    }

    // The command topic and template, words sent where they differ from
    // those read, the QoS and retain flag.
    bool command(const QString &on = QString(), const QString &off = QString(), const QString &sendOn = QString(),
                 const QString &sendOff = QString())
    {
        QString at;
        if (!topic("command_topic", QStringLiteral("command"), &at))
            return fail(port.why + QStringLiteral(": the panels could not switch it"));
        add(QStringLiteral("command"), at);
        if (has("command_template")) {
            QString filled;
            QString why;
            if (!ValueTemplate::command(text("command_template"), &filled, &why))
                return fail(why);
            if (!DiscoveredPort::fitsTheFile(filled))
                return fail(QStringLiteral("its command template cannot be written in the file"));
            add(QStringLiteral("command_template"), filled);
        }
        if (sendOn != on) {
            if (!wordFits(sendOn))
                return false;
            add(QStringLiteral("send_on"), sendOn);
        }
        if (sendOff != off) {
            if (!wordFits(sendOff))
                return false;
            add(QStringLiteral("send_off"), sendOff);
        }
        if (m_options.value(QLatin1String("retain")).toBool())
            add(QStringLiteral("retain"), QStringLiteral("yes"));
        const int qos = m_options.value(QLatin1String("qos")).toInt(1);
        if (qos == 0 || qos == 2)
            add(QStringLiteral("qos"), QString::number(qos));
        return true;
    }

    void seconds(const char *key, const QString &as, int max)
    {
        const int n = m_options.value(QLatin1String(key)).toInt(0);
        if (n > 0 && n <= max)
            add(as, QString::number(n));
    }

    void unit()
    {
        const QString u = text("unit_of_measurement").trimmed();
        if (!u.isEmpty() && !u.at(0).isDigit() && !u.contains(QLatin1Char(',')) && DiscoveredPort::fitsTheFile(u))
            add(QStringLiteral("unit"), u);
    }

    // Words numbered from `first`, as a map.
    bool wordMap(const QJsonArray &words, int first)
    {
        QStringList entries;
        QStringList seen;
        for (const QJsonValue &value : words) {
            const QString w = value.toString().trimmed();
            if (!wordFits(w) || w.contains(QLatin1Char(':')))
                return fail(QStringLiteral("its word \"%1\" cannot be written in a map").arg(w.left(40)));
            if (seen.contains(w, Qt::CaseInsensitive))
                continue;
            seen << w;
            entries << QStringLiteral("%1:%2").arg(w).arg(first + entries.size());
        }
        if (entries.isEmpty())
            return fail(QStringLiteral("no words to map"));
        add(QStringLiteral("map"), entries.join(QStringLiteral(", ")));
        return true;
    }

    void availability();

private:
    const QJsonObject &m_options;
};

void Mapping::availability()
{
    struct Entry
    {
        QString topic;
        QString online;
        QString offline;
        QString valueTemplate;
    };
    QList<Entry> entries;
    const QJsonValue list = m_options.value(QLatin1String("availability"));
    for (const QJsonValue &value : list.toArray()) {
        const QJsonObject entry = value.toObject();
        entries << Entry{entry.value(QLatin1String("topic")).toString(), word(entry, "payload_available", "online"),
                         word(entry, "payload_not_available", "offline"),
                         entry.value(QLatin1String("value_template")).toString()};
    }
    if (!list.isArray() && has("availability_topic"))
        entries << Entry{text("availability_topic"), word(m_options, "payload_available", "online"),
                         word(m_options, "payload_not_available", "offline"), text("availability_template")};
    if (entries.isEmpty())
        return;
    QStringList topics;
    QStringList online;
    QStringList offline;
    for (const Entry &entry : entries) {
        ValuePath path;
        QString why;
        // The bridge reads a word, or the "state" of a JSON object.
        const bool readable = entry.valueTemplate.isEmpty()
            || (ValueTemplate::path(entry.valueTemplate, &path, &why)
                && (path.isEmpty() || path.toString() == QLatin1String("state")));
        if (!readable || !PortConfig::validTopic(entry.topic) || entry.topic.contains(QLatin1Char(','))
            || !DiscoveredPort::fitsTheFile(entry.topic) || entry.topic == port.stateTopic
            || entry.online.contains(QLatin1Char(',')) || entry.offline.contains(QLatin1Char(','))
            || !DiscoveredPort::fitsTheFile(entry.online) || !DiscoveredPort::fitsTheFile(entry.offline)
            || entry.online.isEmpty() || entry.offline.isEmpty()) {
            port.note = QStringLiteral("its availability (%1) is not followed").arg(entry.topic.left(80));
            return;
        }
        topics << entry.topic;
        if (!online.contains(entry.online, Qt::CaseInsensitive))
            online << entry.online;
        if (!offline.contains(entry.offline, Qt::CaseInsensitive))
            offline << entry.offline;
    }
    for (const QString &w : online) {
        if (offline.contains(w, Qt::CaseInsensitive)) {
            port.note = QStringLiteral("its availability is not followed: \"%1\" means online and offline").arg(w);
            return;
        }
    }
    add(QStringLiteral("availability"), topics.join(QStringLiteral(", ")));
    if (!withinWords(online, {QStringLiteral("online"), QStringLiteral("true")}))
        add(QStringLiteral("online"), online.join(QStringLiteral(", ")));
    if (!withinWords(offline, {QStringLiteral("offline"), QStringLiteral("false")}))
        add(QStringLiteral("offline"), offline.join(QStringLiteral(", ")));
    if (topics.size() > 1 && text("availability_mode") != QLatin1String("all"))
        port.note = QStringLiteral("offline when one of its availability topics says so");
}

// A number entity's step as the digits its commands need.
int decimalsOf(double step)
{
    for (int digits = 0; digits < 6; ++digits) {
        const double scaled = step * std::pow(10.0, digits);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6)
            return digits;
    }
    return 6;
}

// Home Assistant's event entities read {"event_type": …}; a template that
// makes one from a single place in the payload reads as that place.
bool eventPath(const Mapping &m, ValuePath *path, QString *why)
{
    const QString text = m.text("value_template");
    if (!m.has("value_template"))
        return ValuePath::parse(QStringLiteral("event_type"), path, why);
    static const QRegularExpression made(
        QStringLiteral("\\A\\s*\\{\\s*\"event_type\"\\s*:\\s*\"(\\{\\{[^}]*\\}\\})\"\\s*\\}\\s*\\z"));
    const QRegularExpressionMatch match = made.match(text);
    if (!match.hasMatch()) {
        *why = QStringLiteral("value template %1: computes the event").arg(text.left(80));
        return false;
    }
    return ValueTemplate::path(match.captured(1), path, why);
}

void sensor(Mapping &m)
{
    if (!m.state("state_topic", "value_template"))
        return;
    const QJsonArray options = m.options().value(QLatin1String("options")).toArray();
    const QString deviceClass = m.text("device_class");
    if (!options.isEmpty()) {
        // An enum sensor: its words as their places in the list.
        if (!m.wordMap(options, 0))
            return;
    } else if (deviceClass == QLatin1String("timestamp") || deviceClass == QLatin1String("date")
               || deviceClass == QLatin1String("enum")) {
        m.fail(QStringLiteral("a %1 sensor: its values are no numbers").arg(deviceClass));
        return;
    } else if (deviceClass.isEmpty() && !m.has("unit_of_measurement") && !m.has("state_class")) {
        m.fail(QStringLiteral("a text sensor (no unit, state class or device class): its values are words, "
                              "which need map = WORD:NUMBER, …"));
        return;
    }
    m.unit();
    m.seconds("expire_after", QStringLiteral("expire_after"), PortConfig::maxExpireAfter);
    m.availability();
}

void binarySensor(Mapping &m)
{
    if (!m.state("state_topic", "value_template")
        || !m.onOff(word(m.options(), "payload_on", "ON"), word(m.options(), "payload_off", "OFF")))
        return;
    m.seconds("off_delay", QStringLiteral("reset_after"), PortConfig::maxResetAfter);
    m.seconds("expire_after", QStringLiteral("expire_after"), PortConfig::maxExpireAfter);
    m.availability();
}

// Switches, lights, fans, locks and covers: the words read, and those sent
// where the device takes others.
void onOffOutput(Mapping &m, const char *templateKey, const QString &on, const QString &off, const QString &sendOn,
                 const QString &sendOff)
{
    m.port.direction = PortId::Out;
    if (m.state("state_topic", templateKey) && m.onOff(on, off) && m.command(on, off, sendOn, sendOff))
        m.availability();
}

void light(Mapping &m)
{
    const QString schema = m.text("schema");
    const QJsonObject &o = m.options();
    if (o.value(QLatin1String("brightness")).toBool() || m.has("brightness_command_topic"))
        m.port.note = QStringLiteral("the panels switch it on and off; its brightness is left out");
    if (schema == QLatin1String("json")) {
        // {"state":"ON", "brightness":…} both ways.
        ValuePath path;
        QString why;
        ValuePath::parse(QStringLiteral("state"), &path, &why);
        m.port.direction = PortId::Out;
        if (m.stateAt("state_topic", path) && m.onOff(QStringLiteral("ON"), QStringLiteral("OFF")) && m.command()) {
            for (int i = m.port.keys.size() - 1; i >= 0; --i) {
                if (m.port.keys.at(i).first == QLatin1String("command_template"))
                    m.port.keys.removeAt(i);
            }
            m.add(QStringLiteral("command_template"), QStringLiteral("{\"state\":\"%v\"}"));
            m.availability();
        }
    } else if (schema.isEmpty() || schema == QLatin1String("default") || schema == QLatin1String("basic")) {
        const QString on = word(o, "payload_on", "ON");
        const QString off = word(o, "payload_off", "OFF");
        onOffOutput(m, "state_value_template", on, off, on, off);
    } else {
        m.fail(QStringLiteral("a light of the %1 schema: its state is computed").arg(schema));
    }
}

void cover(Mapping &m)
{
    const QJsonObject &o = m.options();
    if (!m.has("state_topic")) {
        m.fail(QStringLiteral("no state topic (a position at most): the panels could not show it open or closed"));
        return;
    }
    if (o.value(QLatin1String("payload_open")).isNull() || o.value(QLatin1String("payload_close")).isNull()) {
        m.fail(QStringLiteral("it takes no open or close command"));
        return;
    }
    m.port.note = QStringLiteral("opening, closing and stopped are not mapped");
    onOffOutput(m, "value_template", word(o, "state_open", "open"), word(o, "state_closed", "closed"),
                word(o, "payload_open", "OPEN"), word(o, "payload_close", "CLOSE"));
}

void number(Mapping &m)
{
    m.port.direction = PortId::Out;
    if (!m.state("state_topic", "value_template") || !m.command())
        return;
    const double step = m.options().value(QLatin1String("step")).toDouble(1.0);
    if (step > 0 && std::isfinite(step))
        m.add(QStringLiteral("send_decimals"), QString::number(decimalsOf(step)));
    m.unit();
    m.availability();
}

void event(Mapping &m)
{
    ValuePath path;
    QString why;
    if (!eventPath(m, &path, &why)) {
        m.fail(why);
        return;
    }
    if (m.stateAt("state_topic", path) && m.wordMap(m.options().value(QLatin1String("event_types")).toArray(), 1)) {
        m.add(QStringLiteral("reset_after"), QString::number(DiscoveredPort::eventSeconds));
        m.availability();
    }
}

void trigger(Mapping &m)
{
    if (m.has("automation_type") && m.text("automation_type") != QLatin1String("trigger")) {
        m.fail(QStringLiteral("a device automation that is no trigger"));
        return;
    }
    const QString payload = word(m.options(), "payload", QString());
    if (payload.isEmpty()) {
        m.fail(QStringLiteral("a trigger without a payload: any message would trigger it"));
        return;
    }
    if (!m.state("topic", "value_template") || !m.wordFits(payload) || payload.contains(QLatin1Char(':')))
        return;
    m.port.triggerWord = payload;
    m.port.triggerGroup = m.port.stateTopic + QLatin1Char('\n') + m.port.path.toString();
}

} // namespace

bool DiscoveredPort::fitsTheFile(const QString &value)
{
    if (value != value.trimmed() || value.startsWith(QLatin1Char(';')))
        return false;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator
            || (c == QLatin1Char(';') && i > 0 && value.at(i - 1).isSpace()))
            return false;
    }
    return true;
}

DiscoveredPort DiscoveredPort::fromEntity(const DiscoveryDocument::Entity &entity)
{
    Mapping m(entity.options);
    const QString &c = entity.component;
    const QString encoding = m.text("encoding");
    if (entity.options.value(QLatin1String("enabled_by_default")) == QJsonValue(false))
        m.fail(QStringLiteral("disabled by default in its discovery document"));
    else if (m.has("encoding") && encoding.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) != 0)
        m.fail(QStringLiteral("its payloads are not UTF-8 text (encoding \"%1\")").arg(encoding.left(20)));
    else if (c == QLatin1String("sensor"))
        sensor(m);
    else if (c == QLatin1String("binary_sensor"))
        binarySensor(m);
    else if (c == QLatin1String("switch"))
        onOffOutput(m, "value_template", word(entity.options, "state_on", word(entity.options, "payload_on", "ON")),
                    word(entity.options, "state_off", word(entity.options, "payload_off", "OFF")),
                    word(entity.options, "payload_on", "ON"), word(entity.options, "payload_off", "OFF"));
    else if (c == QLatin1String("light"))
        light(m);
    else if (c == QLatin1String("fan"))
        onOffOutput(m, "state_value_template", word(entity.options, "payload_on", "ON"),
                    word(entity.options, "payload_off", "OFF"), word(entity.options, "payload_on", "ON"),
                    word(entity.options, "payload_off", "OFF"));
    else if (c == QLatin1String("lock"))
        onOffOutput(m, "value_template", word(entity.options, "state_locked", "LOCKED"),
                    word(entity.options, "state_unlocked", "UNLOCKED"), word(entity.options, "payload_lock", "LOCK"),
                    word(entity.options, "payload_unlock", "UNLOCK"));
    else if (c == QLatin1String("cover"))
        cover(m);
    else if (c == QLatin1String("number"))
        number(m);
    else if (c == QLatin1String("event"))
        event(m);
    else if (c == QLatin1String("device_automation"))
        trigger(m);
    else if (c == QLatin1String("button") || c == QLatin1String("scene"))
        m.fail(QStringLiteral("a %1 reports no state: the panels could not show it").arg(c));
    else if (c.isEmpty())
        m.fail(QStringLiteral("a component without a platform"));
    else
        m.fail(QStringLiteral("a %1 has more than an on/off state or a number").arg(c.left(40)));
    return m.port;
}
