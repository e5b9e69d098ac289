#include "core/live/reportline.h"

#include "core/bus/portid.h"

#include <QDebug>

#include <cmath>

namespace {

bool plainName(const QString &object)
{
    for (const QChar c : object) {
        const ushort u = c.unicode();
        if (u < 0x20 || u > 0x7e || u == '"' || u == '\\')
            return false;
    }
    return true;
}

// The stream writes a value with six significant digits, in fixed notation
// while its decimal exponent lies in -4..5, trailing zeros and point removed.
// Written here for such values when the rounding to six digits is beyond
// doubt; false for everything else (exponent notation, -0, a value within a
// hair of a rounding tie).
bool appendFixed(QString &text, double value)
{
    if (value == 0.0) {
        if (std::signbit(value))
            return false;
        text.append(QLatin1Char('0'));
        return true;
    }
    const double magnitude = std::fabs(value);
    if (!(magnitude >= 1e-4 && magnitude < 1e6))
        return false;
    static const double powers[] = {1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5};
    static const double scales[] = {1e9, 1e8, 1e7, 1e6, 1e5, 1e4, 1e3, 1e2, 1e1, 1e0};
    int exponent = -4;
    while (exponent < 5 && magnitude >= powers[exponent + 4])
        ++exponent;
    // Six digits, exactly: the product is within a few 1e-11 of the exact
    // one, so a fraction clear of one half rounds as the exact value does.
    const double scaled = magnitude * scales[exponent + 4];
    const double whole = std::floor(scaled);
    if (std::fabs(scaled - whole - 0.5) < 1e-6)
        return false;
    qint64 digits = qint64(whole) + (scaled - whole > 0.5 ? 1 : 0);
    if (digits < 100000 || digits > 999999)
        return false;

    char sixDigits[6];
    for (int i = 5; i >= 0; --i, digits /= 10)
        sixDigits[i] = char('0' + digits % 10);
    char out[24];
    int n = 0;
    if (value < 0)
        out[n++] = '-';
    if (exponent >= 0) {
        for (int i = 0; i <= exponent; ++i)
            out[n++] = sixDigits[i];
        out[n++] = '.';
        for (int i = exponent + 1; i < 6; ++i)
            out[n++] = sixDigits[i];
    } else {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = 0; i < -exponent - 1; ++i)
            out[n++] = '0';
        for (int i = 0; i < 6; ++i)
            out[n++] = sixDigits[i];
    }
    while (out[n - 1] == '0')
        --n;
    if (out[n - 1] == '.')
        --n;
    text.append(QLatin1String(out, n));
    return true;
}

} // namespace

QString ReportLine::text(const QString &object, bool output, int port, double value)
{
    QString line;
    write(&line, object, output, port, value);
    return line;
}

void ReportLine::write(QString *line, const QString &object, bool output, int port, double value)
{
    if (!plainName(object)) {
        *line = referenceText(object, output, port, value);
        return;
    }
    line->resize(0);
    line->reserve(6 + object.size() + 8 + 12 + 12);
    line->append(QLatin1String("Data \""))
        .append(object)
        .append(output ? QLatin1String("\" true ") : QLatin1String("\" false "));
    PortId::appendPortNumber(*line, port);
    line->append(QLatin1Char(' '));
    if (!appendFixed(*line, value))
        line->append(QString::number(value, 'g', 6));
}

QString ReportLine::referenceText(const QString &object, bool output, int port, double value)
{
    QString line;
    QDebug(&line) << "Data" << object << output << port << value;
    // The stream leaves the space it puts after every item.
    if (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line;
}

void ReportLine::log(QString *buffer, const QString &object, bool output, int port, double value)
{
    write(buffer, object, output, port, value);
    // What a qInfo() stream hands over when it ends, without building one.
    qt_message_output(QtInfoMsg, QMessageLogContext(), *buffer);
}
