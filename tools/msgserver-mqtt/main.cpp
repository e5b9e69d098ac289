// msgserver-mqtt: the panels' message server, with its values from an MQTT broker.

#include "bridgecheck.h"
#include "bridgeconfig.h"
#include "bridgelog.h"
#include "discoveryrun.h"
#include "mqttbridge.h"
#include "portconfig.h"
#include "core/startup/stoprequest.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QLoggingCategory>

int main(int argc, char *argv[])
{
    installBridgeMessageHandler();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("msgserver-mqtt"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Message server for the panels, with its values from an MQTT broker.\n"
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
    parser.addOption({QStringLiteral("discover"),
                      QStringLiteral("Print port sections for the devices' retained Home Assistant discovery "
                                     "documents on the broker, to append to the configuration, and exit.")});
    parser.addOption({QStringLiteral("discovery-prefix"),
                      QStringLiteral("With --discover: the discovery prefix (default homeassistant)."),
                      QStringLiteral("PREFIX"), QStringLiteral("homeassistant")});
    parser.addOption({QStringLiteral("verbose"), QStringLiteral("Debug lines on standard error.")});
    parser.process(app);

    QLoggingCategory::setFilterRules(parser.isSet(QStringLiteral("verbose")) ? QStringLiteral("qalix.mqtt.*.debug=true")
                                                                             : QStringLiteral("*.debug=false"));
    if (parser.isSet(QStringLiteral("connect")) && !parser.isSet(QStringLiteral("check"))) {
        qCCritical(lcBridge) << "--connect goes with --check";
        return 2;
    }
    const bool discover = parser.isSet(QStringLiteral("discover"));
    if (discover && parser.isSet(QStringLiteral("check"))) {
        qCCritical(lcBridge) << "--discover does not go with --check";
        return 2;
    }
    const QString discoveryPrefix = parser.value(QStringLiteral("discovery-prefix"));
    if (parser.isSet(QStringLiteral("discovery-prefix")) && (!discover || !PortConfig::validTopic(discoveryPrefix))) {
        qCCritical(lcBridge).noquote() << "--discovery-prefix goes with --discover and needs a topic without "
                                          "wildcards, not"
                                       << discoveryPrefix;
        return 2;
    }
    if (!parser.isSet(QStringLiteral("config"))) {
        qCCritical(lcBridge) << "--config FILE is needed";
        return 2;
    }
    BridgeConfig config;
    if (!config.load(parser.value(QStringLiteral("config")))) {
        qCCritical(lcBridge).noquote() << config.error();
        return 2;
    }
    if (parser.isSet(QStringLiteral("listen"))
        && !BridgeConfig::parseListen(parser.value(QStringLiteral("listen")), &config.listenAddress,
                                      &config.listenPort)) {
        qCCritical(lcBridge).noquote() << "--listen needs ADDR:PORT, not" << parser.value(QStringLiteral("listen"));
        return 2;
    }
    for (const QString &warning : config.warnings())
        qCWarning(lcBridge).noquote() << warning;
    if (parser.isSet(QStringLiteral("check"))) {
        qCInfo(lcCheck).noquote() << config.describe().chopped(1); // it ends in a line feed
        return parser.isSet(QStringLiteral("connect")) ? BridgeCheck(config).run() : 0;
    }

    if (discover)
        return DiscoveryRun(config, discoveryPrefix).run();

    MqttBridge bridge(config);
    if (!bridge.listen(config.listenAddress, config.listenPort)) {
        qCCritical(lcBridge).noquote() << QStringLiteral("cannot listen on %1:%2: %3")
                                              .arg(config.listenAddress.toString())
                                              .arg(config.listenPort)
                                              .arg(bridge.errorString());
        return 1;
    }
    // systemd stops with SIGTERM: end through the event loop, so the bridge
    // says "offline" and closes the broker connection cleanly.
    StopRequest stopRequest({StopRequest::Terminate, StopRequest::Interrupt});
    QObject::connect(&stopRequest, &StopRequest::requested, &bridge, &MqttBridge::stop);
    QObject::connect(&bridge, &MqttBridge::stopped, &app, &QCoreApplication::quit);
    bridge.start();
    return app.exec();
}
