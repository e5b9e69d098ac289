#include "app/messagehandler.h"

#include <cstdio>

QByteArray logLine(QtMsgType type, const QString &message)
{
    if (type != QtInfoMsg)
        return QByteArray();
    QByteArray line = message.toUtf8();
    line.append('\n');
    return line;
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(context)
    const QByteArray line = logLine(type, message);
    if (line.isEmpty())
        return;
    // One fwrite per message keeps a line whole when several threads log.
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}
