#include "tools/msgserver-mqtt/faultlog.h"
#include "tools/msgserver-mqtt/loginthrottle.h"
#include "tools/msgserver-mqtt/mqttbridge.h"
#include "tools/msgserver-mqtt/payloadmapping.h"

#include "core/net/qalixmsgclient.h"
#include "tests/support/mqttpeers.h"
#include "tests/support/testsupport.h"

#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

// The MQTT message server: its payload conversion and its guards driven
// directly, and the program itself between a mosquitto of the test's own,
// panel clients and strangers.
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
    void faultsAreWrittenOnceThenCounted();
    void loginThrottle_data();
    void loginThrottle();

    void valuesReachAStartedPanelAndGoNoFurther_data();
    void valuesReachAStartedPanelAndGoNoFurther();
    void latePanelIsCurrentBesideAnEarlyOne();
    void commandGoesToItsTopic_data();
    void commandGoesToItsTopic();
    void brokerRestartClosesThePortAndReportsAgain();
    void badPayloadsChangeNothingAndWarnOncePerTopic();
    void overlongLineDropsThatPanelOnly();
    void strangersCannotLockPanelsOutNorFillTheBridge();
    void loginGuessesAreSlowed();
    void hostileTopicsAreRefused_data();
    void hostileTopicsAreRefused();
    void junkUnderThePrefixLeavesConfiguredPortsRoom();
    void firstReportsArePacedByThePanel();
    void tlsFailuresSayWhy_data();
    void tlsFailuresSayWhy();
    void brokerRefusalsSayWhy();
    void twoBridgesWithOneClientIdAreNamed();
    void panelShowsABrokerValue();

private:
    struct Panel;
    std::unique_ptr<Panel> panel() { return std::make_unique<Panel>(bridge->port()); }
    bool publish(const QString &topic, const QByteArray &payload, bool retain = false)
    {
        return broker->publish(topic, payload, retain);
    }
    bool startSubscriber();
    // A raw connection from `from`, on loopback, that the test drives.
    std::unique_ptr<QTcpSocket> stranger(const QString &from = QStringLiteral("127.0.0.2"));

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TestBroker> broker;
    std::unique_ptr<TestBridge> bridge;
    QProcess subscriber;
    QByteArray seen; // "topic payload" lines from the subscriber
};

namespace {

const QString program = QStringLiteral(QALIX_BUILD_DIR "/msgserver-mqtt");

// Zigbee2MQTT-style (one JSON state for two ports), Tasmota-style, plain,
// and ports under the prefix.
const QByteArray testConfig = R"([broker]
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

// Publishes `count` messages made by `make` (topic, payload) through one
// connection at QoS 0, as fast as a flood comes, from a thread of its own:
// this thread's event loop goes on, as a bridge in this process needs.
bool publishMany(quint16 port, int count, const std::function<QPair<QByteArray, QByteArray>(int)> &make)
{
    std::atomic<int> result{-1};
    std::thread publisher([&] {
        mosquitto_lib_init();
        bool up = false;
        mosquitto *m = mosquitto_new(nullptr, true, &up);
        mosquitto_connect_callback_set(m, [](mosquitto *, void *up, int rc) { *static_cast<bool *>(up) = rc == 0; });
        bool ok = m && mosquitto_connect(m, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS;
        while (ok && !up)
            ok = mosquitto_loop(m, 100, 1) == MOSQ_ERR_SUCCESS;
        for (int i = 0; ok && i < count; ++i) {
            const auto message = make(i);
            ok = mosquitto_publish(m, nullptr, message.first.constData(), message.second.size(),
                                   message.second.constData(), 0, false) == MOSQ_ERR_SUCCESS;
            while (ok && mosquitto_want_write(m))
                ok = mosquitto_loop(m, 10, 1) == MOSQ_ERR_SUCCESS;
        }
        if (m) {
            mosquitto_disconnect(m);
            mosquitto_loop(m, 10, 1);
            mosquitto_destroy(m);
        }
        result = ok;
    });
    while (result < 0)
        QTest::qWait(10);
    publisher.join();
    return result == 1;
}

qint64 residentKiB(qint64 pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    const int at = status.indexOf("VmRSS:");
    return status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong();
}

// What a raw peer is answered before the connection closes or goes quiet.
QByteArray answer(QTcpSocket &socket)
{
    QElapsedTimer clock;
    clock.start();
    while (!socket.bytesAvailable() && socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 5000)
        QTest::qWait(5);
    return socket.readAll();
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
    broker = std::make_unique<TestBroker>(dir->path());
    bridge = std::make_unique<TestBridge>(dir->path());
    seen = QByteArray();
}

void TestMsgServerMqtt::cleanup()
{
    stopProcess(subscriber);
    bridge.reset();
    broker.reset();
}

bool TestMsgServerMqtt::startSubscriber()
{
    // Line-buffered: its output goes to a pipe here.
    subscriber.start(QStringLiteral("stdbuf"), {"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", QString::number(broker->port()),
                                                "-q", "1", "-t", "#", "-v", "-d"});
    return waitForOutput(subscriber, seen, "Subscribed");
}

std::unique_ptr<QTcpSocket> TestMsgServerMqtt::stranger(const QString &from)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(from));
    socket->connectToHost(QHostAddress::LocalHost, bridge->port());
    socket->waitForConnected(2000);
    return socket;
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
    QTest::newRow("nan is no on") << true << "%v" << qQNaN() << "nan" << QByteArray();
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
    QTest::newRow("listen") << panel + "listen = [::]:64401\n" << 0 << "panel login demo, on :::64401";
    QTest::newRow("bad listen") << panel + "listen = 64401\n" << 2 << "4: listen needs ADDR:PORT";
    QTest::newRow("long object name") << panel + "[OUT." + QByteArray(257, 'x') + ".1]\n" << 2
                                      << "4: [OUT." + QString(76, 'x') + "]: object name of 257 bytes, more than 256";
    QTest::newRow("name the panel cannot send") << panel + "[OUT.厨房.1]\n" << 2 << "4: [OUT.厨房.1]: object name 厨房 is not Latin-1";
    QTest::newRow("password the panel cannot send") << QByteArray("[panel]\nuser = demo\npassword = 密码\n") << 2
                                                    << "3: password must be Latin-1";
    QTest::newRow("key without certificate") << "[broker]\nurl = mqtts://h\ncafile = /etc/hostname\nkeyfile = /etc/hostname\n" + panel
                                             << 2 << "4: a client certificate needs both";
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

void TestMsgServerMqtt::faultsAreWrittenOnceThenCounted()
{
    QStringList lines;
    FaultLog log([&](const QString &line) { lines << line; });
    for (int i = 0; i < 5; ++i)
        log.report("topic a", QStringLiteral("a: fault %1").arg(i));
    log.report("topic b", "b: fault");
    QCOMPARE(lines, (QStringList{"a: fault 0", "b: fault"}));
    log.flush();
    QCOMPARE(lines.mid(2), QStringList{"a: fault 4 (4 more in the last minute)"});
    log.report("topic a", "a: again");
    log.flush();
    // A minute quiet: forgotten, so the next one is written at once again.
    log.flush();
    QCOMPARE(log.kindCount(), 0);
    log.report("topic a", "a: later");
    QCOMPARE(lines.mid(3), (QStringList{"a: again (1 more in the last minute)", "a: later"}));

    // A flood of kinds: a bounded number of first lines, the rest counted.
    lines.clear();
    for (int i = 0; i < 100000; ++i)
        log.report(QString::number(i), QStringLiteral("fault %1").arg(i));
    const int written = lines.size();
    QCOMPARE(written, FaultLog::maxLinesPerMinute - 1);
    log.flush();
    QCOMPARE(lines.last(), QString("%1 more faults of other kinds in the last minute").arg(100000 - written));
}

void TestMsgServerMqtt::loginThrottle_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("key");

    QTest::newRow("IPv4") << "192.168.1.20" << "192.168.1.20";
    QTest::newRow("IPv4, mapped") << "::ffff:192.168.1.20" << "192.168.1.20";
    QTest::newRow("IPv6, its /64") << "2001:db8:1:2:a:b:c:d" << "2001:db8:1:2::/64";
}

void TestMsgServerMqtt::loginThrottle()
{
    QFETCH(QString, address);
    QFETCH(QString, key);

    QCOMPARE(LoginThrottle::addressKey(QHostAddress(address)), key);
    LoginThrottle throttle;
    qint64 now = 1000000;
    QVERIFY(throttle.mayTry(key, now));
    // Each wrong login doubles the wait, up to a minute.
    for (const qint64 wait : {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}) {
        throttle.failed(key, now);
        QVERIFY(!throttle.mayTry(key, now + wait - 1));
        QVERIFY(throttle.mayTry("10.9.9.9", now));
        now += wait;
        QVERIFY(throttle.mayTry(key, now));
    }
    throttle.succeeded(key);
    throttle.failed(key, now);
    QVERIFY(throttle.mayTry(key, now + 1000));
    // Addresses are bounded: a spray of them pushes out the quietest.
    for (int i = 0; i < 2 * LoginThrottle::maxAddresses; ++i)
        throttle.failed(QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256), now + 1 + i);
    QCOMPARE(throttle.addressCount(), LoginThrottle::maxAddresses);
    QVERIFY(throttle.mayTry(key, now + 1));
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

    QVERIFY(broker->start());
    QVERIFY(bridge->start(testConfig, broker->port()));
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
    QVERIFY(broker->start());
    // Retained before the bridge runs: its values at start.
    QVERIFY(publish("sensors/aussen", "8.5", true));
    QVERIFY(publish("zigbee2mqtt/kueche", R"({"state":"ON","climate":{"temperature":20}})", true));
    QVERIFY(bridge->start(testConfig, broker->port()));
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

    QVERIFY(broker->start());
    QVERIFY(bridge->start(testConfig, broker->port()));
    QVERIFY(startSubscriber());
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    p->client.setPortValue(object, port, true, value);
    QVERIFY2(waitForOutput(subscriber, seen, published + '\n'), (seen + bridge->errors()).constData());
    // Nothing comes back to the panel by itself: only the device's state would.
    QTest::qWait(200);
    QVERIFY(p->values.isEmpty());
}

void TestMsgServerMqtt::brokerRestartClosesThePortAndReportsAgain()
{
    QVERIFY(broker->start());
    QVERIFY(publish("sensors/aussen", "8.5", true));
    QVERIFY(bridge->start(testConfig, broker->port()));
    auto p = panel();
    QTRY_COMPARE(p->values.value("IN.Aussen.1"), 8.5);

    broker->stop();
    QTRY_VERIFY(!p->client.isConnected());
    // No panel while the broker is away: the port is closed, as if the
    // server were gone, so that the panel's stale look comes in time.
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, bridge->port());
    QVERIFY(!refused.waitForConnected(2000));
    QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);
    QVERIFY(bridge->errors("connection lost").contains("connection lost"));

    p->values.clear();
    QVERIFY(broker->start(QByteArray(), broker->port())); // the retained value comes back from its store
    QVERIFY(bridge->waitForOutput("connected\nbroker", 15000));
    // The panel's own retry takes seconds; here it tries again at once.
    QTRY_VERIFY_WITH_TIMEOUT((p->client.state() == QAbstractSocket::UnconnectedState ? p->client.connectToServer() : void(),
                              p->client.isStarted()),
                             10000);
    QTRY_COMPARE(p->values.value("IN.Aussen.1", -99.0), 8.5);
}

void TestMsgServerMqtt::badPayloadsChangeNothingAndWarnOncePerTopic()
{
    QVERIFY(broker->start());
    QVERIFY(bridge->start(testConfig, broker->port()));
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

    const QStringList lines = QString::fromUtf8(bridge->errors()).split('\n');
    QCOMPARE(lines.filter("sensors/aussen").size(), 1);
    QCOMPARE(lines.filter("zigbee2mqtt/kueche").size(), 1);
}

void TestMsgServerMqtt::overlongLineDropsThatPanelOnly()
{
    QVERIFY(broker->start());
    QVERIFY(bridge->start(testConfig, broker->port()));
    auto good = panel();
    QTcpSocket bad;
    bad.connectToHost(QHostAddress::LocalHost, bridge->port());
    QVERIFY(bad.waitForConnected(2000));
    bad.write("N\nLdemo=demo\nCT60\nCd\nCB\nS\n");
    QTRY_VERIFY(good->client.isStarted());
    bad.write("P" + QByteArray(70 * 1024, 'x'));
    QTRY_VERIFY(bad.state() == QAbstractSocket::UnconnectedState);
    QVERIFY(publish("sensors/aussen", "3"));
    QTRY_COMPARE(good->values.value("IN.Aussen.1", -99.0), 3.0);
    QVERIFY(good->client.isConnected());
}

// 64 strangers on eight addresses that connect and never log in, half of
// them flooding keep-alives without reading: a panel still gets in at once,
// they get next to nothing, and the bridge does not grow with them.
void TestMsgServerMqtt::strangersCannotLockPanelsOutNorFillTheBridge()
{
    QVERIFY(broker->start());
    QVERIFY(bridge->start(testConfig, broker->port()));
    const qint64 before = residentKiB(bridge->pid());
    std::vector<std::unique_ptr<QTcpSocket>> strangers;
    for (int i = 0; i < 64; ++i) {
        strangers.push_back(stranger(QStringLiteral("127.0.0.%1").arg(2 + i % 8)));
        if (i % 2)
            strangers.back()->write(QByteArray("N\n").repeated(512 * 1024));
    }
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    QVERIFY(publish("sensors/aussen", "2"));
    QTRY_COMPARE(p->values.value("IN.Aussen.1"), 2.0);
    for (const auto &s : strangers) {
        QTRY_COMPARE_WITH_TIMEOUT(s->state(), QAbstractSocket::UnconnectedState, 7000);
        QVERIFY(s->readAll().size() <= MqttBridge::maxBytesBeforeLogin); // keep-alives answered, no more
    }
    QVERIFY2(residentKiB(bridge->pid()) - before < 8 * 1024,
             qPrintable(QString("%1 KiB -> %2 KiB").arg(before).arg(residentKiB(bridge->pid()))));
    QVERIFY(p->client.isConnected());
}

// Guessing the panel password from one address: each wrong login makes the
// address wait longer, the right password is refused unchecked while it
// waits, and the burst costs one line.
void TestMsgServerMqtt::loginGuessesAreSlowed()
{
    QVERIFY(broker->start());
    QVERIFY(bridge->start(testConfig, broker->port()));
    const auto login = [this](const QByteArray &password) {
        auto s = stranger();
        s->write("Ldemo=" + password + "\n");
        return answer(*s);
    };
    for (int guess = 0; guess < 20; ++guess)
        QCOMPARE(login(QByteArray::number(1000 + guess)), QByteArray("LDENIED\n"));
    QCOMPARE(login("demo"), QByteArray("LDENIED\n"));
    auto p = panel(); // from another address
    QTRY_VERIFY(p->client.isStarted());
    QTRY_COMPARE_WITH_TIMEOUT(login("demo"), QByteArray("LOK\n"), 5000);
    QCOMPARE(bridge->errors().count("wrong login"), 1);
    QVERIFY(!bridge->errors().contains("login refused"));
}

void TestMsgServerMqtt::hostileTopicsAreRefused_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("line");

    // Each would have made a report line the panel drops the connection for,
    // or a port whose commands come back for another object.
    QTest::newRow("65,535-byte topic") << "qalix/IN/" + QString(65524, 'x') + "/1" << QByteArray("topic of 65535 bytes, more than 1024");
    QTest::newRow("long object name") << "qalix/IN/" + QString(300, 'x') + "/1" << QByteArray("object name of 300 bytes, more than 256");
    QTest::newRow("name outside Latin-1") << QString::fromUtf8("qalix/OUT/厨房/1") << QByteArray("not Latin-1");
}

void TestMsgServerMqtt::hostileTopicsAreRefused()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, line);

    QVERIFY(broker->start());
    QVERIFY(publish(topic, "1", true));
    QVERIFY(bridge->start(testConfig, broker->port()));
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    QVERIFY(publish("sensors/aussen", "3"));
    QTRY_COMPARE(p->values.value("IN.Aussen.1", -99.0), 3.0);
    QCOMPARE(p->values.size(), 1);
    QVERIFY2(bridge->errors(line).contains(line), bridge->errors().constData());
    QTest::qWait(500);
    QVERIFY(p->client.isConnected());
}

void TestMsgServerMqtt::junkUnderThePrefixLeavesConfiguredPortsRoom()
{
    QVERIFY(broker->start());
    QVERIFY(bridge->start(testConfig, broker->port()));
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    QVERIFY(publishMany(broker->port(), 100001, [](int i) {
        return qMakePair("qalix/IN/junk" + QByteArray::number(i) + "/1", QByteArray("1"));
    }));
    QVERIFY(publish("sensors/aussen", "4"));
    QTRY_COMPARE_WITH_TIMEOUT(p->values.value("IN.Aussen.1", -99.0), 4.0, 10000);
    QCOMPARE(p->values.size(), MqttBridge::maxPrefixPorts + 1);
    QCOMPARE(bridge->errors().count("new ones are ignored"), 1);
}

// The bridge in this process, to see its side of a panel's socket: the
// first reports wait for a panel that reads slowly instead of piling up,
// and every report line leaves at once.
void TestMsgServerMqtt::firstReportsArePacedByThePanel()
{
    QVERIFY(broker->start());
    BridgeConfig config;
    QVERIFY(config.parse(QByteArray(testConfig).replace("@PORT@", QByteArray::number(broker->port())), "x"));
    MqttBridge server(config);
    QSignalSpy up(&server, &MqttBridge::brokerConnected);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    server.start();
    QVERIFY(up.wait(5000));
    const int count = 3000; // lines of about 260 bytes: 0.75 MiB
    QVERIFY(publishMany(broker->port(), count, [](int i) {
        return qMakePair("qalix/IN/" + QByteArray(240, 'p') + QByteArray::number(i) + "/1", QByteArray("1"));
    }));
    auto p = std::make_unique<Panel>(server.serverPort());
    QTRY_COMPARE(p->values.size(), count);

    // A panel on a slow link: small buffers on both sides, and it reads
    // nothing for now.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int window = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server.serverPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QVERIFY(::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0);
    QTcpSocket slow;
    slow.setReadBufferSize(1024);
    QVERIFY(slow.setSocketDescriptor(fd));
    slow.write("N\nLdemo=demo\n");
    QTcpSocket *served = nullptr;
    QTRY_VERIFY([&] {
        for (QTcpSocket *socket : server.findChildren<QTcpSocket *>())
            served = socket->peerPort() == slow.localPort() ? socket : served;
        return served;
    }());
    served->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, window);
    slow.write("CT60\nCd\nCB\nS\n");
    QTest::qWait(300);
    QCOMPARE(served->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
    QVERIFY2(served->bytesToWrite() <= MqttBridge::dumpChunkBytes + 1024, qPrintable(QString::number(served->bytesToWrite())));
    slow.setReadBufferSize(0);
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT((got += slow.readAll()).count("\nP") >= count, 10000);
}

void TestMsgServerMqtt::tlsFailuresSayWhy_data()
{
    QTest::addColumn<QString>("serverCertificate");
    QTest::addColumn<QString>("cafile");
    QTest::addColumn<bool>("plainPort");
    QTest::addColumn<bool>("clientCertificate");
    QTest::addColumn<QByteArray>("said"); // on standard error, or "connected" on standard output

    QTest::newRow("trusted, client certificate asked for") << "good" << "ca.crt" << false << true << QByteArray("connected");
    QTest::newRow("CA not trusted") << "good" << "other.crt" << false << false << QByteArray("not trusted by cafile");
    QTest::newRow("host name mismatch") << "wrong" << "ca.crt" << false << false << QByteArray("not made out to 127.0.0.1");
    QTest::newRow("cafile not a certificate") << "good" << "mosquitto.conf" << false << false << QByteArray("holds no certificate");
    QTest::newRow("TLS to a plain port") << "good" << "ca.crt" << true << false << QByteArray("a plain MQTT port takes mqtt://");
}

void TestMsgServerMqtt::tlsFailuresSayWhy()
{
    QFETCH(QString, serverCertificate);
    QFETCH(QString, cafile);
    QFETCH(bool, plainPort);
    QFETCH(bool, clientCertificate);
    QFETCH(QByteArray, said);

    // A CA, another one, certificates for 127.0.0.1 ("good"), for another
    // address ("wrong"), and for the bridge.
    const QString d = dir->path() + '/';
    const auto openssl = [&](const QString &arguments) {
        return QProcess::execute("openssl", arguments.arg(d).split(' ')) == 0;
    };
    const QString key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 ";
    QVERIFY(openssl("req -x509 " + key + "-keyout %1ca.key -out %1ca.crt -subj /CN=ca"));
    QVERIFY(openssl("req -x509 " + key + "-keyout %1other.key -out %1other.crt -subj /CN=other"));
    for (const QString name : {"good", "wrong", "client"}) {
        writeFile(d + name + ".ext", name == "good" ? "subjectAltName=IP:127.0.0.1\n" : "subjectAltName=IP:192.0.2.1\n");
        QVERIFY(openssl("req " + key + "-keyout %1" + name + ".key -out %1" + name + ".csr -subj /CN=" + name));
        QVERIFY(openssl("x509 -req -in %1" + name + ".csr -CA %1ca.crt -CAkey %1ca.key -CAcreateserial -days 2 -out %1"
                        + name + ".crt -extfile %1" + name + ".ext"));
    }
    const quint16 plain = freeLoopbackPort();
    QVERIFY(broker->start(("listener @PORT@ 127.0.0.1\ncafile " + d + "ca.crt\ncertfile " + d + serverCertificate
                           + ".crt\nkeyfile " + d + serverCertificate + ".key\nrequire_certificate "
                           + (clientCertificate ? "true" : "false") + "\nlistener " + QString::number(plain)
                           + " 127.0.0.1\nallow_anonymous true\n").toUtf8()));
    QByteArray config = "[broker]\nurl = mqtts://127.0.0.1:@PORT@\ncafile = " + (d + cafile).toUtf8() + "\n";
    if (clientCertificate)
        config += "certfile = " + (d + "client.crt\nkeyfile = " + d + "client.key\n").toUtf8();
    QVERIFY(bridge->start(config + "[panel]\nuser = demo\n", plainPort ? plain : broker->port(), false));
    if (said == "connected")
        QVERIFY2(bridge->waitForOutput("connected\n"), bridge->errors().constData());
    else
        QVERIFY2(bridge->errors(said).contains(said), bridge->errors().constData());
}

// A broker with a password file and an ACL, both written here.
void TestMsgServerMqtt::brokerRefusalsSayWhy()
{
    const QString d = dir->path() + '/';
    QVERIFY(QProcess::execute("mosquitto_passwd", {"-c", "-b", d + "passwords", "bridge", "secret"}) == 0);
    QVERIFY(writeFile(d + "acl", "user bridge\ntopic read stat/#\ntopic write cmnd/allowed/#\n"));
    QVERIFY(broker->start(("listener @PORT@ 127.0.0.1\nallow_anonymous false\npassword_file " + d
                           + "passwords\nacl_file " + d + "acl\n").toUtf8()));
    const QByteArray config = "[broker]\nurl = mqtt://127.0.0.1:@PORT@\nusername = bridge\npassword = secret\n"
                              "prefix =\n[panel]\nuser = demo\npassword = demo\n[OUT.Licht.1]\nstate = stat/licht\n"
                              "command = cmnd/denied/licht\n";
    QVERIFY(bridge->start(config, broker->port()));
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    p->client.setPortValue("Licht", 1, true, 1.0);
    QVERIFY2(bridge->errors("not taken").contains("command to cmnd/denied/licht not taken by the broker: Not authorized"),
             bridge->errors().constData());
}

void TestMsgServerMqtt::twoBridgesWithOneClientIdAreNamed()
{
    QVERIFY(broker->start());
    QVERIFY(bridge->start(testConfig, broker->port()));
    QTemporaryDir twinDir;
    TestBridge twin(twinDir.path());
    QVERIFY(twin.start(testConfig, broker->port()));
    const QByteArray named = "two clients with client_id tst-bridge";
    QTRY_VERIFY_WITH_TIMEOUT(bridge->errors().contains(named) || twin.errors().contains(named), 15000);
}

// The panel itself on the demo project: the bridge on the panel's port with
// the demo's mapping, a value published on the broker reaching its item.
void TestMsgServerMqtt::panelShowsABrokerValue()
{
    const QString package = QStringLiteral(QALIX_BUILD_DIR "/projects/demo.qlxd");
    QVERIFY2(QFileInfo(package).isFile(), "build the demo_package target first");
    QByteArray demo = readFile(QStringLiteral(QALIX_SOURCE_DIR "/demo/mqtt.ini"));
    demo.replace("url = mqtt://127.0.0.1:1883", "url = mqtt://127.0.0.1:@PORT@");
    QVERIFY(broker->start());
    if (!bridge->start(demo, broker->port(), true, {"--listen", "127.0.0.1:64401"})) {
        if (bridge->errors().contains("cannot listen"))
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
    stopProcess(panelProcess);
}

QTEST_GUILESS_MAIN(TestMsgServerMqtt)
#include "tst_msgservermqtt.moc"
