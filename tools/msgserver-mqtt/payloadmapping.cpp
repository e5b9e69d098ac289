#include "payloadmapping.h"

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
    static const QRegularExpression number(
        QStringLiteral("\\A[+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?\\z"));
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

} // namespace

PayloadMapping::PayloadMapping()
    : on(defaultOnWords()), off(defaultOffWords()), templateText(QStringLiteral("%v"))
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

void PayloadMapping::setValuePath(const QString &valuePath)
{
    path = valuePath.isEmpty() ? QStringList() : valuePath.split(QLatin1Char('.'));
}

void PayloadMapping::setWords(const QStringList &onWords, const QStringList &offWords)
{
    on = onWords.isEmpty() ? defaultOnWords() : onWords;
    off = offWords.isEmpty() ? defaultOffWords() : offWords;
}

void PayloadMapping::setCommandTemplate(const QString &commandTemplate)
{
    templateText = commandTemplate.isEmpty() ? QStringLiteral("%v") : commandTemplate;
}

bool PayloadMapping::textToValue(const QString &text, double *value, QString *reason) const
{
    // A word both lists name reads as on; the configuration check forbids it.
    if (containsWord(on, text)) {
        *value = 1.0;
        return true;
    }
    if (containsWord(off, text)) {
        *value = 0.0;
        return true;
    }
    if (parseNumber(text, value))
        return true;
    *reason = text.isEmpty() ? QStringLiteral("empty payload")
                             : QStringLiteral("neither a number nor an on/off word: \"%1\"").arg(text.left(40));
    return false;
}

bool PayloadMapping::toValue(const QByteArray &payload, double *value, QString *reason) const
{
    if (payload.size() > maxPayloadBytes) {
        *reason = QStringLiteral("payload of %1 bytes, more than %2").arg(payload.size()).arg(maxPayloadBytes);
        return false;
    }
    if (path.isEmpty())
        return textToValue(QString::fromUtf8(payload).trimmed(), value, reason);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *reason = QStringLiteral("not a JSON object");
        return false;
    }
    QJsonValue at = document.object();
    for (const QString &key : path) {
        if (!at.isObject() || !at.toObject().contains(key)) {
            *reason = QStringLiteral("no %1 in the JSON object").arg(valuePath());
            return false;
        }
        at = at.toObject().value(key);
    }
    switch (at.type()) {
    case QJsonValue::Double:
        *value = at.toDouble();
        if (std::isfinite(*value))
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
    *reason = QStringLiteral("%1 is not a number, a boolean or a word").arg(valuePath());
    return false;
}

bool PayloadMapping::commandPayload(double value, const QString &valueText, QByteArray *payload) const
{
    // Not a value a panel can mean; as an on/off word it would switch on.
    if (!std::isfinite(value))
        return false;
    QString word;
    if (onOffPort) {
        // The panel's item state: exactly 0 is off, every other value on.
        word = value == 0.0 ? off.constFirst() : on.constFirst();
    } else {
        double parsed = 0.0;
        if (!parseNumber(valueText, &parsed))
            return false;
        word = valueText;
    }
    QString text = templateText;
    text.replace(QLatin1String("%v"), word);
    *payload = text.toUtf8();
    return true;
}
