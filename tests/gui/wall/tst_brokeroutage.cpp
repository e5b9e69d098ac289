#include "gui/items/item.h"
#include "gui/pages/page.h"
#include "gui/wall/wallpanel.h"
#include "gui/window/mainwindow.h"
#include "tests/support/itemsupport.h"
#include "tests/support/mqttpeers.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// What the panel shows when something behind msgserver-mqtt fails, with a
// real mosquitto and the bridge program: a value the bridge cannot vouch for
// looks unknown, at once for one port, after -stale for the whole
// connection, and the banner says why.
class TestBrokerOutage : public QObject
{
    Q_OBJECT

private slots:
    void nothingUnknownLooksKnown_data();
    void nothingUnknownLooksKnown();
};

void TestBrokerOutage::nothingUnknownLooksKnown_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("lampStale"); // its value retained on the broker
    QTest::addColumn<bool>("hallStale"); // its value not retained
    QTest::addColumn<QString>("banner"); // its reason after -stale; empty: the connection stays up

    QTest::newRow("device offline") << "offline" << true << false << "";
    QTest::newRow("value past expire_after") << "expire" << true << false << "";
    QTest::newRow("bridge killed and started again") << "restart" << false << true << "";
    QTest::newRow("broker stopped") << "stop" << true << true << "Server nicht erreichbar";
    QTest::newRow("broker frozen") << "freeze" << true << true << "Server nicht erreichbar";
    QTest::newRow("wrong panel password") << "password" << true << true << "Anmeldung abgelehnt";
}

void TestBrokerOutage::nothingUnknownLooksKnown()
{
    QFETCH(QString, fault);
    QFETCH(bool, lampStale);
    QFETCH(bool, hallStale);
    QFETCH(QString, banner);

    QTemporaryDir dir;
    TestBroker broker(dir.path());
    TestBridge bridge(dir.path());
    QVERIFY(broker.start() && broker.publish("stat/kueche/POWER", "ON", true));
    const QByteArray config = "[broker]\nurl = mqtt://127.0.0.1:@PORT@\nkeepalive = 5\n[panel]\nuser = demo\n"
                              "password = demo\n[OUT.Kueche.1]\nstate = stat/kueche/POWER\nexpire_after = "
        + QByteArray(fault == "expire" ? "5" : "3600") + "\n[OUT.Flur.1]\nstate = stat/flur/POWER\n";
    QVERIFY(bridge.start(config, broker.port()));
    qint64 now = 0;
    MainWindow window;
    QList<Item *> items;
    Page *page = addWindowPage(window, &items, "1");
    const auto bound = [page](const char *key) {
        Item *item = page->createItem(ItemKind::StateButton);
        editRecord(item, [key](ItemRecord &r) { r.port = QLatin1String(key); });
        return item;
    };
    Item *lamp = bound("ITM_Kueche_OUT1"), *hall = bound("ITM_Flur_OUT1");
    StartOptions options;
    options.staleSeconds = 10;
    window.setWallOptions(options, [&now] { return now; });
    const QLabel *shown = window.wallPanel()->banner();
    window.setClient(new QalixMsgClient(loopbackClient(bridge.port(), "demo", fault == "password" ? "guess" : "demo")));
    QalixMsgClient *client = window.client();
    client->setTicking(false);
    QSignalSpy received(client, &QalixMsgClient::received);
    // The panel tries again every 5 s, as its window does, while it is not live.
    const auto retryWhileDown = [&] {
        for (int retry = 0; retry < 3; ++retry) {
            now += 5000;
            client->connectToServer();
            QTRY_VERIFY_WITH_TIMEOUT(client->state() == QAbstractSocket::UnconnectedState, 5000);
            window.wallPanel()->poll();
        }
    };

    client->connectToServer();
    if (fault == "password") {
        retryWhileDown();
        QVERIFY(bridge.errors("wrong login").contains("wrong login"));
    } else {
        QVERIFY(received.wait(5000) && broker.publish("stat/flur/POWER", "ON"));
        QTRY_COMPARE(received.size(), 2);
        window.updateGUI();
        QVERIFY(!lamp->isStale() && !hall->isStale());
    }
    if (fault == "offline") {
        QVERIFY(broker.publish("tele/kueche/LWT", "Offline", true));
        QTRY_VERIFY(lamp->isStale()); // at once: no report walk in between
    } else if (fault == "expire") {
        QTRY_VERIFY_WITH_TIMEOUT(lamp->isStale(), 12000);
    } else if (fault == "restart") {
        const QString port = QString::number(bridge.port());
        ::kill(pid_t(bridge.pid()), SIGKILL);
        QVERIFY(bridge.process.waitForFinished(5000));
        QTRY_VERIFY(!client->isConnected());
        bridge.out.clear();
        QVERIFY(bridge.start(config, broker.port(), true, {"--listen", "127.0.0.1:" + port}));
        received.clear();
        client->connectToServer();
        QVERIFY(received.wait(5000));
        window.updateGUI();
        QTRY_VERIFY(hall->isStale()); // its value did not come back
    } else if (fault == "stop" || fault == "freeze") {
        fault == "stop" ? broker.stop() : void(::kill(pid_t(broker.process.processId()), SIGSTOP));
        // A frozen broker is noticed within 1.5 keep-alives; the bridge then takes no panel.
        QTRY_VERIFY_WITH_TIMEOUT(!client->isConnected(), 12000);
        // Named for what it is: not the library's "Unknown error".
        QVERIFY(bridge.errors("refused until it is back")
                    .contains(fault == "freeze" ? "frozen, or the network is cut" : "connection lost"));
        retryWhileDown();
    }
    QCOMPARE(lamp->isStale(), lampStale);
    QCOMPARE(hall->isStale(), hallStale);
    QCOMPARE(shown->isVisibleTo(&window), !banner.isEmpty());
    QVERIFY2(banner.isEmpty() || shown->text().endsWith(banner), qPrintable(shown->text()));
    if (fault != "stop" && fault != "freeze")
        return;

    received.clear();
    QVERIFY(fault == "stop" ? broker.start(QByteArray(), broker.port())
                            : ::kill(pid_t(broker.process.processId()), SIGCONT) == 0);
    QTRY_VERIFY_WITH_TIMEOUT((client->isConnected() ? void() : client->connectToServer(), !received.isEmpty()), 20000);
    QTRY_VERIFY(!shown->isVisibleTo(&window));
    window.updateGUI();
    QVERIFY(!lamp->isStale());
}

QTEST_MAIN(TestBrokerOutage)
#include "tst_brokeroutage.moc"
