#include "tools/msgserver-mqtt/payloadmapping.h"

#include "core/net/qalixmsgclient.h"
#include "tests/support/testsupport.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

// The MQTT message server: its payload conversion driven directly, and the
// program itself between a mosquitto of the test's own and panel clients.
class TestMsgServerMqtt : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void payload_data();
    void payload();
    void command_data();
    void command();
    void check_data();
    void check();

    void valuesReachAStartedPanelAndGoNoFurther_data();
    void valuesReachAStartedPanelAndGoNoFurther();
    void latePanelIsCurrentBesideAnEarlyOne();
    void commandGoesToItsTopic_data();
    void commandGoesToItsTopic();
    void brokerRestartDropsPanelsAndReportsAgain();
    void badPayloadsChangeNothingAndWarnOncePerTopic();
    void wrongLoginIsRefused();
    void overlongLineDropsThatPanelOnly();
    void panelShowsABrokerValue();

private:
    struct Panel;
    bool startBroker(quint16 port = 0);
    bool startBridge(const QByteArray &config = QByteArray(), const QString &listen = QStringLiteral("127.0.0.1:0"));
    bool publish(const QString &topic, const QByteArray &payload, bool retain = false);
    bool startSubscriber();
    std::unique_ptr<Panel> panel() { return std::make_unique<Panel>(bridgePort); }
    QByteArray bridgeErr() { return bridgeErrors += bridge.readAllStandardError(); }

    std::unique_ptr<QTemporaryDir> dir;
    QProcess broker;
    quint16 brokerPort = 0;
    QProcess bridge;
    quint16 bridgePort = 0;
    QByteArray bridgeOut;
    QByteArray bridgeErrors;
    QProcess subscriber;
    QByteArray seen; // "topic payload" lines from the subscriber
};

namespace {

const QString program = QStringLiteral(QALIX_BUILD_DIR "/msgserver-mqtt");

// Zigbee2MQTT-style (one JSON state for two ports), Tasmota-style, plain,
// and ports under the prefix.
const char testConfig[] = R"([broker]
url = mqtt://127.0.0.1:@PORT@
client_id = tst-bridge       ; inline comment
prefix = qalix
[panel]
user = demo
password = demo
[OUT.Kueche.1]
state = zigbee2mqtt/kueche
value = state
on = ON
off = OFF
command = zigbee2mqtt/kueche/set
command_template = {"state":"%v"}
[IN.Kueche.2]
state = zigbee2mqtt/kueche
value = climate.temperature
[OUT.Flur.1]
state = stat/flur/POWER
command = cmnd/flur/POWER
on = ON
off = OFF
[IN.Aussen.1]
state = sensors/aussen
)";

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForOutput(QProcess &process, QByteArray &out, const QByteArray &marker, int msecs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    // The event loop runs meanwhile: the panel clients' lines go out through it.
    while (!out.contains(marker) && clock.elapsed() < msecs && process.state() != QProcess::NotRunning) {
        QTest::qWait(10);
        out += process.readAllStandardOutput();
    }
    out += process.readAllStandardOutput();
    return out.contains(marker);
}

void stop(QProcess &process)
{
    process.terminate();
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(5000))
        process.kill(), process.waitForFinished(5000);
}

} // namespace

// A panel client as the panel makes it, recording what it is told.
struct TestMsgServerMqtt::Panel
{
    explicit Panel(quint16 port, const QString &password = QStringLiteral("demo"))
        : client(loopbackClient(port, QStringLiteral("demo"), password))
    {
        QObject::connect(&client, &QalixMsgClient::received, [this](const QString &object, int port, bool out, double value) {
            values.insert(QStringLiteral("%1.%2.%3").arg(out ? "OUT" : "IN", object).arg(port), value);
        });
        client.connectToServer();
    }
    QalixMsgClient client;
    QMap<QString, double> values;
};

void TestMsgServerMqtt::init()
{
    dir = std::make_unique<QTemporaryDir>();
    bridgeOut = bridgeErrors = seen = QByteArray();
}

void TestMsgServerMqtt::cleanup()
{
    stop(subscriber);
    stop(bridge);
    stop(broker);
}

bool TestMsgServerMqtt::startBroker(quint16 port)
{
    brokerPort = port ? port : freePort();
    const QString conf = dir->filePath("mosquitto.conf");
    // Run as root it would switch to its own user, which cannot write here.
    writeFile(conf, QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence true\n"
                                   "persistence_location %2/\nlog_dest none\n%3")
                        .arg(brokerPort)
                        .arg(dir->path(), ::getuid() == 0 ? QStringLiteral("user root\n") : QString())
                        .toUtf8());
    broker.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), conf});
    for (int i = 0; i < 100; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, brokerPort);
        if (probe.waitForConnected(100))
            return true;
        QTest::qWait(50);
    }
    return false;
}

bool TestMsgServerMqtt::startBridge(const QByteArray &config, const QString &listen)
{
    const QString file = dir->filePath("bridge.ini");
    QByteArray text = config.isEmpty() ? QByteArray(testConfig) : config;
    writeFile(file, text.replace("@PORT@", QByteArray::number(brokerPort)));
    bridge.start(program, {QStringLiteral("--config"), file, QStringLiteral("--listen"), listen});
    if (!waitForOutput(bridge, bridgeOut, "connected\n"))
        return false;
    const int at = bridgeOut.indexOf("listening on ");
    const QByteArray line = bridgeOut.mid(at, bridgeOut.indexOf('\n', at) - at);
    bridgePort = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
    return bridgePort != 0;
}

bool TestMsgServerMqtt::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    QStringList args{"-h", "127.0.0.1", "-p", QString::number(brokerPort), "-q", "1", "-t", topic, "-m",
                     QString::fromUtf8(payload)};
    if (retain)
        args << "-r";
    return QProcess::execute(QStringLiteral("mosquitto_pub"), args) == 0;
}

bool TestMsgServerMqtt::startSubscriber()
{
    // Line-buffered: its output goes to a pipe here.
    subscriber.start(QStringLiteral("stdbuf"), {"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", QString::number(brokerPort),
                                                "-q", "1", "-t", "#", "-v", "-d"});
    return waitForOutput(subscriber, seen, "Subscribed");
}

void TestMsgServerMqtt::payload_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("onWords");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<double>("value");

    QTest::newRow("number") << "" << "" << QByteArray("21.5") << true << 21.5;
    QTest::newRow("negative, white space") << "" << "" << QByteArray(" -1.5 \n") << true << -1.5;
    QTest::newRow("ON") << "" << "" << QByteArray("ON") << true << 1.0;
    QTest::newRow("off in lower case") << "" << "" << QByteArray("off") << true << 0.0;
    QTest::newRow("own word") << "" << "auf" << QByteArray("auf") << true << 1.0;
    QTest::newRow("default word replaced") << "" << "auf" << QByteArray("ON") << false << 0.0;
    QTest::newRow("unknown word") << "" << "" << QByteArray("warm") << false << 0.0;
    QTest::newRow("number with text") << "" << "" << QByteArray("12abc") << false << 0.0;
    QTest::newRow("nan") << "" << "" << QByteArray("nan") << false << 0.0;
    QTest::newRow("overflow") << "" << "" << QByteArray("1e999") << false << 0.0;
    QTest::newRow("empty") << "" << "" << QByteArray() << false << 0.0;
    QTest::newRow("JSON without a path") << "" << "" << QByteArray(R"({"state":"ON"})") << false << 0.0;
    QTest::newRow("nested number") << "a.b.c" << "" << QByteArray(R"({"a":{"b":{"c":3}}})") << true << 3.0;
    QTest::newRow("JSON word") << "state" << "" << QByteArray(R"({"state":"ON","x":1})") << true << 1.0;
    QTest::newRow("JSON boolean, inverted") << "contact" << "false" << QByteArray(R"({"contact":false})") << true << 1.0;
    QTest::newRow("JSON numeric text") << "t" << "" << QByteArray(R"({"t":"19.25"})") << true << 19.25;
    QTest::newRow("missing path") << "a.b" << "" << QByteArray(R"({"a":{"c":1}})") << false << 0.0;
    QTest::newRow("path through a number") << "a.b" << "" << QByteArray(R"({"a":1})") << false << 0.0;
    QTest::newRow("not JSON") << "a" << "" << QByteArray("ON") << false << 0.0;
    QTest::newRow("oversized") << "" << "" << QByteArray(PayloadMapping::maxPayloadBytes + 1, '1') << false << 0.0;
}

void TestMsgServerMqtt::payload()
{
    QFETCH(QString, path);
    QFETCH(QString, onWords);
    QFETCH(QByteArray, payload);
    QFETCH(bool, converts);
    QFETCH(double, value);

    PayloadMapping mapping;
    mapping.setValuePath(path);
    if (!onWords.isEmpty())
        mapping.setWords(onWords.split(','), {QStringLiteral("zu")});
    double got = -99.0;
    QString reason;
    QCOMPARE(mapping.toValue(payload, &got, &reason), converts);
    if (converts)
        QCOMPARE(got, value);
}

void TestMsgServerMqtt::command_data()
{
    QTest::addColumn<bool>("onOff");
    QTest::addColumn<QString>("commandTemplate");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<QByteArray>("payload"); // empty: refused

    QTest::newRow("any other value is on") << true << "%v" << 0.5 << "0.5" << QByteArray("ON");
    QTest::newRow("value as sent") << false << "%v" << 21.25 << "21.25" << QByteArray("21.25");
    QTest::newRow("injection") << false << R"({"v":"%v"})" << 0.0 << R"(1","x":"2)" << QByteArray();
    QTest::newRow("not a number") << false << "%v" << 0.0 << "ein" << QByteArray();
}

void TestMsgServerMqtt::command()
{
    QFETCH(bool, onOff);
    QFETCH(QString, commandTemplate);
    QFETCH(double, value);
    QFETCH(QString, valueText);
    QFETCH(QByteArray, payload);

    PayloadMapping mapping;
    mapping.setOnOffPort(onOff);
    mapping.setCommandTemplate(commandTemplate);
    QByteArray got;
    QCOMPARE(mapping.commandPayload(value, valueText, &got), !payload.isEmpty());
    QCOMPARE(got, payload);
}

void TestMsgServerMqtt::check_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected"); // in the output; "LINE: reason" for a fault

    const QByteArray panel = "[panel]\nuser = demo\npassword = demo\n";
    QTest::newRow("good") << QByteArray(testConfig).replace("@PORT@", "1883") << 0
                          << "OUT.Kueche.1: state zigbee2mqtt/kueche value state, on ON, off OFF; "
                             "command zigbee2mqtt/kueche/set {\"state\":\"%v\"} (%v: on/off word)";
    QTest::newRow("defaults") << panel + "[IN.Bad.2]\n" << 0
                              << "IN.Bad.2: state qalix/IN/Bad/2, on ON|true|open|1, off OFF|false|closed|0; "
                                 "command qalix/IN/Bad/2/set %v (%v: value)";
    QTest::newRow("unknown key") << panel + "[OUT.A.1]\nstate = a\nvalu = x\n" << 2 << "6: unknown key valu";
    QTest::newRow("not a port") << panel + "[Kueche]\n" << 2 << "4: [Kueche] is neither";
    QTest::newRow("leading zero") << panel + "[OUT.A.01]\n" << 2 << "4: [OUT.A.01] is neither";
    QTest::newRow("bad scheme") << "[broker]\nurl = http://h:1\n" + panel << 2 << "2: url must start with mqtt://";
    QTest::newRow("mqtts without CA") << "[broker]\nurl = mqtts://h\n" + panel << 2 << "2: an mqtts:// url needs cafile";
    QTest::newRow("no key = value") << panel + "[OUT.A.1]\nstate\n" << 2 << "5: neither a section nor key = value";
    QTest::newRow("section twice") << panel + "[OUT.A.1]\n[OUT.A.1]\n" << 2 << "5: section [OUT.A.1] given twice";
    QTest::newRow("word both ways") << panel + "[OUT.A.1]\non = zu\noff = ZU\n" << 2 << "4: [OUT.A.1]: zu means both";
    QTest::newRow("template without %v") << panel + "[OUT.A.1]\ncommand_template = ON\n" << 2 << "5: command_template has no %v";
    QTest::newRow("wildcard topic") << panel + "[OUT.A.1]\nstate = a/+/b\n" << 2 << "5: state must be one topic";
    QTest::newRow("no panel login") << QByteArray("[broker]\n") << 2 << "bridge.ini: needs a [panel] section";
}

void TestMsgServerMqtt::check()
{
    QFETCH(QByteArray, file);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);

    const QString path = dir->filePath("bridge.ini");
    QVERIFY(writeFile(path, file));
    QProcess process;
    process.start(program, {"--config", path, "--check"});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), exitCode);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    if (exitCode == 0) {
        QVERIFY2(out.contains(expected), qPrintable(out));
        QVERIFY2(err.isEmpty(), qPrintable(err));
    } else {
        // One line naming the file and, where there is one, the line.
        const QString prefix = expected.startsWith(QLatin1String("bridge.ini")) ? dir->path() + '/' : path + ':';
        QVERIFY2(err.startsWith("msgserver-mqtt: " + prefix + expected) && err.count('\n') == 1, qPrintable(err));
        QVERIFY(out.isEmpty());
    }
}

void TestMsgServerMqtt::valuesReachAStartedPanelAndGoNoFurther_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("address");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << "sensors/aussen" << QByteArray("-3.5") << "IN.Aussen.1" << -3.5;
    QTest::newRow("on/off word") << "stat/flur/POWER" << QByteArray("ON") << "OUT.Flur.1" << 1.0;
    QTest::newRow("JSON field") << "zigbee2mqtt/kueche" << QByteArray(R"({"state":"ON"})") << "OUT.Kueche.1" << 1.0;
    QTest::newRow("nested JSON, same topic")
        << "zigbee2mqtt/kueche" << QByteArray(R"({"state":"OFF","climate":{"temperature":21.5}})") << "IN.Kueche.2" << 21.5;
    QTest::newRow("under the prefix") << "qalix/IN/Bad/2" << QByteArray("55") << "IN.Bad.2" << 55.0;
}

void TestMsgServerMqtt::valuesReachAStartedPanelAndGoNoFurther()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QString, address);
    QFETCH(double, value);

    QVERIFY(startBroker());
    QVERIFY(startBridge());
    QVERIFY(startSubscriber());
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    QVERIFY(publish(topic, payload));
    QTRY_COMPARE(p->values.value(address, -99.0), value);
    // Never published back. Past a marker and the bridge's one-second
    // housekeeping, anything it sent on this value has arrived.
    QVERIFY(publish("test/marker", "end"));
    QVERIFY(waitForOutput(subscriber, seen, "test/marker end"));
    QTest::qWait(1200);
    seen += subscriber.readAllStandardOutput();
    QVERIFY2(!seen.contains("/set ") && !seen.contains("cmnd/"), seen.constData());
}

void TestMsgServerMqtt::latePanelIsCurrentBesideAnEarlyOne()
{
    QVERIFY(startBroker());
    // Retained before the bridge runs: its values at start.
    QVERIFY(publish("sensors/aussen", "8.5", true));
    QVERIFY(publish("zigbee2mqtt/kueche", R"({"state":"ON","climate":{"temperature":20}})", true));
    QVERIFY(startBridge());
    QVERIFY(startSubscriber());
    auto early = panel();
    QTRY_VERIFY(early->client.isStarted());
    QVERIFY(publish("stat/flur/POWER", "ON"));
    QTRY_COMPARE(early->values.value("OUT.Flur.1", -99.0), 1.0);

    auto late = panel();
    const QMap<QString, double> expected{{"IN.Aussen.1", 8.5}, {"OUT.Kueche.1", 1.0}, {"IN.Kueche.2", 20.0},
                                         {"OUT.Flur.1", 1.0}};
    QTRY_COMPARE(late->values, expected);
    QCOMPARE(early->values, expected);
    // Both at once: each one's command goes out.
    early->client.setPortValue("Flur", 1, true, 0.0);
    late->client.setPortValue("Kueche", 1, true, 0.0);
    QVERIFY(waitForOutput(subscriber, seen, "cmnd/flur/POWER OFF") && waitForOutput(subscriber, seen, "kueche/set"));
}

void TestMsgServerMqtt::commandGoesToItsTopic_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("port");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("published");

    QTest::newRow("template, on") << "Kueche" << 1 << 1.0 << QByteArray(R"(zigbee2mqtt/kueche/set {"state":"ON"})");
    QTest::newRow("template, off") << "Kueche" << 1 << 0.0 << QByteArray(R"(zigbee2mqtt/kueche/set {"state":"OFF"})");
    QTest::newRow("own command topic") << "Flur" << 1 << 1.0 << QByteArray("cmnd/flur/POWER ON");
    QTest::newRow("under the prefix") << "Zentral" << 1 << 0.5 << QByteArray("qalix/OUT/Zentral/1/set 0.5");
}

void TestMsgServerMqtt::commandGoesToItsTopic()
{
    QFETCH(QString, object);
    QFETCH(int, port);
    QFETCH(double, value);
    QFETCH(QByteArray, published);

    QVERIFY(startBroker());
    QVERIFY(startBridge());
    QVERIFY(startSubscriber());
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    p->client.setPortValue(object, port, true, value);
    QVERIFY2(waitForOutput(subscriber, seen, published + '\n'), (seen + bridgeErr()).constData());
    // Nothing comes back to the panel by itself: only the device's state would.
    QTest::qWait(200);
    QVERIFY(p->values.isEmpty());
}

void TestMsgServerMqtt::brokerRestartDropsPanelsAndReportsAgain()
{
    QVERIFY(startBroker());
    QVERIFY(publish("sensors/aussen", "8.5", true));
    QVERIFY(startBridge());
    auto p = panel();
    QTRY_COMPARE(p->values.value("IN.Aussen.1"), 8.5);

    stop(broker);
    QTRY_VERIFY(!p->client.isConnected());
    // No panel while the broker is away: a new one is closed at once, without a line.
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, bridgePort);
    QVERIFY(refused.waitForConnected(2000));
    refused.write("N\nLdemo=demo\n");
    QTRY_VERIFY(refused.state() == QAbstractSocket::UnconnectedState);
    QCOMPARE(refused.readAll(), QByteArray());
    QTRY_VERIFY(bridgeErr().contains("connection lost"));

    p->values.clear();
    QVERIFY(startBroker(brokerPort)); // the retained value comes back from its store
    QVERIFY(waitForOutput(bridge, bridgeOut, "connected\nbroker", 15000));
    // The panel's own retry takes seconds; here it tries again at once.
    QTRY_VERIFY_WITH_TIMEOUT((p->client.state() == QAbstractSocket::UnconnectedState ? p->client.connectToServer() : void(),
                              p->client.isStarted()),
                             10000);
    QTRY_COMPARE(p->values.value("IN.Aussen.1", -99.0), 8.5);
}

void TestMsgServerMqtt::badPayloadsChangeNothingAndWarnOncePerTopic()
{
    QVERIFY(startBroker());
    QVERIFY(startBridge());
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    QVERIFY(publish("sensors/aussen", "8.5"));
    QVERIFY(publish("zigbee2mqtt/kueche", R"({"state":"ON","climate":{"temperature":20}})"));
    QTRY_COMPARE(p->values.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(publish("sensors/aussen", "warm"));
        QVERIFY(publish("zigbee2mqtt/kueche", R"({"state":"MAYBE"})"));
    }
    QVERIFY(publish("sensors/aussen", ""));
    QVERIFY(publish("stat/flur/POWER", "ON")); // handled after all of the above
    QTRY_VERIFY(p->values.contains("OUT.Flur.1"));
    QCOMPARE(p->values.value("IN.Aussen.1"), 8.5);
    QCOMPARE(p->values.value("OUT.Kueche.1"), 1.0);
    QCOMPARE(p->values.value("IN.Kueche.2"), 20.0);

    const QStringList lines = QString::fromUtf8(bridgeErr()).split('\n');
    QCOMPARE(lines.filter("sensors/aussen").size(), 1);
    QCOMPARE(lines.filter("zigbee2mqtt/kueche").size(), 1);
}

void TestMsgServerMqtt::wrongLoginIsRefused()
{
    QVERIFY(startBroker());
    QVERIFY(publish("sensors/aussen", "8.5", true));
    QVERIFY(startBridge());
    auto intruder = std::make_unique<Panel>(bridgePort, QStringLiteral("wrong"));
    QTRY_VERIFY(!intruder->client.isLoggedIn());
    QTRY_VERIFY(!intruder->client.isConnected());
    QVERIFY(intruder->values.isEmpty());
}

void TestMsgServerMqtt::overlongLineDropsThatPanelOnly()
{
    QVERIFY(startBroker());
    QVERIFY(startBridge());
    auto good = panel();
    QTcpSocket bad;
    bad.connectToHost(QHostAddress::LocalHost, bridgePort);
    QVERIFY(bad.waitForConnected(2000));
    bad.write("N\nLdemo=demo\nCT60\nCd\nCB\nS\n");
    QTRY_VERIFY(good->client.isStarted());
    bad.write("P" + QByteArray(70 * 1024, 'x'));
    QTRY_VERIFY(bad.state() == QAbstractSocket::UnconnectedState);
    QVERIFY(publish("sensors/aussen", "3"));
    QTRY_COMPARE(good->values.value("IN.Aussen.1", -99.0), 3.0);
    QVERIFY(good->client.isConnected());
}

// The panel itself on the demo project: the bridge on the panel's port with
// the demo's mapping, a value published on the broker reaching its item.
void TestMsgServerMqtt::panelShowsABrokerValue()
{
    const QString package = QStringLiteral(QALIX_BUILD_DIR "/projects/demo.qlxd");
    QVERIFY2(QFileInfo(package).isFile(), "build the demo_package target first");
    QByteArray demo = readFile(QStringLiteral(QALIX_SOURCE_DIR "/demo/mqtt.ini"));
    demo.replace("url = mqtt://127.0.0.1:1883", "url = mqtt://127.0.0.1:@PORT@");

    QVERIFY(startBroker());
    if (!startBridge(demo, QStringLiteral("127.0.0.1:64401"))) {
        if (bridgeErr().contains("cannot listen"))
            QSKIP("port 64401 is taken; run the suite in its private network");
        QFAIL("the bridge did not start");
    }
    const QString copy = dir->filePath("qalix-plus-control");
    QVERIFY(QFile::copy(QStringLiteral(QALIX_BUILD_DIR "/qalix-plus-control"), copy));
    QProcess panelProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    panelProcess.setProcessEnvironment(env);
    panelProcess.start(copy, {package});
    QVERIFY(panelProcess.waitForStarted());
    QByteArray out;
    QVERIFY(publish("tele/aussen/SENSOR", R"({"Time":"2026-12-06T20:00:00","DS18B20":{"Temperature":-2.5}})", true));
    QVERIFY2(waitForOutput(panelProcess, out, "Data \"Aussen\" false 1 -2.5\n", 20000), out.constData());
    QVERIFY(publish("zigbee2mqtt/kueche_licht", R"({"state":"ON","brightness":200})"));
    QVERIFY2(waitForOutput(panelProcess, out, "Data \"Kueche\" true 1 1\n", 10000), out.constData());
    stop(panelProcess);
}

QTEST_GUILESS_MAIN(TestMsgServerMqtt)
#include "tst_msgservermqtt.moc"
