#include "core/startup/messagehandler.h"

#include <cstring>

FILE *logStream(QtMsgType type, const char *category)
{
    switch (type) {
    case QtInfoMsg:
        return stdout;
    case QtCriticalMsg:
    case QtFatalMsg:
        return stderr;
    case QtWarningMsg:
        if (category && std::strncmp(category, "qt.qpa", 6) == 0 && (category[6] == '\0' || category[6] == '.'))
            return stderr;
        break;
    case QtDebugMsg:
        break;
    }
    return nullptr;
}

QByteArray logLine(QtMsgType type, const QString &message, const char *category)
{
    if (!logStream(type, category))
        return QByteArray();
    QByteArray line = message.toUtf8();
    line.append('\n');
    return line;
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    FILE *stream = logStream(type, context.category);
    if (!stream)
        return;
    const QByteArray line = logLine(type, message, context.category);
    // One fwrite per message keeps a line whole when several threads log.
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
}
