#include "bus/module.h"
#include "bus/port.h"

#include <QtTest>

class TestPort : public QObject
{
    Q_OBJECT

private slots:
    void itemKey_data();
    void itemKey();
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
    QTest::newRow("no module") << QString() << 2 << 0 << "ITM__OUT2";
}

void TestPort::itemKey()
{
    QFETCH(QString, moduleId);
    QFETCH(int, port);
    QFETCH(int, type);
    QFETCH(QString, key);

    if (moduleId.isNull()) {
        // Without a module the key and the full name still form.
        Port loose("Licht", port, type, "s", nullptr);
        QCOMPARE(loose.itemKey(), key);
        QCOMPARE(loose.fullName(), QString(".Licht"));
        return;
    }
    Module module("Kueche", moduleId, "T", 1, "R", nullptr);
    module.addPort("Licht", port, type, "s");
    QCOMPARE(module.ports.at(0)->itemKey(), key);
    QCOMPARE(module.ports.at(0)->fullName(), QString("Kueche.Licht"));
}

QTEST_GUILESS_MAIN(TestPort)
#include "tst_port.moc"
