#include "payloadmapping.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace {

// Locale-independent; no "nan", "inf", hex or thousands separators.
bool parseNumber(const QString &text, double *value)
{
    static const QRegularExpression number(QStringLiteral("\\A[+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?\\z"));
    if (!number.match(text).hasMatch())
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool containsWord(const QStringList &words, const QString &text)
{
    return words.contains(text, Qt::CaseInsensitive);
}

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

PayloadMapping::PayloadMapping()
    : m_on(defaultOnWords())
    , m_off(defaultOffWords())
    , m_templateText(QStringLiteral("%v"))
{
}

const QStringList &PayloadMapping::defaultOnWords()
{
    static const QStringList words{QStringLiteral("ON"), QStringLiteral("true"), QStringLiteral("open"),
                                   QStringLiteral("1")};
    return words;
}

const QStringList &PayloadMapping::defaultOffWords()
{
    static const QStringList words{QStringLiteral("OFF"), QStringLiteral("false"), QStringLiteral("closed"),
                                   QStringLiteral("0")};
    return words;
}

void PayloadMapping::setWords(const QStringList &onWords, const QStringList &offWords)
{
    m_on = onWords.isEmpty() ? defaultOnWords() : onWords;
    m_off = offWords.isEmpty() ? defaultOffWords() : offWords;
}

bool PayloadMapping::setScale(double from, double fromEnd, double to, double toEnd)
{
    for (const double bound : {from, fromEnd, to, toEnd}) {
        if (!std::isfinite(bound))
            return false;
    }
    // Both ways, so that commands can be scaled back.
    if (from == fromEnd || to == toEnd)
        return false;
    m_scaleFrom[0] = from;
    m_scaleFrom[1] = fromEnd;
    m_scaleTo[0] = to;
    m_scaleTo[1] = toEnd;
    m_scaled = true;
    return true;
}

QString PayloadMapping::scaleText() const
{
    return QStringLiteral("%1..%2 -> %3..%4")
        .arg(number(m_scaleFrom[0]), number(m_scaleFrom[1]), number(m_scaleTo[0]), number(m_scaleTo[1]));
}

void PayloadMapping::setCommandTemplate(const QString &commandTemplate)
{
    m_templateText = commandTemplate.isEmpty() ? QStringLiteral("%v") : commandTemplate;
}

bool PayloadMapping::scaleToPanel(double raw, double *value) const
{
    const double v = m_scaled
        ? m_scaleTo[0] + (raw - m_scaleFrom[0]) * (m_scaleTo[1] - m_scaleTo[0]) / (m_scaleFrom[1] - m_scaleFrom[0])
        : raw;
    if (!std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool PayloadMapping::numberToValue(QString text, double *value) const
{
    if (!m_unit.isEmpty() && text.endsWith(m_unit, Qt::CaseInsensitive))
        text = text.left(text.size() - m_unit.size()).trimmed();
    if (m_decimalComma) {
        if (text.contains(QLatin1Char('.')))
            return false;
        text.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    double raw = 0.0;
    return parseNumber(text, &raw) && scaleToPanel(raw, value);
}

bool PayloadMapping::wordToValue(const QString &text, double *value) const
{
    // A word both lists name reads as on; the configuration check forbids it.
    if (containsWord(m_on, text)) {
        *value = 1.0;
        return true;
    }
    if (containsWord(m_off, text)) {
        *value = 0.0;
        return true;
    }
    return false;
}

bool PayloadMapping::textToValue(const QString &text, double *value, QString *reason) const
{
    for (const auto &word : m_words) {
        if (word.first.compare(text, Qt::CaseInsensitive) == 0) {
            *value = word.second;
            return true;
        }
    }
    // Words the port names come before numbers, so that on = 0 turns a
    // contact round; the default words after them, so that a scaled port
    // reads "1" as a number.
    if ((m_onOffPort && wordToValue(text, value)) || numberToValue(text, value)
        || (!m_onOffPort && wordToValue(text, value)))
        return true;
    *reason = text.isEmpty() ? QStringLiteral("empty payload")
                             : QStringLiteral("neither a number nor a word of this port: \"%1\"").arg(text.left(40));
    return false;
}

bool PayloadMapping::toValue(const QByteArray &payload, const ValuePath &path, double *value, QString *reason) const
{
    if (payload.size() > maxPayloadBytes) {
        *reason = QStringLiteral("payload of %1 bytes, more than %2").arg(payload.size()).arg(maxPayloadBytes);
        return false;
    }
    if (path.isEmpty())
        return textToValue(QString::fromUtf8(payload).trimmed(), value, reason);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || document.isNull()) {
        *reason = QStringLiteral("not JSON");
        return false;
    }
    QJsonValue at;
    if (!path.find(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()), &at)) {
        *reason = QStringLiteral("no %1 in the JSON payload").arg(path.toString());
        return false;
    }
    switch (at.type()) {
    case QJsonValue::Double:
        if (scaleToPanel(at.toDouble(), value))
            return true;
        break;
    case QJsonValue::Bool:
        // Through the words, so that on = false inverts a contact that
        // reports true when closed.
        return textToValue(at.toBool() ? QStringLiteral("true") : QStringLiteral("false"), value, reason);
    case QJsonValue::String:
        return textToValue(at.toString().trimmed(), value, reason);
    default:
        break;
    }
    *reason = QStringLiteral("%1 is not a number, a boolean or a word").arg(path.toString());
    return false;
}

bool PayloadMapping::commandPayload(double value, const QString &valueText, QByteArray *payload, QString *reason) const
{
    // Not a value a panel can mean; as an on/off word it would switch on.
    if (!std::isfinite(value)) {
        *reason = QStringLiteral("value \"%1\" is not a number").arg(valueText.left(40));
        return false;
    }
    QString word;
    for (const auto &entry : m_words) {
        if (entry.second == value) {
            word = entry.first;
            break;
        }
    }
    if (!word.isNull()) {
        // found in the table
    } else if (m_onOffPort) {
        // The panel's item state: exactly 0 is off, every other value on.
        word = value == 0.0 ? m_off.constFirst() : m_on.constFirst();
    } else if (!m_words.isEmpty()) {
        *reason = QStringLiteral("no word of the map means %1").arg(valueText.left(40));
        return false;
    } else {
        double parsed = 0.0;
        if (!parseNumber(valueText, &parsed)) {
            *reason = QStringLiteral("value \"%1\" is not a number").arg(valueText.left(40));
            return false;
        }
        word = valueText;
        if (m_scaled) {
            const double raw = m_scaleFrom[0]
                + (parsed - m_scaleTo[0]) * (m_scaleFrom[1] - m_scaleFrom[0]) / (m_scaleTo[1] - m_scaleTo[0]);
            if (!std::isfinite(raw)) {
                *reason = QStringLiteral("value %1 scaled back is not finite").arg(valueText.left(40));
                return false;
            }
            word = number(raw);
        }
    }
    QString text = m_templateText;
    text.replace(QLatin1String("%v"), word);
    *payload = text.toUtf8();
    return true;
}
