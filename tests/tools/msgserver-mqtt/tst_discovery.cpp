#include "tools/msgserver-mqtt/bridgeconfig.h"
#include "tools/msgserver-mqtt/discoveryreport.h"
#include "tools/msgserver-mqtt/valuetemplate.h"

#include "tests/support/testsupport.h"

#include <QtTest>

// --discover's mapping without a broker: discovery documents as gateways
// publish them in, port sections out, and the sections loaded back.
class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void valueTemplate_data();
    void valueTemplate();
    void sections_data();
    void sections();
};

namespace {

const QByteArray head = "[broker]\nurl = mqtt://127.0.0.1:1883\n[panel]\nuser = demo\npassword = demo\n";

// "@name": the document kept in tests/data/discovery; else "topic\npayload".
QPair<QString, QByteArray> document(const QString &text)
{
    const QByteArray bytes = text.startsWith('@')
        ? readFile(QStringLiteral(QALIX_TEST_DATA "/discovery/%1.txt").arg(text.mid(1))).trimmed()
        : text.toUtf8();
    const int cut = bytes.indexOf('\n');
    return {QString::fromUtf8(bytes.left(cut)), bytes.mid(cut + 1)};
}

} // namespace

void TestDiscovery::valueTemplate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("path"); // "-": refused

    QTest::newRow("the payload") << "{{ value }}"
                                 << "";
    QTest::newRow("dots") << "{{ value_json.a.b }}"
                          << "a.b";
    QTest::newRow("brackets, no spaces") << "{{value_json['A'][\"B\"]}}"
                                         << "A.B";
    QTest::newRow("index") << "{{ value_json.ENERGY.Power[1] }}"
                           << "ENERGY.Power[1]";
    QTest::newRow("filters that keep the number") << "{{ value_json.t | float | round(1) }}"
                                                  << "t";
    QTest::newRow("a filter that computes") << "{{ value_json.t | int }}"
                                            << "-";
    QTest::newRow("arithmetic") << "{{ value_json.t * 10 }}"
                                << "-";
    QTest::newRow("a statement") << "{% if value_json.x %}ON{% endif %}"
                                 << "-";
    QTest::newRow("two expressions") << "{{ value_json.a }}{{ value_json.b }}"
                                     << "-";
    QTest::newRow("text around it") << "x{{ value }}"
                                    << "-";
    QTest::newRow("another root") << "{{ states('sensor.x') }}"
                                  << "-";
    QTest::newRow("a key with a dot") << "{{ value_json['a.b'] }}"
                                      << "-";
    QTest::newRow("negative index") << "{{ value_json.a[-1] }}"
                                    << "-";
    QTest::newRow("index past the bound") << "{{ value_json.a[100000] }}"
                                          << "-";
    QTest::newRow("bracket left open") << "{{ value_json['a' }}"
                                       << "-";
}

void TestDiscovery::valueTemplate()
{
    QFETCH(QString, text);
    QFETCH(QString, path);

    ValuePath read;
    QString reason;
    const bool ok = ValueTemplate::path(text, &read, &reason);
    QVERIFY2(ok == (path != "-"), qPrintable(reason));
    if (ok)
        QCOMPARE(read.toString(), path);
    else
        QVERIFY(reason.startsWith("value template " + text.left(80) + ": "));
}

void TestDiscovery::sections_data()
{
    QTest::addColumn<QStringList>("documents");
    QTest::addColumn<QByteArray>("configured"); // port sections the configuration has already
    QTest::addColumn<QStringList>("expected");  // in the output, in this order
    QTest::addColumn<QString>("absent");

    QTest::newRow("Zigbee2MQTT light, JSON schema")
        << QStringList{"@zigbee2mqtt-light"} << QByteArray()
        << QStringList{"; Küche Licht (IKEA TRADFRI bulb E27 WW 806lm (LED1836G9))\n; light \"Küche Licht\" (the "
                       "panels "
                       "switch it on and off; its brightness is left out): homeassistant/light/0x000b57fffec6a5b2/"
                       "light/config\n[OUT.Küche_Licht.1]\nstate = zigbee2mqtt/Küche Licht\nvalue = state\non = ON\n"
                       "off = OFF\ncommand = zigbee2mqtt/Küche Licht/set\ncommand_template = {\"state\":\"%v\"}\n"
                       "availability = zigbee2mqtt/bridge/state, zigbee2mqtt/Küche Licht/availability\n"}
        << "online =";
    QTest::newRow("Zigbee2MQTT contact, inverted; a disabled entity")
        << QStringList{"@zigbee2mqtt-linkquality", "@zigbee2mqtt-contact"} << QByteArray()
        << QStringList{"[IN.Haustür.1]\nstate = zigbee2mqtt/Haustür\nvalue = contact\non = false\noff = true\n",
                       "; not mapped: sensor \"Linkquality\": disabled by default in its discovery document"}
        << "IN.Haustür.2";
    QTest::newRow("Zigbee2MQTT triggers on one topic, one port")
        << QStringList{"@zigbee2mqtt-trigger-single", "@zigbee2mqtt-trigger-double"} << QByteArray()
        << QStringList{"[IN.Taster_Flur.1]\nstate = zigbee2mqtt/Taster Flur/action\nmap = double:1, single:2\n"
                       "reset_after = 2\n"}
        << "Taster_Flur.2";
    QTest::newRow("Tasmota, brackets, named by its entity")
        << QStringList{"@tasmota-sensor", "@tasmota-relay"} << QByteArray()
        << QStringList{"[IN.Aussen_DS18B20_Temperature.1]\nstate = tele/aussen/SENSOR\nvalue = DS18B20.Temperature\n"
                       "unit = °C\navailability = tele/aussen/LWT\n",
                       "[OUT.Flur_Licht.1]\nstate = tele/flur_licht/STATE\nvalue = POWER\n"}
        << "online = Online";
    QTest::newRow("Shelly: words read and sent differ")
        << QStringList{"@shelly-switch", "@shelly-power"} << QByteArray()
        << QStringList{"[IN.Bad_Lüfter.1]\nstate = shellyplus1pm-a8032ab12345/status/switch:0\nvalue = apower\nunit = "
                       "W\n",
                       "[OUT.Bad_Lüfter.2]\nstate = shellyplus1pm-a8032ab12345/status/switch:0\nvalue = output\n"
                       "on = true\noff = false\ncommand = shellyplus1pm-a8032ab12345/command/switch:0\nsend_on = on\n"
                       "send_off = off\navailability = shellyplus1pm-a8032ab12345/online\n"}
        << "";
    QTest::newRow("ESPHome, abbreviated keys")
        << QStringList{"@esphome-switch", "@esphome-sensor"} << QByteArray()
        << QStringList{"; wohnzimmer (espressif esp32dev)\n",
                       "[IN.wohnzimmer.1]\nstate = wohnzimmer/sensor/temperatur/state\nunit = °C\n"
                       "availability = wohnzimmer/status\n",
                       "[OUT.wohnzimmer.2]\nstate = wohnzimmer/switch/relais/state\non = ON\noff = OFF\n"
                       "command = wohnzimmer/switch/relais/command\n"}
        << "";
    QTest::newRow("more than a state or a number")
        << QStringList{"@zigbee2mqtt-climate"} << QByteArray()
        << QStringList{"; not mapped: climate \"Heizung Bad\": a climate has more than an on/off state or a number"}
        << "\n[";
    QTest::newRow("base topic, command template, a name beyond Latin-1")
        << QStringList{"homeassistant/switch/d1/r/config\n{\"~\":\"haus/d1\",\"name\":\"R\",\"stat_t\":\"~/state\","
                       "\"cmd_t\":\"~/set\",\"cmd_tpl\":\"{\\\"on\\\":{{ value }}}\",\"ret\":true,\"qos\":0,"
                       "\"dev\":{\"ids\":\"d1\",\"name\":\"Őfen/Süd\"}}"}
        << QByteArray()
        << QStringList{"[OUT.Ofen_Süd.1]\nstate = haus/d1/state\non = ON\noff = OFF\ncommand = haus/d1/set\n"
                       "command_template = {\"on\":%v}\nretain = yes\nqos = 0\n"}
        << "";
    QTest::newRow("templates that compute")
        << QStringList{"homeassistant/sensor/d/t/config\n{\"name\":\"T\",\"stat_t\":\"d/s\",\"unit_of_meas\":\"°C\","
                       "\"val_tpl\":\"{{ value_json.t | int }}\",\"dev\":{\"ids\":\"d\",\"name\":\"D\"}}",
                       "homeassistant/number/d/n/config\n{\"name\":\"N\",\"stat_t\":\"d/n\",\"cmd_t\":\"d/n/set\","
                       "\"cmd_tpl\":\"{{ value * 10 }}\",\"dev\":{\"ids\":\"d\",\"name\":\"D\"}}"}
        << QByteArray()
        << QStringList{"; not mapped: number \"N\": command template {{ value * 10 }}: computes what it sends",
                       "; not mapped: sensor \"T\": value template {{ value_json.t | int }}: the filter | int"}
        << "\n[";
    QTest::newRow("one name, two devices; a device document")
        << QStringList{"homeassistant/sensor/a/t/config\n{\"name\":\"T\",\"stat_t\":\"a/"
                       "t\",\"stat_cla\":\"measurement\","
                       "\"dev\":{\"ids\":\"a\",\"name\":\"Küche\"}}",
                       "homeassistant/device/b/config\n{\"dev\":{\"ids\":\"b\",\"name\":\"KÜCHE\"},\"stat_t\":\"b/s\","
                       "\"cmps\":{\"t\":{\"p\":\"sensor\",\"val_tpl\":\"{{ value_json.t }}\",\"unit_of_meas\":\"°C\"},"
                       "\"r\":{\"p\":\"switch\",\"cmd_t\":\"b/set\",\"val_tpl\":\"{{ value_json.r }}\"}}}"}
        << QByteArray()
        << QStringList{"[IN.Küche.1]\nstate = a/t\n",
                       "[OUT.KÜCHE_2.1]\nstate = b/s\nvalue = r\non = ON\noff = OFF\ncommand = b/set\n",
                       "[IN.KÜCHE_2.2]\nstate = b/s\nvalue = t\nunit = °C\n"}
        << "";
    QTest::newRow("configured ports keep their place")
        << QStringList{"@zigbee2mqtt-contact",
                       "homeassistant/sensor/0x00158d0004a1b2c3/battery/config\n{\"name\":\"Battery\",\"stat_t\":"
                       "\"zigbee2mqtt/Haustür\",\"val_tpl\":\"{{ value_json.battery }}\",\"unit_of_measurement\":"
                       "\"%\",\"dev\":{\"identifiers\":[\"zigbee2mqtt_0x00158d0004a1b2c3\"],\"name\":\"Haustür\"}}"}
        << QByteArray("[IN.Haustuer.1]\nstate = zigbee2mqtt/Haustür\nvalue = contact\n[IN.Haustür.1]\nstate = x\n")
        << QStringList{"; already mapped as [IN.Haustuer.1]: binary_sensor \"Door\"",
                       "[IN.Haustuer.2]\nstate = zigbee2mqtt/Haustür\nvalue = battery\nunit = %\n"}
        << "[IN.Haustür";
    QTest::newRow("hostile documents")
        << QStringList{"homeassistant/switch/x/a/config\n{\"name\":\"A\",\"stat_t\":\"x/a\\n[OUT.Boese.1]\","
                       "\"cmd_t\":\"x/set\",\"dev\":{\"ids\":\"x\",\"name\":\"X\\ny\"}}",
                       "homeassistant/switch/x/b/config\n{\"name\":\"B\",\"stat_t\":\"x/b\",\"cmd_t\":\"x/b/set\","
                       "\"pl_on\":\"an ; aus\",\"dev\":{\"ids\":\"x\"}}",
                       "homeassistant/switch/x/c/config\n{\"name\":\"C\",\"stat_t\":\"x/#\",\"cmd_t\":\"x/c\"}",
                       "homeassistant/sensor/x/d/config\nnot json", "homeassistant/sensor/config\n{}"}
        << QByteArray()
        << QStringList{"; not mapped: switch \"C\": its state topic x/# is none the bridge can use",
                       "; X?y\n; not mapped: switch \"A\": its state topic x/a?[OUT.Boese.1] is none the bridge can "
                       "use",
                       "; not mapped: switch \"B\": its word \"an ; aus\" cannot be written in the file",
                       "; not read: homeassistant/sensor/x/d/config: not a JSON object",
                       "; not read: homeassistant/sensor/config: not a discovery topic"}
        << "\n[";
}

void TestDiscovery::sections()
{
    QFETCH(QStringList, documents);
    QFETCH(QByteArray, configured);
    QFETCH(QStringList, expected);
    QFETCH(QString, absent);

    BridgeConfig config;
    QVERIFY2(config.parse(head + configured, "bridge.ini"), qPrintable(config.error()));
    DiscoveryReport report(config, QStringLiteral("homeassistant"));
    for (const QString &text : documents)
        report.add(document(text).first, document(text).second);
    int ports = 0;
    const QString out = report.render(&ports);
    int at = 0;
    for (const QString &part : expected) {
        const int found = out.indexOf(part, at);
        QVERIFY2(found >= 0, qPrintable(part + "\n---- not after:\n" + out.mid(at)));
        at = found + part.size();
    }
    QVERIFY2(absent.isEmpty() || !out.section('\n', 2).contains(absent), qPrintable(out));
    // Appended as it stands, it loads, without a warning, and every section is a port.
    BridgeConfig again;
    QVERIFY2(again.parse(head + configured + out.toUtf8(), "bridge.ini"), qPrintable(again.error() + "\n" + out));
    QVERIFY2(again.warnings().isEmpty(), qPrintable(again.warnings().join('\n')));
    QCOMPARE(again.ports.size(), config.ports.size() + ports);
    QCOMPARE(out.count("\n["), ports);
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
