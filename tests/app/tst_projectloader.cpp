#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/dialogprogress.h"
#include "app/projectloader.h"
#include "items/item.h"
#include "pages/page.h"
#include "packagetesthelper.h"
#include "storage/qlxfat.h"

// Unpacking a package's pictures and building pages from a project document,
// hostile packages and documents included.
class TestProjectLoader : public QObject
{
    Q_OBJECT

private:
    QStringList messages;
    QTemporaryDir temp;

    // A projects folder inside a sandbox folder, so that anything written
    // beside it (outside the picture directories) shows in the listing.
    QString sandbox() const { return temp.path() + QLatin1String("/sandbox/"); }
    QString projects() const { return sandbox() + QLatin1String("projects/"); }

    void extract(const PackageEntries &entries, DialogProgress *progress = nullptr)
    {
        const QString path = temp.path() + QLatin1String("/test.qlxd");
        QVERIFY(writePackage(path, entries));
        QLXFat package;
        QVERIFY(package.open(path, false));
        ProjectLoader loader(progress, projects());
        loader.extractPictures(package);
    }

    static void writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QByteArray document(const QString &body)
    {
        return (QStringLiteral("<QalixPlusDesignerProject><pagex>800</pagex><pagey>600</pagey>") + body
                + QStringLiteral("</QalixPlusDesignerProject>"))
            .toUtf8();
    }

    static QString pageElement(const QString &name, const QString &id, const QString &components = QString())
    {
        return QStringLiteral("<page><name>%1</name><id>%2</id><w>1</w><h>1</h><background>bg.png</background>"
                              "<components>%3</components></page>")
            .arg(name, id, components);
    }

    static QString component(const QString &type, int x, int y, const QString &port = QString())
    {
        return QStringLiteral("<component><x>%1</x><y>%2</y><w>40</w><h>30</h><port>%3</port>"
                              "<type>%4</type></component>")
            .arg(x)
            .arg(y)
            .arg(port, type);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(temp.isValid());
        ProjectLoader::showMessage = [this](const QString &text) { messages << text; };
    }

    void init()
    {
        messages.clear();
        QDir(sandbox()).removeRecursively();
        QVERIFY(QDir().mkpath(projects()));
    }

    void extractsPicturesByPrefix()
    {
        // Pictures of an earlier project are gone after the next load.
        QVERIFY(QDir().mkpath(projects() + QLatin1String("icons/project")));
        writeBytes(projects() + QLatin1String("icons/project/old.png"), "old");

        extract({{QStringLiteral("icons/a.png"), pngBytes(4, 4)},
                 {QStringLiteral("background/b.png"), pngBytes(8, 8)},
                 {QStringLiteral("readme"), QByteArray("text")},
                 {QStringLiteral("Icons/c.png"), pngBytes(2, 2)},
                 {QStringLiteral("project"), QByteArray("<x/>")}});
        QCOMPARE(messages, QStringList());
        QVERIFY(QFile::exists(projects() + QLatin1String("icons/project/a.png")));
        QVERIFY(QFile::exists(projects() + QLatin1String("background/project/b.png")));
        QVERIFY(!QFile::exists(projects() + QLatin1String("icons/project/old.png")));
        QCOMPARE(QDir(projects() + QLatin1String("icons/project")).entryList(QDir::Files),
                 QStringList({QStringLiteral("a.png")}));
        QCOMPARE(QDir(projects()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("background"), QStringLiteral("icons")}));
        QFile a(projects() + QLatin1String("icons/project/a.png"));
        QVERIFY(a.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), pngBytes(4, 4));
    }

    void extractionProgress()
    {
        DialogProgress progress;
        QSignalSpy spy(&progress, &DialogProgress::valueSet);
        extract({{QStringLiteral("icons/a.png"), "1"},
                 {QStringLiteral("readme"), "2"},
                 {QStringLiteral("background/b.png"), "3"},
                 {QStringLiteral("project"), "4"}},
                &progress);
        QList<int> values;
        for (const auto &call : spy)
            values << call.at(0).toInt();
        QCOMPARE(values, QList<int>({0, 6, 12, 18}));
    }

    void hostileEntryNames_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("message");

        const QString iconMessage = QStringLiteral(
            "Die Datei \"%1\" kann nicht aus dem Package entpackt werden und unter \"%2\" gespeichert werden!");
        const QString backgroundMessage = QStringLiteral("Die Datei \"%1\" kann nicht aus dem Package entpackt werden!");
        const QString icons = QStringLiteral("%1icons/project/");

        // The name rules in full are safeDestination's table; these go end to end.
        const QStringList iconEntries = {
            QStringLiteral("icons/../../../escaped.png"),
            QStringLiteral("icons/..\\..\\x.png"),
            QStringLiteral("icons//abs.png"),
            QStringLiteral("icons/C:/evil.png"),
            QStringLiteral("icons/a/icons/b.png"),
            QStringLiteral("icons/"),
        };
        for (const QString &entry : iconEntries) {
            QString relative = entry;
            relative.remove(QStringLiteral("icons/"));
            QTest::newRow(qPrintable(entry)) << entry << iconMessage.arg(entry, icons + relative);
        }
        const QStringList backgroundEntries = {
            QStringLiteral("background/../../../x.png"),
            QStringLiteral("background//tmp/x.png"),
        };
        for (const QString &entry : backgroundEntries)
            QTest::newRow(qPrintable(entry)) << entry << backgroundMessage.arg(entry);
    }

    void hostileEntryNames()
    {
        QFETCH(QString, entry);
        QFETCH(QString, message);

        // Everything but the pictures and the package itself, before and after.
        const auto others = [this] {
            return treeListing(temp.path()).filter(QRegularExpression("^/(?!test\\.qlxd |sandbox/projects/)"));
        };
        const QStringList before = others();
        extract({{entry, QByteArray("payload")},
                 {QStringLiteral("icons/good.png"), pngBytes(3, 3)},
                 {QStringLiteral("background/good.png"), pngBytes(3, 3)}});
        QCOMPARE(messages, QStringList({message.arg(projects())}));

        // Loading went on with the next entries, and nothing else changed.
        QCOMPARE(others(), before);
        const QString good = QStringLiteral("/project/good.png ") + QString::number(pngBytes(3, 3).size());
        QCOMPARE(treeListing(projects()), QStringList({"background dir", "background/project dir", "background" + good,
                                                       "icons dir", "icons/project dir", "icons" + good}));
    }

    void safeDestination_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");

        QTest::newRow("plain") << QString("a.png") << true;
        QTest::newRow("nested") << QString("sub/a.png") << true;
        QTest::newRow("dots in name") << QString("a..b.png") << true;
        QTest::newRow("hidden file") << QString(".a.png") << true;
        QTest::newRow("empty") << QString("") << false;
        QTest::newRow("parent") << QString("../a.png") << false;
        QTest::newRow("inner parent") << QString("sub/../../a.png") << false;
        QTest::newRow("parent only") << QString("..") << false;
        QTest::newRow("dot") << QString("./a.png") << false;
        QTest::newRow("absolute") << QString("/etc/passwd") << false;
        QTest::newRow("double slash") << QString("sub//a.png") << false;
        QTest::newRow("trailing slash") << QString("sub/") << false;
        QTest::newRow("backslash") << QString("..\\a.png") << false;
        QTest::newRow("drive") << QString("C:a.png") << false;
        QTest::newRow("nul") << QString::fromLatin1("a\0b.png", 7) << false;
        QTest::newRow("newline") << QString("a\nb.png") << false;
        QTest::newRow("link to folder") << QString("link/a.png") << false;
        QTest::newRow("link as file") << QString("filelink") << false;
    }

    void safeDestination()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);

        const QString dir = temp.path() + QLatin1String("/safe/");
        QDir(dir).removeRecursively();
        QVERIFY(QDir().mkpath(dir + QLatin1String("sub")));
        QVERIFY(QFile::link(temp.path(), dir + QLatin1String("link")));
        QVERIFY(QFile::link(temp.path() + QLatin1String("/victim"), dir + QLatin1String("filelink")));
        QCOMPARE(ProjectLoader::safeDestination(dir, name), safe ? dir + name : QString());
    }

    void administratorLinksAreUsed_data()
    {
        QTest::addColumn<QString>("linkPath");
        QTest::addColumn<QString>("pictures"); // the picture folder, relative to the link's target
        QTest::addColumn<QStringList>("after"); // the sandbox after loading; PNG is the picture's size

        const QStringList kept = {"shared dir", "victim dir", "victim/keep.txt 8"};
        QTest::newRow("icons, a shared library")
            << "icons" << "project/"
            << kept + QStringList{"projects dir", "projects/icons link", "projects/background dir",
                                  "projects/background/project dir", "projects/background/project/a.png PNG",
                                  "shared/common.png 7", "shared/project dir", "shared/project/a.png PNG"};
        QTest::newRow("background/project")
            << "background/project" << ""
            << kept + QStringList{"projects dir", "projects/background dir", "projects/background/project link",
                                  "projects/icons dir", "projects/icons/project dir",
                                  "projects/icons/project/a.png PNG", "shared/a.png PNG"};
    }

    void administratorLinksAreUsed()
    {
        QFETCH(QString, linkPath);
        QFETCH(QString, pictures);
        QFETCH(QStringList, after);

        // The link's target holds a file of its own and, in the picture
        // folder, the last project's picture and links to a folder to keep.
        const QString shared = sandbox() + QLatin1String("shared/");
        const QString victim = sandbox() + QLatin1String("victim");
        QVERIFY(QDir().mkpath(shared + pictures + QLatin1String("sub")));
        QVERIFY(QDir().mkpath(victim));
        writeBytes(victim + QLatin1String("/keep.txt"), "precious");
        writeBytes(shared + QLatin1String("common.png"), "library");
        writeBytes(shared + pictures + QLatin1String("old.png"), "old");
        QVERIFY(QFile::link(victim, shared + pictures + QLatin1String("escape")));
        QVERIFY(QFile::link(victim, shared + pictures + QLatin1String("sub/escape")));
        QVERIFY(QDir().mkpath(QFileInfo(projects() + linkPath).path()));
        QVERIFY(QFile::link(shared, projects() + linkPath));

        extract({{QStringLiteral("icons/a.png"), pngBytes(3, 3)},
                 {QStringLiteral("background/a.png"), pngBytes(3, 3)}});
        QCOMPARE(messages, QStringList());
        // The link stands and is used as its folder; nothing behind the links
        // inside the picture folder is touched.
        after.replaceInStrings(QRegularExpression("PNG$"), QString::number(pngBytes(3, 3).size()));
        after.sort();
        QCOMPARE(treeListing(sandbox()), after);
    }

    void pictureDirectoryCannotBeMade_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::addColumn<QString>("message");
        QTest::newRow("backgrounds") << QString("background") << QString("Path can not be created! (1)");
        QTest::newRow("icons") << QString("icons") << QString("Path can not be created! (2)");
    }

    void pictureDirectoryCannotBeMade()
    {
        QFETCH(QString, blocker);
        QFETCH(QString, message);
        writeBytes(projects() + blocker, QByteArray());

        extract({{QStringLiteral("icons/a.png"), pngBytes(3, 3)},
                 {QStringLiteral("background/b.png"), pngBytes(3, 3)}});
        QCOMPARE(messages, QStringList({message}));
        QVERIFY(!QFile::exists(projects() + QLatin1String("icons/project/a.png")));
        QVERIFY(!QFile::exists(projects() + QLatin1String("background/project/b.png")));
    }

    void buildsPages()
    {
        QList<Page *> pages;
        QWidget parent;
        parent.setGeometry(0, 0, 800, 600);
        QList<Item *> made;
        ProjectLoader loader(nullptr, projects());
        loader.readDocument(
            document("<Pages>" + pageElement("Eins", "A", component("StateButton", 10, 20, "ITM_X_OUT1")
                                                               + component("Link", 5, 5)
                                                               + component("Text", 100, 100) + "<!-- note -->")
                     + "<!-- between -->" + pageElement("Zwei", "B") + pageElement("Drei", "A")
                     + "<seite><name>Vier</name><id>D</id></seite></Pages>"),
            &pages, &parent, [&made](Item *item) { made << item; });

        QCOMPARE(pages.size(), 4);
        // Items are made when a page is first shown.
        QVERIFY(made.isEmpty());
        QVERIFY(!pages.first()->isBuilt());
        pages.first()->show();
        pages.first()->hide();
        QStringList names, ids;
        for (Page *page : pages) {
            names << page->name();
            ids << page->toolTip();
            QCOMPARE(page->parentWidget(), &parent);
            QVERIFY(page->isHidden());
            QCOMPARE(page->scene()->sceneRect(), QRectF(0, 0, 800, 600));
            QCOMPARE(page->geometry(), parent.geometry());
            QCOMPARE(page->view()->size(), QSize(800, 592));
            QCOMPARE(page->styleSheet(), QString());
        }
        QCOMPARE(names, QStringList({"Eins", "Zwei", "Drei", "Vier"}));
        QCOMPARE(ids, QStringList({"A", "B", "A", "D"})); // duplicate identifiers both load
        QCOMPARE(pages.first()->background(), QStringLiteral("bg.png"));

        QCOMPARE(made.size(), 2);
        QCOMPARE(pages.first()->items(), made);
        QCOMPARE(made.first()->pos(), QPointF(10, 20));
        for (Item *item : made) {
            QVERIFY(item->isLoaded());
            QVERIFY(!item->isSelected());
            QVERIFY(!(item->flags() & QGraphicsItem::ItemIsSelectable));
            QVERIFY(!(item->flags() & QGraphicsItem::ItemIsMovable));
        }
        QCOMPARE(pages.first()->view()->dragMode(), QGraphicsView::NoDrag);
        pages.first()->setPortValue(QStringLiteral("ITM_X_OUT1"), 1.0);
        QCOMPARE(made.first()->lastValue(), 1.0);
        qDeleteAll(pages);
    }

    void pageProgress_data()
    {
        QTest::addColumn<QString>("pagesXml");
        QTest::addColumn<QList<int>>("values");
        QTest::newRow("three pages") << pageElement("a", "1") + pageElement("b", "2") + pageElement("c", "3")
                                     << QList<int>({25, 50, 75});
        QTest::newRow("with a comment") << pageElement("a", "1") + "<!-- x -->" + pageElement("b", "2")
                                               + pageElement("c", "3")
                                        << QList<int>({25, 43, 62, 81});
        QTest::newRow("no page") << QString("<!-- only -->") << QList<int>({25});
        QTest::newRow("empty") << QString() << QList<int>();
    }

    void pageProgress()
    {
        QFETCH(QString, pagesXml);
        QFETCH(QList<int>, values);
        DialogProgress progress;
        QSignalSpy spy(&progress, &DialogProgress::valueSet);
        QList<Page *> pages;
        QWidget parent;
        ProjectLoader loader(&progress, projects());
        loader.readDocument(document("<Pages>" + pagesXml + "</Pages>"), &pages, &parent);
        QList<int> seen;
        for (const auto &call : spy)
            seen << call.at(0).toInt();
        QCOMPARE(seen, values);
        QCOMPARE(progress.value(), values.isEmpty() ? 0 : values.last());
        qDeleteAll(pages);
    }
};

QTEST_MAIN(TestProjectLoader)
#include "tst_projectloader.moc"
