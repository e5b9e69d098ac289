#include "core/startup/messagehandler.h"

FILE *logStream(QtMsgType type)
{
    switch (type) {
    case QtInfoMsg:
        return stdout;
    case QtCriticalMsg:
    case QtFatalMsg:
        return stderr;
    case QtDebugMsg:
    case QtWarningMsg:
        break;
    }
    return nullptr;
}

QByteArray logLine(QtMsgType type, const QString &message)
{
    if (!logStream(type))
        return QByteArray();
    QByteArray line = message.toUtf8();
    line.append('\n');
    return line;
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(context)
    FILE *stream = logStream(type);
    if (!stream)
        return;
    const QByteArray line = logLine(type, message);
    // One fwrite per message keeps a line whole when several threads log.
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
}
