#include "qlxfattesthelper.h"

#include <QtTest>

using namespace QlxFatTest;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run qlxd(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(QALIX_BUILD_DIR "/qlxd"), args);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("qlxd did not finish normally");
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

Q_DECLARE_METATYPE(Run)

class TestQlxd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void usage_data();
    void usage();
    void packListExtractRoundTrip();
    void packRefuses_data();
    void packRefuses();
    void listFailsOnNonPackage_data();
    void listFailsOnNonPackage();
    void hostilePackages_data();
    void hostilePackages();
    void extractDoesNotFollowLinkedFolders();
    void packSkipsThePackageItself();

private:
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestQlxd::initTestCase()
{
    QVERIFY2(QFileInfo(QStringLiteral(QALIX_BUILD_DIR "/qlxd")).isExecutable(), "build the qlxd target first");
}

void TestQlxd::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestQlxd::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("text");

    QTest::newRow("--help") << QStringList{"--help"} << 0 << "extract PKG DIR";
    QTest::newRow("no arguments") << QStringList() << 2 << "Usage: qlxd";
    QTest::newRow("unknown command") << QStringList{"unpack"} << 2 << "unknown command \"unpack\"";
    QTest::newRow("pack without folder") << QStringList{"pack", "x.qlxd"} << 2 << "usage: qlxd pack";
    QTest::newRow("pack bad header") << QStringList{"pack", "x.qlxd", ".", "--header", "a:b=c"} << 2 << "--header";
    QTest::newRow("extract without folder") << QStringList{"extract", "a"} << 2 << "usage: qlxd extract";
}

void TestQlxd::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, text);

    const Run run = qlxd(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2((exitCode == 0 ? run.out : run.err).contains(text), qPrintable(run.out + run.err));
}

void TestQlxd::packListExtractRoundTrip()
{
    QByteArray project = "<project>\n<page id=\"A\"/>\n</project>\n";
    project += QByteArray("\0\r\n|EOH\n", 8);
    const QList<QPair<QString, QByteArray>> files{
        {"project", project},
        {"icons/a.png", patternBytes(3000, 1)},
        {"icons/b.png", patternBytes(1024, 2)},
        {"icons/empty.png", QByteArray()},
        {"background/wall.png", patternBytes(70000, 3)},
    };
    for (const auto &file : files)
        QVERIFY(writeFile(path("src/" + file.first), file.second));
    const QString package = path("out/p.qlxd");
    QVERIFY(QDir().mkpath(path("out")));

    const Run pack = qlxd({"pack", package, path("src"), "--header", "Author=Ann", "--pause", "0"});
    QVERIFY2(pack.exitCode == 0, qPrintable(pack.err));
    QVERIFY(pack.out.contains("packed 5 entries"));
    // Project first, then each folder in name order.
    QCOMPARE(readFile(package), packageBytes({"Author:Ann"}, files));

    const Run list = qlxd({"list", package});
    QVERIFY2(list.exitCode == 0, qPrintable(list.err));
    const QStringList lines = list.out.split('\n');
    const int headerLine = lines.indexOf("Header properties (1):");
    const int entriesLine = lines.indexOf("Entries (5):");
    QVERIFY(headerLine >= 0 && entriesLine > headerLine);
    QCOMPARE(lines.at(headerLine + 1), QString("  Author: Ann"));
    for (int i = 0; i < files.size(); ++i) {
        const QStringList fields = lines.at(entriesLine + 1 + i).split(' ', Qt::SkipEmptyParts);
        QCOMPARE(fields, QStringList({QString::number(files.at(i).second.size()), files.at(i).first}));
    }

    const Run extract = qlxd({"extract", package, path("extracted")});
    QVERIFY2(extract.exitCode == 0, qPrintable(extract.err));
    QStringList expectedFiles;
    for (const auto &file : files) {
        QCOMPARE(readFile(path("extracted/" + file.first)), file.second);
        expectedFiles << file.first;
    }
    expectedFiles.sort();
    QCOMPARE(filesBelow(path("extracted")), expectedFiles);
}

void TestQlxd::packRefuses_data()
{
    // Files below src/ to create ("->" makes a symbolic link), and the message.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing project") << QStringList{"icons/a.png"} << "missing project document";
    QTest::newRow("project is a folder") << QStringList{"project/x", "icons/a.png"} << "missing project document";
    QTest::newRow("unreadable file") << QStringList{"project", "icons/a.png->nowhere"} << "cannot read";
    QTest::newRow("name with a bar") << QStringList{"project", "icons/a|b.png"} << "cannot store";
    QTest::newRow("name outside ASCII") << QStringList{"project", QString::fromUtf8("icons/K\xc3\xbc" "che.png")}
                                        << "cannot store";
    QTest::newRow("everything empty") << QStringList{"project="} << "all files are empty";
}

void TestQlxd::packRefuses()
{
    QFETCH(QStringList, files);
    QFETCH(QString, message);

    for (const QString &file : files) {
        if (file.contains("->")) {
            const QStringList link = file.split("->");
            QVERIFY(QDir().mkpath(QFileInfo(path("src/" + link.at(0))).absolutePath()));
            QVERIFY(QFile::link(path(link.at(1)), path("src/" + link.at(0))));
        } else if (file.endsWith('=')) {
            QVERIFY(writeFile(path("src/" + file.chopped(1)), QByteArray()));
        } else {
            QVERIFY(writeFile(path("src/" + file), "data"));
        }
    }
    const QString package = path("p.qlxd");
    QVERIFY(writeFile(package, "an older package"));
    const Run run = qlxd({"pack", package, path("src")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(readFile(package), QByteArray("an older package"));
}

void TestQlxd::listFailsOnNonPackage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing") << QByteArray() << "no such file";
    QTest::newRow("not a package") << QByteArray("PNG\nimage") << "not a package";
    QTest::newRow("no data after EOH") << QByteArray("SOH\nSOFAT\na|0\nEOFAT\nEOH\n") << "not a package";
}

void TestQlxd::listFailsOnNonPackage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    const QString package = path("p.qlxd");
    if (!bytes.isEmpty())
        QVERIFY(writeFile(package, bytes));
    const Run list = qlxd({"list", package});
    QCOMPARE(list.exitCode, 1);
    QVERIFY2(list.err.contains(message), qPrintable(list.err));
    QCOMPARE(list.out, QString());
    const Run extract = qlxd({"extract", package, path("out")});
    QCOMPARE(extract.exitCode, 1);
    QVERIFY(extract.err.contains("cannot open"));
}

void TestQlxd::hostilePackages_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QStringList>("listed");     // lines `list` prints (trimmed)
    QTest::addColumn<QVariantMap>("extracted");  // files below DIR and their bytes
    QTest::addColumn<QStringList>("complaints"); // texts on standard error of extract

    QTest::newRow("CR LF lines") << QByteArray("SOH\r\nk:v\r\nSOFAT\r\na|2\r\nb|1\r\nEOFAT\r\nEOH\r\nxyz")
                                 << QStringList{"k: v\\x0d", "2  a", "1  b"}
                                 << QVariantMap{{"a", QByteArray("xy")}, {"b", QByteArray("z")}} << QStringList();
    QTest::newRow("EOH inside the table") << QByteArray("SOH\nSOFAT\na|2\nEOH\nb|1\nEOFAT\nEOH\nxy")
                                          << QStringList{"Entries (1):", "2  a"}
                                          << QVariantMap{{"a", QByteArray("b|")}} << QStringList();
    QTest::newRow("two vertical bars") << QByteArray("SOH\nSOFAT\na|2\nx|y|1\nb|1\nEOFAT\nEOH\nxyz")
                                       << QStringList{"Entries (2):", "2  a", "1  b"}
                                       << QVariantMap{{"a", QByteArray("xy")}, {"b", QByteArray("z")}}
                                       << QStringList();
    QTest::newRow("duplicate names") << QByteArray("SOH\nSOFAT\na|2\na|3\nEOFAT\nEOH\nxyabc")
                                     << QStringList{"2  a", "3  a  (duplicate name: extract takes the first)"}
                                     << QVariantMap{{"a", QByteArray("xy")}} << QStringList();
    QTest::newRow("size past the end") << QByteArray("SOH\nSOFAT\na|2\nb|10\nEOFAT\nEOH\nxyz")
                                       << QStringList{"2  a", "10  b  (reaches past the end of the package)"}
                                       << QVariantMap{{"a", QByteArray("xy")}}
                                       << QStringList{"cannot extract \"b\""};
    QTest::newRow("negative and huge sizes") << QByteArray("SOH\nSOFAT\nn|-5\nh|99999999999\nok|1\nEOFAT\nEOH\nq")
                                             << QStringList{"unreadable  n  (size out of range)",
                                                            "unreadable  ok  (size out of range)"}
                                             << QVariantMap() << QStringList{"cannot extract \"n\""};
    QTest::newRow("names leaving the folder")
        << packageBytes({}, {{"../evil", "1"}, {"icons/../../evil2", "2"}, {"/tmp/qlxd-absolute", "3"},
                             {"icons\\..\\evil3", "4"}, {"C:evil4", "5"}, {"icons/ok.png", "6"}, {"..", "7"},
                             {"./x", "8"}})
        << QStringList{"1  ../evil  (unsafe as a path)"} << QVariantMap{{"icons/ok.png", QByteArray("6")}}
        << QStringList{"refused entry \"../evil\"", "refused entry \"icons/../../evil2\"",
                       "refused entry \"/tmp/qlxd-absolute\"", "refused entry \"icons\\\\..\\\\evil3\"",
                       "refused entry \"C:evil4\"", "refused entry \"..\"", "refused entry \"./x\""};
    QTest::newRow("control characters in a name")
        << QByteArray("SOH\nSOFAT\na\x1b[2Jb|1\nEOFAT\nEOH\nq") << QStringList{"1  a\\x1b[2Jb  (unsafe as a path)"}
        << QVariantMap() << QStringList{"refused entry \"a\\x1b[2Jb\""};
}

void TestQlxd::hostilePackages()
{
    QFETCH(QByteArray, package);
    QFETCH(QStringList, listed);
    QFETCH(QVariantMap, extracted);
    QFETCH(QStringList, complaints);

    const QString packagePath = path("work/p.qlxd");
    QVERIFY(writeFile(packagePath, package));
    const Run list = qlxd({"list", packagePath});
    QCOMPARE(list.exitCode, 0);
    QStringList lines;
    for (const QString &line : list.out.split('\n'))
        lines << line.trimmed();
    for (const QString &line : listed)
        QVERIFY2(lines.contains(line), qPrintable(QStringLiteral("missing \"%1\" in\n%2").arg(line, list.out)));

    const Run extract = qlxd({"extract", packagePath, path("work/out")});
    QCOMPARE(extract.exitCode, complaints.isEmpty() ? 0 : 1);
    for (const QString &complaint : complaints)
        QVERIFY2(extract.err.contains(complaint), qPrintable(extract.err));
    QStringList expectedFiles = extracted.keys();
    expectedFiles.sort();
    QCOMPARE(filesBelow(path("work/out")), expectedFiles);
    for (auto it = extracted.cbegin(); it != extracted.cend(); ++it)
        QCOMPARE(readFile(path("work/out/" + it.key())), it.value().toByteArray());
    // Nothing landed beside the output folder or at the absolute path.
    QStringList everything{"p.qlxd"};
    for (const QString &file : expectedFiles)
        everything << "out/" + file;
    everything.sort();
    QCOMPARE(filesBelow(path("work")), everything);
    QVERIFY(filesBelow(m_dir->path()).size() == expectedFiles.size() + 1);
    QVERIFY(!QFile::exists("/tmp/qlxd-absolute"));
}

void TestQlxd::extractDoesNotFollowLinkedFolders()
{
    const QString package = path("p.qlxd");
    QVERIFY(writeFile(package, packageBytes({}, {{"icons/a.png", "1"}, {"b.png", "2"}})));
    QVERIFY(QDir().mkpath(path("outside")));
    QVERIFY(QDir().mkpath(path("out")));
    QVERIFY(QFile::link(path("outside"), path("out/icons")));

    const Run extract = qlxd({"extract", package, path("out")});
    QCOMPARE(extract.exitCode, 1);
    QVERIFY2(extract.err.contains("refused entry \"icons/a.png\""), qPrintable(extract.err));
    QCOMPARE(filesBelow(path("outside")), QStringList());
    QCOMPARE(readFile(path("out/b.png")), QByteArray("2"));
}

void TestQlxd::packSkipsThePackageItself()
{
    QVERIFY(writeFile(path("src/project"), "<p/>"));
    QVERIFY(writeFile(path("src/icons/a.png"), "A"));
    const QString package = path("src/icons/z.qlxd");
    QVERIFY(writeFile(package, "an older package"));

    const Run run = qlxd({"pack", package, path("src")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(run.err.contains("skipping"));
    QCOMPARE(readFile(package), packageBytes({}, {{"project", "<p/>"}, {"icons/a.png", "A"}}));
}

QTEST_GUILESS_MAIN(TestQlxd)
#include "tst_qlxd.moc"
