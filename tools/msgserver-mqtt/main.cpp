// msgserver-mqtt: the panels' message server, with its values from an MQTT broker.

#include "bridgecheck.h"
#include "bridgeconfig.h"
#include "mqttbridge.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("msgserver-mqtt"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Message server for the panels, with its values from an MQTT broker.\n"
        "The panels log in in clear text: listen on loopback, or on a network only the panels share."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("config"), QStringLiteral("The configuration (INI)."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("listen"),
                      QStringLiteral("Address and port for the panels, in place of the configuration's [panel] listen "
                                     "(default 127.0.0.1:64401; port 0 picks one)."),
                      QStringLiteral("ADDR:PORT")});
    parser.addOption({QStringLiteral("check"), QStringLiteral("Print what maps where and exit.")});
    parser.addOption({QStringLiteral("connect"),
                      QStringLiteral("With --check: also connect to the broker once, subscribe and read the retained "
                                     "values; exit 2 when any of it fails.")});
    parser.addOption({QStringLiteral("verbose"), QStringLiteral("Debug lines on standard error.")});
    parser.process(app);

    QLoggingCategory::setFilterRules(parser.isSet(QStringLiteral("verbose"))
                                         ? QStringLiteral("qalix.mqtt.*.debug=true")
                                         : QStringLiteral("*.debug=false"));
    if (parser.isSet(QStringLiteral("connect")) && !parser.isSet(QStringLiteral("check"))) {
        std::fprintf(stderr, "msgserver-mqtt: --connect goes with --check\n");
        return 2;
    }
    if (!parser.isSet(QStringLiteral("config"))) {
        std::fprintf(stderr, "msgserver-mqtt: --config FILE is needed\n");
        return 2;
    }
    BridgeConfig config;
    if (!config.load(parser.value(QStringLiteral("config")))) {
        std::fprintf(stderr, "msgserver-mqtt: %s\n", qUtf8Printable(config.error()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("listen"))
        && !BridgeConfig::parseListen(parser.value(QStringLiteral("listen")), &config.listenAddress,
                                      &config.listenPort)) {
        std::fprintf(stderr, "msgserver-mqtt: --listen needs ADDR:PORT, not %s\n",
                     qUtf8Printable(parser.value(QStringLiteral("listen"))));
        return 2;
    }
    for (const QString &warning : config.warnings())
        std::fprintf(stderr, "msgserver-mqtt: %s\n", qUtf8Printable(warning));
    if (parser.isSet(QStringLiteral("check"))) {
        std::fputs(qUtf8Printable(config.describe()), stdout);
        std::fflush(stdout);
        return parser.isSet(QStringLiteral("connect")) ? BridgeCheck(config).run() : 0;
    }

    MqttBridge bridge(config);
    if (!bridge.listen(config.listenAddress, config.listenPort)) {
        std::fprintf(stderr, "msgserver-mqtt: cannot listen on %s:%d: %s\n",
                     qUtf8Printable(config.listenAddress.toString()), config.listenPort,
                     qUtf8Printable(bridge.errorString()));
        return 1;
    }
    std::printf("msgserver-mqtt listening on %s:%d\n", qUtf8Printable(bridge.serverAddress().toString()),
                bridge.serverPort());
    std::fflush(stdout);
    // systemd stops with SIGTERM: end through the event loop, so the broker
    // connection is closed cleanly. The handler only writes a byte.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, [](int) { (void)!::write(signalPipe[0], "x", 1); });
        std::signal(SIGINT, [](int) { (void)!::write(signalPipe[0], "x", 1); });
    }
    bridge.start();
    return app.exec();
}
