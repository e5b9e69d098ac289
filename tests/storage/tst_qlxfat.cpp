#include "qlxfattesthelper.h"

#include "storage/qlxfat.h"
#include "storage/qlxfatthread.h"

#include <QtTest>

#include <cstddef>
#include <cstdint>

// The fuzz targets' entry points, built into this test under their names.
extern "C" int fuzz_qlxfat(const uint8_t *data, size_t size);
extern "C" int fuzz_projectreader(const uint8_t *data, size_t size);
extern "C" int fuzz_transferreceiver(const uint8_t *data, size_t size);
extern "C" int fuzz_msgline(const uint8_t *data, size_t size);

using namespace QlxFatTest;

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

QVariantMap toVariantMap(const QMap<QString, QString> &map)
{
    QVariantMap result;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        result.insert(it.key(), it.value());
    return result;
}

QString fixture(const QString &name)
{
    return QStringLiteral(QALIX_TEST_DATA "/qlxfat/") + name;
}

QVariantMap dataMap(std::initializer_list<std::pair<QString, QByteArray>> pairs)
{
    QVariantMap map;
    for (const auto &pair : pairs)
        map.insert(pair.first, pair.second);
    return map;
}

} // namespace

class TestQLXFat : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readTable_data();
    void readTable();
    void readGoldenSixLine();
    void extractFile_data();
    void extractFile();
    void extractFileOverwritesAndFailsOnBadDestination();
    void openAgainStartsOver();

    void write_data();
    void write();
    void headerValueAddsAbsentKey();
    void nameOutsideAsciiIsNotFoundAgain();
    void operationsOutsideTheirMode();
    void progressFollowsPhases();
    void missingSourceCutsPackage();
    void unwritablePackageFileLeavesItUntouched();
    void sourceChangingWhileWriting_data();
    void sourceChangingWhileWriting();
    void stoppingRunningWriter_data();
    void stoppingRunningWriter();
    void secondSaveWhileWritingIsRefused();

    void isSafeEntryPath_data();
    void isSafeEntryPath();

    void storedInputsReadSafely_data();
    void storedInputsReadSafely();

private:
    QString writePackage(const QByteArray &bytes);
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestQLXFat::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

QString TestQLXFat::writePackage(const QByteArray &bytes)
{
    const QString path = m_dir->filePath(QStringLiteral("package.qlxd"));
    if (!writeFile(path, bytes))
        return QString();
    return path;
}

void TestQLXFat::readTable_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("entries");
    QTest::addColumn<QVariantMap>("header");
    QTest::addColumn<QVariantMap>("data");

    const QVariantMap none;
    const QVariantMap kv{{"k", "v"}};

    QTest::newRow("exactly SOH") << QByteArray("SOH\nSOFAT\na|2\nEOFAT\nEOH\nxy") << true << "a@0+2" << none
                                 << dataMap({{"a", "xy"}});
    QTest::newRow("text behind SOH") << QByteArray("SOH version 3\nSOFAT\na|2\nEOFAT\nEOH\nxy") << true
                                     << "a@0+2" << none << dataMap({{"a", "xy"}});
    QTest::newRow("lower-case soh") << QByteArray("soh\nSOFAT\na|2\nEOFAT\nEOH\nxy") << false << "" << none
                                    << none;
    QTest::newRow("SOH not first") << QByteArray("\nSOH\nSOFAT\na|2\nEOFAT\nEOH\nxy") << false << ""
                                   << none << none;
    QTest::newRow("empty file") << QByteArray() << false << "" << none << none;
    QTest::newRow("CR LF lines") << QByteArray("SOH\r\nk:v\r\nSOFAT\r\na|2\r\nb|1\r\nEOFAT\r\nEOH\r\nxyz")
                                 << true << "a@0+2;b@2+1" << QVariantMap{{"k", "v\r"}}
                                 << dataMap({{"a", "xy"}, {"b", "z"}});
    QTest::newRow("two vertical bars skipped") << QByteArray("SOH\nSOFAT\na|2\nx|y|9\nb|1\nEOFAT\nEOH\nxyz")
                                               << true << "a@0+2;b@2+1" << none
                                               << dataMap({{"a", "xy"}, {"b", "z"}, {"x", ""}});
    QTest::newRow("line without bar skipped") << QByteArray("SOH\nSOFAT\nnobar\na|1\nEOFAT\nEOH\nq") << true
                                              << "a@0+1" << none << dataMap({{"a", "q"}});
    QTest::newRow("size not a number or empty") << QByteArray("SOH\nSOFAT\na|x7\nb|0x2\nd|\nc|2\nEOFAT\nEOH\nxy")
                                                << true << "a@0+0;b@0+0;d@0+0;c@0+2" << none
                                                << dataMap({{"a", ""}, {"b", ""}, {"c", "xy"}});
    QTest::newRow("size with white space and sign") << QByteArray("SOH\nSOFAT\na| 2 \nb|\t+1\nEOFAT\nEOH\nxyz")
                                                    << true << "a@0+2;b@2+1" << none
                                                    << dataMap({{"a", "xy"}, {"b", "z"}});
    QTest::newRow("empty name") << QByteArray("SOH\nSOFAT\n|2\nEOFAT\nEOH\nxy") << true << "@0+2" << none
                                << dataMap({{"", "xy"}});
    QTest::newRow("EOH inside table") << QByteArray("SOH\nSOFAT\na|2\nEOH\nb|1\nEOFAT\nEOH\nxy") << true
                                      << "a@0+2" << none << dataMap({{"a", "b|"}, {"b", ""}});
    QTest::newRow("EOH with white space") << QByteArray("SOH\nSOFAT\na|2\nEOFAT\n  EOH \t\nxy") << true
                                          << "a@0+2" << none << dataMap({{"a", "xy"}});
    QTest::newRow("EOH as prefix only") << QByteArray("SOH\nSOFAT\na|2\nEOFAT\nEOHX\nEOH\nxy") << true
                                        << "a@0+2" << none << dataMap({{"a", "xy"}});
    QTest::newRow("eoh lower case") << QByteArray("SOH\nSOFAT\na|2\nEOFAT\neoh\nxy") << false << "a@0+2"
                                    << none << none;
    QTest::newRow("duplicate names joined") << QByteArray("SOH\nSOFAT\na|2\nb|1\na|3\nEOFAT\nEOH\nxyqabc")
                                            << true << "a@0+2;b@2+1;a@3+3" << none
                                            << dataMap({{"a", "xyabc"}, {"b", "q"}});
    QTest::newRow("no EOH keeps parsed entries") << QByteArray("SOH\nSOFAT\na|2\nEOFAT\nxy") << false
                                                 << "a@0+2" << none << none;
    QTest::newRow("nothing after EOH") << QByteArray("SOH\nSOFAT\na|0\nEOFAT\nEOH\n") << false << "a@0+0"
                                       << none << none;
    QTest::newRow("second SOFAT block") << QByteArray("SOH\nSOFAT\na|2\nEOFAT\nk:v\nSOFAT\nb|1\nEOFAT\nEOH\nxyz")
                                        << true << "a@0+2;b@2+1" << kv << dataMap({{"a", "xy"}, {"b", "z"}});
    QTest::newRow("header lines: junk, repeated key, colon and bar")
        << QByteArray("SOH\njunk\nk:1\nk:2\nurl:http://x|y\n:empty key\nnovalue:\nSOFAT\nEOFAT\nEOH\n-") << true << ""
        << QVariantMap{{"k", "2"}, {"url", "http://x|y"}, {"", "empty key"}, {"novalue", ""}} << none;
    QTest::newRow("marker not at line start") << QByteArray("SOH\n SOFAT\na|2\nEOFAT\nEOH\nxy") << true << ""
                                              << none << none;
    QTest::newRow("EOFAT as prefix") << QByteArray("SOH\nSOFAT\na|1\nEOFATX\nk:v\nEOH\nq") << true << "a@0+1"
                                     << kv << dataMap({{"a", "q"}});
    QTest::newRow("colon inside table is a name") << QByteArray("SOH\nSOFAT\nc:/x|1\nEOFAT\nEOH\nq") << true
                                                  << "c:/x@0+1" << none << dataMap({{"c:/x", "q"}});
    QTest::newRow("line cut at NUL") << QByteArray("SOH\nSOFAT\na|2\0junk|9\nb|1\nEOFAT\nEOH\nxyz", 38)
                                     << true << "a@0+2;b@2+1" << none << dataMap({{"a", "xy"}, {"b", "z"}});
    QTest::newRow("name cut at NUL") << QByteArray("SOH\nSOFAT\na\0|5\nb|1\nEOFAT\nEOH\nq", 31) << true
                                     << "b@0+1" << none << dataMap({{"b", "q"}});
    QTest::newRow("UTF-8 name") << QByteArray("SOH\nSOFAT\nK\xc3\xbc" "che|1\nEOFAT\nEOH\nq") << true
                                << QString::fromUtf8("K\xc3\xbc" "che@0+1") << none
                                << dataMap({{QString::fromUtf8("K\xc3\xbc" "che"), "q"}});
    QTest::newRow("size past the end") << QByteArray("SOH\nSOFAT\na|2\nb|10\nEOFAT\nEOH\nxyz") << true
                                       << "a@0+2;b@2+10" << none << dataMap({{"a", "xy"}, {"b", ""}});
    QTest::newRow("negative size") << QByteArray("SOH\nSOFAT\na|-3\nb|2\nEOFAT\nEOH\nxy") << true << "a!;b@0+2"
                                   << none << dataMap({{"a", ""}, {"b", "xy"}});
    QTest::newRow("size beyond 32 bits") << QByteArray("SOH\nSOFAT\na|3000000000\nb|2\nEOFAT\nEOH\nxy") << true
                                         << "a!;b!" << none << dataMap({{"a", ""}, {"b", ""}});
    QTest::newRow("running offset passes 32 bits")
        << QByteArray("SOH\nSOFAT\na|2147483000\nb|1000\nc|1\nEOFAT\nEOH\nxy") << true << "a@0+2147483000;b!;c!"
        << none << dataMap({{"a", ""}, {"b", ""}, {"c", ""}});
    QTest::newRow("largest size") << QByteArray("SOH\nSOFAT\na|2147483647\nb|0\nEOFAT\nEOH\nxy") << true
                                  << "a@0+2147483647;b@2147483647+0" << none << dataMap({{"a", ""}, {"b", ""}});
    QTest::newRow("size of 30 digits") << QByteArray("SOH\nSOFAT\na|123456789012345678901234567890\nb|-0\nEOFAT\nEOH\nxy")
                                       << true << "a!;b!" << none << dataMap({{"a", ""}});
}

void TestQLXFat::readTable()
{
    QFETCH(QByteArray, package);
    QFETCH(bool, opens);
    QFETCH(QString, entries);
    QFETCH(QVariantMap, header);
    QFETCH(QVariantMap, data);

    QLXFat fat;
    QCOMPARE(fat.open(writePackage(package), false), opens);
    QCOMPARE(describe(fat.entries()), entries);
    QCOMPARE(toVariantMap(fat.headerProperties()), header);
    for (auto it = data.cbegin(); it != data.cend(); ++it)
        QCOMPARE(fat.fileData(it.key()), it.value().toByteArray());
    if (!opens) {
        for (const FatEntry &entry : fat.entries()) {
            QCOMPARE(fat.fileData(entry.name), QByteArray());
            QVERIFY(!fat.extractFile(entry.name, m_dir->filePath("out")));
        }
    }
}

void TestQLXFat::readGoldenSixLine()
{
    QLXFat fat;
    QVERIFY(fat.open(fixture("six-line.qlxd"), false));
    QCOMPARE(fat.dataStart(), 44);
    QStringList names;
    QVERIFY(fat.fileNames(names));
    QCOMPARE(names, QStringList({"project", "icons/a.png"}));
    QCOMPARE(fat.entries().at(1), FatEntry::atPosition("icons/a.png", 5, 3));
    QCOMPARE(fat.fileData("project"), QByteArray("<x/>\n"));
    QCOMPARE(fat.fileData("icons/a.png"), QByteArray("PNG"));
    QCOMPARE(fat.fileData("Project"), QByteArray());
    QVERIFY(fat.headerProperties().isEmpty());
}

void TestQLXFat::extractFile_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("content");

    const QByteArray sixLine("SOH\nSOFAT\nproject|5\nicons/a.png|3\nEOFAT\nEOH\n<x/>\nPNG");
    const QByteArray big = patternBytes(5000, 1);
    QTest::newRow("first entry") << sixLine << "project" << true << QByteArray("<x/>\n");
    QTest::newRow("last entry") << sixLine << "icons/a.png" << true << QByteArray("PNG");
    QTest::newRow("case-sensitive") << sixLine << "PROJECT" << false << QByteArray();
    QTest::newRow("several blocks") << packageBytes({}, {{"a", "x"}, {"big", big}, {"c", "z"}}) << "big" << true
                                    << big;
    QTest::newRow("duplicate writes only the first") << QByteArray("SOH\nSOFAT\na|2\na|3\nEOFAT\nEOH\nxyabc")
                                                     << "a" << true << QByteArray("xy");
    QTest::newRow("empty entry") << QByteArray("SOH\nSOFAT\na|0\nb|1\nEOFAT\nEOH\nq") << "a" << true
                                 << QByteArray("");
    QTest::newRow("size past the end") << packageBytes({}, {{"a", big}}).left(3000) << "a" << false
                                       << QByteArray();
    QTest::newRow("offset past the end") << QByteArray("SOH\nSOFAT\na|5\nb|1\nEOFAT\nEOH\nxy") << "b" << false
                                         << QByteArray();
    QTest::newRow("negative size") << QByteArray("SOH\nSOFAT\na|-1\nEOFAT\nEOH\nxy") << "a" << false
                                   << QByteArray();
    QTest::newRow("unreadable passed over") << QByteArray("SOH\nSOFAT\na|-1\na|2\nEOFAT\nEOH\nxy") << "a"
                                            << true << QByteArray("xy");
    QTest::newRow("beyond 32 bits") << QByteArray("SOH\nSOFAT\nh|4294967296\na|1\nEOFAT\nEOH\nxy") << "a"
                                    << false << QByteArray();
}

void TestQLXFat::extractFile()
{
    QFETCH(QByteArray, package);
    QFETCH(QString, name);
    QFETCH(bool, ok);
    QFETCH(QByteArray, content);

    QLXFat fat;
    QVERIFY(fat.open(writePackage(package), false));
    const QString destination = m_dir->filePath(QStringLiteral("out.bin"));
    QCOMPARE(fat.extractFile(name, destination), ok);
    QCOMPARE(QFile::exists(destination), ok);
    if (ok)
        QCOMPARE(readFile(destination), content);
}

void TestQLXFat::extractFileOverwritesAndFailsOnBadDestination()
{
    QLXFat fat;
    QVERIFY(fat.open(fixture("six-line.qlxd"), false));

    const QString existing = m_dir->filePath(QStringLiteral("existing"));
    QVERIFY(writeFile(existing, "a much longer old content"));
    QVERIFY(fat.extractFile("icons/a.png", existing));
    QCOMPARE(readFile(existing), QByteArray("PNG"));

    const QString missingFolder = m_dir->filePath(QStringLiteral("no/such/folder/a.png"));
    QVERIFY(!fat.extractFile("icons/a.png", missingFolder));
    QVERIFY(!QFile::exists(missingFolder));
    QVERIFY(!fat.extractFile("icons/a.png", m_dir->path()));
}

void TestQLXFat::openAgainStartsOver()
{
    QLXFat fat;
    QVERIFY(fat.open(fixture("header.qlxd"), false));
    QCOMPARE(fat.headerValue("Author"), QString("Ann"));
    QVERIFY(fat.open(fixture("six-line.qlxd"), false));
    QCOMPARE(describe(fat.entries()), QString("project@0+5;icons/a.png@5+3"));
    QVERIFY(fat.headerProperties().isEmpty());
    QVERIFY(!fat.open(m_dir->filePath("missing.qlxd"), false));
    QVERIFY(fat.entries().isEmpty());
    QCOMPARE(fat.fileData("project"), QByteArray());
    QVERIFY(!fat.extractFile("project", m_dir->filePath("out")));
}

void TestQLXFat::write_data()
{
    // Entries: "t<TAB>name<TAB>text" in memory, "f<TAB>name<TAB>size" a file of
    // pattern bytes of that size.
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("six-line example") << QStringList() << QStringList({"t\tproject\t<x/>\n", "f\ticons/a.png\tPNG"})
                                      << readFile(fixture("six-line.qlxd"));
    QTest::newRow("header properties in key order")
        << QStringList({"Z=", "a=lower", "Version=3", "Author=Ann"}) << QStringList({"t\tproject\tabcd"})
        << readFile(fixture("header.qlxd"));
    QTest::newRow("no entries") << QStringList({"k=v"}) << QStringList()
                                << readFile(fixture("no-entries.qlxd"));
    QTest::newRow("nothing at all") << QStringList() << QStringList() << QByteArray("SOH\nSOFAT\nEOFAT\nEOH\n");
    QTest::newRow("header value replaced") << QStringList({"k=1", "k=2"}) << QStringList({"t\ta\tx"})
                                           << packageBytes({"k:2"}, {{"a", "x"}});

    QList<QPair<QString, QByteArray>> blocks;
    QStringList blockEntries;
    const int sizes[] = {0, 1, 1023, 1024, 1025, 2048, 5000};
    for (int size : sizes) {
        const QString name = QStringLiteral("f%1.bin").arg(size);
        blocks.append({name, patternBytes(size, size)});
        blockEntries << QStringLiteral("f\t%1\t#%2").arg(name).arg(size);
    }
    QTest::newRow("files around block sizes") << QStringList() << blockEntries << packageBytes({}, blocks);
    QTest::newRow("mixed, duplicate names kept")
        << QStringList() << QStringList({"t\ta\tone", "f\ta\t#1500", "t\tb\t"})
        << packageBytes({}, {{"a", "one"}, {"a", patternBytes(1500, 1500)}, {"b", ""}});
    QTest::newRow("text stored as Latin-1") << QStringList({QString::fromUtf8("T=Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac")})
                                            << QStringList({QString::fromUtf8("t\tt\tGr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac")})
                                            << QByteArray("SOH\nT:Gr\xfc\xdf" "e ?\nSOFAT\nt|7\nEOFAT\nEOH\nGr\xfc\xdf" "e ?");
    QTest::newRow("name outside Latin-1") << QStringList() << QStringList({QString::fromUtf8("t\t\xe2\x82\xac.txt\tx")})
                                          << QByteArray("SOH\nSOFAT\n?.txt|1\nEOFAT\nEOH\nx");
}

void TestQLXFat::write()
{
    QFETCH(QStringList, header);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, expected);
    QVERIFY(!expected.isEmpty());

    const QString path = m_dir->filePath("written.qlxd");
    QLXFat fat;
    QVERIFY(fat.open(path, true));
    for (const QString &property : header) {
        const int equals = property.indexOf('=');
        QVERIFY(fat.setHeaderValue(property.left(equals), property.mid(equals + 1)));
    }
    QList<QPair<QString, QByteArray>> contents;
    for (const QString &entry : entries) {
        const QStringList fields = entry.split('\t');
        if (fields.at(0) == "t") {
            QVERIFY(fat.addData(fields.at(2), fields.at(1)));
            contents.append({fields.at(1), fields.at(2).toLatin1()});
        } else {
            QByteArray bytes = fields.at(2).toLatin1();
            if (bytes.startsWith('#'))
                bytes = patternBytes(bytes.mid(1).toInt(), bytes.mid(1).toInt());
            const QString source = m_dir->filePath(QStringLiteral("source%1").arg(contents.size()));
            QVERIFY(writeFile(source, bytes));
            QVERIFY(fat.addFile(source, fields.at(1)));
            contents.append({fields.at(1), bytes});
        }
    }
    QCOMPARE(fat.progress(), 0);
    QVERIFY(fat.save());
    QVERIFY(waitForWriter(fat));
    QCOMPARE(fat.progress(), 100);
    QCOMPARE(fat.writer()->error(), 0);
    QCOMPARE(readFile(path), expected);

    // Read back: every entry's bytes come out again (the first of equal names
    // for extraction, all joined for fileData).
    QLXFat reader;
    QCOMPARE(reader.open(path, false), !expected.endsWith("EOH\n"));
    for (const auto &entry : contents) {
        if (QString::fromUtf8(entry.first.toLatin1()) != entry.first)
            continue; // not found again under its own name; see nameOutsideAsciiIsNotFoundAgain
        QByteArray joined;
        for (const auto &other : contents) {
            if (other.first == entry.first)
                joined += other.second;
        }
        QCOMPARE(reader.fileData(entry.first), joined);
    }
}

void TestQLXFat::headerValueAddsAbsentKey()
{
    const QString path = m_dir->filePath("w.qlxd");
    QLXFat fat;
    QVERIFY(fat.open(path, true));
    QVERIFY(fat.setHeaderValue("b", "2"));
    QCOMPARE(fat.headerValue("b"), QString("2"));
    QCOMPARE(fat.headerValue("a"), QString());
    QCOMPARE(fat.headerProperties().keys(), QStringList({"a", "b"}));
    QVERIFY(fat.addData("x", "e"));
    QVERIFY(fat.save());
    QVERIFY(waitForWriter(fat));
    QCOMPARE(readFile(path), QByteArray("SOH\na:\nb:2\nSOFAT\ne|1\nEOFAT\nEOH\nx"));

}

void TestQLXFat::nameOutsideAsciiIsNotFoundAgain()
{
    const QString path = m_dir->filePath("w.qlxd");
    const QString name = QString::fromUtf8("K\xc3\xbc" "che.png");
    QLXFat fat;
    QVERIFY(fat.open(path, true));
    QVERIFY(fat.addData("abc", name));
    QVERIFY(fat.save());
    QVERIFY(waitForWriter(fat));
    QVERIFY(readFile(path).contains("K\xfc" "che.png|3\n"));

    QLXFat reader;
    QVERIFY(reader.open(path, false));
    QStringList names;
    reader.fileNames(names);
    QCOMPARE(names.size(), 1);
    QVERIFY(names.at(0) != name);
    QCOMPARE(reader.fileData(name), QByteArray());
    QCOMPARE(reader.fileData(names.at(0)), QByteArray("abc"));
}

void TestQLXFat::operationsOutsideTheirMode()
{
    QLXFat fresh;
    QVERIFY(!fresh.addFile("x", "x"));
    QVERIFY(!fresh.addData("x", "x"));
    QVERIFY(fresh.setHeaderValue("k", "v"));
    QVERIFY(fresh.entries().isEmpty());
    QVERIFY(fresh.headerProperties().isEmpty());

    QLXFat reader;
    QVERIFY(reader.open(fixture("header.qlxd"), false));
    QVERIFY(!reader.addData("x", "x"));
    QVERIFY(reader.setHeaderValue("Author", "Bob"));
    QCOMPARE(reader.headerValue("Author"), QString("Ann"));
    QCOMPARE(reader.entries().size(), 1);

    // Writing: nothing is read back before the package is complete.
    QLXFat fat;
    QVERIFY(fat.open(m_dir->filePath("w.qlxd"), true));
    QVERIFY(fat.addData("abc", "a"));
    QCOMPARE(fat.fileData("a"), QByteArray());
    QVERIFY(!fat.extractFile("a", m_dir->filePath("out")));
    QVERIFY(!QFile::exists(m_dir->filePath("out")));
}

void TestQLXFat::progressFollowsPhases()
{
    // Two properties, a text and a file of three blocks: every value the writer
    // shows must come from this sequence, in this order.
    const QList<int> sequence{0, 15, 30, 45, 60, 80, 100};
    const QString source = m_dir->filePath("source");
    QVERIFY(writeFile(source, patternBytes(2500, 7)));

    QLXFat fat;
    fat.setStepPause(25);
    QVERIFY(fat.open(m_dir->filePath("w.qlxd"), true));
    fat.setHeaderValue("a", "1");
    fat.setHeaderValue("b", "2");
    QVERIFY(fat.addData("text", "t"));
    QVERIFY(fat.addFile(source, "f"));
    QVERIFY(fat.save());
    QList<int> seen;
    while (!fat.writer()->wait(1)) {
        const int value = fat.progress();
        if (seen.isEmpty() || seen.last() != value)
            seen.append(value);
    }
    seen.append(fat.progress());
    QCOMPARE(seen.last(), 100);
    int position = 0;
    for (int value : seen) {
        while (position < sequence.size() && sequence.at(position) != value)
            ++position;
        QVERIFY2(position < sequence.size(), qPrintable(QStringLiteral("unexpected progress %1 in %2")
                                                            .arg(value).arg(QVariant::fromValue(seen).toString())));
    }
    QVERIFY2(seen.size() >= 3, "the writer steps were not observed");
}

void TestQLXFat::missingSourceCutsPackage()
{
    const QString path = m_dir->filePath("w.qlxd");
    QLXFat fat;
    fat.setStepPause(0);
    QVERIFY(fat.open(path, true));
    QVERIFY(fat.addData("abc", "a"));
    QVERIFY(fat.addFile(m_dir->filePath("missing.png"), "b"));
    QVERIFY(fat.addData("xyz", "c"));
    QVERIFY(fat.save());
    QVERIFY(waitForWriter(fat));
    QCOMPARE(fat.progress(), 255);
    QCOMPARE(fat.writer()->error(), 0);
    QCOMPARE(readFile(path), QByteArray("SOH\nSOFAT\na|3\nb|0\nc|3\nEOFAT\nEOH\nabc"));
}

void TestQLXFat::unwritablePackageFileLeavesItUntouched()
{
    // Open for writing failed: the writer ends at once with error 1.
    QLXFat fat;
    const QString nowhere = m_dir->filePath("no/such/dir/w.qlxd");
    QVERIFY(!fat.open(nowhere, true));
    QVERIFY(fat.addData("abc", "a"));
    QVERIFY(fat.save());
    QVERIFY(waitForWriter(fat));
    QCOMPARE(fat.writer()->error(), 1);
    QCOMPARE(fat.progress(), 255);
    QVERIFY(!QFile::exists(nowhere));

    // Opened for reading: the writer must not report success over a read-only file.
    const QString golden = fixture("six-line.qlxd");
    const QString copy = m_dir->filePath("copy.qlxd");
    QVERIFY(QFile::copy(golden, copy));
    QLXFat reader;
    QVERIFY(reader.open(copy, false));
    QVERIFY(reader.save());
    QVERIFY(waitForWriter(reader));
    QCOMPARE(reader.writer()->error(), 1);
    QCOMPARE(readFile(copy), readFile(golden));

    // A second save after a finished writer finds the package file closed.
    const QString path = m_dir->filePath("w.qlxd");
    QLXFat writer;
    writer.setStepPause(0);
    QVERIFY(writer.open(path, true));
    QVERIFY(writer.addData("abc", "a"));
    QVERIFY(writer.save());
    QVERIFY(waitForWriter(writer));
    const QByteArray written = readFile(path);
    QVERIFY(writer.save());
    QVERIFY(waitForWriter(writer));
    QCOMPARE(writer.writer()->error(), 1);
    QCOMPARE(readFile(path), written);
}

void TestQLXFat::sourceChangingWhileWriting_data()
{
    QTest::addColumn<int>("newSize");
    QTest::addColumn<int>("progress");

    // The table states 3000 bytes: a shrunk source fails the write, a grown one
    // contributes exactly the 3000 bytes the table promised.
    QTest::newRow("shrunk") << 10 << 255;
    QTest::newRow("grown") << 5000 << 100;
}

void TestQLXFat::sourceChangingWhileWriting()
{
    QFETCH(int, newSize);
    QFETCH(int, progress);

    const QString source = m_dir->filePath("source");
    const QByteArray original = patternBytes(3000, 3);
    QVERIFY(writeFile(source, original));
    const QString path = m_dir->filePath("w.qlxd");
    QLXFat fat;
    fat.setStepPause(400);
    QVERIFY(fat.open(path, true));
    QVERIFY(fat.addFile(source, "f"));
    QVERIFY(fat.save());
    // Progress 60: the table line is written; the data phase opens the source
    // only after the next pause.
    while (fat.progress() < 60 && !fat.writer()->wait(1)) {
    }
    QVERIFY(fat.isWriting());
    const QByteArray changed = newSize <= original.size() ? original.left(newSize)
                                                          : original + patternBytes(newSize - original.size(), 4);
    QVERIFY(writeFile(source, changed));
    QVERIFY(waitForWriter(fat));
    QCOMPARE(fat.progress(), progress);
    if (progress == 100) {
        QCOMPARE(readFile(path), packageBytes({}, {{"f", original}}));
    } else {
        QVERIFY(readFile(path).startsWith(packageBytes({}, {{"f", original}}).left(30)));
    }
}

void TestQLXFat::stoppingRunningWriter_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("close") << false;
    QTest::newRow("destroy") << true;
}

void TestQLXFat::stoppingRunningWriter()
{
    QFETCH(bool, destroy);
    const QString path = m_dir->filePath("w.qlxd");
    QScopedPointer<QLXFat> fat(new QLXFat);
    QVERIFY(fat->open(path, true));
    for (int i = 0; i < 500; ++i)
        QVERIFY(fat->addData("data", QStringLiteral("entry%1").arg(i)));
    QVERIFY(fat->save()); // 1000+ steps of 10 ms: runs long after the stop
    QPointer<QLXFatThread> writer = fat->writer();
    QVERIFY(!fat->addData("late", "late"));
    QVERIFY(!fat->setHeaderValue("late", "late"));
    QVERIFY(fat->headerProperties().isEmpty());
    while (fat->progress() < 31 && !writer->wait(1)) {
    }
    QVERIFY(fat->isWriting());

    if (destroy) {
        fat.reset();
        QVERIFY(writer.isNull());
    } else {
        fat->close();
        QVERIFY(!fat->isWriting());
        QVERIFY(writer->isFinished());
        QVERIFY(writer->isStopRequested());
        QVERIFY(fat->progress() < 100);
    }
    const QByteArray written = readFile(path);
    QVERIFY(written.startsWith("SOH\nSOFAT\n"));
    QVERIFY(!written.contains("EOH"));
}

void TestQLXFat::secondSaveWhileWritingIsRefused()
{
    const QString path = m_dir->filePath("w.qlxd");
    QList<QPair<QString, QByteArray>> entries;
    QLXFat fat;
    fat.setStepPause(2);
    QVERIFY(fat.open(path, true));
    for (int i = 0; i < 30; ++i) {
        entries.append({QStringLiteral("e%1").arg(i), QByteArray::number(i * 7)});
        QVERIFY(fat.addData(entries.last().second, entries.last().first));
    }
    QVERIFY(fat.save());
    QLXFatThread *first = fat.writer();
    QVERIFY(!fat.save());
    QCOMPARE(fat.writer(), first);
    QVERIFY(waitForWriter(fat));
    QCOMPARE(fat.progress(), 100);
    QCOMPARE(readFile(path), packageBytes({}, entries));
}

void TestQLXFat::isSafeEntryPath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");

    QTest::newRow("plain") << "project" << true;
    QTest::newRow("nested") << "icons/a.png" << true;
    QTest::newRow("dots inside a name") << "icons/..a..png" << true;
    QTest::newRow("three dots") << "icons/..." << true;
    QTest::newRow("umlaut") << QString::fromUtf8("icons/K\xc3\xbc" "che.png") << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("parent") << ".." << false;
    QTest::newRow("parent inside") << "icons/../../etc/passwd" << false;
    QTest::newRow("parent at the end") << "icons/.." << false;
    QTest::newRow("dot component") << "icons/./a.png" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("empty component") << "icons//a.png" << false;
    QTest::newRow("trailing slash") << "icons/" << false;
    QTest::newRow("backslash") << "icons\\..\\a.png" << false;
    QTest::newRow("drive letter") << "C:/Windows/a.png" << false;
    QTest::newRow("drive-relative") << "C:a.png" << false;
    QTest::newRow("NUL") << QString("a") + QChar(0) + "b" << false;
    QTest::newRow("carriage return") << "a\r" << false;
    QTest::newRow("delete") << QString("a") + QChar(0x7f) << false;
}

void TestQLXFat::isSafeEntryPath()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(QLXFat::isSafeEntryPath(name), safe);
}

void TestQLXFat::storedInputsReadSafely_data()
{
    // The fixtures and seeds of every fuzz target, and the inputs kept from
    // fuzzing (any crash it ever finds belongs in fuzzed/ as well).
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("file");
    for (const QString target : {"qlxfat", "projectreader", "transferreceiver", "msgline"}) {
        for (const QString &folder : {QString(), QStringLiteral("fuzzed")}) {
            const QDir dir(QStringLiteral(QALIX_TEST_DATA "/") + target + QLatin1Char('/') + folder);
            const QString prefix = folder.isEmpty() ? target : target + QLatin1Char('/') + folder;
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
                QTest::newRow(qPrintable(prefix + QLatin1Char('/') + name)) << target << dir.filePath(name);
        }
    }
}

void TestQLXFat::storedInputsReadSafely()
{
    QFETCH(QString, target);
    QFETCH(QString, file);

    // The target's own checks abort on a fault.
    const QByteArray input = readFile(file);
    const auto bytes = reinterpret_cast<const uint8_t *>(input.constData());
    const size_t size = size_t(input.size());
    if (target == QLatin1String("projectreader"))
        QCOMPARE(fuzz_projectreader(bytes, size), 0);
    else if (target == QLatin1String("transferreceiver"))
        QCOMPARE(fuzz_transferreceiver(bytes, size), 0);
    else if (target == QLatin1String("msgline"))
        QCOMPARE(fuzz_msgline(bytes, size), 0);
    if (target != QLatin1String("qlxfat"))
        return;
    QCOMPARE(fuzz_qlxfat(bytes, size), 0);

    const qint64 fileSize = QFileInfo(file).size();
    QLXFat fat;
    const bool opened = fat.open(file, false);
    // A package that does not open says why.
    QCOMPARE(fat.errorString().isEmpty(), opened);
    QStringList names;
    fat.fileNames(names);
    const qint64 dataSize = fileSize - fat.dataStart();
    const QString destination = m_dir->filePath("out");
    for (const QString &name : qAsConst(names)) {
        const QByteArray bytes = fat.fileData(name);
        QVERIFY(opened || bytes.isEmpty());
        QVERIFY(bytes.size() <= dataSize * names.count(name));
        const bool extracted = fat.extractFile(name, destination);
        QVERIFY(opened || !extracted);
        QCOMPARE(QFile::exists(destination), extracted);
        if (extracted) {
            QVERIFY(QFileInfo(destination).size() <= dataSize);
            // fileData gives all or nothing; a later duplicate past the end empties it.
            QVERIFY(bytes.isEmpty() || bytes.startsWith(readFile(destination)));
        }
        QFile::remove(destination);
    }
}

QTEST_GUILESS_MAIN(TestQLXFat)
#include "tst_qlxfat.moc"
