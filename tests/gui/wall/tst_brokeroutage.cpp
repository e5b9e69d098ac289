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

// A broker outage behind msgserver-mqtt as the panel sees it, with a real
// mosquitto and the bridge program: -stale seconds after the broker went,
// the bound items look stale and the banner shows, however often the panel
// tries to connect meanwhile; with the broker back, so are the values.
class TestBrokerOutage : public QObject
{
    Q_OBJECT

private slots:
    void panelLooksStaleInTime();
};

void TestBrokerOutage::panelLooksStaleInTime()
{
    QTemporaryDir dir;
    TestBroker broker(dir.path());
    TestBridge bridge(dir.path());
    QVERIFY(broker.start() && broker.publish("stat/kueche", "ON", true));
    QVERIFY(bridge.start("[broker]\nurl = mqtt://127.0.0.1:@PORT@\n[panel]\nuser = demo\npassword = demo\n"
                         "[OUT.Kueche.1]\nstate = stat/kueche\n",
                         broker.port()));
    qint64 now = 0;
    MainWindow window;
    StartOptions options;
    options.staleSeconds = 10;
    window.setWallOptions(options, [&now] { return now; });
    QList<Item *> items;
    Page *page = addWindowPage(window, &items, "1");
    Item *lamp = page->createItem(ItemKind::StateButton);
    editRecord(lamp, [](ItemRecord &r) { r.port = QStringLiteral("ITM_Kueche_OUT1"); });
    window.setClient(new QalixMsgClient(loopbackClient(bridge.port())));
    QalixMsgClient *client = window.client();
    client->setTicking(false);
    QSignalSpy received(client, &QalixMsgClient::received);
    client->connectToServer();
    QVERIFY(received.wait(5000));

    // The panel tries again every 5 s, as its window does, while the broker is away.
    broker.stop();
    QTRY_VERIFY(!client->isConnected());
    QVERIFY(bridge.errors("connection lost").contains("panels are refused until it is back"));
    for (int retry = 1; retry <= 2; ++retry) {
        QVERIFY(!lamp->isStale() && !window.wallPanel()->banner()->isVisibleTo(&window));
        now += 5000;
        client->connectToServer();
        QTRY_VERIFY(client->state() == QAbstractSocket::UnconnectedState);
        window.wallPanel()->poll();
    }
    QVERIFY(lamp->isStale() && window.wallPanel()->banner()->isVisibleTo(&window));

    received.clear();
    QVERIFY(broker.start(QByteArray(), broker.port()));
    QTRY_VERIFY_WITH_TIMEOUT((client->isConnected() ? void() : client->connectToServer(), !received.isEmpty()), 15000);
    QTRY_VERIFY(!window.wallPanel()->banner()->isVisibleTo(&window));
    window.updateGUI();
    QVERIFY(!lamp->isStale());
}

QTEST_MAIN(TestBrokerOutage)
#include "tst_brokeroutage.moc"
