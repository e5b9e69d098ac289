// Feeds arbitrary MQTT payloads through a port's payload conversion, and
// arbitrary panel value texts through its command template and back.

#include "tools/msgserver-mqtt/payloadmapping.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the port's settings.
    const uint8_t pick = data[0];
    const QByteArray payload(reinterpret_cast<const char *>(data + 1), int(size - 1));

    static const char *const paths[] = {"", "state", "a.b.c", "0"};
    PayloadMapping mapping;
    mapping.setValuePath(QString::fromLatin1(paths[pick & 3]));
    if (pick & 4)
        mapping.setWords({QStringLiteral("auf"), QStringLiteral("offen")}, {QStringLiteral("zu")});
    mapping.setOnOffPort(pick & 8);

    double value = 0.0;
    QString reason;
    if (mapping.toValue(payload, &value, &reason)) {
        if (!std::isfinite(value) || !reason.isEmpty())
            std::abort();
    } else if (reason.isEmpty()) {
        std::abort();
    }

    // A command must read back as what the panel asked for, whatever text it
    // sent: a JSON template must not let the value text out of its place.
    PayloadMapping command;
    command.setValuePath(QStringLiteral("v"));
    command.setCommandTemplate(QStringLiteral("{\"v\":\"%v\"}"));
    command.setOnOffPort(pick & 8);
    const QString valueText = QString::fromUtf8(payload);
    QByteArray wire;
    if (command.commandPayload(value, valueText, &wire)) {
        double back = 0.0;
        QString why;
        if (!command.toValue(wire, &back, &why))
            std::abort();
        const double expected = (pick & 8) ? (value != 0.0 ? 1.0 : 0.0) : valueText.trimmed().toDouble();
        if (back != expected && !(std::isnan(back) && std::isnan(expected)))
            std::abort();
    }
    return 0;
}
