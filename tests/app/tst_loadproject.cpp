#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScreen>
#include <QtTest>

#include "app/dialogprogress.h"
#include "app/mainwindow.h"
#include "app/projectloader.h"
#include "editors/frameupdater.h"
#include "items/item.h"
#include "pages/page.h"
#include "packagetesthelper.h"
#include "storage/projectdirectory.h"
#include "tests/items/testhelper.h"

// The main window loading a package: pages, settings, timers, sizes, and the
// demo project shipped with the program.
class TestLoadProject : public QObject
{
    Q_OBJECT

private:
    QStringList messages;
    static QStringList criticals;

    static void recordCritical(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type == QtCriticalMsg)
            criticals << text;
    }

    static QString packagePath(const QString &name) { return projectDirectory() + name; }

    static QByteArray projectDocument(const QString &pagesXml)
    {
        return QStringLiteral(
                   "<QalixPlusDesignerProject><pagex>640</pagex><pagey>480</pagey>"
                   "<Connections><host>127.0.0.1</host><password>pw</password><port>64401</port>"
                   "<username>demo</username></Connections><Pages>%1</Pages></QalixPlusDesignerProject>")
            .arg(pagesXml)
            .toUtf8();
    }

    static QString page(const QString &id, const QString &components = QString())
    {
        return QStringLiteral("<page><name>Seite %1</name><id>%1</id><background>bg.png</background>"
                              "<components>%2</components></page>")
            .arg(id, components);
    }

    static QString button(int x, int y, const QString &port, const QString &pageId = QString())
    {
        return QStringLiteral("<component><x>%1</x><y>%2</y><w>64</w><h>64</h><image_active>lamp.png</image_active>"
                              "<port>%3</port><page_id>%4</page_id><type>StateButton</type></component>")
            .arg(x)
            .arg(y)
            .arg(port, pageId);
    }

    static bool dialogLeftOpen()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<DialogProgress *>(widget))
                return true;
        }
        return false;
    }

    // The demo project as the build packs it: the document, then every
    // picture below icons/ and background/.
    static PackageEntries demoEntries()
    {
        // Lexically: the data folder need not exist.
        const QString demo = QDir::cleanPath(QStringLiteral(QALIX_TEST_DATA "/../../demo")) + QLatin1Char('/');
        PackageEntries entries;
        QFile project(demo + QLatin1String("project"));
        if (!project.open(QIODevice::ReadOnly))
            return entries;
        entries << qMakePair(QStringLiteral("project"), project.readAll());
        for (const QString &folder : {QStringLiteral("icons"), QStringLiteral("background")}) {
            const QStringList names = QDir(demo + folder).entryList(QDir::Files, QDir::Name);
            for (const QString &name : names) {
                QFile file(demo + folder + QLatin1Char('/') + name);
                if (file.open(QIODevice::ReadOnly))
                    entries << qMakePair(folder + QLatin1Char('/') + name, file.readAll());
            }
        }
        return entries;
    }

private slots:
    void initTestCase()
    {
        ProjectLoader::showMessage = [this](const QString &text) { messages << text; };
        QVERIFY(QDir().mkpath(projectDirectory()));
    }

    void init() { messages.clear(); }

    // Each load that cannot go as the package says leaves exactly one line
    // on standard error; the window is still shown, without pages when the
    // package did not open.
    void failuresReported_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("line");

        const auto package = [](const QByteArray &document) {
            return packageBytes({{QStringLiteral("project"), document}});
        };
        const QString page = TestLoadProject::page(QStringLiteral("A")).remove(QStringLiteral("bg.png"));
        QTest::newRow("missing") << QByteArray() << false << 0 << "cannot be opened, no such file";
        QTest::newRow("a folder") << QByteArray("/") << false << 0 << "cannot be opened, a folder, not a file";
        QTest::newRow("empty") << QByteArray("") << false << 0 << "cannot be opened, an empty file";
        QTest::newRow("not a package") << QByteArray("PK\x03\x04 zip") << false << 0
                                       << "cannot be opened, not a package (no SOH line)";
        QTest::newRow("no end of header") << QByteArray("SOH\nSOFAT\nproject|3\nEOFAT\n") << false << 0
                                          << "cannot be opened, not a package (its header has no EOH line)";
        QTest::newRow("document not XML") << package("<Pages>") << true << 0
                                          << "project document not read, Premature end of document.";
        QTest::newRow("page size 0") << package(projectDocument(page).replace("640", "0")) << true << 1
                                     << "page size 0 x 480 unusable, the window takes 400 x 300";
        QTest::newRow("page size negative")
            << package(projectDocument(page).replace("480", "-1")) << true << 1
            << "page size 640 x -1 unusable, the window takes 400 x 300";
        QTest::newRow("sound") << package(projectDocument(page)) << true << 1 << "";
    }

    void failuresReported()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, opens);
        QFETCH(int, pages);
        QFETCH(QString, line);

        QString path = packagePath(QStringLiteral("broken.qlxd"));
        QFile::remove(path);
        QDir(path).removeRecursively();
        if (bytes == "/") {
            QVERIFY(QDir().mkpath(path));
        } else if (!bytes.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }

        criticals.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordCritical);
        MainWindow window;
        const bool opened = window.loadProject(path);
        window.show();
        qInstallMessageHandler(previous);
        QDir(path).removeRecursively();

        QCOMPARE(opened, opens);
        QCOMPARE(criticals, line.isEmpty() ? QStringList() : QStringList(ProjectLoader::failureLine(path, line)));
        QCOMPARE(window.pages().size(), pages);
        QVERIFY(window.isVisible());
        QCOMPARE(window.connectionTimer().isActive(), opens);
        QVERIFY(messages.isEmpty());
        QVERIFY(!dialogLeftOpen());
    }

    void loadsPagesAndSettings()
    {
        const QString path = packagePath(QStringLiteral("small.qlxd"));
        QVERIFY(writePackage(path, {{QStringLiteral("icons/lamp.png"), pngBytes(32, 32, 0xffdd00)},
                                    {QStringLiteral("background/bg.png"), pngBytes(16, 12, 0x202040)},
                                    {QStringLiteral("project"),
                                     projectDocument(page(QStringLiteral("A"), button(10, 20, "ITM_Kueche_OUT1")
                                                                                    + button(100, 20, "", "B"))
                                                     + page(QStringLiteral("B"), button(30, 40, "ITM_Bad_IN1"))
                                                     + page(QStringLiteral("A")))}}));
        MainWindow window;
        QVERIFY(window.loadProject(path));
        QVERIFY(messages.isEmpty());
        QVERIFY(!dialogLeftOpen());

        QCOMPARE(window.pageSize().width(), 640);
        QCOMPARE(window.pageSize().height(), 480);
        QCOMPARE(window.connection().host, QStringLiteral("127.0.0.1"));
        QCOMPARE(window.connection().username, QStringLiteral("demo"));
        QCOMPARE(window.connection().password, QStringLiteral("pw"));

        QCOMPARE(window.pages().size(), 3);
        QVERIFY(!window.pages().at(0)->isHidden());
        QVERIFY(window.pages().at(1)->isHidden());
        QVERIFY(window.pages().at(2)->isHidden());
        QCOMPARE(window.pages().at(1)->toolTip(), QStringLiteral("B"));
        for (Page *page : qAsConst(window.pages())) {
            QCOMPARE(page->parentWidget(), window.centralWidget());
            QCOMPARE(page->geometry(), QRect(0, 0, 640, 480));
            QCOMPARE(page->view()->size(), QSize(640, 472));
            QCOMPARE(page->scene()->backgroundBrush().texture().size(), QSize(640, 480));
        }
        QCOMPARE(window.minimumSize(), QSize(640, 480));
        QCOMPARE(window.maximumSize(), QSize(640, 480));

        QCOMPARE(window.pages().at(0)->items().size(), 2);
        for (Page *page : qAsConst(window.pages())) {
            for (Item *item : page->items()) {
                QVERIFY(item->isLoaded());
                // Each item's presses reach the window.
                QVERIFY(QObject::disconnect(item, &Item::changePort, &window, &MainWindow::onChangePort));
            }
        }
        QVERIFY(QFile::exists(projectDirectory() + QLatin1String("icons/project/lamp.png")));

        QVERIFY(window.connectionTimer().isActive());
        QCOMPARE(window.connectionTimer().interval(), 5000);
        QVERIFY(window.updateTimer().isActive());
        QCOMPARE(window.updateTimer().interval(), 10);
    }

    void packageWithoutProject()
    {
        const QString path = packagePath(QStringLiteral("noproject.qlxd"));
        QVERIFY(writePackage(path, {{QStringLiteral("icons/a.png"), pngBytes(4, 4)},
                                    {QStringLiteral("icons/sub/b.png"), pngBytes(4, 4)}}));
        MainWindow window;
        QVERIFY(window.loadProject(path));
        QVERIFY(window.pages().isEmpty());
        QCOMPARE(window.pageSize().width(), 0);
        QVERIFY(window.connection().host.isEmpty());
        // The nested entry finds no folder to land in; loading went on.
        QCOMPARE(messages, QStringList({QStringLiteral("Die Datei \"icons/sub/b.png\" kann nicht aus dem Package "
                                                       "entpackt werden und unter \"%1icons/project/sub/b.png\" "
                                                       "gespeichert werden!")
                                            .arg(projectDirectory())}));
        QVERIFY(window.connectionTimer().isActive());
        QVERIFY(window.updateTimer().isActive());
    }

    // A hostile text is drawn clipped, and the items after it load.
    void longTextIsClippedAndThePageLoads()
    {
        const QString text(200000, QLatin1Char('W'));
        const QString components =
            QStringLiteral("<component><x>0</x><y>0</y><w>50</w><h>50</h><text_active>%1</text_active>"
                           "<font_size>100</font_size><type>Text</type></component>")
                .arg(text)
            + button(10, 200, QStringLiteral("ITM_Kueche_OUT1"));
        const QString path = packagePath(QStringLiteral("longtext.qlxd"));
        QVERIFY(writePackage(path, {{QStringLiteral("icons/lamp.png"), pngBytes(32, 32, 0xffdd00)},
                                    {QStringLiteral("project"), projectDocument(page(QStringLiteral("A"), components))}}));
        LogCapture log;
        MainWindow window;
        QVERIFY(window.loadProject(path));
        window.pages().first()->ensureBuilt();

        const QList<Item *> items = window.pages().first()->items();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0)->text(), text);
        QCOMPARE(items.at(0)->picture().width(), Item::maxTextWidth);
        QVERIFY(items.at(0)->picture().height() <= 2 * QFontMetrics(QFont(QString(), 100)).height());
        QCOMPARE(log.count(QStringLiteral("Text picture clipped to 8192 x")), 1);
        QCOMPARE(items.at(1)->record().port, QStringLiteral("ITM_Kueche_OUT1"));
        QCOMPARE(items.at(1)->picture().size(), QSize(64, 64));
    }

    void fullscreenZoomsEveryPage()
    {
        const QString path = packagePath(QStringLiteral("zoom.qlxd"));
        QVERIFY(writePackage(path, {{QStringLiteral("project"),
                                     projectDocument(page(QStringLiteral("A")) + page(QStringLiteral("B")))}}));
        MainWindow window;
        window.setFullscreenMode(true);
        QVERIFY(window.loadProject(path));
        window.show();
        window.setFullscreen();

        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const double factor = area.width() < area.height() ? double(area.width()) / 640 : double(area.height()) / 480;
        QCOMPARE(window.size(), area.size());
        for (Page *page : qAsConst(window.pages())) {
            QCOMPARE(page->size(), area.size());
            QCOMPARE(page->view()->transform().m11(), factor);
            QCOMPARE(page->view()->transform().m22(), factor);
        }
    }

    void demoProject()
    {
        const PackageEntries entries = demoEntries();
        QVERIFY2(entries.size() > 10, "the demo project is missing");
        const QString path = packagePath(QStringLiteral("demo.qlxd"));
        QVERIFY(writePackage(path, entries));

        MainWindow window;
        QVERIFY(window.loadProject(path));
        QCOMPARE(messages, QStringList());
        QCOMPARE(window.pageSize().width(), 1024);
        QCOMPARE(window.pageSize().height(), 768);
        QCOMPARE(window.pages().size(), 3);

        // Every kind is used, every picture named is in the package, every
        // link leads to a page of the project and every item lies in the page.
        QSet<QString> kinds;
        QStringList ids;
        for (Page *page : qAsConst(window.pages()))
            ids << page->id();
        for (Page *page : qAsConst(window.pages())) {
            QVERIFY(!page->scene()->backgroundBrush().texture().isNull());
            page->ensureBuilt(); // pages are built when first shown
            for (Item *item : page->items()) {
                kinds << QString::fromLatin1(item->metaObject()->className());
                const QRectF box = item->sceneBoundingRect();
                QVERIFY2(QRectF(0, 0, 1024, 768).contains(box), qPrintable(page->name()));
                if (!item->record().pageId.isEmpty())
                    QVERIFY2(ids.contains(item->record().pageId), qPrintable(item->record().pageId));
                // Picture kinds name pictures the package carries.
                if (!QString::fromLatin1(item->metaObject()->className()).contains(QLatin1String("Text")))
                    QVERIFY2(!item->record().imageActive.contains(QLatin1String("noicon")), qPrintable(page->name()));
            }
        }
        QCOMPARE(kinds.size(), 8);

        // Values as the message server reports them, then a picture for the
        // README and for a person to look at.
        const QList<QPair<QString, double>> values = {
            {QStringLiteral("ITM_Kueche_OUT1"), 1.0}, {QStringLiteral("ITM_Wohnen_OUT1"), 0.0},
            {QStringLiteral("ITM_Aussen_IN1"), -3.46}, {QStringLiteral("ITM_Haustuer_IN1"), 0.0},
            {QStringLiteral("ITM_Alarm_IN1"), 0.0},
        };
        for (const auto &value : values) {
            for (Page *page : qAsConst(window.pages()))
                page->setPortValue(value.first, value.second);
        }
        QStringList texts;
        for (Item *item : window.pages().first()->items())
            texts << item->text();
        QVERIFY2(texts.contains(QStringLiteral("-3.5")), qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY(texts.contains(QStringLiteral("Keine Störung")));
        QVERIFY(texts.contains(QStringLiteral("Wohnen: aus")));
        window.show();
        QCoreApplication::processEvents();
        const QImage shot = window.grab().toImage();
        QCOMPARE(shot.size(), QSize(1024, 768));
        shot.save(QStringLiteral(QALIX_BUILD_DIR "/demo-page.png"));
        // The page shows its background, not the window's plain black.
        QVERIFY(shot.pixelColor(512, 60) != QColor(Qt::black));
    }
};

QStringList TestLoadProject::criticals;

QTEST_MAIN(TestLoadProject)
#include "tst_loadproject.moc"
