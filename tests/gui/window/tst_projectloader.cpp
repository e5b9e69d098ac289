#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "gui/window/projectloader.h"
#include "gui/items/item.h"
#include "gui/pages/page.h"
#include "tests/support/testpictures.h"
#include "core/package/qlxfat.h"

#include <sys/stat.h>
#include <unistd.h>

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

    void extract(const PackageEntries &entries)
    {
        const QString path = temp.path() + QLatin1String("/test.qlxd");
        QVERIFY(writePackage(path, entries));
        QLXFat package;
        QVERIFY(package.open(path, false));
        ProjectLoader loader(nullptr, projects());
        loader.extractPictures(package);
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

    // The folders end up holding exactly the package's pictures, but a file
    // that holds its entry's bytes already is left as it is: a kiosk starts
    // the same project at every boot. Nothing found in a folder is followed
    // or written through. Only the entries below "icons/" and "background/",
    // as written, are pictures.
    void unpackingKeepsWhatHoldsItsBytes_data()
    {
        QTest::addColumn<QString>("before"); // what icons/project/a.png is before the load
        QTest::addColumn<bool>("kept");      // whether that file is the one left there
        QTest::addColumn<int>("others");     // further pictures in the package

        QTest::newRow("its bytes") << "same" << true << 0;
        QTest::newRow("other bytes, the same size") << "other" << false << 0;
        QTest::newRow("one byte more") << "longer" << false << 0;
        QTest::newRow("nothing") << "none" << false << 0;
        QTest::newRow("a link to its bytes elsewhere") << "link" << false << 0;
        QTest::newRow("a hard link to a file elsewhere") << "hard link" << false << 0;
        QTest::newRow("a folder") << "folder" << false << 0;
        // Too many to be written beside the first page: written in turn.
        QTest::newRow("its bytes, among many") << "same" << true << 1100;
        QTest::newRow("a hard link, among many") << "hard link" << false << 1100;
    }

    void unpackingKeepsWhatHoldsItsBytes()
    {
        QFETCH(QString, before);
        QFETCH(bool, kept);
        QFETCH(int, others);

        const QByteArray picture = pngBytes(5, 4, 0x40c080);
        const QByteArray background = pngBytes(8, 6, 0x102030);
        const QString a = projects() + QLatin1String("icons/project/a.png");
        const QString b = projects() + QLatin1String("background/project/b.png");
        // An administrator's file outside the folders.
        const QString outside = sandbox() + QLatin1String("outside.png");
        const QByteArray outsideBytes = before == "link" ? picture : QByteArray("precious");
        QVERIFY(writeFile(outside, outsideBytes));
        QVERIFY(writeFile(b, background));
        QVERIFY(writeFile(projects() + QLatin1String("icons/project/old.png"), "old"));
        QVERIFY(writeFile(projects() + QLatin1String("background/project/old.png"), "old"));
        if (before == "same")
            QVERIFY(writeFile(a, picture));
        else if (before == "other")
            QVERIFY(writeFile(a, patternBytes(picture.size())));
        else if (before == "longer")
            QVERIFY(writeFile(a, picture + 'x'));
        else if (before == "link")
            QVERIFY(QFile::link(outside, a));
        else if (before == "hard link")
            QCOMPARE(::link(QFile::encodeName(outside).constData(), QFile::encodeName(a).constData()), 0);
        else if (before == "folder")
            QVERIFY(writeFile(a + QLatin1String("/inner.png"), picture));
        // An hour ago: a file written again shows a new time.
        const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
        const auto age = [&hourAgo](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadWrite) && file.setFileTime(hourAgo, QFileDevice::FileModificationTime);
        };
        QVERIFY(age(b));
        if (before == "same" || before == "other" || before == "longer")
            QVERIFY(age(a));
        const auto inode = [](const QString &path) {
            struct stat status
            {
            };
            return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? qint64(status.st_ino) : -1;
        };
        const qint64 aBefore = inode(a);
        const qint64 bBefore = inode(b);

        PackageEntries package{{QStringLiteral("icons/a.png"), picture},
                               {QStringLiteral("background/b.png"), background},
                               {QStringLiteral("project"), QByteArray("<x/>")},
                               {QStringLiteral("readme"), QByteArray("text")},
                               {QStringLiteral("Icons/c.png"), pngBytes(2, 2)}};
        for (int i = 0; i < others; ++i)
            package.append({QStringLiteral("icons/other%1.png").arg(i), QByteArray("x")});
        extract(package);
        QCOMPARE(messages, QStringList());
        QCOMPARE(QDir(projects() + QLatin1String("icons/project")).entryList(QDir::Files).size(), others + 1);
        QCOMPARE(treeListing(projects()).filter(QRegularExpression("^(?!icons/project/other)")),
                 QStringList({"background dir", "background/project dir",
                              "background/project/b.png " + QString::number(background.size()), "icons dir",
                              "icons/project dir", "icons/project/a.png " + QString::number(picture.size())}));
        QCOMPARE(readFile(a), picture);
        QCOMPARE(readFile(b), background);
        QCOMPARE(inode(b), bBefore);
        QCOMPARE(QFileInfo(b).lastModified(), hourAgo);
        QCOMPARE(inode(a) == aBefore && QFileInfo(a).lastModified() == hourAgo, kept);
        QCOMPARE(readFile(outside), outsideBytes);
    }

    void hostileEntryNames_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("message");

        const QString iconMessage = QStringLiteral(
            "Die Datei \"%1\" kann nicht aus dem Package entpackt werden und unter \"%2\" gespeichert werden!");
        const QString backgroundMessage =
            QStringLiteral("Die Datei \"%1\" kann nicht aus dem Package entpackt werden!");
        const QString icons = QStringLiteral("%1icons/project/");
        // The box names why, in a paragraph of its own.
        const QString out = QStringLiteral("\n\nDer Name führt aus dem Bilderordner hinaus.");

        // Names that would land outside the picture folders, end to end.
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
            const QString why = relative.startsWith("a/")
                ? QStringLiteral(
                    "\n\nDen Ordner \"%1icons/project/a\" gibt es nicht; Unterordner werden nicht angelegt.")
                : out;
            QTest::newRow(qPrintable(entry)) << entry << iconMessage.arg(entry, icons + relative) + why;
        }
        const QString background = QStringLiteral("background//tmp/x.png");
        QTest::newRow(qPrintable(background)) << background << backgroundMessage.arg(background) + out;
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
        QCOMPARE(treeListing(projects()),
                 QStringList({"background dir", "background/project dir", "background" + good, "icons dir",
                              "icons/project dir", "icons" + good}));
    }

    void oneBoxPerPackage()
    {
        // 10,000 nested pictures (their folder does not exist, as the loader
        // has always had it) and a refused name: one box and one line.
        PackageEntries package{{"background/../x.png", "x"}, {"icons/good.png", pngBytes(3, 3)}};
        for (int i = 0; i < 10000; ++i)
            package.append({QStringLiteral("icons/sub/p%1.png").arg(i), QByteArray("x")});
        const QString path = temp.path() + QLatin1String("/test.qlxd");
        QTest::ignoreMessage(QtCriticalMsg,
                             qPrintable("Package " + path
                                        + ": 10001 picture entries cannot be unpacked: "
                                          "background/../x.png, icons/sub/p0.png, icons/sub/p1.png, "
                                          "icons/sub/p2.png, icons/sub/p3.png and 9996 more"));
        extract(package);
        QCOMPARE(messages,
                 QStringList("10001 Dateien aus dem Package \"" + path
                             + "\" können nicht entpackt und "
                               "gespeichert werden: \"background/../x.png\", \"icons/sub/p0.png\", "
                               "\"icons/sub/p1.png\", \"icons/sub/p2.png\", \"icons/sub/p3.png\" und 9996 "
                               "weitere. Diese Bilder fehlen.\n\nDer Name führt aus dem Bilderordner hinaus."));
        QVERIFY(QFile::exists(projects() + QLatin1String("icons/project/good.png")));
    }

    void administratorLinksAreUsed_data()
    {
        QTest::addColumn<QString>("linkPath");
        QTest::addColumn<QString>("target");    // the link's target, relative to the sandbox
        QTest::addColumn<QString>("pictures");  // the picture folder, relative to the link's target
        QTest::addColumn<QStringList>("after"); // the sandbox after loading; PNG is the picture's size

        const QStringList kept = {"shared dir", "victim dir", "victim/keep.txt 8"};
        // clang-format off
        QTest::newRow("icons, a shared library") << "icons" << "shared" << "project/" << kept + QStringList{
            "projects dir", "projects/icons link", "projects/background dir", "projects/background/project dir",
            "projects/background/project/a.png PNG", "shared/common.png 7", "shared/project dir",
            "shared/project/a.png PNG"};
        QTest::newRow("background/project") << "background/project" << "shared" << "" << kept + QStringList{
            "projects dir", "projects/background dir", "projects/background/project link", "projects/icons dir",
            "projects/icons/project dir", "projects/icons/project/a.png PNG", "shared/a.png PNG"};
        // Emptying the backgrounds takes the icons' folder inside them; it is made again.
        QTest::newRow("icons inside the backgrounds") << "icons" << "projects/background/project" << "project/"
            << QStringList{"victim dir", "victim/keep.txt 8", "projects dir", "projects/icons link",
                           "projects/background dir", "projects/background/project dir",
                           "projects/background/project/a.png PNG", "projects/background/project/project dir",
                           "projects/background/project/project/a.png PNG"};
        // clang-format on
    }

    void administratorLinksAreUsed()
    {
        QFETCH(QString, linkPath);
        QFETCH(QString, target);
        QFETCH(QString, pictures);
        QFETCH(QStringList, after);

        // The link's target holds a file of its own and, in the picture
        // folder, the last project's picture and links to a folder to keep.
        const QString shared = sandbox() + target + QLatin1Char('/');
        const QString victim = sandbox() + QLatin1String("victim");
        QVERIFY(QDir().mkpath(shared + pictures + QLatin1String("sub")));
        QVERIFY(QDir().mkpath(victim));
        QVERIFY(writeFile(victim + QLatin1String("/keep.txt"), "precious"));
        QVERIFY(writeFile(shared + QLatin1String("common.png"), "library"));
        QVERIFY(writeFile(shared + pictures + QLatin1String("old.png"), "old"));
        QVERIFY(QFile::link(victim, shared + pictures + QLatin1String("escape")));
        QVERIFY(QFile::link(victim, shared + pictures + QLatin1String("sub/escape")));
        QVERIFY(QDir().mkpath(QFileInfo(projects() + linkPath).path()));
        QVERIFY(QFile::link(shared, projects() + linkPath));

        extract(
            {{QStringLiteral("icons/a.png"), pngBytes(3, 3)}, {QStringLiteral("background/a.png"), pngBytes(3, 3)}});
        QCOMPARE(messages, QStringList());
        // The link stands and is used as its folder; nothing behind the links
        // inside the picture folder is touched.
        after.replaceInStrings(QRegularExpression("PNG$"), QString::number(pngBytes(3, 3).size()));
        after.sort();
        QCOMPARE(treeListing(sandbox()), after);
    }
};

QTEST_MAIN(TestProjectLoader)
#include "tst_projectloader.moc"
