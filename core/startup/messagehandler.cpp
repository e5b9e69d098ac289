#include "core/startup/messagehandler.h"
#include "core/wall/backlight.h"

#include <atomic>
#include <cstring>
#include <ctime>

bool isDisplayLost(const QString &message)
{
    // Qt 5.15 and 6 word them so, then call _exit(1).
    return message.startsWith(QLatin1String("The Wayland connection "))
        || message.startsWith(QLatin1String("The X11 connection "));
}

FILE *logStream(QtMsgType type, const char *category, const QString &message)
{
    switch (type) {
    case QtInfoMsg:
        return stdout;
    case QtCriticalMsg:
    case QtFatalMsg:
        return stderr;
    case QtWarningMsg:
        if (category && std::strncmp(category, "qt.qpa", 6) == 0 && (category[6] == '\0' || category[6] == '.')) {
            // Qt 5 says so at every start on Wayland; nothing is amiss.
            if (message.endsWith(QLatin1String("does not support QWindow::requestActivate()")))
                return nullptr;
            return stderr;
        }
        if (isDisplayLost(message))
            return stderr;
        break;
    case QtDebugMsg:
        break;
    }
    return nullptr;
}

QByteArray logLine(QtMsgType type, const QString &message, const char *category)
{
    if (!logStream(type, category, message))
        return QByteArray();
    QByteArray line = message.toUtf8();
    line.append('\n');
    return line;
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool displayLost = type == QtWarningMsg && isDisplayLost(message);
    if (type == QtFatalMsg || displayLost)
        Backlight::restoreInEmergency();
    // More than one of Qt's threads may find the broken connection (Qt 6 on
    // Wayland), and each ends the process right after its warning: the line is
    // written once, and a later thread waits until it is out.
    static std::atomic<int> lostLine{0}; // 1: being written, 2: written
    int none = 0;
    if (displayLost && !lostLine.compare_exchange_strong(none, 1)) {
        const struct timespec millisecond = {0, 1000000};
        for (int i = 0; i < 200 && lostLine.load() != 2; ++i)
            ::nanosleep(&millisecond, nullptr);
        return;
    }
    FILE *stream = logStream(type, context.category, message);
    if (!stream)
        return;
    const QByteArray line = logLine(type, message, context.category);
    // One fwrite per message keeps a line whole when several threads log.
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
    if (displayLost)
        lostLine.store(2);
}
