#include "gui/dialogs/dialogpin.h"
#include "gui/window/mainwindow.h"
#include "gui/wall/screensaver.h"
#include "gui/wall/wallpanel.h"
#include "gui/window/startup.h"
#include "gui/items/item.h"
#include "core/net/qalixmsgclient.h"
#include "gui/dialogs/dialogoptions.h"
#include "gui/pages/page.h"
#include "tests/support/itemsupport.h"
#include "tools/standins/msgserversim.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The wall-panel switches on a main window, on a clock the test turns.
class TestWallPanel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void staleLookFollowsTheConnection();
    void staleThroughReconnects_data();
    void staleThroughReconnects();
    void lockAsksForPin_data();
    void lockAsksForPin();
    void lockTurnsEditingKeysOff_data();
    void lockTurnsEditingKeysOff();
    void idleClosesDialogs_data();
    void idleClosesDialogs();
    void unansweredPressIsMarked_data();
    void unansweredPressIsMarked();
    void alarmWakesTheSaver();

private:
    Page *addPage(const QString &id) { return addWindowPage(*window, &itemList, id); }
    Item *addItem(Page *page, int kind, const QString &key);
    void showWindow();

    std::unique_ptr<MainWindow> window;
    QList<Item *> itemList;
    qint64 now = 0;
    std::function<qint64()> clock = [this] { return now; };
};

void TestWallPanel::init()
{
    now = 0;
    window = std::make_unique<MainWindow>();
}

void TestWallPanel::cleanup()
{
    window.reset();
}

Item *TestWallPanel::addItem(Page *page, int kind, const QString &key)
{
    Item *item = page->createItem(kind);
    editRecord(item, [&](ItemRecord &r) { r.port = key; });
    page->setControlMode();
    return item;
}

void TestWallPanel::showWindow()
{
    window->setPageSize(QSize(400, 300));
    window->pages().first()->show();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestWallPanel::staleLookFollowsTheConnection()
{
    Page *first = addPage("1");
    Page *later = addPage("2");
    Item *reported = addItem(first, ItemKind::StateButton, "ITM_Kueche_OUT1");
    Item *never = addItem(first, ItemKind::StateButton, "ITM_Keller_OUT9");
    never->SetPos(100, 10);
    Item *unbound = first->createItem(ItemKind::Picture);
    unbound->SetPos(200, 10);
    ItemElement element;
    element.type = QStringLiteral("StateButton");
    element.w = element.h = 20;
    element.record.port = QStringLiteral("ITM_Kueche_OUT1");
    later->setPendingItems({element});
    StartOptions options;
    options.staleSeconds = 10;
    window->setWallOptions(options, clock);
    const QLabel *banner = window->wallPanel()->banner();
    showWindow();
    const QPoint onReported = first->view()->mapFromScene(QPointF(35, 35));
    const auto shownColour = [&] { return first->view()->grab().toImage().pixelColor(onReported); };

    MsgServerSim sim;
    QalixMsgClient *client = attachSimulator(*window, sim);
    QVERIFY(client);
    const quint16 port = sim.serverPort();
    QSignalSpy received(client, &QalixMsgClient::received);
    client->connectToServer();
    QVERIFY(received.wait(5000));
    window->updateGUI();
    const QColor fresh = shownColour();

    // Connected, however long: nothing reported is stale; what never was is unknown.
    now = 3600000;
    window->wallPanel()->poll();
    QVERIFY(!reported->isStale() && never->isStale() && !unbound->isStale() && !banner->isVisible());
    // The server no longer knows the value: stale at once, a page built now
    // takes no value, and the next report ends it.
    QSignalSpy unknown(client, &QalixMsgClient::receivedUnknown);
    QVERIFY(sim.markUnknown("OUT.Kueche.1") && unknown.wait(5000));
    QVERIFY(reported->isStale());
    window->onChangePort("PAGE_2");
    QVERIFY(later->items().first()->isStale() && later->items().first()->lastValue() == -99999999.0);
    client->setPortValue("Kueche", 1, true, 1.0);
    QVERIFY(received.wait(5000));
    window->updateGUI();
    QVERIFY(!reported->isStale() && !later->items().first()->isStale());

    sim.close();
    QTRY_VERIFY_WITH_TIMEOUT(!client->isConnected(), 5000);
    now += 9999;
    window->wallPanel()->poll();
    QVERIFY(!reported->isStale() && !banner->isVisible());
    now += 1;
    window->wallPanel()->poll();
    QVERIFY(reported->isStale());
    QVERIFY(!unbound->isStale());
    QVERIFY(banner->isVisible());
    QVERIFY2(banner->text().startsWith("Keine Verbindung seit "), qPrintable(banner->text()));
    // On the page as shown, clear of its top, where titles and the buttons are.
    const QRect shownPage(first->view()->mapTo(window.get(), QPoint()), first->view()->size());
    QVERIFY2(shownPage.contains(banner->geometry()) && banner->y() > shownPage.center().y(),
             qPrintable(
                 QString("%1,%2 %3x%4").arg(banner->x()).arg(banner->y()).arg(banner->width()).arg(banner->height())));
    window->onChangePort("PAGE_1");
    QVERIFY(shownColour() != fresh);
    QVERIFY(later->items().first()->isStale());

    // Back, with the same value as before: the kind has nothing to redraw.
    QVERIFY(sim.listen(QHostAddress::LocalHost, port));
    sim.addPort("OUT.Kueche.1", MsgServerSim::Switch, 1.0);
    received.clear();
    client->connectToServer();
    QVERIFY(received.wait(5000));
    QVERIFY(!banner->isVisible());
    QVERIFY(reported->isStale()); // not handed on yet
    window->updateGUI();
    QVERIFY(!reported->isStale());
    QVERIFY(!later->items().first()->isStale());
    QVERIFY(never->isStale());
    QCOMPARE(shownColour(), fresh);
}

void TestWallPanel::staleThroughReconnects_data()
{
    // Each of four connections, 3 s apart: the server answers the start-up
    // lines or not, then drops the panel once its start request is in, or
    // answers its keep-alive and keeps it.
    QTest::addColumn<bool>("logsIn");
    QTest::addColumn<bool>("drops");

    QTest::newRow("accepts and drops") << false << true;
    QTest::newRow("logs in, then drops") << true << true;
    QTest::newRow("logs in, nothing to report, keeps the panel") << true << false;
}

// A server that never gets as far as serving values must not hold the stale
// look off by letting the panel connect again and again.
void TestWallPanel::staleThroughReconnects()
{
    QFETCH(bool, logsIn);
    QFETCH(bool, drops);

    StartOptions options;
    options.staleSeconds = 10;
    window->setWallOptions(options, clock);
    addItem(addPage("1"), ItemKind::StateButton, "ITM_Kueche_OUT1");
    FakeServer server;
    window->setClient(new QalixMsgClient(loopbackClient(server.port())));
    QalixMsgClient *client = window->client();
    client->setTicking(false);
    for (int attempt = 0; attempt < 4; ++attempt) {
        client->connectToServer();
        QVERIFY(server.waitForClient());
        QVERIFY(server.waitFor("CB\n"));
        if (logsIn) {
            server.send("N\nLOK\nCT60\nCd\nCB\n");
            QVERIFY(server.waitFor("S\nN\n"));
        }
        if (drops) {
            server.peer()->disconnectFromHost();
            QTRY_VERIFY_WITH_TIMEOUT(!client->isConnected(), 5000);
        } else {
            server.send("N\n");
            QTRY_VERIFY_WITH_TIMEOUT(client->isLive(), 5000);
        }
        now += 3000;
        window->wallPanel()->poll();
    }
    QCOMPARE(!window->wallPanel()->banner()->isHidden(), drops);
}

void TestWallPanel::lockAsksForPin_data()
{
    // Digits, K for OK, C for cancel.
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("byWindowManager"); // its close (Alt+F4, the title bar's X), not the exit button

    QTest::newRow("exit, wrong, then right")
        << "9999K1234K" << QStringList{"Falsche PIN. Noch 4 Versuche."} << true << false;
    QTest::newRow("window manager's close, cancelled") << "12C" << QStringList() << false << true;
    QTest::newRow("window manager's close, right") << "1234K" << QStringList() << true << true;
}

void TestWallPanel::lockAsksForPin()
{
    QFETCH(QString, keys);
    QFETCH(QStringList, messages);
    QFETCH(bool, closes);
    QFETCH(bool, byWindowManager);

    QTemporaryDir dir;
    StartOptions options;
    options.pinFile = dir.filePath("pin");
    QVERIFY(writeFile(options.pinFile, "1234\n"));
    window->setWallOptions(options, clock);
    addPage("1");
    showWindow();

    // Works the pad once it is up; any other dialog (the options) is closed.
    bool padSeen = false;
    QStringList shown;
    QTimer driver;
    connect(&driver, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        driver.stop();
        auto *pad = qobject_cast<DialogPin *>(modal);
        if (!pad) {
            modal->close();
            return;
        }
        padSeen = true;
        for (const QChar key : keys) {
            const QString name = key == 'K' ? QString("pushButtonOk")
                : key == 'C'                ? QString("pushButtonCancel")
                                            : QString("pushButton") + key;
            QTest::mouseClick(pad->findChild<QPushButton *>(name), Qt::LeftButton);
            if (key == 'K' && pad->isVisible())
                shown << pad->message();
        }
    });
    driver.start(10);
    if (byWindowManager) {
        // Refused, however often; the pad comes up once.
        QVERIFY(!window->close());
        QVERIFY(!window->close());
        QTRY_VERIFY(padSeen && !QApplication::activeModalWidget());
    } else {
        QTest::mouseClick(window->findChild<QPushButton *>("pushButton"), Qt::LeftButton); // exit
    }
    QVERIFY(padSeen);
    QCOMPARE(shown, messages);
    QCOMPARE(window->isVisible(), !closes);
}

void TestWallPanel::lockTurnsEditingKeysOff_data()
{
    QTest::addColumn<bool>("lock");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    // The page's items afterwards: their positions.
    QTest::addColumn<QString>("items");

    const int ctrl = Qt::ControlModifier;
    QTest::newRow("paste") << false << int(Qt::Key_V) << ctrl << "10,10 10,10";
    QTest::newRow("paste, locked") << true << int(Qt::Key_V) << ctrl << "10,10";
    QTest::newRow("cut, locked") << true << int(Qt::Key_X) << ctrl << "10,10";
    QTest::newRow("delete, locked") << true << int(Qt::Key_Delete) << 0 << "10,10";
    QTest::newRow("move, locked") << true << int(Qt::Key_Right) << 0 << "10,10";
}

// A keyboard plugged into a locked panel must not paste, cut, delete or move
// items; without the lock the page's keys work as ever (the page's own tests
// have the rest of them).
void TestWallPanel::lockTurnsEditingKeysOff()
{
    QFETCH(bool, lock);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, items);

    QTemporaryDir dir;
    StartOptions options;
    options.homeSeconds = 600; // a wall panel either way
    if (lock) {
        options.pinFile = dir.filePath("pin");
        QVERIFY(writeFile(options.pinFile, "1234\n"));
    }
    window->setWallOptions(options, clock);
    Page *page = addPage("1");
    addItem(page, ItemKind::StateButton, "ITM_Tor_OUT1"); // selected, at 10, 10
    page->copyItems();
    QTest::keyClick(page->view(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QStringList shown;
    for (const Item *item : page->items())
        shown << QString("%1,%2").arg(item->x()).arg(item->y());
    QCOMPARE(shown.join(' '), items);
}

void TestWallPanel::idleClosesDialogs_data()
{
    QTest::addColumn<int>("home");
    QTest::addColumn<int>("dim");
    QTest::addColumn<QByteArray>("pin");
    // The dialog left alone, and how long until it must be gone.
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("dueMs");

    QTest::newRow("dim: the options") << 0 << 20 << QByteArray("1234") << "DialogOptions" << 20000;
    QTest::newRow("home: the options") << 8 << 20 << QByteArray("1234") << "DialogOptions" << 8000;
    QTest::newRow("home: the PIN pad") << 8 << 0 << QByteArray("1234") << "DialogPin" << 8000;
    QTest::newRow("home: a message box") << 8 << 0 << QByteArray("12") << "PanelMessageBox" << 8000;
    QTest::newRow("lock alone: the options") << 0 << 0 << QByteArray("1234") << "DialogOptions" << 60000;
}

// A dialog left open on a locked panel is closed unsaved when the panel goes
// idle, so the options are not left unlocked for the next person.
void TestWallPanel::idleClosesDialogs()
{
    QFETCH(int, home);
    QFETCH(int, dim);
    QFETCH(QByteArray, pin);
    QFETCH(QString, left);
    QFETCH(int, dueMs);

    QTemporaryDir dir;
    QFile::remove(DialogOptions::settingsPath());
    StartOptions options;
    options.homeSeconds = home;
    options.dimSeconds = dim;
    options.pinFile = dir.filePath("pin");
    QVERIFY(writeFile(options.pinFile, pin + '\n'));
    window->setWallOptions(options, clock);
    addPage("1");
    showWindow();

    QStringList seen;
    bool openBeforeDue = false;
    bool closedWhenDue = false;
    QTimer driver;
    connect(&driver, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        const QString kind = modal->metaObject()->className();
        if (seen.isEmpty() || seen.last() != kind)
            seen << kind;
        if (kind != left) {
            if (kind != "DialogPin")
                modal->close();
            for (const char *key : {"pushButton1", "pushButton2", "pushButton3", "pushButton4", "pushButtonOk"}) {
                if (auto *button = modal->findChild<QPushButton *>(key))
                    QTest::mouseClick(button, Qt::LeftButton);
            }
            return;
        }
        driver.stop();
        const qint64 since = now;
        now = since + dueMs - 1;
        window->wallPanel()->poll();
        openBeforeDue = modal->isVisible();
        now = since + dueMs;
        window->wallPanel()->poll();
        closedWhenDue = !modal->isVisible();
        if (!closedWhenDue)
            modal->close(); // the test goes on to report it
    });
    driver.start(10);
    QTest::mouseClick(window->findChild<QPushButton *>("pushButtonOptions"), Qt::LeftButton);

    QCOMPARE(seen.last(), left);
    QVERIFY(openBeforeDue);
    QVERIFY(closedWhenDue);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(window->isVisible());
    QVERIFY(!QFile::exists(DialogOptions::settingsPath()));
    QCOMPARE(window->wallPanel()->isDimmed(), dim > 0 && dueMs >= dim * 1000);
}

void TestWallPanel::unansweredPressIsMarked_data()
{
    QTest::addColumn<bool>("touch");
    QTest::addColumn<int>("answerMs"); // when the server's report comes
    // Whether the item is marked 2.9 s, 3 s and 6 s after the press, and after the report.
    QTest::addColumn<QString>("marked");

    QTest::newRow("answered in time") << true << 2000 << "0000";
    QTest::newRow("answered late") << true << 5000 << "0100";
    QTest::newRow("never answered") << true << 99999 << "0110";
    QTest::newRow("without -touch, never marked") << false << 99999 << "0000";
}

// A press whose port does not answer within a few seconds shows on its item
// until the port's next report, even one with the value it had.
void TestWallPanel::unansweredPressIsMarked()
{
    QFETCH(bool, touch);
    QFETCH(int, answerMs);
    QFETCH(QString, marked);

    StartOptions options;
    options.touch = touch;
    options.homeSeconds = touch ? 0 : 600; // a wall panel either way
    window->setWallOptions(options, clock);
    Item *item = addItem(addPage("1"), ItemKind::StateButton, "ITM_Tor_OUT1");
    window->onChangePort("ITM_Tor_OUT1");
    QString shown;
    for (const int at : {2900, 3000, 6000, 99999}) {
        // The report at its time, and one at the end in any case.
        for (const int reportAt : {answerMs, 99999}) {
            if (at >= reportAt && now < reportAt) {
                now = reportAt;
                window->liveState().onReceived("Tor", 1, true, 0.0);
                window->updateGUI();
            }
        }
        now = at;
        window->wallPanel()->poll();
        shown += item->isAwaitingAnswer() ? '1' : '0';
    }
    QCOMPARE(shown, marked);
}

// The saver gives way to an alarm port's report of a value other than 0 and
// stays away while it lasts; the date is beside the time, and a red mark
// says that the values behind it are stale.
void TestWallPanel::alarmWakesTheSaver()
{
    StartOptions options;
    options.dimSeconds = 10;
    options.staleSeconds = 5;
    options.wakeKeys = QStringList{"ITM_Alarm_IN1"};
    window->setWallOptions(options, clock);
    addItem(addPage("1"), ItemKind::StateButton, "ITM_Tor_OUT1");
    showWindow();
    WallPanel *wall = window->wallPanel();
    const auto report = [&](const QString &object, bool output, double value) {
        window->liveState().onReceived(object, 1, output, value);
        window->updateGUI();
    };
    const auto redPixels = [&] {
        const QImage shot = const_cast<ScreenSaver *>(wall->screenSaver())->grab().toImage();
        int red = 0;
        for (int i = 0; i < shot.width() * shot.height(); ++i)
            red += qRed(shot.pixel(i % shot.width(), i / shot.width())) > 150
                && qGreen(shot.pixel(i % shot.width(), i / shot.width())) < 80;
        return red;
    };

    now = 10000;
    wall->poll();
    QVERIFY(wall->isDimmed() && wall->screenSaver()->isStale());
    QVERIFY(redPixels() > 0);
    report("Alarm", false, 1.0);
    QVERIFY(!wall->isDimmed());
    now = 500000; // the count towards the saver waits for the alarm to go
    wall->poll();
    QVERIFY(!wall->isDimmed());

    QVERIFY(installTranslation("de"));
    QCOMPARE(ScreenSaver::dateText(QDate(2025, 3, 12)), QString("Mi. 12. März 2025"));
    QVERIFY(installTranslation("en"));
    QCOMPARE(ScreenSaver::dateText(QDate(2025, 3, 12)), QString("Wed 12 March 2025"));
    QVERIFY(installTranslation("de"));
}

QTEST_MAIN(TestWallPanel)
#include "tst_wallpanel.moc"
