#include "gui/window/mainwindow.h"
#include "gui/items/item.h"
#include "tests/support/itemsupport.h"
#include "tests/support/testsupport.h"
#include "tools/standins/msgserversim.h"
#include "core/net/qalixmsgclient.h"
#include "gui/pages/page.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The main window's side of the live link: the live state's values handed to
// the items of every page, also of pages built later, presses turned into
// commands or page switches, the connection button.
class TestLiveUpdate : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valueReachesPageBuiltLater();
    void pressSends();
    void pageSwitch_data();
    void pageSwitch();
    void connectionButtonFollowsSimulator();

private:
    Page *addPage(const QString &id) { return addWindowPage(*window, &itemList, id); }
    QImage connectionIcon() const;

    std::unique_ptr<MainWindow> window;
    QList<Item *> itemList;
};

void TestLiveUpdate::init()
{
    window = std::make_unique<MainWindow>();
}

void TestLiveUpdate::cleanup()
{
    window.reset();
    itemList.clear();
}

QImage TestLiveUpdate::connectionIcon() const
{
    auto *button = window->findChild<QPushButton *>("pushButtonConnection");
    return button->icon().pixmap(26, 27).toImage();
}

void TestLiveUpdate::valueReachesPageBuiltLater()
{
    Page *first = addPage("1");
    Page *later = addPage("2");
    ItemElement bound;
    bound.type = QStringLiteral("ADCText");
    bound.w = bound.h = 20;
    bound.record.digits = 1;
    bound.record.port = QStringLiteral("ITM_Aussen_IN1");
    ItemElement pressed = bound;
    pressed.type = QStringLiteral("StateButton");
    pressed.record.port = QStringLiteral("ITM_Tor_OUT1");
    later->setPendingItems({bound, pressed});
    window->show();
    first->show();

    // Reported and ticked (twice: the newest counts) while the page is unbuilt;
    // the other key only pressed.
    for (double value : {3.0, 21.46}) {
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
        window->liveState().onReceived("Aussen", 1, false, value);
        window->updateGUI();
    }
    window->onChangePort("ITM_Tor_OUT1");
    QVERIFY(!later->isBuilt());
    // Without -stale a server's "unknown" (a "U" line) changes nothing.
    window->setClient(new QalixMsgClient(loopbackClient(1)));
    emit window->client()->receivedUnknown("Aussen", 1, false);

    window->onChangePort("PAGE_2");
    QVERIFY(later->isVisible());
    QVERIFY(later->isBuilt());
    QCOMPARE(later->items().size(), 2);
    QCOMPARE(later->items().at(0)->text(), QString("21.5"));
    // Never reported: the state button keeps its first look.
    QCOMPARE(later->items().at(1)->lastValue(), -99999999.0);
}

void TestLiveUpdate::pageSwitch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("visible"); // one letter per page: ids 1, 2, 2, a_b

    // clang-format off
    QTest::newRow("page 2") << "PAGE_2" << "0110";
    QTest::newRow("page 1") << "PAGE_1" << "1000";
    QTest::newRow("only the second field counts") << "PAGE_a_b" << "0000";
    QTest::newRow("unknown id hides all") << "PAGE_9" << "0000";
    // clang-format on
}

void TestLiveUpdate::pageSwitch()
{
    QFETCH(QString, text);
    QFETCH(QString, visible);

    for (const char *id : {"1", "2", "2", "a_b"})
        addPage(id);
    window->show();
    window->pages().first()->show();
    window->onChangePort(text);
    QString shown;
    for (Page *page : window->pages())
        shown += page->isVisible() ? '1' : '0';
    QCOMPARE(shown, visible);
}

// A press sends the toggled value of the newest report; the press itself
// changes no stored value.
void TestLiveUpdate::pressSends()
{
    FakeServer server;
    window->setClient(new QalixMsgClient(loopbackClient(server.port(), "demo", "pw")));
    window->client()->connectToServer();
    QVERIFY(server.waitForClient());
    QVERIFY(server.waitFor("CB\n"));
    server.take();
    QTest::ignoreMessage(QtInfoMsg, "Data \"M1\" true 3 0.5");
    window->liveState().onReceived("M1", 3, true, 0.5);

    window->onChangePort("ITM_M1_OUT3");
    QCOMPARE(window->windowTitle(), QString("ITM_M1_OUT3"));
    double kept = -1.0;
    QVERIFY(window->liveState().storedValue("ITM_M1_OUT3", &kept));
    QCOMPARE(kept, 0.5);
    window->client()->sendCommand('N', "__end");
    QVERIFY(server.waitFor("N__end\n"));
    QCOMPARE(server.take(), QByteArray("POUT.M1.3=0\nN__end\n"));
}

void TestLiveUpdate::connectionButtonFollowsSimulator()
{
    const QImage ok = QIcon(":/icons/ok").pixmap(26, 27).toImage();
    const QImage error = QIcon(":/icons/error").pixmap(26, 27).toImage();
    QVERIFY(ok != error);
    QCOMPARE(connectionIcon(), error);

    MsgServerSim sim;
    QalixMsgClient *client = attachSimulator(*window, sim);
    QVERIFY(client);
    QSignalSpy received(client, &QalixMsgClient::received);
    QTest::ignoreMessage(QtInfoMsg, "Data \"Kueche\" true 1 1");

    // Not connected: the check starts an attempt and the icon stays.
    window->onTimeout();
    QCOMPARE(connectionIcon(), error);
    QVERIFY(received.wait(5000));
    window->onTimeout();
    QCOMPARE(connectionIcon(), ok);

    sim.close();
    QTRY_VERIFY_WITH_TIMEOUT(!client->isConnected(), 5000);
    window->onTimeout();
    QCOMPARE(connectionIcon(), error);
}

QTEST_MAIN(TestLiveUpdate)
#include "tst_liveupdate.moc"
