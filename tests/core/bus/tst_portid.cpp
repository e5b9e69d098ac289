#include "core/bus/module.h"
#include "core/bus/port.h"
#include "core/bus/portid.h"

#include <QtTest>

Q_DECLARE_METATYPE(PortId)

// A port's identity in each of its text forms, read and written.
class TestPortId : public QObject
{
    Q_OBJECT

public:
    enum Form { StateKey, Address, ReportAddress, Topic };
    Q_ENUM(Form)

private:
    static PortId out(const QString &object, int port) { return PortId(PortId::Out, object, port); }
    static PortId in(const QString &object, int port) { return PortId(PortId::In, object, port); }

    // Each form as it is read and as it is written: the address as a server
    // reads a panel's command (Latin-1) and as the panel sends it.
    struct Io
    {
        PortId (*read)(const QByteArray &);
        QByteArray (*write)(const PortId &);
    };
    static constexpr Io io[] = {
        {[](const QByteArray &t) { return PortId::fromStateKey(QString::fromUtf8(t)); },
         [](const PortId &id) { return id.toStateKey().toUtf8(); }},
        {[](const QByteArray &t) { return PortId::fromAddress(QString::fromLatin1(t)); },
         [](const PortId &id) { return id.toLatin1Address(); }},
        {[](const QByteArray &t) { return PortId::fromReportAddress(t.constData(), t.size()); },
         [](const PortId &id) { return id.toUtf8Address(); }},
        {[](const QByteArray &t) { return PortId::fromTopic("qalix", QString::fromUtf8(t)); },
         [](const PortId &id) { return id.toTopic("qalix").toUtf8(); }},
    };

private slots:
    // Each form read into a port, and the port written back: `same` where
    // the text is the one the port writes.
    void forms_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<PortId>("id");
        QTest::addColumn<bool>("same");

        QTest::newRow("key: output") << StateKey << QByteArray("ITM_Kueche_OUT3") << out("Kueche", 3) << true;
        QTest::newRow("key: input") << StateKey << QByteArray("ITM_Aussen_IN12") << in("Aussen", 12) << true;
        // The last "_" separates the port, so an object may hold "_".
        QTest::newRow("key: object with _")
            << StateKey << QByteArray("ITM_EG_Flur__OUT12") << out("EG_Flur_", 12) << true;
        QTest::newRow("key: UTF-8 object")
            << StateKey << QByteArray("ITM_K\303\274che_OUT1") << out("Küche", 1) << true;
        QTest::newRow("key: nine digits")
            << StateKey << QByteArray("ITM_M_OUT999999999") << out("M", 999999999) << true;
        QTest::newRow("key: ten digits") << StateKey << QByteArray("ITM_M_OUT2147483648") << PortId() << false;
        QTest::newRow("key: no object") << StateKey << QByteArray("ITM__OUT1") << PortId() << false;
        QTest::newRow("key: no number") << StateKey << QByteArray("ITM_M_OUT") << PortId() << false;
        QTest::newRow("key: sign") << StateKey << QByteArray("ITM_M_OUT-1") << PortId() << false;
        QTest::newRow("key: other digits") << StateKey << QByteArray("ITM_M_OUT\xd9\xa3") << PortId() << false;
        QTest::newRow("key: other direction") << StateKey << QByteArray("ITM_M_ADC1") << PortId() << false;
        QTest::newRow("key: page link") << StateKey << QByteArray("PAGE_ABC123") << PortId() << false;

        QTest::newRow("command: output") << Address << QByteArray("OUT.Kueche.3") << out("Kueche", 3) << true;
        QTest::newRow("command: Latin-1 object") << Address << QByteArray("OUT.K\374che.1") << out("Küche", 1) << true;
        QTest::newRow("command: leading zero") << Address << QByteArray("OUT.Kueche.01") << out("Kueche", 1) << false;
        QTest::newRow("command: lower case") << Address << QByteArray("out.x.1") << PortId() << false;
        QTest::newRow("command: two fields") << Address << QByteArray("OUT.Kueche") << PortId() << false;
        QTest::newRow("command: object with .") << Address << QByteArray("OUT.a.b.1") << PortId() << false;
        QTest::newRow("command: no object") << Address << QByteArray("OUT..1") << PortId() << false;
        QTest::newRow("command: negative") << Address << QByteArray("OUT.a.-1") << PortId() << false;
        QTest::newRow("command: no number") << Address << QByteArray("OUT.a.drei") << PortId() << false;

        QTest::newRow("report: output") << ReportAddress << QByteArray("OUT.Kueche.3") << out("Kueche", 3) << true;
        QTest::newRow("report: input") << ReportAddress << QByteArray("IN.Sensor.0") << in("Sensor", 0) << true;
        QTest::newRow("report: UTF-8 object")
            << ReportAddress << QByteArray("OUT.K\303\274che.1") << out("Küche", 1) << true;
        // Only exactly OUT is an output; a port that is no number reads 0.
        QTest::newRow("report: lower case") << ReportAddress << QByteArray("out.x.1") << in("x", 1) << false;
        QTest::newRow("report: no number")
            << ReportAddress << QByteArray("OUT.Kueche.drei") << out("Kueche", 0) << false;
        QTest::newRow("report: two fields") << ReportAddress << QByteArray("OUT.Kueche") << PortId() << false;
        // An object with "." cannot be carried: the address is split at every ".".
        QTest::newRow("report: object with .") << ReportAddress << QByteArray("OUT.a.b.1") << out("a", 0) << false;
        QTest::newRow("report: fourth field") << ReportAddress << QByteArray("IN.a.7.9") << in("a", 7) << false;
        QTest::newRow("report: no object") << ReportAddress << QByteArray("OUT..1") << out("", 1) << false;

        QTest::newRow("topic: output") << Topic << QByteArray("qalix/OUT/Kueche/3") << out("Kueche", 3) << true;
        QTest::newRow("topic: leading zero") << Topic << QByteArray("qalix/IN/Bad/02") << in("Bad", 2) << false;
        QTest::newRow("topic: command") << Topic << QByteArray("qalix/OUT/Kueche/3/set") << PortId() << false;
        QTest::newRow("topic: another prefix") << Topic << QByteArray("qalix-OUT/Kueche/3") << PortId() << false;
        QTest::newRow("topic: other direction") << Topic << QByteArray("qalix/ADC/Kueche/3") << PortId() << false;
    }
    void forms()
    {
        QFETCH(Form, form);
        QFETCH(QByteArray, text);
        QFETCH(PortId, id);
        QFETCH(bool, same);

        QCOMPARE(io[form].read(text), id);
        if (id.isValid())
            QCOMPARE(io[form].write(id) == text, same);
    }

    // Where a form cannot say a port, it writes nothing a reader would take
    // for another one.
    void unsayable_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QByteArray>("panelSends");
        QTest::addColumn<QByteArray>("serverReports");

        QTest::newRow("outside Latin-1") << "厨房" << QByteArray("OUT.??.3")
                                         << QByteArray("OUT.\xe5\x8e\xa8\xe6\x88\xbf.3");
        QTest::newRow("dot") << "a.b" << QByteArray("OUT.a.b.3") << QByteArray();
        QTest::newRow("equals sign") << "a=b" << QByteArray("OUT.a=b.3") << QByteArray();
        QTest::newRow("line break") << "a\rb" << QByteArray("OUT.a\rb.3") << QByteArray();
        QTest::newRow("empty") << "" << QByteArray("OUT..3") << QByteArray();
    }
    void unsayable()
    {
        QFETCH(QString, object);
        QFETCH(QByteArray, panelSends);
        QFETCH(QByteArray, serverReports);
        const PortId id = out(object, 3);
        QCOMPARE(id.toLatin1Address(), panelSends);
        QCOMPARE(id.toUtf8Address(), serverReports);
    }

    // The key a bus port gives its items, from the module's id and the
    // port's type; the modules OUT and IN are the panel's own ports.
    void busPortKeys_data()
    {
        QTest::addColumn<QString>("module");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("key");
        QTest::newRow("output") << "12" << int(Port::Output) << 3 << "ITM_12_OUT3";
        QTest::newRow("ADC input") << "12" << int(Port::AdcInput) << 3 << "ITM_12_IN3";
        QTest::newRow("panel output") << "OUT" << int(Port::Output) << 3 << "ITM_OUT4_OUT0";
        QTest::newRow("panel input") << "IN" << int(Port::Input) << 0 << "ITM_IN1_IN0";
        QTest::newRow("unknown type") << "12" << 7 << 5 << "ITM_12_5";
    }
    void busPortKeys()
    {
        QFETCH(QString, module);
        QFETCH(int, type);
        QFETCH(int, number);
        QFETCH(QString, key);
        Module bus(QStringLiteral("Bus"), module, QStringLiteral("type"), 1, QStringLiteral("room"), nullptr);
        bus.addPort(QStringLiteral("name"), number, type, QString());
        QCOMPARE(bus.ports.first()->itemKey(), key);
    }
};

QTEST_GUILESS_MAIN(TestPortId)
#include "tst_portid.moc"
