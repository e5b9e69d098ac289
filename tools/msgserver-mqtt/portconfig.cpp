#include "portconfig.h"

#include "refreshconvention.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTextStream>

#include <cmath>

namespace {

QStringList splitWords(const QString &value)
{
    QStringList words;
    for (const QString &word : value.split(QLatin1Char(','))) {
        if (!word.trimmed().isEmpty())
            words << word.trimmed();
    }
    return words;
}

// "state" and "value" are index 0, "state2" and "value2" index 1, …; -1 for other keys.
int stateIndex(const QString &key, bool *path)
{
    for (const bool isPath : {false, true}) {
        const QString base = isPath ? QStringLiteral("value") : QStringLiteral("state");
        if (key == base) {
            *path = isPath;
            return 0;
        }
        for (int i = 2; i <= PortConfig::maxStates; ++i) {
            if (key == base + QString::number(i)) {
                *path = isPath;
                return i - 1;
            }
        }
    }
    return -1;
}

bool readNumber(const QString &text, double *value)
{
    bool ok = false;
    *value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(*value);
}

// "heat:1, cool:2"
bool readWordTable(const QString &value, PayloadMapping::WordTable *table, QString *reason)
{
    for (const QString &entry : splitWords(value)) {
        const int colon = entry.lastIndexOf(QLatin1Char(':'));
        const QString word = entry.left(colon).trimmed();
        double number = 0.0;
        if (colon <= 0 || word.isEmpty() || !readNumber(entry.mid(colon + 1), &number)) {
            *reason = QStringLiteral("map needs word:number pairs such as heat:1, off:0, not \"%1\"").arg(entry);
            return false;
        }
        for (const auto &known : qAsConst(*table)) {
            if (known.first.compare(word, Qt::CaseInsensitive) == 0) {
                *reason = QStringLiteral("map names %1 twice").arg(word);
                return false;
            }
        }
        table->append({word, number});
    }
    if (table->isEmpty()) {
        *reason = QStringLiteral("map needs at least one word:number pair");
        return false;
    }
    return true;
}

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

QString PortConfig::topicFault(const QString &key, const QString &topic)
{
    const int bytes = topic.toUtf8().size();
    if (bytes > maxTopicBytes)
        return QStringLiteral("%1 topic of %2 bytes, more than %3").arg(key).arg(bytes).arg(maxTopicBytes);
    return QStringLiteral("%1 must be one topic, without + or #").arg(key);
}

bool PortConfig::validTopic(const QString &topic)
{
    return !topic.isEmpty() && !topic.contains(QLatin1Char('+')) && !topic.contains(QLatin1Char('#'))
        && !topic.contains(QChar(0)) && topic.toUtf8().size() <= maxTopicBytes;
}

bool PortConfig::hasState(const QString &topic) const
{
    for (const State &state : states) {
        if (state.topic == topic)
            return true;
    }
    return false;
}

QStringList PortConfig::keys()
{
    QStringList all{QStringLiteral("state"), QStringLiteral("value")};
    for (int i = 2; i <= maxStates; ++i)
        all << QStringLiteral("state%1").arg(i) << QStringLiteral("value%1").arg(i);
    all << QStringLiteral("on") << QStringLiteral("off") << QStringLiteral("map") << QStringLiteral("unit")
        << QStringLiteral("decimal_comma") << QStringLiteral("scale") << commandKeys() << QStringLiteral("availability")
        << QStringLiteral("online") << QStringLiteral("offline") << QStringLiteral("refresh")
        << QStringLiteral("refresh_payload") << QStringLiteral("expire_after") << QStringLiteral("reset_after");
    return all;
}

bool PortConfig::set(const QString &key, const QString &value, QString *reason)
{
    bool isPath = false;
    const int index = stateIndex(key, &isPath);
    if (index >= 0 && isPath) {
        if (value.isEmpty()) {
            *reason = QStringLiteral("%1 must be a path such as a.b.c or a.b[0]").arg(key);
            return false;
        }
        m_pathGiven[index] = true;
        return ValuePath::parse(value, &m_givenPaths[index], reason);
    }
    if (key == QLatin1String("refresh") && value.isEmpty()) {
        // Empty: no request, whatever the convention.
        m_refreshGiven = true;
        return true;
    }
    if (key == QLatin1String("expire_after") || key == QLatin1String("reset_after")) {
        bool ok = false;
        const bool expire = key == QLatin1String("expire_after");
        int &seconds = expire ? expireAfterSeconds : resetAfterSeconds;
        seconds = value.toInt(&ok);
        if (!ok || seconds < 1 || seconds > (expire ? maxExpireAfter : maxResetAfter)) {
            *reason =
                QStringLiteral("%1 must be seconds from 1 to %2").arg(key).arg(expire ? maxExpireAfter : maxResetAfter);
            return false;
        }
        return true;
    }
    if (commandKeys().contains(key) && key != QLatin1String("command"))
        return setCommand(key, value, reason);
    if (index >= 0 || key == QLatin1String("command") || key == QLatin1String("refresh")) {
        if (!validTopic(value)) {
            *reason = topicFault(key, value);
            return false;
        }
        if (index >= 0) {
            m_givenTopics[index] = value;
        } else if (key == QLatin1String("command")) {
            command.topic = value;
            m_commandKeys << key;
        } else {
            refreshTopic = value;
            m_refreshGiven = true;
        }
        return true;
    }
    if (key == QLatin1String("refresh_payload")) {
        refreshPayload = value.toUtf8();
        return true;
    }
    if (key == QLatin1String("availability")) {
        // Empty: this device's availability is not watched, whatever the convention.
        m_availabilityGiven = true;
        availability.topics = splitWords(value);
        for (const QString &topic : qAsConst(availability.topics)) {
            if (!validTopic(topic)) {
                *reason = topic.toUtf8().size() > maxTopicBytes
                    ? topicFault(key, topic)
                    : QStringLiteral("availability must list topics without + or #, separated by \",\"");
                return false;
            }
        }
        return true;
    }
    if (key == QLatin1String("online") || key == QLatin1String("offline")) {
        const QStringList words = splitWords(value);
        if (words.isEmpty()) {
            *reason = QStringLiteral("%1 needs at least one word").arg(key);
            return false;
        }
        (key == QLatin1String("online") ? availability.onlineWords : availability.offlineWords) = words;
        return true;
    }
    return setMapping(key, value, reason);
}

bool PortConfig::setMapping(const QString &key, const QString &value, QString *reason)
{
    if (key == QLatin1String("on") || key == QLatin1String("off")) {
        const QStringList words = splitWords(value);
        if (words.isEmpty()) {
            *reason = QStringLiteral("%1 needs at least one word").arg(key);
            return false;
        }
        const bool isOn = key == QLatin1String("on");
        mapping.setWords(isOn ? words : mapping.onWords(), isOn ? mapping.offWords() : words);
        mapping.setOnOffPort(true);
    } else if (key == QLatin1String("map")) {
        PayloadMapping::WordTable table;
        if (!readWordTable(value, &table, reason))
            return false;
        mapping.setWordTable(table);
    } else if (key == QLatin1String("unit")) {
        if (value.isEmpty() || value.at(0).isDigit() || value.contains(QLatin1Char(','))) {
            *reason = QStringLiteral("unit must be the text after the number, such as %, W or °C");
            return false;
        }
        mapping.setUnit(value);
    } else if (key == QLatin1String("decimal_comma")) {
        if (value != QLatin1String("yes") && value != QLatin1String("no")) {
            *reason = QStringLiteral("decimal_comma must be yes or no");
            return false;
        }
        mapping.setDecimalComma(value == QLatin1String("yes"));
    } else if (key == QLatin1String("scale")) {
        static const QRegularExpression range(
            QStringLiteral("\\A(\\S+?)\\s*\\.\\.\\s*(\\S+)\\s*->\\s*(\\S+?)\\s*\\.\\.\\s*(\\S+)\\z"));
        const QRegularExpressionMatch match = range.match(value);
        double bounds[4] = {};
        bool ok = match.hasMatch();
        for (int i = 0; ok && i < 4; ++i)
            ok = readNumber(match.captured(i + 1), &bounds[i]);
        if (!ok || !mapping.setScale(bounds[0], bounds[1], bounds[2], bounds[3])) {
            *reason = QStringLiteral("scale must read as FROM..TO -> FROM..TO with two ranges that are not empty, "
                                     "such as 0..254 -> 0..100");
            return false;
        }
    }
    return true;
}

QStringList PortConfig::commandKeys()
{
    return {QStringLiteral("command"),  QStringLiteral("command_template"),
            QStringLiteral("send"),     QStringLiteral("send_on"),
            QStringLiteral("send_off"), QStringLiteral("send_decimals"),
            QStringLiteral("retain"),   QStringLiteral("qos")};
}

bool PortConfig::setCommand(const QString &key, const QString &value, QString *reason)
{
    m_commandKeys << key;
    bool ok = false;
    if (key == QLatin1String("command_template")) {
        if (!value.contains(QLatin1String("%v"))) {
            *reason = QStringLiteral("command_template has no %v");
            return false;
        }
        command.templateText = value;
    } else if (key == QLatin1String("send") || key == QLatin1String("send_on") || key == QLatin1String("send_off")) {
        if (value.isEmpty()) {
            *reason = QStringLiteral("%1 needs the word to send").arg(key);
            return false;
        }
        (key == QLatin1String("send")          ? command.fixedWord
             : key == QLatin1String("send_on") ? command.onWord
                                               : command.offWord) = value;
    } else if (key == QLatin1String("send_decimals")) {
        command.decimals = value.toInt(&ok);
        if (!ok || command.decimals < 0 || command.decimals > PortCommand::maxDecimals) {
            *reason =
                QStringLiteral("send_decimals must be a number of digits from 0 to %1").arg(PortCommand::maxDecimals);
            return false;
        }
    } else if (key == QLatin1String("retain")) {
        if (!PortCommand::yesNo(value, &command.retain)) {
            *reason = QStringLiteral("retain must be yes or no");
            return false;
        }
    } else if (key == QLatin1String("qos")) {
        command.qos = value.toInt(&ok);
        if (!ok || command.qos < 0 || command.qos > 2 || value.size() != 1) {
            *reason = QStringLiteral("qos must be 0, 1 or 2");
            return false;
        }
    }
    return true;
}

bool PortConfig::complete(const QString &prefixState, QString *reason)
{
    for (const QString &word : mapping.onWords()) {
        if (mapping.offWords().contains(word, Qt::CaseInsensitive)) {
            *reason = QStringLiteral("[%1]: %2 means both on and off").arg(address(), word);
            return false;
        }
    }
    if (mapping.isOnOffPort()) {
        for (const auto &entry : mapping.wordTable()) {
            if (mapping.onWords().contains(entry.first, Qt::CaseInsensitive)
                || mapping.offWords().contains(entry.first, Qt::CaseInsensitive)) {
                *reason = QStringLiteral("[%1]: %2 is in map and in on or off").arg(address(), entry.first);
                return false;
            }
        }
    }
    states.clear();
    for (int i = 0; i < maxStates; ++i) {
        QString topic = m_givenTopics[i];
        if (i == 0 && topic.isNull())
            topic = prefixState;
        if (topic.isNull()) {
            if (m_pathGiven[i]) {
                *reason = QStringLiteral("[%1]: value%2 without state%2").arg(address()).arg(i + 1);
                return false;
            }
            continue;
        }
        if (hasState(topic)) {
            *reason = QStringLiteral("[%1]: state topic %2 given twice").arg(address(), topic);
            return false;
        }
        states.append(State{topic, m_givenPaths[i]});
    }
    if (states.isEmpty() || states.first().topic.isEmpty()) {
        *reason = QStringLiteral("[%1] needs state = TOPIC when prefix is empty").arg(address());
        return false;
    }
    if (!m_commandKeys.contains(QLatin1String("command")))
        command.topic = states.first().topic + QStringLiteral("/set");
    if (!command.fixedWord.isNull() && (!command.onWord.isNull() || !command.offWord.isNull())) {
        *reason = QStringLiteral("[%1]: send is the word for every press; send_on and send_off do not go with it")
                      .arg(address());
        return false;
    }
    if (!m_availabilityGiven)
        availability.topics = Availability::conventionTopics(states.first().topic);
    answers.clear();
    // A momentary input has no state to ask for.
    for (int i = 0; !m_refreshGiven && resetAfterSeconds == 0 && refreshTopic.isEmpty() && i < states.size(); ++i) {
        const RefreshConvention convention = RefreshConvention::forState(states.at(i).topic, states.at(i).path);
        // One made from a long state topic could not be sent.
        if (!validTopic(convention.topic) || (!convention.answerTopic.isEmpty() && !validTopic(convention.answerTopic)))
            continue;
        refreshTopic = convention.topic;
        refreshPayload = convention.payload;
        if (!convention.answerTopic.isEmpty() && !hasState(convention.answerTopic))
            answers.append(State{convention.answerTopic, convention.answerPath, true});
    }
    for (State &state : states) {
        // Tasmota's answer to every command (stat/<device>/RESULT, or
        // <device>/stat/RESULT with another full topic); a momentary
        // input's device reports its other fields on the same topic.
        state.shared =
            resetAfterSeconds > 0 || (!state.path.isEmpty() && state.topic.endsWith(QLatin1String("/RESULT")));
    }
    for (const QString &topic : qAsConst(availability.topics)) {
        // One made from a long state topic would be refused as it arrives.
        if (topic.toUtf8().size() > maxTopicBytes) {
            *reason = QStringLiteral("[%1]: %2; give availability = its topics, or nothing")
                          .arg(address(), topicFault(QStringLiteral("availability"), topic));
            return false;
        }
        if (hasState(topic)) {
            *reason = QStringLiteral("[%1]: %2 is a state topic and an availability topic").arg(address(), topic);
            return false;
        }
    }
    for (const QString &word : qAsConst(availability.onlineWords)) {
        if (availability.offlineWords.contains(word, Qt::CaseInsensitive)) {
            *reason = QStringLiteral("[%1]: %2 means both online and offline").arg(address(), word);
            return false;
        }
    }
    return true;
}

QString PortConfig::uselessKeys() const
{
    if (!id.isOutput() && !m_commandKeys.isEmpty())
        return QStringLiteral("[%1]: %2 %3 nothing here: input ports take no commands")
            .arg(address(), m_commandKeys.join(QStringLiteral(", ")),
                 m_commandKeys.size() == 1 ? QStringLiteral("does") : QStringLiteral("do"));
    if (command.decimals >= 0 && command.sendsWords(mapping))
        return QStringLiteral("[%1]: send_decimals does nothing here: the port sends words").arg(address());
    return QString();
}

QString PortConfig::describe() const
{
    QString text;
    QTextStream out(&text);
    out << address() << ": state";
    for (int i = 0; i < states.size(); ++i) {
        out << (i ? ", " : " ") << states.at(i).topic;
        if (!states.at(i).path.isEmpty())
            out << " value " << states.at(i).path.toString();
    }
    out << ", on " << mapping.onWords().join(QLatin1Char('|')) << ", off " << mapping.offWords().join(QLatin1Char('|'));
    if (!mapping.wordTable().isEmpty()) {
        out << ", map";
        for (const auto &entry : mapping.wordTable())
            out << " " << entry.first << "=" << number(entry.second);
    }
    if (!mapping.unitText().isEmpty())
        out << ", unit " << mapping.unitText();
    if (mapping.hasDecimalComma())
        out << ", decimal comma";
    if (mapping.isScaled())
        out << ", scale " << mapping.scaleText();
    if (id.isOutput()) {
        out << "; command " << command.describe(mapping);
    } else {
        out << "; input, takes no commands";
    }
    if (!availability.topics.isEmpty())
        out << "; availability " << availability.topics.join(QStringLiteral(", "));
    if (!refreshTopic.isEmpty())
        out << "; refresh " << refreshTopic << " \"" << QString::fromUtf8(refreshPayload) << "\"";
    for (const State &answer : answers)
        out << ", answered on " << answer.topic << " value " << answer.path.toString();
    if (expireAfterSeconds > 0)
        out << "; unknown " << expireAfterSeconds << " s after its last message";
    if (resetAfterSeconds > 0)
        out << "; back to 0 " << resetAfterSeconds << " s after a message";
    return text;
}
