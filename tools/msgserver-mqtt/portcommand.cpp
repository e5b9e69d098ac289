#include "portcommand.h"

#include <QTextStream>

#include <cmath>

namespace {

// -0.4 with no decimals is "-0": no device means a negative zero.
QString fixed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(QLatin1Char('-')) && text.mid(1) == QString::number(0.0, 'f', decimals))
        text.remove(0, 1);
    return text;
}

} // namespace

bool PortCommand::yesNo(const QString &value, bool *yes)
{
    *yes = value == QLatin1String("yes");
    return *yes || value == QLatin1String("no");
}

bool PortCommand::sendsWords(const PayloadMapping &mapping) const
{
    return !fixedWord.isNull() || !onWord.isNull() || !offWord.isNull() || mapping.isOnOffPort()
        || !mapping.wordTable().isEmpty();
}

bool PortCommand::payload(const PayloadMapping &mapping, double value, const QString &valueText, QByteArray *payload,
                          QString *reason) const
{
    // Not a value a panel can mean; as an on/off word it would switch on.
    if (!std::isfinite(value)) {
        *reason = QStringLiteral("value \"%1\" is not a number").arg(valueText.left(40));
        return false;
    }
    QString word = fixedWord;
    for (int i = 0; word.isNull() && i < mapping.wordTable().size(); ++i) {
        if (mapping.wordTable().at(i).second == value)
            word = mapping.wordTable().at(i).first;
    }
    if (!word.isNull()) {
        // fixed, or found in the map
    } else if (mapping.isOnOffPort() || !onWord.isNull() || !offWord.isNull()) {
        // The panel's item state: exactly 0 is off, every other value on.
        if (value == 0.0)
            word = offWord.isNull() ? mapping.offWords().constFirst() : offWord;
        else
            word = onWord.isNull() ? mapping.onWords().constFirst() : onWord;
    } else if (!mapping.wordTable().isEmpty()) {
        *reason = QStringLiteral("no word of the map means %1").arg(valueText.left(40));
        return false;
    } else {
        double number = 0.0;
        if (!PayloadMapping::readNumber(valueText, &number)) {
            *reason = QStringLiteral("value \"%1\" is not a number").arg(valueText.left(40));
            return false;
        }
        if (mapping.isScaled() && !mapping.scaleToDevice(number, &number)) {
            *reason = QStringLiteral("value %1 scaled back is not finite").arg(valueText.left(40));
            return false;
        }
        // A dimmer takes 85, not 84.582.
        word = decimals < 0 && !mapping.isScaled() ? valueText : fixed(number, qMax(decimals, 0));
    }
    QString text = templateText;
    text.replace(QLatin1String("%v"), word);
    *payload = text.toUtf8();
    return true;
}

QString PortCommand::describe(const PayloadMapping &mapping) const
{
    QString text;
    QTextStream out(&text);
    out << topic << " " << templateText << " (%v: ";
    if (!fixedWord.isNull()) {
        out << fixedWord << " whatever the value";
    } else if (!mapping.wordTable().isEmpty()) {
        out << "word of the map";
    } else if (sendsWords(mapping)) {
        if (onWord.isNull() && offWord.isNull())
            out << "on/off word";
        else
            out << (onWord.isNull() ? mapping.onWords().constFirst() : onWord) << " for on, "
                << (offWord.isNull() ? mapping.offWords().constFirst() : offWord) << " for off";
    } else if (decimals >= 0) {
        out << (mapping.isScaled() ? "value scaled back, " : "value, ") << decimals << " decimals";
    } else {
        out << (mapping.isScaled() ? "value scaled back, as an integer" : "value");
    }
    out << ")";
    if (qos != 1)
        out << ", QoS " << qos;
    if (retain)
        out << ", retained";
    return text;
}
