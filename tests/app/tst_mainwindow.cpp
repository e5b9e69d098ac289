#include "app/mainwindow.h"
#include "app/startup.h"

#include <QtTest>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>

// Reaches the protected resize handling the way project loading does.
class Window : public MainWindow
{
public:
    using MainWindow::resizeEvent;

    QPushButton *button(const char *name) const
    {
        return findChild<QPushButton *>(QLatin1String(name));
    }
};

static QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form();
    void buttonPlacement_data();
    void buttonPlacement();
    void zoomFactor_data();
    void zoomFactor();
    void windowedTakesPageSize_data();
    void windowedTakesPageSize();
    void unusablePageSizeFallsBack_data();
    void unusablePageSizeFallsBack();
    void resizeWithNullEvent();
    void fullscreenFitsScreen();
    void setFullscreenOnHiddenWindowChangesNothing();
    void onTimeoutWithoutClient();
    void exitButtonCloses();
    void connectionButtonIgnoresClicks();
    void grab();

private:
    void verifyButtons(const Window &window, const QSize &size);
};

void TestMainWindow::initTestCase()
{
    // The look the program gives itself at start.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    QString styleSheet;
    QVERIFY(readStyleSheet(":/style/css", ":/style/css_win", &styleSheet));
    qApp->setStyleSheet(styleSheet);
}

void TestMainWindow::form()
{
    Window window;
    QVERIFY(!window.isVisible());
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Qalix-PLUS-Control"));
    QVERIFY(!window.isAnimated());
    QVERIFY(!window.isFullscreenMode());
    QVERIFY(window.client() == nullptr);
    QVERIFY(window.pages().isEmpty());
    QCOMPARE(window.pageSize().width(), 0);
    QCOMPARE(window.pageSize().height(), 0);
    QVERIFY(!window.connectionTimer().isActive());
    QVERIFY(!window.updateTimer().isActive());
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralWidget"));

    const std::pair<const char *, const char *> buttons[] = {
        { "pushButton", ":/icons/exit" },
        { "pushButtonOptions", ":/icons/options" },
        { "pushButtonConnection", ":/icons/error" },
    };
    for (const auto &expected : buttons) {
        QPushButton *button = window.button(expected.first);
        QVERIFY2(button, expected.first);
        QCOMPARE(button->parentWidget(), window.centralWidget());
        QCOMPARE(iconImage(button->icon()), iconImage(QIcon(expected.second)));
    }

    // Slots in their declared order, and no signals of the window's own.
    const QMetaObject *meta = window.metaObject();
    const QByteArray expectedSlots[] = { "onChangePort(QString)", "onTimeout()", "updateGUI()",
                                         "on_pushButton_clicked()", "on_pushButtonOptions_clicked()" };
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(meta->method(meta->methodOffset() + i).methodSignature(), expectedSlots[i]);
}

void TestMainWindow::buttonPlacement_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<int>("iconEdge");
    QTest::addColumn<int>("edge");
    QTest::addColumn<int>("exitX");
    QTest::addColumn<int>("optionsX");
    QTest::addColumn<int>("connectionX");

    QTest::newRow("1024x768") << QSize(1024, 768) << 72 << 76 << 947 << 870 << 793;
    QTest::newRow("1366x768") << QSize(1366, 768) << 72 << 76 << 1289 << 1212 << 1135;
    QTest::newRow("768x1024 portrait") << QSize(768, 1024) << 72 << 76 << 691 << 614 << 537;
    QTest::newRow("1000x600") << QSize(1000, 600) << 57 << 60 << 940 << 880 << 820;
    QTest::newRow("1920x1040") << QSize(1920, 1040) << 98 << 104 << 1816 << 1712 << 1608;
    QTest::newRow("800x1240 portrait") << QSize(800, 1240) << 76 << 80 << 720 << 640 << 560;
    QTest::newRow("400x300 design size") << QSize(400, 300) << 28 << 30 << 370 << 340 << 310;
    // 0.1 * 333 = 33.3: the fractions add up, so the gaps differ by a pixel.
    QTest::newRow("333x333") << QSize(333, 333) << 31 << 33 << 299 << 266 << 233;
    QTest::newRow("9x9 tiny") << QSize(9, 9) << 0 << 0 << 8 << 7 << 6;
    QTest::newRow("empty") << QSize(0, 0) << 0 << 0 << 0 << 0 << 0;
}

void TestMainWindow::buttonPlacement()
{
    QFETCH(QSize, window);
    QFETCH(int, iconEdge);
    QFETCH(int, edge);
    QFETCH(int, exitX);
    QFETCH(int, optionsX);
    QFETCH(int, connectionX);

    const MainWindow::ButtonPlacement placement = MainWindow::buttonPlacement(window);
    QCOMPARE(placement.iconEdge, iconEdge);
    QCOMPARE(placement.exit, QRect(exitX, 0, edge, edge));
    QCOMPARE(placement.options, QRect(optionsX, 0, edge, edge));
    QCOMPARE(placement.connection, QRect(connectionX, 0, edge, edge));
}

void TestMainWindow::zoomFactor_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<int>("pageX");
    QTest::addColumn<int>("pageY");
    QTest::addColumn<double>("expected");

    QTest::newRow("landscape fits the height, not the width")
        << QSize(1920, 1040) << 1024 << 768 << 1040.0 / 768;
    QTest::newRow("portrait fits the width") << QSize(800, 1240) << 1024 << 768 << 0.78125;
    QTest::newRow("square counts as landscape") << QSize(1000, 1000) << 500 << 400 << 2.5;
    QTest::newRow("same size") << QSize(1024, 768) << 1024 << 768 << 1.0;
    QTest::newRow("landscape, zero height") << QSize(1920, 1040) << 1024 << 0 << 1.0;
    QTest::newRow("landscape, zero width unused") << QSize(1920, 1040) << 0 << 520 << 2.0;
    QTest::newRow("portrait, zero width") << QSize(800, 1240) << 0 << 768 << 1.0;
    QTest::newRow("portrait, negative width") << QSize(800, 1240) << -4 << 768 << 1.0;
    QTest::newRow("nothing known") << QSize(1920, 1040) << 0 << 0 << 1.0;
}

void TestMainWindow::zoomFactor()
{
    QFETCH(QSize, screen);
    QFETCH(int, pageX);
    QFETCH(int, pageY);
    QFETCH(double, expected);
    QCOMPARE(MainWindow::zoomFactor(screen, pageX, pageY), expected);
}

void TestMainWindow::verifyButtons(const Window &window, const QSize &size)
{
    const MainWindow::ButtonPlacement placement = MainWindow::buttonPlacement(size);
    const std::pair<const char *, QRect> buttons[] = {
        { "pushButton", placement.exit },
        { "pushButtonOptions", placement.options },
        { "pushButtonConnection", placement.connection },
    };
    for (const auto &expected : buttons) {
        QPushButton *button = window.button(expected.first);
        QCOMPARE(button->geometry(), expected.second);
        QCOMPARE(button->minimumSize(), expected.second.size());
        QCOMPARE(button->maximumSize(), expected.second.size());
        QCOMPARE(button->iconSize(), QSize(placement.iconEdge, placement.iconEdge));
    }
}

void TestMainWindow::windowedTakesPageSize_data()
{
    QTest::addColumn<QSize>("page");
    QTest::newRow("1000x600") << QSize(1000, 600);
    QTest::newRow("768x1024") << QSize(768, 1024);
}

void TestMainWindow::windowedTakesPageSize()
{
    QFETCH(QSize, page);
    Window window;
    window.setPageSize(QSize(page.width(), page.height()));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), page);
    QCOMPARE(window.minimumSize(), page);
    QCOMPARE(window.maximumSize(), page);
    verifyButtons(window, page);
    // The buttons live in the central widget: it must cover the window.
    QTRY_COMPARE(window.centralWidget()->size(), page);

    // The operator cannot resize it.
    window.resize(page / 2);
    QCOMPARE(window.size(), page);
    window.resize(page * 2);
    QCOMPARE(window.size(), page);
}

void TestMainWindow::unusablePageSizeFallsBack_data()
{
    QTest::addColumn<int>("pageX");
    QTest::addColumn<int>("pageY");
    QTest::newRow("no project") << 0 << 0;
    QTest::newRow("zero height") << 1000 << 0;
    QTest::newRow("negative width") << -1000 << 600;
}

void TestMainWindow::unusablePageSizeFallsBack()
{
    QFETCH(int, pageX);
    QFETCH(int, pageY);
    Window window;
    window.setPageSize(QSize(pageX, pageY));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), MainWindow::fallbackPageSize);
    QCOMPARE(window.minimumSize(), MainWindow::fallbackPageSize);
    QCOMPARE(window.maximumSize(), MainWindow::fallbackPageSize);
    verifyButtons(window, MainWindow::fallbackPageSize);
}

void TestMainWindow::resizeWithNullEvent()
{
    Window window;
    window.setPageSize(QSize(1024, 768));
    // As project loading does on the hidden window after reading the page size.
    window.resizeEvent(nullptr);
    QCOMPARE(window.size(), QSize(1024, 768));
    verifyButtons(window, QSize(1024, 768));
    QVERIFY(!window.isVisible());
}

void TestMainWindow::fullscreenFitsScreen()
{
    Window window;
    window.setPageSize(QSize(1024, 768));
    window.setFullscreenMode(true);
    window.showFullScreen();
    window.setFullscreen();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize area = QGuiApplication::primaryScreen()->availableGeometry().size();
    QCOMPARE(window.size(), area);
    QCOMPARE(window.minimumSize(), area);
    QCOMPARE(window.maximumSize(), area);
    verifyButtons(window, area);
    QTRY_COMPARE(window.centralWidget()->size(), area);
}

void TestMainWindow::setFullscreenOnHiddenWindowChangesNothing()
{
    Window window;
    window.setPageSize(QSize(1000, 600));
    window.setFullscreenMode(true);
    const QSize size = window.size();
    const QSize minimum = window.minimumSize();
    const QSize maximum = window.maximumSize();
    window.setFullscreen();
    QCOMPARE(window.size(), size);
    QCOMPARE(window.minimumSize(), minimum);
    QCOMPARE(window.maximumSize(), maximum);
    QVERIFY(!window.isVisible());
}

void TestMainWindow::onTimeoutWithoutClient()
{
    Window window;
    QPushButton *connection = window.button("pushButtonConnection");
    const qint64 before = connection->icon().cacheKey();
    // Two ticks with no connection and no change: the icon stays as it was.
    for (int tick = 0; tick < 2; ++tick) {
        QVERIFY(QMetaObject::invokeMethod(&window, "onTimeout"));
        QCOMPARE(connection->icon().cacheKey(), before);
    }
    QCOMPARE(iconImage(connection->icon()), iconImage(QIcon(":/icons/error")));
}

void TestMainWindow::exitButtonCloses()
{
    Window window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.button("pushButton"), Qt::LeftButton);
    QVERIFY(!window.isVisible());
}

void TestMainWindow::connectionButtonIgnoresClicks()
{
    Window window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QPushButton *connection = window.button("pushButtonConnection");
    const qint64 icon = connection->icon().cacheKey();
    QTest::mouseClick(connection, Qt::LeftButton);
    QVERIFY(window.isVisible());
    QCOMPARE(connection->icon().cacheKey(), icon);
    QCOMPARE(connection->geometry(), MainWindow::buttonPlacement(window.size()).connection);
}

void TestMainWindow::grab()
{
    // A picture of what the operator sees, for a person to look at.
    Window window;
    window.setPageSize(QSize(1024, 768));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(window.centralWidget()->size(), QSize(1024, 768));
    const QImage image = window.grab().toImage();
    QCOMPARE(image.size(), QSize(1024, 768) * window.devicePixelRatioF());
    QVERIFY(image.save(QDir::current().filePath("mainwindow.png")));
    // The corner buttons are drawn (#333333 face), the page area is black.
    QCOMPARE(image.pixelColor(960, 60), QColor("#333333"));
    QCOMPARE(image.pixelColor(500, 400), QColor("#000000"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
