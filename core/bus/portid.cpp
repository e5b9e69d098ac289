#include "core/bus/portid.h"

#include <QStringList>
#include <QStringView>

#include <cstring>
#include <utility>

namespace {

QLatin1String directionText(PortId::Direction direction)
{
    return direction == PortId::Out ? QLatin1String("OUT") : QLatin1String("IN");
}

// Base-10 as QString::toInt reads it, 0 when it is not a number. Plain
// digits, what every server sends, are read here directly: this runs for
// every report.
int leniently(const char *data, int size)
{
    if (size > 0 && size <= 9) {
        int value = 0;
        int i = 0;
        for (; i < size && data[i] >= '0' && data[i] <= '9'; ++i)
            value = value * 10 + (data[i] - '0');
        if (i == size)
            return value;
    }
    return QString::fromUtf8(data, size).toInt(nullptr, 10);
}

} // namespace

PortId::PortId(Direction direction, QString object, int port)
    : m_object(std::move(object))
    , m_direction(direction)
    , m_port(port)
    , m_valid(true)
{
}

QString PortId::toStateKey() const
{
    QString key;
    writeStateKey(&key, m_object, m_direction, m_port);
    return key;
}

void PortId::writeStateKey(QString *key, const QString &object, Direction direction, int port)
{
    key->resize(0);
    key->reserve(4 + object.size() + 4 + 11);
    key->append(QLatin1String("ITM_")).append(object).append(QLatin1Char('_')).append(directionText(direction));
    appendPortNumber(*key, port);
}

PortId PortId::fromStateKey(const QString &text)
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
    return PortId(direction, object, port);
}

QString PortId::undirectedStateKey(const QString &object, int port)
{
    QString key = QLatin1String("ITM_") + object + QLatin1Char('_');
    appendPortNumber(key, port);
    return key;
}

QString PortId::toAddress() const
{
    QString address = directionText(m_direction) + QLatin1Char('.') + m_object + QLatin1Char('.');
    appendPortNumber(address, m_port);
    return address;
}

QByteArray PortId::toLatin1Address() const
{
    return toAddress().toLatin1();
}

bool PortId::isReportable() const
{
    static const QString unsafe = QStringLiteral(".=\n\r");
    if (m_object.isEmpty())
        return false;
    for (const QChar c : m_object) {
        if (unsafe.contains(c))
            return false;
    }
    return true;
}

QByteArray PortId::toUtf8Address() const
{
    if (!isReportable())
        return QByteArray();
    QByteArray address = m_direction == Out ? QByteArrayLiteral("OUT.") : QByteArrayLiteral("IN.");
    address += m_object.toUtf8();
    address += '.';
    address += QByteArray::number(m_port);
    return address;
}

PortId PortId::fromFields(const QString &direction, const QString &object, const QString &number)
{
    const bool output = direction == QLatin1String("OUT");
    if ((!output && direction != QLatin1String("IN")) || object.isEmpty())
        return {};
    bool ok = false;
    const int port = number.toInt(&ok, 10);
    if (!ok || port < 0)
        return {};
    return PortId(output ? Out : In, object, port);
}

PortId PortId::fromAddress(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != 3)
        return {};
    return fromFields(fields.at(0), fields.at(1), fields.at(2));
}

PortId PortId::fromReportAddress(const char *data, int size)
{
    const char *const end = data + size;
    const auto nextDot = [end](const char *from) {
        return static_cast<const char *>(std::memchr(from, '.', size_t(end - from)));
    };
    const char *firstDot = nextDot(data);
    const char *secondDot = firstDot ? nextDot(firstDot + 1) : nullptr;
    if (!secondDot)
        return {};
    const char *number = secondDot + 1;
    const char *numberEnd = nextDot(number);
    if (!numberEnd)
        numberEnd = end;
    const bool output = firstDot - data == 3 && std::memcmp(data, "OUT", 3) == 0;
    return PortId(output ? Out : In, QString::fromUtf8(firstDot + 1, int(secondDot - firstDot - 1)),
                  leniently(number, int(numberEnd - number)));
}

QString PortId::toTopic(const QString &prefix) const
{
    QString topic =
        prefix + QLatin1Char('/') + directionText(m_direction) + QLatin1Char('/') + m_object + QLatin1Char('/');
    appendPortNumber(topic, m_port);
    return topic;
}

PortId PortId::fromTopic(const QString &prefix, const QString &topic)
{
    if (prefix.isEmpty() || topic.size() <= prefix.size() || !topic.startsWith(prefix)
        || topic.at(prefix.size()) != QLatin1Char('/'))
        return {};
    const QStringList levels = topic.mid(prefix.size() + 1).split(QLatin1Char('/'));
    if (levels.size() != 3)
        return {};
    return fromFields(levels.at(0), levels.at(1), levels.at(2));
}

void PortId::appendPortNumber(QString &text, int port)
{
    char digits[12];
    int at = sizeof digits;
    // Unsigned, so that the lowest int has a magnitude too.
    quint32 rest = port < 0 ? 0u - quint32(port) : quint32(port);
    do {
        digits[--at] = char('0' + rest % 10);
        rest /= 10;
    } while (rest);
    if (port < 0)
        digits[--at] = '-';
    text.append(QLatin1String(digits + at, int(sizeof digits) - at));
}

bool PortId::operator==(const PortId &other) const
{
    if (m_valid != other.m_valid)
        return false;
    return !m_valid || (m_direction == other.m_direction && m_port == other.m_port && m_object == other.m_object);
}

QString PortId::toString() const
{
    return m_valid ? QStringLiteral("%1 \"%2\" %3").arg(directionText(m_direction), m_object).arg(m_port)
                   : QStringLiteral("no port");
}

char *toString(const PortId &id)
{
    return qstrdup(id.toString().toUtf8().constData());
}
