#include "core/net/msgline.h"

#include <QtGlobal>
#include <charconv>
#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A byte range of a line. The separators "=" and "." are single bytes in UTF-8
// and never part of a multi-byte sequence, so fields split on bytes decode to
// the same texts as fields split after decoding.
struct Field {
    const char *data;
    int size;

    QString text() const { return QString::fromUtf8(data, size); }
};

// Splits `s` at `sep` into at most `max` fields; returns how many it found.
int splitFields(Field s, char sep, Field *fields, int max)
{
    int count = 0;
    const char *from = s.data;
    const char *const end = s.data + s.size;
    while (count < max) {
        const char *at = static_cast<const char *>(std::memchr(from, sep, size_t(end - from)));
        if (!at) {
            fields[count++] = {from, int(end - from)};
            break;
        }
        fields[count++] = {from, int(at - from)};
        from = at + 1;
    }
    return count;
}

Field firstField(Field s, char sep)
{
    Field f[1];
    splitFields(s, sep, f, 1);
    return f[0];
}

// Base-10 integer as QString::toInt reads it: 0 when it is not one. Plain
// digits, the usual case, are read here directly.
int toInt(Field f)
{
    if (f.size > 0 && f.size <= 9) {
        int value = 0;
        int i = 0;
        for (; i < f.size && f.data[i] >= '0' && f.data[i] <= '9'; ++i)
            value = value * 10 + (f.data[i] - '0');
        if (i == f.size)
            return value;
    }
    return f.text().toInt(nullptr, 10);
}

// A double as QString::toDouble reads it, locale-independent: 0 when it is not
// one. Plain decimal and exponent forms are read here directly.
double toDouble(Field f)
{
    bool plain = f.size > 0 && f.size < 64;
    for (int i = 0; plain && i < f.size; ++i) {
        const char c = f.data[i];
        plain = (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-';
    }
    if (plain) {
        double value = 0.0;
        const auto result = std::from_chars(f.data, f.data + f.size, value);
        if (result.ec == std::errc() && result.ptr == f.data + f.size)
            return value;
    }
    return f.text().toDouble();
}

} // namespace

MsgLine MsgLine::parse(const char *data, int size)
{
    MsgLine line;
    while (size > 0 && isBlank(*data)) {
        ++data;
        --size;
    }
    while (size > 0 && isBlank(data[size - 1]))
        --size;
    size = int(qstrnlen(data, uint(size)));
    if (size == 0)
        return line;

    const uchar first = uchar(data[0]);
    if (first >= 0x80) {
        // A multi-byte letter: only one within Latin-1 counts as a letter, and none is known.
        const QString decoded = QString::fromUtf8(data, size);
        if (!decoded.isEmpty() && decoded.at(0).unicode() <= 0xFF)
            line.letter = decoded.at(0);
        return line;
    }
    line.letter = QLatin1Char(char(first));
    const Field payload{data + 1, size - 1};

    switch (first) {
    case 'N':
    case 'B':
        line.kind = Ignored;
        return line;
    case 'L':
        line.kind = Login;
        line.loginOk = payload.size == 2 && payload.data[0] == 'O' && payload.data[1] == 'K';
        return line;
    case 'C':
        line.kind = Config;
        if (payload.size > 0) {
            const QString text = payload.text();
            line.sub = text.at(0);
            line.text = text.mid(1);
        }
        return line;
    case 'P':
    case 'E':
        break;
    default:
        return line;
    }

    Field parts[2];
    if (splitFields(payload, '=', parts, 2) < 2) {
        line.kind = Malformed;
        return line;
    }
    if (first == 'E') {
        line.kind = Error;
        line.code = toInt(parts[0]);
        line.text = firstField(parts[1], '=').text();
        return line;
    }

    Field address[3];
    if (splitFields(parts[0], '.', address, 3) < 3) {
        line.kind = Malformed;
        return line;
    }
    line.kind = Port;
    line.output = address[0].size == 3 && std::memcmp(address[0].data, "OUT", 3) == 0;
    line.object = address[1].text();
    line.port = toInt(firstField(address[2], '.'));
    line.value = toDouble(firstField(parts[1], '='));
    return line;
}

QByteArray MsgLine::frame(char command, const QByteArray &payload)
{
    QByteArray line;
    line.reserve(payload.size() + 2);
    line.append(command);
    line.append(payload);
    line = line.trimmed();
    line.append('\n');
    return line;
}

QByteArray MsgLine::formatValue(double value)
{
    // QByteArray::number always uses the C locale.
    return QByteArray::number(value, 'g', 6);
}

QByteArray MsgLine::portPayload(const QString &object, int port, bool output, double value)
{
    QString payload = QLatin1String(output ? "OUT" : "IN");
    payload += QLatin1Char('.');
    payload += object;
    payload += QLatin1Char('.');
    payload += QString::number(port);
    payload += QLatin1Char('=');
    payload += QLatin1String(formatValue(value));
    return payload.toLatin1();
}

bool MsgLine::operator==(const MsgLine &other) const
{
    if (kind != other.kind || letter != other.letter)
        return false;
    switch (kind) {
    case Port:
        return object == other.object && port == other.port && output == other.output
            && (value == other.value || (qIsNaN(value) && qIsNaN(other.value)));
    case Error:
        return code == other.code && text == other.text;
    case Login:
        return loginOk == other.loginOk;
    case Config:
        return sub == other.sub && text == other.text;
    default:
        return true;
    }
}

QString MsgLine::toString() const
{
    static const char *const names[] = {"Unknown", "Ignored", "Port", "Error", "Login", "Config", "Malformed"};
    QString s = QLatin1String(names[kind]);
    if (!letter.isNull())
        s += QStringLiteral(" '%1'").arg(letter);
    switch (kind) {
    case Port:
        s += QStringLiteral(" object=\"%1\" port=%2 output=%3 value=%4")
                 .arg(object).arg(port).arg(output ? "true" : "false").arg(value);
        break;
    case Error:
        s += QStringLiteral(" code=%1 text=\"%2\"").arg(code).arg(text);
        break;
    case Login:
        s += loginOk ? QStringLiteral(" OK") : QStringLiteral(" refused");
        break;
    case Config:
        s += QStringLiteral(" sub='%1' text=\"%2\"").arg(sub.isNull() ? QString() : QString(sub)).arg(text);
        break;
    default:
        break;
    }
    return s;
}

char *toString(const MsgLine &line)
{
    return qstrdup(line.toString().toUtf8().constData());
}
