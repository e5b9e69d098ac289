#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGraphicsView>
#include <QImageReader>
#include <QListWidget>
#include <QPushButton>
#include <QProgressBar>
#include <QScreen>
#include <QtTest>

#include "gui/dialogs/dialogprogress.h"
#include "gui/window/mainwindow.h"
#include "gui/window/noprojectnotice.h"
#include "core/project/projectdomreader.h"
#include "gui/window/projectloader.h"
#include "core/project/projectreader.h"
#include "gui/items/item.h"
#include "gui/items/textbudget.h"
#include "gui/pictures/picturecache.h"
#include "gui/pages/page.h"
#include "core/project/picturenames.h"
#include "core/package/projectdirectory.h"
#include "core/package/qlxfat.h"
#include "tests/support/testpictures.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

// The main window loading a package that cannot be loaded as it says: one
// line on standard error, the window shown all the same.
class TestLoadProject : public QObject
{
    Q_OBJECT

private:
    QStringList messages;
    ProjectFolder projects;
    static QStringList criticals;

    static void recordCritical(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type == QtCriticalMsg)
            criticals << text;
    }

    static QString packagePath(const QString &name) { return projectDirectory() + name; }

    // Loads `path` into `window`, its critical lines recorded in `criticals`.
    static bool loadRecorded(MainWindow &window, const QString &path)
    {
        criticals.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordCritical);
        const bool opened = window.loadProject(path);
        qInstallMessageHandler(previous);
        return opened;
    }

    static QByteArray projectDocument(const QString &pagesXml)
    {
        return QStringLiteral("<QalixPlusDesignerProject><pagex>640</pagex><pagey>480</pagey>"
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

    static bool dialogLeftOpen()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<DialogProgress *>(widget))
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        ProjectLoader::showMessage = [this](const QString &text) { messages << text; };
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
        QTest::addColumn<QString>("box"); // in the one box shown, after the package's name; empty: none

        const auto package = [](const QByteArray &document) {
            return packageBytes({{QStringLiteral("project"), document}});
        };
        const QString page = TestLoadProject::page(QStringLiteral("A")).remove(QStringLiteral("bg.png"));
        const QByteArray picture(300, 'p');
        const QByteArray whole = packageBytes({{QStringLiteral("icons/a.png"), picture},
                                               {QStringLiteral("project"), projectDocument(page)},
                                               {QStringLiteral("icons/b.png"), picture}});
        const auto row = [](const char *name, const QByteArray &bytes, bool opens, int pages, const QString &line,
                            const QString &box) { QTest::newRow(name) << bytes << opens << pages << line << box; };
        row("missing", QByteArray(), false, 0, "cannot be opened, no such file",
            "kann nicht geöffnet werden. Die Datei gibt es nicht.");
        row("a folder", QByteArray("/"), false, 0, "cannot be opened, a folder, not a file",
            "kann nicht geöffnet werden. Es ist ein Ordner");
        row("empty", QByteArray(""), false, 0, "cannot be opened, an empty file",
            "kann nicht geöffnet werden. Die Datei ist leer.");
        row("not a package", QByteArray("PK\x03\x04 zip"), false, 0, "cannot be opened, not a package (no SOH line)",
            "kann nicht geöffnet werden. Die Datei ist kein Package");
        row("no end of header", QByteArray("SOH\nSOFAT\nproject|3\nEOFAT\n"), false, 0,
            "cannot be opened, not a package (its header has no EOH line)",
            "kann nicht geöffnet werden. Die Datei ist kein Package");
        // Cut short: one line and one box for the package, none per entry;
        // what lies wholly inside still loads.
        row("cut in the last picture", whole.left(whole.size() - 100), true, 1,
            "cut short, 100 bytes missing at its end; left out: icons/b.png", "ist unvollständig");
        row("cut in the document", whole.left(whole.size() - 400), true, 0,
            "cut short, 400 bytes missing at its end; left out: project, icons/b.png", "ist unvollständig");
        row("no document", packageBytes({{QStringLiteral("icons/a.png"), picture}}), true, 0,
            "it holds no project document", "");
        row("document empty",
            packageBytes({{QStringLiteral("project"), QByteArray()}, {QStringLiteral("icons/a.png"), picture}}), true,
            0, "its project document is empty", "");
        ProjectReader notXml;
        QVERIFY(!notXml.read("<Pages>"));
        row("document not XML", package("<Pages>"), true, 0,
            "its project document does not parse: " + notXml.errorString(), "");
        row("page size 0", package(projectDocument(page).replace("640", "0")), true, 1,
            "page size 0 x 480 unusable, the window takes 400 x 300", "");
        row("page size no screen holds",
            package(projectDocument(page).replace("640", "30000").replace(">480<", ">30000<")), true, 1,
            "page size 30000 x 30000 unusable (a side beyond 8192 px), the window takes 400 x 300", "");
        row("a FIFO", QByteArray("|"), false, 0, "cannot be opened, not a regular file",
            "kann nicht geöffnet werden. Die Datei kann nicht gelesen werden.");
        row("sound", whole, true, 1, "", "");
    }

    void failuresReported()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, opens);
        QFETCH(int, pages);
        QFETCH(QString, line);
        QFETCH(QString, box);

        QString path = packagePath(QStringLiteral("broken.qlxd"));
        QFile::remove(path);
        QDir(path).removeRecursively();
        if (bytes == "/") {
            QVERIFY(QDir().mkpath(path));
        } else if (bytes == "|") {
#ifdef Q_OS_WIN
            QSKIP("no FIFOs on Windows; the folder row is its case there");
#else
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
        } else if (!bytes.isNull()) {
            QVERIFY(writeFile(path, bytes));
        }

        MainWindow window;
        const bool opened = loadRecorded(window, path);
        window.show();
        QDir(path).removeRecursively();
        QFile::remove(path);

        QCOMPARE(opened, opens);
        QCOMPARE(criticals, line.isEmpty() ? QStringList() : QStringList(ProjectLoader::failureLine(path, line)));
        QCOMPARE(window.pages().size(), pages);
        for (const Page *page : window.pages())
            QVERIFY(page->scene()->sceneRect().width() <= ProjectLoader::maxPageSide);
        QVERIFY(window.isVisible());
        QCOMPARE(window.connectionTimer().isActive(), opens);
        // No black window: a page in place of the pages says so, and why.
        const NoProjectNotice *notice = window.noProjectNotice();
        QCOMPARE(notice && notice->isVisible(), pages == 0);
        if (!opens)
            QVERIFY2(notice->text().contains(box), qPrintable(notice->text()));
        if (box.isEmpty()) {
            QCOMPARE(messages, QStringList());
        } else {
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages.first().startsWith("Das Package \"" + path + "\" " + box), qPrintable(messages.first()));
        }
        QVERIFY(!dialogLeftOpen());
    }

    // The page without a project offers the start dialog; the project picked
    // there loads in its place, full screen as the window is.
    void chooseProjectWithoutOne()
    {
        // Without a background: a picture missing here would stay missing for the later loads of this process.
        const QString pages = QString(page("A") + page("B")).remove("bg.png");
        QVERIFY(writePackage(packagePath("good.qlxd"), {{"project", projectDocument(pages)}}));
        MainWindow window;
        loadRecorded(window, packagePath("gone.qlxd"));
        window.setFullscreenMode(true);
        window.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTimer::singleShot(200, this, [] {
            auto *list = QApplication::activeModalWidget()->findChild<QListWidget *>("listWidget");
            const QRect good = list->visualItemRect(list->findItems("good", Qt::MatchExactly).value(0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, good.center());
        });
        QTest::mouseClick(window.findChild<QPushButton *>("pushButtonChooseProject"), Qt::LeftButton);
        QCOMPARE(window.pages().size(), 2);
        QVERIFY(window.pages().first()->isVisible() && !window.noProjectNotice()->isVisible());
        QCOMPARE(window.pages().first()->size(), window.size());
        QFile::remove(packagePath("good.qlxd"));
    }

    // A sound package: settings, pages in order with the first shown, the
    // pictures unpacked, every press reaching the window, the timers running;
    // full screen, every page zoomed to the screen.
    void loadsPagesAndSettings_data()
    {
        QTest::addColumn<bool>("fullscreen");
        QTest::newRow("windowed") << false;
        QTest::newRow("full screen") << true;
    }

    void loadsPagesAndSettings()
    {
        QFETCH(bool, fullscreen);
        const QString button = QStringLiteral("<component><x>10</x><y>20</y><w>64</w><h>64</h><port>%1</port>"
                                              "<image_active>lamp.png</image_active><type>Button</type></component>");
        const QString path = packagePath(QStringLiteral("small.qlxd"));
        QVERIFY(writePackage(path,
                             {{QStringLiteral("icons/lamp.png"), pngBytes(32, 32, 0xffdd00)},
                              {QStringLiteral("background/bg.png"), pngBytes(16, 12, 0x202040)},
                              {QStringLiteral("project"),
                               projectDocument(page("A", button.arg("ITM_Kueche_OUT1") + button.arg("PAGE_B"))
                                               + page("B", button.arg("ITM_Bad_IN1")) + page("A"))}}));
        MainWindow window;
        window.setFullscreenMode(fullscreen);
        QVERIFY(window.loadProject(path));
        window.show();
        if (fullscreen)
            window.setFullscreen();
        QVERIFY(messages.isEmpty());
        QVERIFY(!dialogLeftOpen());
        QCOMPARE(window.pageSize(), QSize(640, 480));
        QCOMPARE(window.connection().host, QStringLiteral("127.0.0.1"));
        QCOMPARE(window.connection().username, QStringLiteral("demo"));
        QCOMPARE(window.connection().password, QStringLiteral("pw"));
        QVERIFY(QFile::exists(projectDirectory() + QLatin1String("icons/project/lamp.png")));
        QVERIFY(window.connectionTimer().isActive());
        QVERIFY(window.updateTimer().isActive());
        // The live walk takes the keys of the items, on pages built or not yet.
        QVERIFY(window.liveState().isBound("ITM_Kueche_OUT1") && window.liveState().isBound("ITM_Bad_IN1"));

        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize size = fullscreen ? area.size() : QSize(640, 480);
        const double zoom = !fullscreen    ? 1.0
            : area.width() < area.height() ? area.width() / 640.0
                                           : area.height() / 480.0;
        QCOMPARE(window.size(), size);
        // A wide screen fits the page's height, a tall one its width.
        QCOMPARE(MainWindow::zoomFactor(QSize(1920, 1080), 640, 480), 2.25);
        QCOMPARE(MainWindow::zoomFactor(QSize(768, 1024), 640, 480), 1.2);
        QStringList shown;
        for (Page *page : window.pages()) {
            shown << page->id() + (page->isVisible() ? "+" : "-");
            QCOMPARE(page->size(), size);
            QCOMPARE(page->view()->transform().m11(), zoom);
            QVERIFY(!page->scene()->backgroundBrush().texture().isNull());
        }
        QCOMPARE(shown, QStringList({"A+", "B-", "A-"}));

        const QList<Item *> items = window.pages().first()->items();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0)->picture().size(), QSize(64, 64));
        // A press on the link reaches the window, which shows page B.
        items.at(1)->changePort(items.at(1)->record().port);
        QVERIFY(window.pages().at(1)->isVisible());
        QVERIFY(!window.pages().at(0)->isVisible());
    }

    // The first page is built from the part of the document before its end
    // while the rest is read: a document broken after it loads empty with
    // no page left behind, and one read otherwise as a whole (handed over
    // to the parsed document, or with the page size after the pages) gets
    // the whole reading's pages.
    void firstPageBuiltWhileTheRestIsRead_data()
    {
        QTest::addColumn<QByteArray>("document");
        const QString item = QStringLiteral("<component><w>40</w><h>30</h><type>Picture</type></component>");
        const QString pages = page("A", item + item) + page("B", item);
        QTest::newRow("broken after the first page") << projectDocument(pages + "<page><name>C</nam></page>");
        QTest::newRow("handed over after the first page")
            << projectDocument(pages + "<page><name><![CDATA[C]]></name></page>");
        // Kept by the parsed document, made a line feed by the stream (Qt 5).
        QTest::newRow("carriage return in the first page") << projectDocument(page("A\r\nA", item) + page("B"));
        QTest::newRow("page size after the pages")
            << QStringLiteral("<QalixPlusDesignerProject><Pages>%1</Pages><pagex>320</pagex><pagey>200</pagey>"
                              "</QalixPlusDesignerProject>")
                   .arg(pages)
                   .toUtf8();
        QTest::newRow("sound") << projectDocument(pages);
    }

    void firstPageBuiltWhileTheRestIsRead()
    {
        QFETCH(QByteArray, document);
        ProjectReader parsed;
        const bool read = ProjectDomReader::read(document, &parsed);

        QWidget parent;
        QList<Page *> pages;
        ProjectLoader loader(nullptr);
        loader.readDocument(document, &pages, &parent);
        QCOMPARE(loader.documentError().isEmpty(), read);
        QCOMPARE(QSize(loader.pageX(), loader.pageY()), QSize(parsed.pageX(), parsed.pageY()));
        QCOMPARE(parent.findChildren<Page *>(QString(), Qt::FindDirectChildrenOnly).size(), pages.size());
        QCOMPARE(pages.size(), parsed.pages().size());
        for (int i = 0; i < pages.size(); ++i) {
            const ProjectReader::PageRecord &record = parsed.pages().at(i);
            QCOMPARE(pages.at(i)->name(), record.name);
            QCOMPARE(pages.at(i)->id(), record.id);
            QCOMPARE(pages.at(i)->scene()->sceneRect().size(), QSizeF(parsed.pageX(), parsed.pageY()));
            pages.at(i)->ensureBuilt();
            QCOMPARE(pages.at(i)->items().size(), record.items.size());
        }
    }

    // The first page is built while the pictures are written: its pictures
    // come from the package's bytes meanwhile. The pages must show what the
    // files hold, and a picture whose file could not be written must be no
    // picture, as though the files had been written first.
    void picturesWhileTheyAreWritten_data()
    {
        QTest::addColumn<bool>("again");        // the folders hold the pictures already
        QTest::addColumn<int>("cut");           // bytes the package loses once opened
        QTest::addColumn<QString>("second");    // how the first page names its second picture
        QTest::addColumn<QByteArray>("format"); // what that picture's bytes are
        QTest::newRow("new") << false << 0 << "p1.png" << QByteArray("PNG");
        QTest::newRow("again") << true << 0 << "p1.png" << QByteArray("PNG");
        QTest::newRow("cut") << false << 10 << "p1.png" << QByteArray("PNG");
        // These two wait for the files: their decoding or their name must
        // not find one half written or not yet there (a large picture is
        // written before theirs).
        QTest::newRow("through the common icons") << false << 0 << "project/p1.png" << QByteArray("PNG");
        QTest::newRow("a JPEG named PNG") << false << 0 << "p1.png" << QByteArray("JPEG");
    }

    void picturesWhileTheyAreWritten()
    {
        QFETCH(bool, again);
        QFETCH(int, cut);
        QFETCH(QString, second);
        QFETCH(QByteArray, format);
        // Names of their own per row: the cache keeps what it read.
        const QString row = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        const auto name = [&row](const QString &picture) {
            const int folder = picture.lastIndexOf(QLatin1Char('/')) + 1;
            return picture.left(folder) + row + QLatin1Char('-') + picture.mid(folder);
        };
        const QString item = QStringLiteral("<component><x>%1</x><w>40</w><h>30</h><image_active>%2</image_active>"
                                            "<type>Picture</type></component>");
        const QStringList first{name("p0.png"), name(second), name("p2.png"), name("p3.png")};
        const QStringList other{name("p3.png"), name("p1.png")};
        const auto items = [&item](const QStringList &names) {
            QString all;
            for (int i = 0; i < names.size(); ++i)
                all += item.arg(i * 50).arg(names.at(i));
            return all;
        };
        QByteArray document = projectDocument(page("A", items(first)) + page("B", items(other)));
        document.replace("bg.png", name("bg.png").toUtf8());
        // The last picture is the one a cut package loses.
        PackageEntries entries{{QStringLiteral("project"), document},
                               {"background/" + name("bg.png"), pngBytes(20, 10, 0x203040)}};
        entries.append({"icons/" + name("large.png"), patternBytes(8 * 1024 * 1024)});
        for (int i = 0; i < 4; ++i) {
            QImage picture(16 + i, 12, QImage::Format_RGB32);
            picture.fill(0x402000 + 40 * i);
            entries.append({"icons/" + name(QStringLiteral("p%1.png").arg(i)),
                            imageBytes(picture, i == 1 ? format.constData() : "PNG")});
        }
        for (int i = 1; again && i < entries.size(); ++i) {
            QVERIFY(writeFile(projectDirectory() + QString(entries.at(i).first).replace("/", "/project/"),
                              entries.at(i).second));
        }
        const QString path = packagePath(name("pictures.qlxd"));
        QVERIFY(writePackage(path, entries));
        QLXFat package;
        QVERIFY(package.open(path, false));
        if (cut)
            QVERIFY(QFile::resize(path, QFileInfo(path).size() - cut));

        QWidget parent;
        QList<Page *> pages;
        // The loader stays: the files are written by the time the load returns.
        ProjectLoader loader(nullptr);
        const QByteArray read = package.fileData(QStringLiteral("project"));
        loader.startReading(read);
        loader.startPictures(package);
        loader.readDocument(read, &pages, &parent);
        const QString lost = projectDirectory() + "icons/project/" + name("p3.png");
        QCOMPARE(messages,
                 cut ? QStringList("Die Datei \"icons/" + name("p3.png")
                                   + "\" kann nicht aus dem Package entpackt werden und unter \"" + lost
                                   + "\" gespeichert werden!")
                     : QStringList());
        QCOMPARE(QFile::exists(lost), !cut);
        QCOMPARE(pages.size(), 2);
        // What the pages show is what the folders hold now.
        const QList<QStringList> named{first, other};
        for (int p = 0; p < pages.size(); ++p) {
            pages.at(p)->ensureBuilt();
            const QList<Item *> built = pages.at(p)->items();
            QCOMPARE(built.size(), named.at(p).size());
            for (int i = 0; i < built.size(); ++i) {
                const QString file = resolvePictureName(named.at(p).at(i));
                QCOMPARE(built.at(i)->record().imageActive, file);
                const QPixmap expected = QPixmap::fromImage(QImageReader(file).read())
                                             .scaled(40, 30, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                QCOMPARE(built.at(i)->picture().toImage(), expected.toImage());
            }
            QVERIFY(!pages.at(p)->scene()->backgroundBrush().texture().isNull());
        }
        qDeleteAll(pages);
    }

    // The bar paints at most every few dozen milliseconds during a load, but
    // the newest value must reach it: a load that pauses after a quick run of
    // values (a message box) would otherwise show an old one.
    void progressShowsTheNewestValue()
    {
        DialogProgress dialog;
        dialog.show();
        const auto *bar = dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        QVERIFY(bar);
        QSignalSpy set(&dialog, &DialogProgress::valueSet);
        for (int value : {0, 6, 12, 18, 25})
            dialog.setValue(value);
        QCOMPARE(set.size(), 5);
        QCOMPARE(dialog.value(), 25);
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 25, 2000);
    }

    // A page first shown after the picture folder was emptied (the next load
    // of a shared projects folder or icon library) shows the pictures its
    // items named at the load.
    void picturesInHandByTheEndOfTheLoad()
    {
        const QString item = QStringLiteral("<component><w>40</w><h>40</h><image_active>%1</image_active>"
                                            "<type>Picture</type></component>");
        const QString path = packagePath(QStringLiteral("later.qlxd"));
        QVERIFY(writePackage(path,
                             {{QStringLiteral("icons/later.png"), pngBytes(40, 40, 0x10e040)},
                              {QStringLiteral("project"),
                               projectDocument(page("A") + page("B", item.arg("later.png") + item.arg("gone.png")))}}));
        MainWindow window;
        QVERIFY(window.loadProject(path));
        QVERIFY(ProjectLoader::emptyDirectory(projectDirectory(), QStringLiteral("icons/project")));
        window.pages().at(1)->ensureBuilt();

        const QList<Item *> items = window.pages().at(1)->items();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0)->picture().toImage().pixel(20, 20), qRgb(0x10, 0xe0, 0x40));
        QCOMPARE(items.at(1)->record().imageActive, QStringLiteral(":/images/noicon"));
    }

    // A hostile document loads its page all the same: the item shows the
    // fallback picture where its row says so, and the load writes the one
    // line that names what was refused or brought within bounds.
    void hostileItemsLoad_data()
    {
        QTest::addColumn<QByteArray>("picture"); // icons/<row>.png in the package
        QTest::addColumn<QString>("component");  // its children but "type"; %1 the row's picture name
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("background");
        QTest::addColumn<QString>("line"); // the item shows the fallback picture but for a Text

        const QString picture = QStringLiteral("<w>40</w><h>30</h><image_active>%1</image_active>");
        const QString ends = QStringLiteral("<x>-2147483648</x><y>-2147483648</y><w>2147483647</w><h>2147483647</h>"
                                            "<text_active>Hallo</text_active>");
        const QString clamped = QStringLiteral("1 items placed or sized beyond ±16384 px or lettered above 100 px");
        const QString refused = QStringLiteral("1 picture names refused, the fallback picture shows for them: ");
        const auto bomb = [&](const char *name, const char *format, int side) {
            QTest::newRow(name) << declaringBytes(format, side, side) << picture << "Picture"
                                << "" << QStringLiteral("declares %1 x %1 pixels").arg(side);
        };
        bomb("PNG bomb", "PNG", 20000);
        bomb("JPEG bomb", "JPEG", 23000);
        bomb("GIF bomb", "GIF", 30000);
        bomb("BMP bomb", "BMP", 16000); // Qt's own reader refuses a side beyond 16384
        for (const char *type : {"Text", "Picture", "Button"})
            QTest::newRow(type) << QByteArray() << ends << type << "" << clamped;
        QTest::newRow("font size") << QByteArray() << "<text_active>A</text_active><font_size>99999</font_size>"
                                   << "Text"
                                   << "" << clamped;
        const auto name = [&](const char *row, const QString &named, const QString &why, const QString &background) {
            QTest::newRow(row) << QByteArray() << picture.arg(background.isEmpty() ? named : QString()) << "Picture"
                               << background << refused + "\"" + named + "\" (" + why + ")";
        };
        const QString outside = QStringLiteral("not a plain name below the picture folders");
        name("out of the projects folder", "../../../outside.png", outside, "");
        name("absolute", projectDirectory() + "../outside.png", outside, "");
        name("a FIFO among the common icons", "fifo.png", "not a regular file", "");
        name("background out of its folder", "../../../outside.png", outside, "../../../outside.png");
    }

    void hostileItemsLoad()
    {
        QFETCH(QByteArray, picture);
        QFETCH(QString, component);
        QFETCH(QString, type);
        QFETCH(QString, background);
        QFETCH(QString, line);

        // The cache keeps what it read: each row a picture of its own.
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + ".png";
        QVERIFY(writePicture(projectDirectory() + "../outside.png", 40, 30));
        const QString fifo = projectDirectory() + "icons/fifo.png";
        QVERIFY(QDir().mkpath(projectDirectory() + "icons"));
#ifdef Q_OS_WIN
        // No FIFOs on Windows: a folder is as little a regular file.
        QVERIFY(QDir().mkpath(fifo));
#else
        QVERIFY(QFileInfo(fifo).exists() || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
#endif
        QString document = projectDocument(page(
            "A", "<component>" + QString(component).replace("%1", name) + "<type>" + type + "</type></component>"));
        document.replace("bg.png", background);
        const QString path = packagePath(QStringLiteral("hostile.qlxd"));
        QVERIFY(writePackage(path, {{"icons/" + name, picture}, {QStringLiteral("project"), document.toUtf8()}}));

        MainWindow window;
        QVERIFY(loadRecorded(window, path));

        QCOMPARE(window.pages().size(), 1);
        const QList<Item *> items = window.pages().first()->items();
        QCOMPARE(items.size(), 1);
        QCOMPARE(criticals.size(), 1);
        QVERIFY2(criticals.first().contains(line), qPrintable(criticals.first()));
        const Item *item = items.first();
        QVERIFY(item->width() <= ItemElement::maxExtent && item->height() <= ItemElement::maxExtent);
        const QSize size(item->width(), item->height());
        const QPixmap noIcon(QStringLiteral(":/images/noicon"));
        const QPixmap shown = PictureCache::fitsBound(size)
            ? noIcon.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            : noIcon;
        QCOMPARE(item->picture().toImage() == shown.toImage(), type != "Text");
        QVERIFY(window.pages().first()->scene()->backgroundBrush().texture().isNull());
    }

    // A page of large texts holds its renderings within its budget: those
    // past it show the fallback picture, and the page says so once. A
    // hostile text is drawn clipped, and the items after it load.
    void textsOfAPageKeepToTheirBudget()
    {
        QString items;
        for (int i = 0; i < 100; ++i) {
            items += QStringLiteral("<component><y>%1</y><text_active>%2</text_active><font_size>100</font_size>"
                                    "<type>Text</type></component>")
                         .arg(i * 4)
                         .arg(QString::number(i) + QString(i == 0 ? 200000 : 1000, QLatin1Char('W')));
        }
        const QString path = packagePath(QStringLiteral("texts.qlxd"));
        QVERIFY(writePackage(path, {{QStringLiteral("project"), projectDocument(page("A", items))}}));
        MainWindow window;
        QVERIFY(loadRecorded(window, path));

        QHash<qint64, qint64> held;
        int fallbacks = 0;
        for (const Item *item : window.pages().first()->items()) {
            const QPixmap picture = item->picture();
            held.insert(picture.cacheKey(), qint64(picture.width()) * picture.height() * 4);
            fallbacks += picture.width() < Item::maxTextWidth;
        }
        const QList<Item *> built = window.pages().first()->items();
        QCOMPARE(built.size(), 100);
        QCOMPARE(built.first()->text().size(), 200001);
        QCOMPARE(built.first()->picture().width(), Item::maxTextWidth);
        QVERIFY(built.first()->picture().height() <= 2 * QFontMetrics(QFont(QString(), 100)).height());
        qint64 bytes = 0;
        for (const qint64 each : held)
            bytes += each;
        QVERIFY2(bytes <= TextBudget::defaultBytes, qPrintable(QString::number(bytes)));
        QVERIFY(fallbacks > 50);
        QCOMPARE(criticals,
                 QStringList("Page \"A\": its text renderings would hold more than 64 MiB; further texts "
                             "show the fallback picture"));
    }
};

QStringList TestLoadProject::criticals;

QTEST_MAIN(TestLoadProject)
#include "tst_loadproject.moc"
