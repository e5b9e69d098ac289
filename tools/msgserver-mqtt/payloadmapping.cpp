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

bool containsWord(const QStringList &words, const QString &text)
{
    return words.contains(text, Qt::CaseInsensitive);
}

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

bool PayloadMapping::readNumber(const QString &text, double *value)
{
    static const QRegularExpression pattern(QStringLiteral("\\A[+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?\\z"));
    if (!pattern.match(text).hasMatch())
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

PayloadMapping::PayloadMapping()
    : m_on(defaultOnWords())
    , m_off(defaultOffWords())
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
    return readNumber(text, &raw) && scaleToPanel(raw, value);
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

bool PayloadMapping::toValue(const QByteArray &payload, const ValuePath &path, double *value, QString *reason,
                             bool *absent) const
{
    bool nothing = false;
    if (!absent)
        absent = &nothing;
    *absent = false;
    if (payload.size() > maxPayloadBytes) {
        *reason = QStringLiteral("payload of %1 bytes, more than %2").arg(payload.size()).arg(maxPayloadBytes);
        return false;
    }
    if (path.isEmpty()) {
        const QString text = QString::fromUtf8(payload).trimmed();
        *absent = text.isEmpty();
        return textToValue(text, value, reason);
    }

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || document.isNull()) {
        *absent = payload.trimmed().isEmpty();
        *reason = *absent ? QStringLiteral("empty payload") : QStringLiteral("not JSON");
        return false;
    }
    QJsonValue at;
    if (!path.find(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()), &at)) {
        *absent = true;
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
        *absent = at.toString().trimmed().isEmpty();
        return textToValue(at.toString().trimmed(), value, reason);
    default:
        break;
    }
    *reason = QStringLiteral("%1 is not a number, a boolean or a word").arg(path.toString());
    return false;
}

bool PayloadMapping::scaleToDevice(double value, double *raw) const
{
    const double v = m_scaled
        ? m_scaleFrom[0] + (value - m_scaleTo[0]) * (m_scaleFrom[1] - m_scaleFrom[0]) / (m_scaleTo[1] - m_scaleTo[0])
        : value;
    if (!std::isfinite(v))
        return false;
    *raw = v;
    return true;
}
