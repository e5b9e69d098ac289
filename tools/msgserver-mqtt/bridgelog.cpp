#include "bridgelog.h"

#include <cstdio>
#include <cstring>

Q_LOGGING_CATEGORY(lcBridge, "qalix.mqtt.bridge")
Q_LOGGING_CATEGORY(lcBroker, "qalix.mqtt.broker")
Q_LOGGING_CATEGORY(lcCheck, "qalix.mqtt.check")

namespace {

QtMessageHandler qtHandler = nullptr;

void bridgeMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool ours = context.category && std::strncmp(context.category, "qalix.mqtt.", 11) == 0;
    if (!ours || type == QtDebugMsg || type == QtFatalMsg) {
        qtHandler(type, context, message);
        return;
    }
    FILE *stream = type == QtInfoMsg ? stdout : stderr;
    QByteArray line = message.toUtf8();
    if (type != QtInfoMsg)
        line.prepend("msgserver-mqtt: ");
    line += '\n';
    // One write a line, flushed at once: a supervisor's log shows each as it happens.
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
}

} // namespace

void installBridgeMessageHandler()
{
    qtHandler = qInstallMessageHandler(bridgeMessageHandler);
}
