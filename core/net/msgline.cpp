#include "core/net/msgline.h"

#include "core/bus/portid.h"

#include <QtGlobal>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A byte range of a line. The separators "=" and "." are single bytes in UTF-8
// and never part of a multi-byte sequence, so fields split on bytes decode to
// the same texts as fields split after decoding.
struct Field
{
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
    case 'U': {
        // The address as a report carries it; anything from a "=" on is
        // left for a later text and not read.
        PortId address = PortId::fromReportAddress(payload.data, firstField(payload, '=').size);
        line.kind = address.isValid() ? NoValue : Malformed;
        line.output = address.isOutput();
        line.port = address.port();
        line.object = std::move(address).object();
        return line;
    }
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
        line.code = parts[0].text().toInt(nullptr, 10);
        line.text = firstField(parts[1], '=').text();
        return line;
    }

    PortId address = PortId::fromReportAddress(parts[0].data, parts[0].size);
    if (!address.isValid()) {
        line.kind = Malformed;
        return line;
    }
    line.kind = Port;
    line.output = address.isOutput();
    line.port = address.port();
    line.object = std::move(address).object();
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

QByteArray MsgLine::formatReportValue(double value)
{
    // 15 digits is as many as every double holds: a decimal text of up to 15
    // digits reads into a double and prints back as the same text.
    // A server formats every report once per panel, and QByteArray::number
    // takes ten times as long as std::to_chars. The two round a last digit
    // that is exactly half differently, so std::to_chars writes only values
    // whose shortest form has 15 digits or fewer, where nothing is rounded;
    // a differential test holds the two equal.
    if (std::isfinite(value) && value != 0.0) {
        char shortest[32];
        const auto exact = std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific);
        int digits = 0;
        for (const char *c = shortest; exact.ec == std::errc() && c < exact.ptr && *c != 'e'; ++c)
            digits += *c >= '0' && *c <= '9';
        char text[32];
        const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
        if (exact.ec == std::errc() && digits <= 15 && written.ec == std::errc())
            return QByteArray(text, int(written.ptr - text));
    }
    return QByteArray::number(value, 'g', 15);
}

QByteArray MsgLine::portPayload(const QString &object, int port, bool output, double value)
{
    QByteArray payload = PortId(output ? PortId::Out : PortId::In, object, port).toLatin1Address();
    payload += '=';
    payload += formatValue(value);
    return payload;
}

MsgLine MsgLine::parseRequest(const QByteArray &raw)
{
    MsgLine line;
    const QByteArray bytes = raw.trimmed();
    if (bytes.isEmpty())
        return line;
    line.letter = QLatin1Char(bytes.at(0));
    const QByteArray payload = bytes.mid(1);
    switch (bytes.at(0)) {
    case 'N':
        line.request = KeepAlive;
        line.text = QString::fromLatin1(payload);
        return line;
    case 'S':
        line.request = StartRequest;
        return line;
    case 'C':
        line.request = ConfigRequest;
        if (!payload.isEmpty()) {
            line.sub = QLatin1Char(payload.at(0));
            line.text = QString::fromLatin1(payload.mid(1));
        }
        return line;
    case 'L': {
        const int eq = payload.indexOf('=');
        if (eq < 0) {
            line.request = BadRequest;
            return line;
        }
        line.request = LoginRequest;
        line.user = QString::fromLatin1(payload.left(eq));
        line.password = QString::fromLatin1(payload.mid(eq + 1));
        return line;
    }
    case 'P':
        break;
    default:
        return line;
    }

    line.request = BadRequest;
    const int eq = payload.indexOf('=');
    if (eq < 0)
        return line;
    const PortId address = PortId::fromAddress(QString::fromLatin1(payload.left(eq)));
    const QByteArray valueBytes = payload.mid(eq + 1);
    bool valueOk = false;
    const double value = valueBytes.toDouble(&valueOk);
    if (!address.isValid() || !valueOk)
        return line;
    line.request = PortCommand;
    line.object = address.object();
    line.port = address.port();
    line.output = address.isOutput();
    line.value = value;
    line.valueText = QString::fromLatin1(valueBytes);
    return line;
}

namespace {

QByteArray serverText(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\n', ' ');
    bytes.replace('\r', ' ');
    return bytes;
}

} // namespace

QByteArray MsgLine::frameLoginAnswer(bool accepted)
{
    return frame('L', accepted ? QByteArrayLiteral("OK") : QByteArrayLiteral("DENIED"));
}

QByteArray MsgLine::frameConfigAnswer(QChar sub, const QString &text)
{
    return frame('C', serverText(sub.isNull() ? text : QString(sub) + text));
}

QByteArray MsgLine::frameError(int code, const QString &text)
{
    return frame('E', QByteArray::number(code) + '=' + serverText(text));
}

QByteArray MsgLine::frameKeepAlive(const QString &text)
{
    return frame('N', serverText(text));
}

QByteArray MsgLine::framePort(const QString &object, int port, bool output, double value)
{
    QByteArray payload = PortId(output ? PortId::Out : PortId::In, object, port).toUtf8Address();
    if (payload.isEmpty())
        return QByteArray();
    payload += '=';
    payload += formatReportValue(value);
    return frame('P', payload);
}

QByteArray MsgLine::frameNoValue(const PortId &port)
{
    const QByteArray address = port.toUtf8Address();
    return address.isEmpty() ? QByteArray() : frame('U', address);
}

QByteArray MsgLine::frameVerbatim(const QByteArray &line)
{
    return line + '\n';
}

QByteArray MsgLine::withoutPassword(const QByteArray &line)
{
    const int eq = line.indexOf('=');
    if (!line.startsWith('L') || eq < 0)
        return line;
    return line.left(eq + 1) + "***" + (line.endsWith('\n') ? "\n" : "");
}

QString MsgLine::errorText(int code)
{
    static const char *const texts[] = {
        "No Error Occured",                 // 0
        "Configuration not possible",       // 1
        "Command not found",                // 2
        "Timeout occured",                  // 3
        "You are not permited to do that",  // 4
        "MsgServer not inited, wait a bit", // 5
        "You found a secret",               // 6
    };
    return code >= 0 && code < int(sizeof(texts) / sizeof(texts[0])) ? QLatin1String(texts[code]) : QString();
}

bool MsgLine::operator==(const MsgLine &other) const
{
    if (kind != other.kind || request != other.request || letter != other.letter)
        return false;
    switch (request) {
    case ConfigRequest:
        return sub == other.sub && text == other.text;
    case KeepAlive:
        return text == other.text;
    case LoginRequest:
        return user == other.user && password == other.password;
    case PortCommand:
        return object == other.object && port == other.port && output == other.output && value == other.value
            && valueText == other.valueText;
    default:
        break;
    }
    switch (kind) {
    case Port:
        return object == other.object && port == other.port && output == other.output
            && (value == other.value || (qIsNaN(value) && qIsNaN(other.value)));
    case NoValue:
        return object == other.object && port == other.port && output == other.output;
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
    static const char *const names[] = {"Unknown", "Ignored", "Port",      "Error",
                                        "Login",   "Config",  "Malformed", "NoValue"};
    static const char *const requests[] = {"NoRequest",    "KeepAlive",   "LoginRequest", "ConfigRequest",
                                           "StartRequest", "PortCommand", "BadRequest"};
    QString s = QLatin1String(request == NoRequest ? names[kind] : requests[request]);
    if (!letter.isNull())
        s += QStringLiteral(" '%1'").arg(letter);
    switch (request) {
    case ConfigRequest:
        s += QStringLiteral(" sub='%1' text=\"%2\"").arg(sub.isNull() ? QString() : QString(sub)).arg(text);
        return s;
    case KeepAlive:
        s += QStringLiteral(" text=\"%1\"").arg(text);
        return s;
    case LoginRequest:
        // Never the password itself: this text goes into logs.
        s += QStringLiteral(" user=\"%1\" password of %2 characters").arg(user).arg(password.size());
        return s;
    case PortCommand:
        s += QStringLiteral(" object=\"%1\" port=%2 output=%3 value=%4 text=\"%5\"")
                 .arg(object)
                 .arg(port)
                 .arg(output ? "true" : "false")
                 .arg(value)
                 .arg(valueText);
        return s;
    default:
        break;
    }
    switch (kind) {
    case NoValue:
        s += QStringLiteral(" object=\"%1\" port=%2 output=%3").arg(object).arg(port).arg(output ? "true" : "false");
        break;
    case Port:
        s += QStringLiteral(" object=\"%1\" port=%2 output=%3 value=%4")
                 .arg(object)
                 .arg(port)
                 .arg(output ? "true" : "false")
                 .arg(value);
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
