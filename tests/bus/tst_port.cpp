#include "bus/module.h"
#include "bus/port.h"

#include <QtTest>

class TestPort : public QObject
{
    Q_OBJECT

private slots:
    void itemKey_data();
    void itemKey();
    void typeName_data();
    void typeName();
    void emptyTextsBecomeUnknown();
    void fullName();
    void saveToXml();
};

void TestPort::itemKey_data()
{
    QTest::addColumn<QString>("moduleId");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("key");

    QTest::newRow("output") << "12" << 3 << 0 << "ITM_12_OUT3";
    QTest::newRow("ADC output") << "12" << 3 << 2 << "ITM_12_OUT3";
    QTest::newRow("input") << "Kueche" << 12 << 1 << "ITM_Kueche_IN12";
    QTest::newRow("ADC input") << "Kueche" << 0 << 3 << "ITM_Kueche_IN0";
    QTest::newRow("unknown type") << "12" << 5 << 7 << "ITM_12_5";
    QTest::newRow("negative type") << "12" << 5 << -1 << "ITM_12_5";
    QTest::newRow("pseudo-module OUT") << "OUT" << 3 << 0 << "ITM_OUT4_OUT0";
    QTest::newRow("pseudo-module IN") << "IN" << 0 << 1 << "ITM_IN1_IN0";
    QTest::newRow("pseudo-module IN, output type") << "IN" << 9 << 0 << "ITM_IN10_OUT0";
    QTest::newRow("pseudo-module names are exact") << "out" << 3 << 0 << "ITM_out_OUT3";
    QTest::newRow("empty id") << "" << 1 << 0 << "ITM__OUT1";
}

void TestPort::itemKey()
{
    QFETCH(QString, moduleId);
    QFETCH(int, port);
    QFETCH(int, type);
    QFETCH(QString, key);

    Module module("M", moduleId, "T", 1, "R", nullptr);
    module.addPort("p", port, type, "s");
    QCOMPARE(module.ports.at(0)->itemKey(), key);
}

void TestPort::typeName_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");

    QTest::newRow("0") << 0 << "Output";
    QTest::newRow("1") << 1 << "Input";
    QTest::newRow("2") << 2 << "ADC Output";
    QTest::newRow("3") << 3 << "ADC Input";
    QTest::newRow("7") << 7 << "Unknown Type";
    QTest::newRow("-1") << -1 << "Unknown Type";
}

void TestPort::typeName()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    Port port("p", 0, type, "s", nullptr);
    QCOMPARE(port.typeName(), name);
}

void TestPort::emptyTextsBecomeUnknown()
{
    Module module("M", "1", "T", 1, "R", nullptr);
    Port port(QString(), 4, 1, "", &module);
    QCOMPARE(port.name, QString("???"));
    QCOMPARE(port.subsection, QString("???"));
    QCOMPARE(port.port, 4);
    QCOMPARE(port.type, 1);
    QCOMPARE(port.module, &module);
    QCOMPARE(port.parent(), &module);
}

void TestPort::fullName()
{
    Module module("Kueche", "12", "T", 1, "R", nullptr);
    module.addPort("Licht", 1, 0, "s");
    QCOMPARE(module.ports.at(0)->fullName(), QString("Kueche.Licht"));
    // Without a module the key and name still form.
    Port loose("Licht", 2, 0, "s", nullptr);
    QCOMPARE(loose.fullName(), QString(".Licht"));
    QCOMPARE(loose.itemKey(), QString("ITM__OUT2"));
}

void TestPort::saveToXml()
{
    QDomDocument doc;
    QDomElement element = doc.createElement("port");
    doc.appendChild(element);
    Port port("Licht", 3, 2, "Decke", nullptr);
    port.saveToXml(doc, element);
    QCOMPARE(doc.toString(-1),
             QString("<port><name>Licht</name><port>3</port><subsection>Decke</subsection><type>2</type></port>"));
}

QTEST_GUILESS_MAIN(TestPort)
#include "tst_port.moc"
