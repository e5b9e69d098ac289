#include "bus/module.h"
#include "bus/port.h"
#include "storage/xmlelements.h"

#include <QtTest>

class TestModule : public QObject
{
    Q_OBJECT

private slots:
    void constructorTexts_data();
    void constructorTexts();
    void addPortOwnsPort();
    void saveAndReload();
    void loadPorts_data();
    void loadPorts();
};

void TestModule::constructorTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("room");
    QTest::addColumn<QStringList>("stored"); // name, id, type, room

    QTest::newRow("all set") << "Licht" << "12" << "DO8" << "Kueche" << QStringList{"Licht", "12", "DO8", "Kueche"};
    QTest::newRow("empty name and room") << "" << "12" << "DO8" << "" << QStringList{"???", "12", "DO8", "???"};
    QTest::newRow("empty id and type stay") << "Licht" << "" << "" << "Bad" << QStringList{"Licht", "", "", "Bad"};
    QTest::newRow("null texts") << QString() << QString() << QString() << QString() << QStringList{"???", "", "", "???"};
}

void TestModule::constructorTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, id);
    QFETCH(QString, type);
    QFETCH(QString, room);
    QFETCH(QStringList, stored);

    Module module(name, id, type, 7, room, nullptr);
    QCOMPARE((QStringList{module.name, module.id, module.type, module.room}), stored);
    QCOMPARE(module.busid, 7);
    QVERIFY(module.ports.isEmpty());
}

void TestModule::addPortOwnsPort()
{
    QObject owner;
    Module *module = new Module("M", "1", "T", 1, "R", &owner);
    module->addPort("a", 0, 0, "s");
    module->addPort("b", 1, 1, "s");
    QCOMPARE(module->ports.size(), 2);
    QCOMPARE(module->ports.at(1)->name, QString("b"));
    QCOMPARE(module->ports.at(0)->parent(), module);
    QCOMPARE(module->ports.at(0)->module, module);
    QPointer<Port> port = module->ports.at(0);
    delete module;
    QVERIFY(port.isNull());
}

void TestModule::saveAndReload()
{
    QDomDocument doc;
    QDomElement root = doc.createElement("bus");
    doc.appendChild(root);
    Module module("Licht", "12", QString(), 3, "", nullptr);
    module.addPort("Decke", 0, 0, "Nord");
    module.addPort("", 1, 3, "");
    module.saveToXml(doc, root);
    QCOMPARE(doc.toString(-1),
             QString("<bus><module><busid>3</busid><id>12</id><name>Licht</name><room>?\?\?</room><type/>"
                     "<ports>"
                     "<port><name>Decke</name><port>0</port><subsection>Nord</subsection><type>0</type></port>"
                     "<port><name>?\?\?</name><port>1</port><subsection>?\?\?</subsection><type>3</type></port>"
                     "</ports></module></bus>"));

    // What is written reads back into the same ports and keys.
    QDomDocument reread;
    QVERIFY(reread.setContent(doc.toString()));
    const QDomElement moduleElement = childElement(reread.documentElement().childNodes(), "module");
    Module copy("Licht", childElement(moduleElement.childNodes(), "id").text(), "", 3, "", nullptr);
    copy.loadPorts(childElement(moduleElement.childNodes(), "ports").childNodes());
    QCOMPARE(copy.ports.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const Port *a = module.ports.at(i);
        const Port *b = copy.ports.at(i);
        QCOMPARE((QStringList{b->name, b->subsection, b->itemKey()}), (QStringList{a->name, a->subsection, a->itemKey()}));
        QCOMPARE(b->port, a->port);
        QCOMPARE(b->type, a->type);
    }
}

void TestModule::loadPorts_data()
{
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QStringList>("ports"); // name/port/type/subsection per port

    QTest::newRow("complete")
        << "<ports><port><name>a</name><port>5</port><subsection>s</subsection><type>1</type></port></ports>"
        << QStringList{"a/5/1/s"};
    QTest::newRow("children in any order")
        << "<ports><port><type>2</type><subsection>s</subsection><port>1</port><name>a</name></port></ports>"
        << QStringList{"a/1/2/s"};
    QTest::newRow("no subsection") << "<ports><port><name>a</name><port>5</port><type>1</type></port></ports>"
                                   << QStringList{"a/5/1/???"};
    QTest::newRow("non-numeric port") << "<ports><port><name>a</name><port>five</port><type>x</type></port></ports>"
                                      << QStringList{"a/0/0/???"};
    QTest::newRow("empty port element") << "<ports><port/></ports>" << QStringList{"?\?\?/0/0/???"};
    QTest::newRow("first of two children counts")
        << "<ports><port><name>a</name><name>b</name><port>1</port><port>2</port></port></ports>"
        << QStringList{"a/1/0/???"};
    QTest::newRow("order kept") << "<ports><port><name>x</name></port><port><name>y</name></port></ports>"
                                << QStringList{"x/0/0/???", "y/0/0/???"};
}

void TestModule::loadPorts()
{
    QFETCH(QString, xml);
    QFETCH(QStringList, ports);

    QDomDocument doc;
    QVERIFY(doc.setContent(xml));
    Module module("M", "1", "T", 1, "R", nullptr);
    module.loadPorts(doc.documentElement().childNodes());
    QStringList loaded;
    for (const Port *port : module.ports)
        loaded << QStringLiteral("%1/%2/%3/%4").arg(port->name).arg(port->port).arg(port->type).arg(port->subsection);
    QCOMPARE(loaded, ports);
}

QTEST_GUILESS_MAIN(TestModule)
#include "tst_module.moc"
