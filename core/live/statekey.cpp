#include "core/live/statekey.h"

#include <QStringList>
#include <QStringView>

#include <utility>

StateKey::StateKey(QString object, Direction direction, int port)
    : m_object(std::move(object))
    , m_direction(direction)
    , m_port(port)
    , m_valid(true)
{
}

StateKey StateKey::parse(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char('_'));
    if (fields.size() < 3 || fields.first() != QLatin1String("ITM"))
        return {};
    const QString object = fields.mid(1, fields.size() - 2).join(QLatin1Char('_'));
    const QString &portText = fields.last();

    Direction direction;
    QStringView digits;
    if (portText.startsWith(QLatin1String("OUT"))) {
        direction = Out;
        digits = QStringView(portText).mid(3);
    } else if (portText.startsWith(QLatin1String("IN"))) {
        direction = In;
        digits = QStringView(portText).mid(2);
    } else {
        return {};
    }
    // Nine digits at most, so the number always fits an int.
    if (object.isEmpty() || digits.isEmpty() || digits.size() > 9)
        return {};
    int port = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
        port = port * 10 + (c.unicode() - '0');
    }
    return StateKey(object, direction, port);
}

QString StateKey::toString() const
{
    return text(m_object, m_direction, m_port);
}

QString StateKey::text(const QString &object, Direction direction, int port)
{
    QString key;
    write(&key, object, direction, port);
    return key;
}

void StateKey::write(QString *key, const QString &object, Direction direction, int port)
{
    const QLatin1String middle = direction == Out ? QLatin1String("_OUT") : QLatin1String("_IN");
    key->resize(0);
    key->reserve(4 + object.size() + middle.size() + 11);
    key->append(QLatin1String("ITM_")).append(object).append(middle);
    appendDecimal(*key, port);
}

void StateKey::appendDecimal(QString &text, qint64 number)
{
    char digits[20];
    int at = sizeof digits;
    quint64 rest = number < 0 ? 0u - quint64(number) : quint64(number);
    do {
        digits[--at] = char('0' + rest % 10);
        rest /= 10;
    } while (rest);
    if (number < 0)
        digits[--at] = '-';
    text.append(QLatin1String(digits + at, int(sizeof digits) - at));
}
