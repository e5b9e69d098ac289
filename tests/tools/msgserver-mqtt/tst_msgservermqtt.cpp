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

#include <functional>
#include <memory>

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
    void loginThrottle();

    void valuesReachAStartedPanelAndGoNoFurther_data();
    void valuesReachAStartedPanelAndGoNoFurther();
    void commandGoesToItsTopic_data();
    void commandGoesToItsTopic();
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

private:
    struct Panel;
    std::unique_ptr<Panel> panel() { return std::make_unique<Panel>(bridge->port()); }
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

// A flood as a raw MQTT 3.1.1 client sends it: CONNECT, then one PUBLISH
// (QoS 0) per message made by `make` (topic, payload), then DISCONNECT.
bool publishMany(quint16 port, int count, const std::function<QPair<QByteArray, QByteArray>(int)> &make)
{
    const auto packet = [](char type, const QByteArray &body) {
        QByteArray bytes(1, type);
        for (int n = body.size(); bytes.size() == 1 || n > 0; n >>= 7)
            bytes += char((n & 0x7f) | (n > 0x7f ? 0x80 : 0));
        return bytes + body;
    };
    const auto text = [](const QByteArray &t) { return QByteArray(1, char(t.size() >> 8)) + char(t.size()) + t; };
    QByteArray bytes = packet(0x10, text("MQTT") + QByteArray("\x04\x02\x00\x3c", 4) + text("flood"));
    for (int i = 0; i < count; ++i)
        bytes += packet(0x30, text(make(i).first) + make(i).second);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(bytes + packet(char(0xe0), QByteArray()));
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 20000); // the broker closes
}

qint64 residentKiB(qint64 pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    const int at = status.indexOf("VmRSS:");
    return status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong();
}

} // namespace

// A panel client as the panel makes it, recording what it is told.
struct TestMsgServerMqtt::Panel
{
    explicit Panel(quint16 port)
        : client(loopbackClient(port))
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
    QTest::newRow("the demo's mapping") << readFile(QALIX_SOURCE_DIR "/demo/mqtt.ini") << 0
                                        << "IN.Aussen.1: state tele/aussen/SENSOR value DS18B20.Temperature";
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
    log.flush();
    log.report("topic a", "a: again");
    log.flush();
    log.flush(); // a minute quiet: forgotten, so that the next one is written at once again
    QCOMPARE(log.kindCount(), 0);
    log.report("topic a", "a: later");
    QCOMPARE(lines, (QStringList{"a: fault 0", "b: fault", "a: fault 4 (4 more in the last minute)",
                                 "a: again (1 more in the last minute)", "a: later"}));

    // A flood of kinds: a bounded number of first lines, the rest counted.
    lines.clear();
    for (int i = 0; i < 100000; ++i)
        log.report(QString::number(i), QStringLiteral("fault %1").arg(i));
    const int written = lines.size();
    QCOMPARE(written, FaultLog::maxLinesPerMinute - 1);
    log.flush();
    QCOMPARE(lines.last(), QString("%1 more faults of other kinds in the last minute").arg(100000 - written));
}

void TestMsgServerMqtt::loginThrottle()
{
    QCOMPARE(LoginThrottle::addressKey(QHostAddress("::ffff:192.168.1.20")), QString("192.168.1.20"));
    QCOMPARE(LoginThrottle::addressKey(QHostAddress("2001:db8:1:2:a:b:c:d")), QString("2001:db8:1:2::/64"));
    LoginThrottle throttle;
    qint64 now = 1000000;
    // Each wrong login doubles the wait, up to a minute; a right one forgets.
    for (const qint64 wait : {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}) {
        throttle.failed("10.1.1.1", now);
        QVERIFY(!throttle.mayTry("10.1.1.1", now + wait - 1) && throttle.mayTry("10.9.9.9", now));
        QVERIFY(throttle.mayTry("10.1.1.1", now += wait));
    }
    throttle.succeeded("10.1.1.1");
    throttle.failed("10.1.1.1", now);
    QVERIFY(throttle.mayTry("10.1.1.1", now + 1000));
    // Addresses are bounded: a spray of them pushes out the quietest.
    for (int i = 0; i < 2 * LoginThrottle::maxAddresses; ++i)
        throttle.failed(QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256), now + 1 + i);
    QCOMPARE(throttle.addressCount(), LoginThrottle::maxAddresses);
    QVERIFY(throttle.mayTry("10.1.1.1", now + 1));
}

void TestMsgServerMqtt::valuesReachAStartedPanelAndGoNoFurther_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("address");
    QTest::addColumn<double>("value");

    QTest::newRow("on/off word") << "stat/flur/POWER" << QByteArray("ON") << "OUT.Flur.1" << 1.0;
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
    QVERIFY(broker->publish(topic, payload));
    QTRY_COMPARE(p->values.value(address, -99.0), value);
    // Never published back. Past a marker and the bridge's one-second
    // housekeeping, anything it sent on this value has arrived.
    QVERIFY(broker->publish("test/marker", "end"));
    QVERIFY(waitForOutput(subscriber, seen, "test/marker end"));
    QTest::qWait(1200);
    seen += subscriber.readAllStandardOutput();
    QVERIFY2(!seen.contains("/set ") && !seen.contains("cmnd/"), seen.constData());
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
    QVERIFY(broker->publish("sensors/aussen", "2"));
    QTRY_COMPARE(p->values.value("IN.Aussen.1"), 2.0);
    for (const auto &s : strangers) {
        QTRY_COMPARE_WITH_TIMEOUT(s->state(), QAbstractSocket::UnconnectedState, 7000);
        QVERIFY(s->readAll().size() <= MqttBridge::maxBytesBeforeLogin); // keep-alives answered, no more
    }
    QVERIFY(residentKiB(bridge->pid()) - before < 8 * 1024);
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
        s->waitForReadyRead(5000);
        return s->readAll();
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
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("line");

    // Each would have made a report line the panel drops the connection for,
    // a port whose commands come back for another object, or a value.
    QTest::newRow("65,535-byte topic") << "qalix/IN/" + QString(65524, 'x') + "/1" << QByteArray("1")
                                       << QByteArray("topic of 65535 bytes, more than 1024");
    QTest::newRow("long object name") << "qalix/IN/" + QString(300, 'x') + "/1" << QByteArray("1")
                                      << QByteArray("object name of 300 bytes, more than 256");
    QTest::newRow("name outside Latin-1") << QString::fromUtf8("qalix/OUT/厨房/1") << QByteArray("1") << QByteArray("not Latin-1");
    QTest::newRow("payload that does not convert") << "zigbee2mqtt/kueche" << QByteArray(R"({"state":"MAYBE"})")
                                                   << QByteArray("neither a number nor an on/off word");
}

void TestMsgServerMqtt::hostileTopicsAreRefused()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, line);

    QVERIFY(broker->start());
    QVERIFY(broker->publish(topic, payload, true));
    QVERIFY(bridge->start(testConfig, broker->port()));
    auto p = panel();
    QTRY_VERIFY(p->client.isStarted());
    for (int i = 0; i < 3; ++i)
        QVERIFY(broker->publish(topic, payload));
    QVERIFY(broker->publish("sensors/aussen", "3")); // handled after all of the above
    QTRY_COMPARE(p->values.value("IN.Aussen.1", -99.0), 3.0);
    QCOMPARE(p->values.size(), 1);
    QCOMPARE(bridge->errors().count(line), 1); // counted from the second one on
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
    QVERIFY(broker->publish("sensors/aussen", "4"));
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

    // A panel on a slow link, which reads nothing for now.
    QTcpSocket slow;
    slow.setReadBufferSize(1024);
    slow.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QVERIFY(slow.waitForConnected(2000));
    slow.write("N\nLdemo=demo\n");
    QTcpSocket *served = nullptr;
    QTRY_VERIFY((served = server.findChildren<QTcpSocket *>().value(1)));
    served->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4096);
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
    QTest::addColumn<QByteArray>("said"); // on standard error, or "connected" on standard output

    // The broker asks for a client certificate; the bridge has one.
    QTest::newRow("trusted") << "good" << "ca.crt" << false << QByteArray("connected");
    QTest::newRow("CA not trusted") << "good" << "other.crt" << false << QByteArray("not trusted by cafile");
    QTest::newRow("host name mismatch") << "wrong" << "ca.crt" << false << QByteArray("not made out to 127.0.0.1");
    QTest::newRow("cafile not a certificate") << "good" << "mosquitto.conf" << false << QByteArray("holds no certificate");
    QTest::newRow("TLS to a plain port") << "good" << "ca.crt" << true << QByteArray("a plain MQTT port takes mqtt://");
}

void TestMsgServerMqtt::tlsFailuresSayWhy()
{
    QFETCH(QString, serverCertificate);
    QFETCH(QString, cafile);
    QFETCH(bool, plainPort);
    QFETCH(QByteArray, said);

    // A CA, another one, certificates for 127.0.0.1 ("good"), for another
    // address ("wrong"), and for the bridge.
    const QString d = dir->path() + '/';
    const QString key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -keyout %1%2.key ";
    for (const QString name : {"ca", "other"})
        QVERIFY(!QProcess::execute("openssl", QString("req -x509 " + key + "-out %1%2.crt -subj /CN=%2").arg(d, name).split(' ')));
    for (const QString name : {"good", "wrong", "client"}) {
        writeFile(d + name + ".ext", name == "good" ? "subjectAltName=IP:127.0.0.1\n" : "subjectAltName=IP:192.0.2.1\n");
        QVERIFY(!QProcess::execute("openssl", QString("req " + key + "-out %1%2.csr -subj /CN=%2").arg(d, name).split(' ')));
        QVERIFY(!QProcess::execute("openssl", QString("x509 -req -in %1%2.csr -CA %1ca.crt -CAkey %1ca.key -CAcreateserial "
                                                      "-days 2 -out %1%2.crt -extfile %1%2.ext").arg(d, name).split(' ')));
    }
    const quint16 plain = freeLoopbackPort();
    QVERIFY(broker->start(("listener @PORT@ 127.0.0.1\ncafile " + d + "ca.crt\ncertfile " + d + serverCertificate
                           + ".crt\nkeyfile " + d + serverCertificate + ".key\nrequire_certificate true\nlistener "
                           + QString::number(plain)
                           + " 127.0.0.1\nallow_anonymous true\n").toUtf8()));
    const QString config = "[broker]\nurl = mqtts://127.0.0.1:@PORT@\ncafile = " + d + cafile + "\ncertfile = " + d
        + "client.crt\nkeyfile = " + d + "client.key\n[panel]\nuser = demo\n";
    QVERIFY(bridge->start(config.toUtf8(), plainPort ? plain : broker->port(), false));
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

QTEST_GUILESS_MAIN(TestMsgServerMqtt)
#include "tst_msgservermqtt.moc"
