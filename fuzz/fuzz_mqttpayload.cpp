// Feeds arbitrary MQTT payloads through a port's payload conversion, and
// arbitrary panel value texts through its command template (as sent, or to
// three decimals) and back, and the same bytes as a value path.

#include "tools/msgserver-mqtt/payloadmapping.h"
#include "tools/msgserver-mqtt/portcommand.h"

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

    static const char *const paths[] = {"", "state", "a.b[1].c", "[0]"};
    ValuePath path;
    QString reason;
    ValuePath::parse(QString::fromLatin1(paths[pick & 3]), &path, &reason);
    PayloadMapping mapping;
    if (pick & 4)
        mapping.setWords({QStringLiteral("auf"), QStringLiteral("offen")}, {QStringLiteral("zu")});
    mapping.setOnOffPort(pick & 8);
    if (pick & 16) {
        mapping.setUnit(QStringLiteral("°C"));
        mapping.setDecimalComma(true);
    }
    if (pick & 32)
        mapping.setWordTable({{QStringLiteral("heat"), 1.0}, {QStringLiteral("auto"), 3.0}});
    if (pick & 64)
        mapping.setScale(0, 254, 0, 100);

    // Any text as a value path: refused with a reason, or read back as given.
    ValuePath typed;
    reason.clear();
    if (ValuePath::parse(QString::fromUtf8(payload), &typed, &reason) ? typed.toString() != QString::fromUtf8(payload)
                                                                      : reason.isEmpty())
        std::abort();

    reason.clear();
    double value = 0.0;
    if (mapping.toValue(payload, path, &value, &reason)) {
        if (!std::isfinite(value) || !reason.isEmpty())
            std::abort();
    } else if (reason.isEmpty()) {
        std::abort();
    }

    // A command must read back as what the panel asked for, whatever text it
    // sent: a JSON template must not let the value text out of its place.
    PayloadMapping words;
    words.setOnOffPort(pick & 8);
    PortCommand command;
    command.templateText = QStringLiteral("{\"v\":\"%v\"}");
    command.decimals = (pick & 128) ? 3 : -1;
    ValuePath v;
    ValuePath::parse(QStringLiteral("v"), &v, &reason);
    const QString valueText = QString::fromUtf8(payload);
    QByteArray wire;
    if (command.payload(words, value, valueText, &wire, &reason)) {
        double back = 0.0;
        QString why;
        if (!words.toValue(wire, v, &back, &why))
            std::abort();
        double expected = (pick & 8) ? (value != 0.0 ? 1.0 : 0.0) : valueText.trimmed().toDouble();
        if (command.decimals >= 0 && !(pick & 8))
            expected = QString::number(expected, 'f', command.decimals).toDouble();
        if (back != expected && !(std::isnan(back) && std::isnan(expected)))
            std::abort();
    }
    return 0;
}
