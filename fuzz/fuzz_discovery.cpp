// Feeds arbitrary discovery documents through --discover's mapping and
// holds its output to its promise: appended to the configuration, it loads
// without an error, and every section it prints is a port. Qt 5's JSON
// reader leaks where a key repeats over an array or an object (Qt 6's does
// not): against Qt 5, run it with -detect_leaks=0.

#include "tools/msgserver-mqtt/bridgeconfig.h"
#include "tools/msgserver-mqtt/discoveryreport.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // "TOPIC\nPAYLOAD", documents split by a NUL byte.
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    static const QByteArray head =
        "[broker]\nurl = mqtt://127.0.0.1:1883\nprefix =\n[panel]\nuser = demo\npassword = demo\n"
        "[IN.Vorhanden.1]\nstate = zigbee2mqtt/Haustür\nvalue = contact\non = false\noff = true\n";
    BridgeConfig config;
    if (!config.parse(head, QStringLiteral("head.ini"))) {
        std::fprintf(stderr, "%s\n", qPrintable(config.error()));
        std::abort();
    }
    DiscoveryReport report(config, QStringLiteral("homeassistant"));
    for (const QByteArray &document : input.split('\0')) {
        const int cut = document.indexOf('\n');
        if (cut > 0)
            report.add(QString::fromUtf8(document.left(cut)), document.mid(cut + 1));
    }
    int ports = 0;
    const QString text = report.render(&ports);
    BridgeConfig again;
    if (!again.parse(head + text.toUtf8(), QStringLiteral("discovered.ini"))
        || again.ports.size() != config.ports.size() + ports) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(again.error()), qPrintable(text));
        std::abort();
    }
    return 0;
}
