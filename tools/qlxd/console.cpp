#include "commands.h"

#include <QTextStream>

#include <cstdio>

QTextStream &standardOutput()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &standardError()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString &command, const QString &message, int code)
{
    standardOutput().flush();
    standardError() << "qlxd " << command << ": " << message << '\n';
    standardError().flush();
    return code;
}

QString printable(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            result += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if (c == QLatin1Char('\\'))
            result += QStringLiteral("\\\\");
        else
            result += c;
    }
    return result;
}
