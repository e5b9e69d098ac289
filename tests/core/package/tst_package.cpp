#include "core/package/packagereport.h"
#include "core/package/qlxfat.h"
#include "core/package/qlxfatthread.h"
#include "tests/support/testsupport.h"

#include <QtTest>

namespace {

QString describe(const QVector<FatEntry> &entries)
{
    QStringList parts;
    for (const FatEntry &entry : entries) {
        if (entry.isReadable())
            parts << QStringLiteral("%1@%2+%3").arg(entry.name).arg(entry.offset).arg(entry.size);
        else
            parts << entry.name + QLatin1Char('!');
    }
    return parts.join(QLatin1Char(';'));
}

QString fixture(const QString &name)
{
    return QStringLiteral(QALIX_TEST_DATA "/qlxfat/") + name;
}

bool waitForWriter(QLXFat &fat)
{
    return fat.writer() && fat.writer()->wait(60000);
}

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
    // Windows' console programs end their lines in CR LF.
    run.out = QString::fromUtf8(process.readAllStandardOutput()).remove(QLatin1Char('\r'));
    run.err = QString::fromUtf8(process.readAllStandardError()).remove(QLatin1Char('\r'));
    return run;
}

} // namespace

// The package container read from hostile bytes and written byte for byte,
// and the qlxd tool on top of it.
class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readTable_data();
    void readTable();
    void write_data();
    void write();
    void writerFailuresAreReported();
    void unpackReason_data();
    void unpackReason();

    void qlxdRoundTrip();
    void qlxdRepackThatFailsKeepsThePackage();
    void qlxdHostilePackages_data();
    void qlxdHostilePackages();
    void qlxdExtractDoesNotFollowLinks_data();
    void qlxdExtractDoesNotFollowLinks();

private:
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestPackage::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestPackage::readTable_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("entries");
    QTest::addColumn<QString>("header");   // "key=value;..." in key order
    QTest::addColumn<QStringList>("data"); // "name=bytes"

    const auto row = [](const char *name, const QByteArray &package, bool opens, const QString &entries,
                        const QString &header, const QStringList &data) {
        QTest::newRow(name) << package << opens << entries << header << data;
    };
    row("golden six-line", readFile(fixture("six-line.qlxd")), true, "project@0+5;icons/a.png@5+3", "",
        QStringList{"project=<x/>\n", "icons/a.png=PNG", "Project="});
    row("golden header", readFile(fixture("header.qlxd")), true, "project@0+4", "Author=Ann;Version=3;Z=;a=lower",
        QStringList{"project=abcd"});
    row("lower-case soh", QByteArray("soh\nSOFAT\na|2\nEOFAT\nEOH\nxy"), false, "", "", QStringList());
    row("empty file", QByteArray(), false, "", "", QStringList());
    row("CR LF lines", QByteArray("SOH\r\nk:v\r\nSOFAT\r\na|2\r\nb|1\r\nEOFAT\r\nEOH\r\nxyz"), true, "a@0+2;b@2+1",
        "k=v\r", QStringList{"a=xy", "b=z"});
    row("two bars, no bar skipped", QByteArray("SOH\nSOFAT\na|2\nx|y|9\nnobar\nb|1\nEOFAT\nEOH\nxyz"), true,
        "a@0+2;b@2+1", "", QStringList{"a=xy", "b=z", "x="});
    row("size not a number", QByteArray("SOH\nSOFAT\na|x7\nb|0x2\nd|\nc|2\nEOFAT\nEOH\nxy"), true,
        "a@0+0;b@0+0;d@0+0;c@0+2", "", QStringList{"a=", "c=xy"});
    row("EOH inside table", QByteArray("SOH\nSOFAT\na|2\nEOH\nb|1\nEOFAT\nEOH\nxy"), true, "a@0+2", "",
        QStringList{"a=b|", "b="});
    row("EOH with blanks, EOHX not", QByteArray("SOH\nSOFAT\na|2\nEOFAT\nEOHX\n  EOH \t\nxy"), true, "a@0+2", "",
        QStringList{"a=xy"});
    row("eoh lower case", QByteArray("SOH\nSOFAT\na|2\nEOFAT\neoh\nxy"), false, "a@0+2", "", QStringList{"a="});
    row("duplicate names joined", QByteArray("SOH\nSOFAT\na|2\nb|1\na|3\nEOFAT\nEOH\nxyqabc"), true,
        "a@0+2;b@2+1;a@3+3", "", QStringList{"a=xyabc", "b=q"});
    row("nothing after EOH", QByteArray("SOH\nSOFAT\na|0\nEOFAT\nEOH\n"), false, "a@0+0", "", QStringList());
    row("header lines: junk, repeated key, colon and bar",
        QByteArray("SOH\njunk\nk:1\nk:2\nurl:http://x|y\nSOFAT\nEOFAT\nEOH\n-"), true, "", "k=2;url=http://x|y",
        QStringList());
    row("line and name cut at NUL", QByteArray("SOH\nSOFAT\na|2\0junk|9\nb\0|5\nc|1\nEOFAT\nEOH\nxyz", 43), true,
        "a@0+2;c@2+1", "", QStringList{"a=xy", "c=z"});
    row("size past the end", QByteArray("SOH\nSOFAT\na|2\nb|10\nEOFAT\nEOH\nxyz"), true, "a@0+2;b@2+10", "",
        QStringList{"a=xy", "b="});
    row("negative size", QByteArray("SOH\nSOFAT\na|-3\nb|2\nEOFAT\nEOH\nxy"), true, "a!;b@0+2", "",
        QStringList{"a=", "b=xy"});
    row("size beyond 32 bits", QByteArray("SOH\nSOFAT\na|3000000000\nb|2\nEOFAT\nEOH\nxy"), true, "a!;b!", "",
        QStringList{"a=", "b="});
    row("running offset passes 32 bits", QByteArray("SOH\nSOFAT\na|2147483000\nb|1000\nc|1\nEOFAT\nEOH\nxy"), true,
        "a@0+2147483000;b!;c!", "", QStringList{"a=", "c="});
    // Header lines and the header are bounded: refused there, not read on.
    const QByteArray longest = "k:" + QByteArray(int(QLXFat::MaxHeaderLine) - 3, 'v') + '\n';
    row("header line at its bound", "SOH\n" + longest + "SOFAT\na|1\nEOFAT\nEOH\nx", true, "a@0+1",
        "k=" + QString(int(QLXFat::MaxHeaderLine) - 3, 'v'), QStringList{"a=x"});
    row("header line past it", "SOH\n" + longest.chopped(1) + "v\nSOFAT\na|1\nEOFAT\nEOH\nx", false, "", "",
        QStringList());
    row("first line past it", QByteArray("SOH") + QByteArray(int(QLXFat::MaxHeaderLine), ' ') + "\nEOH\nx", false, "",
        "", QStringList());
    const QByteArray junk = QByteArray(int(QLXFat::MaxHeaderLine) - 1, 'j') + '\n';
    row("header past its bound", "SOH\n" + junk.repeated(int(QLXFat::MaxHeaderSize / junk.size())) + "EOH\nx", false,
        "", "", QStringList());
}

void TestPackage::readTable()
{
    QFETCH(QByteArray, package);
    QFETCH(bool, opens);
    QFETCH(QString, entries);
    QFETCH(QString, header);
    QFETCH(QStringList, data);

    QVERIFY(writeFile(path("p.qlxd"), package));
    QLXFat fat;
    QCOMPARE(fat.open(path("p.qlxd"), false), opens);
    QCOMPARE(fat.errorString().isEmpty(), opens);
    QCOMPARE(describe(fat.entries()), entries);
    QStringList properties;
    for (auto it = fat.headerProperties().cbegin(); it != fat.headerProperties().cend(); ++it)
        properties << it.key() + QLatin1Char('=') + it.value();
    QCOMPARE(properties.join(QLatin1Char(';')), header);
    for (const QString &pair : data) {
        const int equals = pair.indexOf(QLatin1Char('='));
        QCOMPARE(fat.fileData(pair.left(equals)), pair.mid(equals + 1).toLatin1());
    }
    // Nothing is read from a package that did not open.
    if (!opens) {
        for (const FatEntry &entry : fat.entries())
            QVERIFY(!fat.extractFile(entry.name, path("out")));
    }
}

void TestPackage::write_data()
{
    // Entries: "t<TAB>name<TAB>text" in memory, "f<TAB>name<TAB>#size" a file
    // of pattern bytes of that size.
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("golden six-line") << QStringList() << QStringList({"t\tproject\t<x/>\n", "t\ticons/a.png\tPNG"})
                                     << readFile(fixture("six-line.qlxd"));
    QTest::newRow("golden header, properties in key order")
        << QStringList({"Z=", "a=lower", "Version=3", "Author=Ann"}) << QStringList({"t\tproject\tabcd"})
        << readFile(fixture("header.qlxd"));
    QTest::newRow("golden no entries") << QStringList({"k=v"}) << QStringList() << readFile(fixture("no-entries.qlxd"));
    PackageEntries blocks;
    QStringList blockEntries;
    for (int size : {0, 1, 1023, 1024, 1025, 5000}) {
        const QString name = QStringLiteral("f%1.bin").arg(size);
        blocks.append({name, patternBytes(size, size)});
        blockEntries << QStringLiteral("f\t%1\t#%2").arg(name).arg(size);
    }
    QTest::newRow("files around block sizes") << QStringList() << blockEntries << packageBytes(blocks);
    QTest::newRow("duplicate names kept") << QStringList() << QStringList({"t\ta\tone", "f\ta\t#1500"})
                                          << packageBytes({{"a", "one"}, {"a", patternBytes(1500, 1500)}});
    QTest::newRow("text stored as Latin-1") << QStringList({QString::fromUtf8("T=Gr\xc3\xbc\xc3\x9f"
                                                                              "e \xe2\x82\xac")})
                                            << QStringList({QString::fromUtf8("t\tt\tGr\xc3\xbc\xc3\x9f"
                                                                              "e \xe2\x82\xac")})
                                            << QByteArray("SOH\nT:Gr\xfc\xdf"
                                                          "e ?\nSOFAT\nt|7\nEOFAT\nEOH\nGr\xfc\xdf"
                                                          "e ?");
}

void TestPackage::write()
{
    QFETCH(QStringList, header);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, expected);

    QLXFat fat;
    fat.setStepPause(0);
    QVERIFY(fat.open(path("w.qlxd"), true));
    for (const QString &property : header) {
        const int equals = property.indexOf('=');
        QVERIFY(fat.setHeaderValue(property.left(equals), property.mid(equals + 1)));
    }
    for (const QString &entry : entries) {
        const QStringList fields = entry.split('\t');
        if (fields.at(0) == "t") {
            QVERIFY(fat.addData(fields.at(2), fields.at(1)));
        } else {
            const int size = fields.at(2).mid(1).toInt();
            const QString source = path(QStringLiteral("source%1").arg(fat.entries().size()));
            QVERIFY(writeFile(source, patternBytes(size, size)));
            QVERIFY(fat.addFile(source, fields.at(1)));
        }
    }
    QVERIFY(fat.save());
    QVERIFY(waitForWriter(fat));
    QCOMPARE(fat.progress(), 100);
    QCOMPARE(fat.writer()->error(), 0);
    QCOMPARE(readFile(path("w.qlxd")), expected);
}

void TestPackage::unpackReason_data()
{
    QTest::addColumn<QString>("name"); // below the test's folder
    QTest::addColumn<bool>("refused");
    QTest::addColumn<qint64>("available");
    QTest::addColumn<QString>("reason"); // %1: the test's folder

    QTest::newRow("storage full") << "a.png" << false << qint64(100)
                                  << "Speicher voll: 100 bytes frei in \"%1\", das Bild braucht 2.0 kB.";
    QTest::newRow("a nested name") << "sub/a.png" << false << qint64(100)
                                   << "Den Ordner \"%1/sub\" gibt es nicht; Unterordner werden nicht angelegt.";
}

void TestPackage::unpackReason()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);
    QFETCH(qint64, available);
    QFETCH(QString, reason);
    QLocale::setDefault(QLocale::c());
    const QString folder = QFileInfo(m_dir->path()).absoluteFilePath();
    QCOMPARE(PackageReport::unpackReason(folder + "/" + name, 2048, refused, available),
             reason.contains("%1") ? reason.arg(folder) : reason);
}

void TestPackage::writerFailuresAreReported()
{
    // A source file gone by the time it is written: the writer reports
    // failure, not success, and the package it was to replace stays as it
    // was, with nothing left beside it.
    QVERIFY(writeFile(path("cut.qlxd"), "the old package"));
    QLXFat cut;
    cut.setStepPause(0);
    QVERIFY(cut.open(path("cut.qlxd"), true));
    QVERIFY(cut.addData("abc", "a"));
    QVERIFY(cut.addFile(path("missing.png"), "b"));
    QVERIFY(cut.addData("xyz", "c"));
    QVERIFY(cut.save());
    QVERIFY(waitForWriter(cut));
    QCOMPARE(cut.progress(), 255);
    QCOMPARE(readFile(path("cut.qlxd")), QByteArray("the old package"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList("cut.qlxd"));

    // A package opened for reading is never overwritten by a save().
    QVERIFY(QFile::copy(fixture("six-line.qlxd"), path("copy.qlxd")));
    QLXFat reader;
    QVERIFY(reader.open(path("copy.qlxd"), false));
    QVERIFY(reader.save());
    QVERIFY(waitForWriter(reader));
    QCOMPARE(reader.writer()->error(), 1);
    QCOMPARE(reader.progress(), 255);
    QCOMPARE(readFile(path("copy.qlxd")), readFile(fixture("six-line.qlxd")));

    // A second writer while the first runs would interleave its bytes.
    QLXFat busy;
    busy.setStepPause(2);
    QVERIFY(busy.open(path("busy.qlxd"), true));
    PackageEntries written;
    for (int i = 0; i < 30; ++i) {
        written.append({QStringLiteral("e%1").arg(i), QByteArray::number(i * 7)});
        QVERIFY(busy.addData(written.last().second, written.last().first));
    }
    QVERIFY(busy.save());
    QVERIFY(!busy.save());
    QVERIFY(waitForWriter(busy));
    QCOMPARE(readFile(path("busy.qlxd")), packageBytes(written));
}

void TestPackage::qlxdRepackThatFailsKeepsThePackage()
{
    QVERIFY(writeFile(path("src/project"), "<project/>"));
    QVERIFY(writeFile(path("src/icons/a.png"), patternBytes(200 * 1024)));
    QVERIFY(writeFile(path("src/icons/b.png"), patternBytes(3000)));
    QVERIFY(QDir().mkpath(path("out")));
    QCOMPARE(qlxd({"pack", path("out/out.qlxd"), path("src")}).exitCode, 0);
    const QByteArray old = readFile(path("out/out.qlxd"));

    // Once the repack writes (it holds a file in out/ open, unnamed on
    // Linux, named beside the package on Windows), a source goes that it
    // reaches only after the 200 blocks of a.png.
    QProcess pack;
    pack.start(QStringLiteral(QALIX_BUILD_DIR "/qlxd"), {"pack", path("out/out.qlxd"), path("src"), "--pause", "5"});
    const auto writing = [&] {
        if (QDir(path("out")).entryList(QDir::Files | QDir::Hidden).size() > 1)
            return true;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pack.processId()));
        for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fds.filePath(fd)).startsWith(path("out/")))
                return true;
        }
        return false;
    };
    QTRY_VERIFY(writing());
    QVERIFY(QFile::remove(path("src/icons/b.png")));
    QVERIFY(pack.waitForFinished(60000));
    QCOMPARE(pack.exitCode(), 1);
    QVERIFY(pack.readAllStandardError().contains("writing"));
    QCOMPARE(readFile(path("out/out.qlxd")), old);
    QCOMPARE(QDir(path("out")).entryList(QDir::Files), QStringList("out.qlxd"));
}

void TestPackage::qlxdRoundTrip()
{
    const PackageEntries files{
        {"project", QByteArray("<project>\n<page id=\"A\"/>\n</project>\n\0\r\n|EOH\n", 44)},
        {"icons/a.png", patternBytes(3000, 1)},
        {"icons/empty.png", QByteArray()},
        {"background/wall.png", patternBytes(70000, 3)},
    };
    for (const auto &file : files)
        QVERIFY(writeFile(path("src/" + file.first), file.second));
    // The package itself inside the source folder is skipped, not packed into itself.
    const QString package = path("src/icons/z.qlxd");
    QVERIFY(writeFile(package, "an older package"));

    const Run pack = qlxd({"pack", package, path("src"), "--header", "Author=Ann"});
    QVERIFY2(pack.exitCode == 0, qPrintable(pack.err));
    QVERIFY(pack.err.contains("skipping"));
    // Project first, then each folder in name order.
    QCOMPARE(readFile(package), packageBytes({"Author:Ann"}, files));

    const Run list = qlxd({"list", package});
    QVERIFY2(list.exitCode == 0, qPrintable(list.err));
    QVERIFY(list.out.contains("  Author: Ann\n"));
    for (const auto &file : files)
        QVERIFY(list.out.contains(QStringLiteral("%1  %2\n").arg(file.second.size()).arg(file.first)));

    const Run extract = qlxd({"extract", package, path("extracted")});
    QVERIFY2(extract.exitCode == 0, qPrintable(extract.err));
    for (const auto &file : files)
        QCOMPARE(readFile(path("extracted/" + file.first)), file.second);
    // Everything packed and nothing else: the source but the package.
    QStringList packed = treeListing(path("src"));
    packed.removeAll("/icons/z.qlxd " + QString::number(QFileInfo(package).size()));
    QCOMPARE(treeListing(path("extracted")), packed);
}

void TestPackage::qlxdHostilePackages_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QStringList>("listed");     // lines `list` prints (trimmed)
    QTest::addColumn<QStringList>("extracted");  // files below DIR, "name=bytes"
    QTest::addColumn<QStringList>("complaints"); // texts on standard error of extract

    const auto row = [](const char *name, const QByteArray &package, const QStringList &listed,
                        const QStringList &extracted, const QStringList &complaints) {
        QTest::newRow(name) << package << listed << extracted << complaints;
    };
    row("duplicate names", QByteArray("SOH\nSOFAT\na|2\na|3\nEOFAT\nEOH\nxyabc"),
        QStringList{"2  a", "3  a  (duplicate name: extract takes the first)"}, QStringList{"a=xy"}, QStringList());
    row("size past the end", QByteArray("SOH\nSOFAT\na|2\nb|10\nEOFAT\nEOH\nxyz"),
        QStringList{"2  a", "10  b  (reaches past the end of the package)"}, QStringList{"a=xy"},
        QStringList{"cannot extract \"b\""});
    row("negative and huge sizes", QByteArray("SOH\nSOFAT\nn|-5\nh|99999999999\nok|1\nEOFAT\nEOH\nq"),
        QStringList{"unreadable  n  (size out of range)", "unreadable  ok  (size out of range)"}, QStringList(),
        QStringList{"cannot extract \"n\""});
    row("names leaving the folder",
        packageBytes({{"../evil", "1"},
                      {"icons/../../evil2", "2"},
                      {"/tmp/qlxd-absolute", "3"},
                      {"icons\\..\\evil3", "4"},
                      {"C:evil4", "5"},
                      {"icons/ok.png", "6"},
                      {"./x", "8"}}),
        QStringList{"1  ../evil  (unsafe as a path)"}, QStringList{"icons/ok.png=6"},
        QStringList{"refused entry \"../evil\"", "refused entry \"icons/../../evil2\"",
                    "refused entry \"/tmp/qlxd-absolute\"", "refused entry \"icons\\\\..\\\\evil3\"",
                    "refused entry \"C:evil4\"", "refused entry \"./x\""});
    row("control characters in a name", QByteArray("SOH\nSOFAT\na\x1b[2Jb|1\nEOFAT\nEOH\nq"),
        QStringList{"1  a\\x1b[2Jb  (unsafe as a path)"}, QStringList(), QStringList{"refused entry \"a\\x1b[2Jb\""});
}

void TestPackage::qlxdHostilePackages()
{
    QFETCH(QByteArray, package);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, extracted);
    QFETCH(QStringList, complaints);

    QVERIFY(writeFile(path("work/p.qlxd"), package));
    const Run list = qlxd({"list", path("work/p.qlxd")});
    QCOMPARE(list.exitCode, 0);
    QStringList lines;
    for (const QString &line : list.out.split('\n'))
        lines << line.trimmed();
    for (const QString &line : listed)
        QVERIFY2(lines.contains(line), qPrintable(QStringLiteral("missing \"%1\" in\n%2").arg(line, list.out)));

    const Run extract = qlxd({"extract", path("work/p.qlxd"), path("work/out")});
    QCOMPARE(extract.exitCode, complaints.isEmpty() ? 0 : 1);
    for (const QString &complaint : complaints)
        QVERIFY2(extract.err.contains(complaint), qPrintable(extract.err));
    // Nothing landed beside the output folder or at the absolute path.
    int files = 1; // p.qlxd
    for (const QString &file : extracted) {
        const int equals = file.indexOf(QLatin1Char('='));
        QCOMPARE(readFile(path("work/out/" + file.left(equals))), file.mid(equals + 1).toLatin1());
        ++files;
    }
    QCOMPARE(treeListing(m_dir->path()).filter(QRegularExpression(" \\d+$")).size(), files);
    QVERIFY(!QFile::exists("/tmp/qlxd-absolute"));
}

void TestPackage::qlxdExtractDoesNotFollowLinks_data()
{
    QTest::addColumn<QString>("link");  // below out/, pointing to outside/
    QTest::addColumn<QString>("entry"); // refused; b.png beside it is extracted

    QTest::newRow("linked folder, folders below it") << "icons"
                                                     << "icons/sub/deeper/a.png";
    QTest::newRow("link deeper in") << "icons/sub"
                                    << "icons/sub/new/a.png";
    QTest::newRow("linked file") << "icons/a.png"
                                 << "icons/a.png";
}

void TestPackage::qlxdExtractDoesNotFollowLinks()
{
#ifdef Q_OS_WIN
    QSKIP("Qt makes shortcuts on Windows; a link there is an NTFS link, which needs the right to make");
#endif
    QFETCH(QString, link);
    QFETCH(QString, entry);

    QVERIFY(writePackage(path("p.qlxd"), {{entry, "1"}, {"b.png", "2"}}));
    QVERIFY(writeFile(path("outside/a.png"), "precious"));
    QVERIFY(QDir().mkpath(QFileInfo(path("out/" + link)).path()));
    QVERIFY(QFile::link(link.endsWith(".png") ? path("outside/a.png") : path("outside"), path("out/" + link)));
    const QStringList outside = treeListing(path("outside"));

    const Run extract = qlxd({"extract", path("p.qlxd"), path("out")});
    QCOMPARE(extract.exitCode, 1);
    QVERIFY2(extract.err.contains("refused entry \"" + entry + "\""), qPrintable(extract.err));
    // Nothing made or changed behind the link, not even a folder.
    QCOMPARE(treeListing(path("outside")), outside);
    QCOMPARE(readFile(path("outside/a.png")), QByteArray("precious"));
    QCOMPARE(readFile(path("out/b.png")), QByteArray("2"));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
