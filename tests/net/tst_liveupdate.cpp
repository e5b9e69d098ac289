#include "app/mainwindow.h"
#include "editors/frameupdater.h"
#include "items/item.h"
#include "msgtesthelper.h"
#include "net/msgserversim.h"
#include "net/qalixmsgclient.h"
#include "pages/page.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The main window's side of the live link: reports recorded and handed to the
// items by the update tick, presses turned into commands or page switches.
class TestLiveUpdate : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void onReceivedRecords_data();
    void onReceivedRecords();
    void newestValueWins();
    void tickVisitsHundredKeysFromPosition();
    void fewKeysWrapEveryTick();
    void emptyMapLeavesTitle();
    void reportsDuringTickArePickedUp();
    void changedKeysReachItemsOnEveryPage();
    void pressSends_data();
    void pressSends();
    void pressKeepsStoredValue();
    void pageSwitch_data();
    void pageSwitch();
    void connectionButtonFollowsSimulator();
    void loadingCreatesClient();

private:
    Page *addPage(const QString &id);
    Item *addItem(Page *page, int kind, const QString &key);
    QString keyAt(int i) const { return QStringLiteral("ITM_K%1_OUT1").arg(i, 3, 10, QLatin1Char('0')); }
    QImage connectionIcon() const;

    std::unique_ptr<MainWindow> window;
    QList<QList<Item *> *> itemLists;
};

void TestLiveUpdate::init()
{
    window = std::make_unique<MainWindow>();
}

void TestLiveUpdate::cleanup()
{
    window.reset();
    qDeleteAll(itemLists);
    itemLists.clear();
}

Page *TestLiveUpdate::addPage(const QString &id)
{
    itemLists << new QList<Item *>;
    Page *page = new Page(itemLists.last(), &window->pages, window->centralWidget());
    window->pages << page;
    page->setPageSize(1.0, 400, 300);
    page->setId(id);
    page->setToolTip(id);
    return page;
}

Item *TestLiveUpdate::addItem(Page *page, int kind, const QString &key)
{
    Item *item = page->createItem(kind);
    item->frame->port = key;
    page->reindexItem(item);
    page->setControlMode();
    return item;
}

QImage TestLiveUpdate::connectionIcon() const
{
    auto *button = window->findChild<QPushButton *>("pushButtonConnection");
    return button->icon().pixmap(26, 27).toImage();
}

void TestLiveUpdate::onReceivedRecords_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("output");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("log");

    QTest::newRow("output") << "Kueche" << 3 << true << 1.0 << "ITM_Kueche_OUT3" << "Data \"Kueche\" true 3 1";
    QTest::newRow("input") << "Sensor" << 12 << false << 21.75 << "ITM_Sensor_IN12" << "Data \"Sensor\" false 12 21.75";
    QTest::newRow("half") << "M1" << 0 << true << 0.5 << "ITM_M1_OUT0" << "Data \"M1\" true 0 0.5";
    QTest::newRow("quoting") << "a\"b" << 1 << false << -3.0 << "ITM_a\"b_IN1" << "Data \"a\\\"b\" false 1 -3";
}

void TestLiveUpdate::onReceivedRecords()
{
    QFETCH(QString, object);
    QFETCH(int, port);
    QFETCH(bool, output);
    QFETCH(double, value);
    QFETCH(QString, key);
    QFETCH(QString, log);

    const QString title = window->windowTitle();
    QTest::ignoreMessage(QtInfoMsg, qPrintable(log));
    window->onReceived(object, port, output, value);
    QCOMPARE(window->portValues, (QMap<QString, double>{{key, value}}));
    QCOMPARE(window->portChanged, (QMap<QString, bool>{{key, true}}));
    QCOMPARE(window->windowTitle(), title);
}

void TestLiveUpdate::newestValueWins()
{
    Page *page = addPage("1");
    Item *item = addItem(page, Page::KindADCText, "ITM_M1_OUT3");
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
    window->onReceived("M1", 3, true, 1.0);
    window->onReceived("M1", 3, true, 0.0);
    window->updateGUI();
    QCOMPARE(item->text, QString("0.00"));
    QCOMPARE(window->portChanged.value("ITM_M1_OUT3"), false);
}

void TestLiveUpdate::tickVisitsHundredKeysFromPosition()
{
    for (int i = 0; i < 250; ++i) {
        window->portValues.insert(keyAt(i), i);
        window->portChanged.insert(keyAt(i), true);
    }
    window->updatePosition = 240;
    window->updateGUI();
    QCOMPARE(window->updatePosition, 90);
    QCOMPARE(window->windowTitle(), QString("STATES 0 ms / icon at 240 / 250"));
    for (int i = 0; i < 250; ++i)
        QVERIFY2(window->portChanged.value(keyAt(i)) == (i >= 90 && i < 240), qPrintable(keyAt(i)));
    window->updateGUI();
    QCOMPARE(window->updatePosition, 190);
    QVERIFY(window->portChanged.value(keyAt(189)) == false);
    QVERIFY(window->portChanged.value(keyAt(190)) == true);
}

void TestLiveUpdate::fewKeysWrapEveryTick()
{
    for (int i = 0; i < 5; ++i)
        window->portValues.insert(keyAt(i), 1.0);
    // A key without a changed flag counts as unchanged.
    window->portChanged.insert(keyAt(2), true);
    for (int tick = 0; tick < 3; ++tick) {
        window->updateGUI();
        QCOMPARE(window->windowTitle(), QString("STATES 0 ms / icon at 0 / 5"));
        QCOMPARE(window->updatePosition, 0);
    }
    QCOMPARE(window->portChanged.size(), 1);
    QCOMPARE(window->portChanged.value(keyAt(2)), false);
}

void TestLiveUpdate::emptyMapLeavesTitle()
{
    window->setWindowTitle("untouched");
    window->updateGUI();
    QCOMPARE(window->windowTitle(), QString("untouched"));
    QCOMPARE(window->updatePosition, 0);
}

void TestLiveUpdate::reportsDuringTickArePickedUp()
{
    Page *page = addPage("1");
    QList<Item *> items;
    for (int i = 0; i < 300; ++i) {
        items << addItem(page, Page::KindADCText, keyAt(i));
        items.last()->frame->digits = 1;
    }
    window->portValues.insert(keyAt(150), 0.0);
    // Delivered by the tick's own event processing, in the middle of its walk:
    // new keys shift the order under it.
    for (int i = 0; i < 300; ++i) {
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
        QMetaObject::invokeMethod(window.get(), "onReceived", Qt::QueuedConnection, Q_ARG(QString, QStringLiteral("K%1").arg(i, 3, 10, QLatin1Char('0'))),
                                  Q_ARG(int, 1), Q_ARG(bool, true), Q_ARG(double, i + 0.5));
    }
    window->updateGUI();
    QCOMPARE(window->portValues.size(), 300);
    QVERIFY(window->updatePosition >= 0 && window->updatePosition < 300);
    for (int tick = 0; tick < 3; ++tick)
        window->updateGUI();
    for (int i = 0; i < 300; ++i)
        QCOMPARE(items.at(i)->text, QString::number(i + 0.5, 'f', 1));
}

void TestLiveUpdate::changedKeysReachItemsOnEveryPage()
{
    Page *first = addPage("1");
    Page *second = addPage("2");
    Item *button = addItem(first, Page::KindStateButton, "ITM_Kueche_OUT1");
    Item *text = addItem(second, Page::KindStateText, "ITM_Kueche_OUT1");
    text->frame->textActive = "An";
    text->frame->textInactive = "Aus";
    Item *other = addItem(second, Page::KindADCText, "ITM_kueche_OUT1");
    const QString untouched = other->text;
    QTest::ignoreMessage(QtInfoMsg, "Data \"Kueche\" true 1 1");
    window->onReceived("Kueche", 1, true, 1.0);
    window->updateGUI();
    QCOMPARE(button->lastValue, 1.0);
    QCOMPARE(text->text, QString("An"));
    QCOMPARE(other->text, untouched);
    QTest::ignoreMessage(QtInfoMsg, "Data \"Kueche\" true 1 0");
    window->onReceived("Kueche", 1, true, 0.0);
    window->updateGUI();
    QCOMPARE(button->lastValue, 0.0);
    QCOMPARE(text->text, QString("Aus"));
}

void TestLiveUpdate::pressSends_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("stored"); // NaN: no stored value
    QTest::addColumn<QByteArray>("sent");

    const double none = qQNaN();
    QTest::newRow("toggle off") << "ITM_M1_OUT3" << 0.5 << QByteArray("POUT.M1.3=0\n");
    QTest::newRow("toggle on") << "ITM_M1_OUT3" << 0.0 << QByteArray("POUT.M1.3=1\n");
    QTest::newRow("never reported") << "ITM_Kueche_OUT12" << none << QByteArray("POUT.Kueche.12=1\n");
    QTest::newRow("object with _") << "ITM_Haus_Kueche_OUT2" << 1.0 << QByteArray("POUT.Haus_Kueche.2=0\n");
    QTest::newRow("input sends nothing") << "ITM_Kueche_IN3" << none << QByteArray();
    QTest::newRow("too few fields") << "ITM_M1" << none << QByteArray();
    QTest::newRow("empty object") << "ITM__OUT1" << none << QByteArray();
    QTest::newRow("port text not a number") << "ITM_M1_OUTx" << none << QByteArray();
    QTest::newRow("other text") << "FOO_bar" << none << QByteArray();
    QTest::newRow("page text") << "PAGE_2" << none << QByteArray();
}

void TestLiveUpdate::pressSends()
{
    QFETCH(QString, text);
    QFETCH(double, stored);
    QFETCH(QByteArray, sent);

    FakeServer server;
    window->msgClient = new QalixMsgClient("127.0.0.1", server.port(), false, true, "demo", "pw", false, window.get());
    window->msgClient->connectToServer();
    QVERIFY(server.waitForClient());
    QVERIFY(server.waitFor("CB\n"));
    server.take();
    if (!qIsNaN(stored))
        window->portValues.insert(text, stored);

    window->onChangePort(text);
    QCOMPARE(window->windowTitle(), text);
    // Every pressed text stays in the map; the press itself changes no value.
    QCOMPARE(window->portValues.value(text, -1.0), qIsNaN(stored) ? 0.0 : stored);
    window->msgClient->sendCommand('N', "__end");
    QVERIFY(server.waitFor("N__end\n"));
    QCOMPARE(server.take(), sent + "N__end\n");
}

void TestLiveUpdate::pressKeepsStoredValue()
{
    // Without a client a press still records the key and changes nothing else.
    window->onChangePort("ITM_M1_OUT3");
    QCOMPARE(window->portValues, (QMap<QString, double>{{"ITM_M1_OUT3", 0.0}}));
    QVERIFY(window->portChanged.isEmpty());
}

void TestLiveUpdate::pageSwitch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("visible"); // one letter per page: ids 1, 2, 2, a_b

    QTest::newRow("page 2") << "PAGE_2" << "0110";
    QTest::newRow("page 1") << "PAGE_1" << "1000";
    QTest::newRow("only the second field counts") << "PAGE_a_b" << "0000";
    QTest::newRow("unknown id hides all") << "PAGE_9" << "0000";
    QTest::newRow("no id: nothing changes") << "PAGE" << "1000";
    QTest::newRow("item text: nothing changes") << "ITM_a_IN1" << "1000";
}

void TestLiveUpdate::pageSwitch()
{
    QFETCH(QString, text);
    QFETCH(QString, visible);

    for (const char *id : {"1", "2", "2", "a_b"})
        addPage(id);
    window->show();
    window->pages.first()->show();
    window->onChangePort(text);
    QString shown;
    for (Page *page : window->pages)
        shown += page->isVisible() ? '1' : '0';
    QCOMPARE(shown, visible);
}

void TestLiveUpdate::connectionButtonFollowsSimulator()
{
    const QImage ok = QIcon(":/icons/ok").pixmap(26, 27).toImage();
    const QImage error = QIcon(":/icons/error").pixmap(26, 27).toImage();
    QVERIFY(ok != error);
    QCOMPARE(connectionIcon(), error);

    MsgServerSim sim;
    sim.addPort("OUT.Kueche.1", MsgServerSim::Switch, 1.0);
    QVERIFY(sim.listen(QHostAddress::LocalHost, 0));
    const quint16 port = sim.serverPort();
    window->msgClient = new QalixMsgClient("127.0.0.1", port, false, true, "demo", "demo", false, window.get());
    window->msgClient->timer.stop();
    connect(window->msgClient, &QalixMsgClient::received, window.get(), &MainWindow::onReceived);
    QSignalSpy received(window->msgClient, &QalixMsgClient::received);
    QTest::ignoreMessage(QtInfoMsg, "Data \"Kueche\" true 1 1");

    // Not connected: the check starts an attempt and the icon stays.
    window->onTimeout();
    QCOMPARE(connectionIcon(), error);
    QVERIFY(received.wait(5000));
    window->onTimeout();
    QCOMPARE(connectionIcon(), ok);

    QSignalSpy gone(&window->msgClient->socket, &QTcpSocket::disconnected);
    sim.close();
    QVERIFY(gone.wait(5000));
    window->onTimeout();
    QCOMPARE(connectionIcon(), error);
    QVERIFY(window->msgClient->socket.state() != QAbstractSocket::ConnectedState);

    QVERIFY(sim.listen(QHostAddress::LocalHost, port));
    sim.addPort("OUT.Kueche.1", MsgServerSim::Switch, 0.0);
    QTest::ignoreMessage(QtInfoMsg, "Data \"Kueche\" true 1 0");
    received.clear();
    window->onTimeout();
    QVERIFY(received.wait(5000));
    window->onTimeout();
    QCOMPARE(connectionIcon(), ok);
    QCOMPARE(window->portValues.value("ITM_Kueche_OUT1"), 0.0);
}

void TestLiveUpdate::loadingCreatesClient()
{
    const QString demo = QStringLiteral(QALIX_BUILD_DIR "/projects/demo.qlxd");
    QVERIFY2(QFile::exists(demo), "build the demo package first");
    QVERIFY(window->loadProject(demo));
    QalixMsgClient *client = window->msgClient;
    QVERIFY(client);
    // No attempts from this test: nothing of the demo's server is meant to answer here.
    client->timer.stop();
    window->connectionTimer.stop();
    QCOMPARE(client->parent(), window.get());
    QCOMPARE(client->host, QString("127.0.0.1"));
    QCOMPARE(client->port, 64401);
    QCOMPARE(client->userName, QString("demo"));
    QCOMPARE(client->password, QString("demo"));
    QVERIFY(!client->debugMode);
    QVERIFY(client->busMode);
    QVERIFY(!client->waitForConnection);
    QCOMPARE(window->guiTimer.interval(), 10);
    QVERIFY(window->guiTimer.isActive());
    QCOMPARE(window->connectionTimer.interval(), 5000);

    QTest::ignoreMessage(QtInfoMsg, "Data \"Kueche\" true 1 1");
    emit client->received("Kueche", 1, true, 1.0);
    QCOMPARE(window->portChanged.value("ITM_Kueche_OUT1"), true);
}

QTEST_MAIN(TestLiveUpdate)
#include "tst_liveupdate.moc"
