#include "core/download/transferreceiver.h"

#include "core/download/discoveredhosts.h"
#include "core/download/transferprotocol.h"
#include "tests/support/testsupport.h"

#include <QtTest>

#include <memory>

namespace {

const QHostAddress designer(QStringLiteral("192.168.0.10"));
const QHostAddress stranger(QStringLiteral("192.168.0.66"));
const quint16 designerPort = 64402;

// Stands for the check that a package loads: only a file saying "bad" fails.
QString badIsBroken(const QString &path)
{
    return readFile(path) == "bad" ? QStringLiteral("it says bad") : QString();
}

} // namespace

// The download's receiving side: the header and the datagrams of a transfer,
// from the designer asked, from other programs on its computer and from
// strangers, on a clock the test turns; and the designer computers heard.
class TestTransferReceiver : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void headers();
    void script_data();
    void script();
    void sizeBounds_data();
    void sizeBounds();
    void packageCheck_data();
    void packageCheck();
    void linkedPackageStaysALink();
    void unwritableDirectoryFails();
    void discovery_data();
    void discovery();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString projects;
};

void TestTransferReceiver::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    projects = dir->path() + QStringLiteral("/projects/");
    QVERIFY(QDir().mkpath(projects));
}

void TestTransferReceiver::headers()
{
    // Taken as name and size; what the designer side writes reads back the same.
    const QList<QPair<QByteArray, TransferProtocol::Header>> taken{{"Demo=6", {"Demo", 6}},
                                                                   {"v1.2.final=5", {"v1.2.final", 5}},
                                                                   {QByteArray("Demo=6\0=9", 9), {"Demo", 6}},
                                                                   {"Demo=2147483647", {"Demo", 2147483647}}};
    for (const auto &[datagram, expected] : taken) {
        for (const QByteArray &text : {datagram, TransferProtocol::header(expected.name, expected.size)}) {
            TransferProtocol::Header header;
            QString error;
            QVERIFY2(TransferProtocol::parseHeader(text, &header, &error) && error.isEmpty(), text.constData());
            QCOMPARE(header.name, expected.name);
            QCOMPARE(header.size, expected.size);
        }
    }
    // Names that leave the projects directory or are no plain file names; sizes
    // that are no positive int.
    // clang-format off
    const QByteArray refused[] = {
        "Demo", "=6", "", "../evil=6", "icons/project/x=6", "..\\..\\evil=6", "..=6", "a..b=6", ".=6",
        "C:evil=6", "C:\\evil=6", "/tmp/evil=6", "De\nmo=6", "De\tmo=6", "De\x7fmo=6", "De\xc2\x85mo=6",
        "Demo=0", "Demo=-6", "Demo=", "Demo=six", "Demo=0x10", "Demo=6k", "Demo=2147483648",
        "Demo=99999999999999999999999"};
    // clang-format on
    for (const QByteArray &datagram : refused) {
        TransferProtocol::Header header;
        QString error;
        QVERIFY2(!TransferProtocol::parseHeader(datagram, &header, &error) && !error.isEmpty(), datagram.constData());
    }
}

void TestTransferReceiver::script_data()
{
    // Steps: "B"/"b" begin a transfer with the designer/stranger; "+<ms> <result>"
    // advances the clock and checks for a stall; otherwise
    // "<from> <text> <result>[<acknowledgement>]" with from d(esigner),
    // o (another port of the designer's computer), s(tranger) or m (the
    // designer as a v4-mapped address); text with '=' is a header, any other
    // is a piece sent in base64; results A(cknowledge), C(ompleted),
    // I(gnored), F(ailed). A package saying "bad" would not load.
    QTest::addColumn<QByteArray>("before"); // Demo.qlxd before the transfer
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("after"); // every file, as name:content

    QTest::newRow("strangers' datagrams dropped")
        << QByteArray() << QStringList{"B", "s Evil=4 I", "d Demo=4 A0", "s EVIL I", "m ab A2", "d cd C"}
        << QStringList{"Demo.qlxd:abcd"};
    // A program beside the designer sent one 8-byte piece, and the stored
    // package no longer loaded.
    QTest::newRow("after the header only its port is heard")
        << QByteArray("good package")
        << QStringList{"B", "o Demo=4 A0", "d ABCDEF I", "o ab A2", "d Demo=4 I", "+9999 I", "d xy I", "+1 F"}
        << QStringList{"Demo.qlxd:good package"};
    QTest::newRow("identical pieces all stored, a repeated header is acknowledged again")
        << QByteArray() << QStringList{"B", "d Demo=9 A0", "d Demo=9 A0", "d abc A3", "d abc A6", "d abc C"}
        << QStringList{"Demo.qlxd:abcabcabc"};
    QTest::newRow("ten silent seconds fail, strangers do not count, a new transfer works")
        << QByteArray("good package")
        << QStringList{"+20000 I", "B",      "+9999 I", "d Demo=6 A0", "+9999 I", "d abcd A4",   "s xy I",
                       "+9999 I",  "s zz I", "+1 F",    "d ef I",      "B",       "d Demo=2 A0", "d ok C"}
        << QStringList{"Demo.qlxd:ok"};
    // Deadline for 9 bytes: 60 s and 9 / 8192 s.
    QTest::newRow("a drip inside the stall limit meets the deadline")
        << QByteArray("good package") << QStringList{"B",       "d Demo=9 A0", "+9000 I", "d a A1", "+9000 I", "d b A2",
                                                     "+9000 I", "d c A3",      "+9000 I", "d d A4", "+9000 I", "d e A5",
                                                     "+9000 I", "d f A6",      "+6000 I", "+1 F",   "d g I"}
        << QStringList{"Demo.qlxd:good package"};
    QTest::newRow("no answer to the request")
        << QByteArray("good package") << QStringList{"B", "+10000 F", "d Demo=2 I"}
        << QStringList{"Demo.qlxd:good package"};
    QTest::newRow("data past the size fails")
        << QByteArray() << QStringList{"B", "d Demo=4 A", "d ab A2", "d cde F", "d d I"} << QStringList{};
    QTest::newRow("a package that would not load keeps the good one")
        << QByteArray("good package") << QStringList{"B", "d Demo=3 A", "d bad F", "d x I"}
        << QStringList{"Demo.qlxd:good package"};
    QTest::newRow("new request drops the transfer under way")
        << QByteArray() << QStringList{"B", "d Demo=6 A", "d abcd A", "b", "d ef I", "s Other=2 A", "s xy C"}
        << QStringList{"Other.qlxd:xy"};
}

void TestTransferReceiver::script()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, after);

    if (!before.isNull())
        QVERIFY(writeFile(projects + "Demo.qlxd", before));
    qint64 now = 5000;
    TransferReceiver receiver(projects, [&now] { return now; });
    receiver.setPackageCheck(badIsBroken);
    const QHash<QChar, QPair<QHostAddress, quint16>> from{{'d', {designer, designerPort}},
                                                          {'o', {designer, 40000}},
                                                          {'s', {stranger, designerPort}},
                                                          {'m', {QHostAddress("::ffff:192.168.0.10"), designerPort}}};
    const QHash<QChar, TransferReceiver::Outcome> results{{'A', TransferReceiver::Acknowledge},
                                                          {'C', TransferReceiver::Completed},
                                                          {'I', TransferReceiver::Ignored},
                                                          {'F', TransferReceiver::Failed}};
    for (const QString &step : steps) {
        if (step.size() == 1) {
            receiver.begin(step == "B" ? designer : stranger);
            continue;
        }
        const QStringList parts = step.split(' ');
        const QByteArray text = parts.at(1).toUtf8();
        TransferReceiver::Outcome result;
        if (step.startsWith('+')) {
            now += parts.at(0).toLongLong();
            result = receiver.checkStall();
        } else {
            const auto sender = from.value(parts.at(0).at(0));
            result = receiver.receive(text.contains('=') ? text : text.toBase64(), sender.first, sender.second);
        }
        const QString expected = parts.last();
        QVERIFY2(result == results.value(expected.at(0)), qPrintable(step));
        if (expected.size() > 1)
            QCOMPARE(receiver.acknowledgement(), expected.mid(1).toUtf8());
        if (result == TransferReceiver::Failed)
            QVERIFY(!receiver.message().isEmpty());
        // The package under its name is either the old one or the whole new one.
        if (result != TransferReceiver::Completed && !before.isNull())
            QCOMPARE(readFile(projects + "Demo.qlxd"), before);
    }
    QStringList files;
    for (const QString &name : QDir(projects).entryList(QDir::Files | QDir::Hidden))
        files << name + ":" + readFile(projects + name);
    QCOMPARE(files, after);
}

void TestTransferReceiver::sizeBounds_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("free");     // in the projects folder; -1 unknown
    QTest::addColumn<QString>("message"); // empty when taken

    const qint64 spare = TransferReceiver::SpareSpace;
    const qint64 most = TransferReceiver::MaxPackageSize;
    QTest::newRow("fits, twice over and the spare") << qint64(1000) << 2000 + spare << QString();
    QTest::newRow("a byte short") << qint64(1000) << 1999 + spare << "Übertragung abgelehnt: zu wenig Speicherplatz";
    QTest::newRow("largest package, free space unknown") << most << qint64(-1) << QString();
    QTest::newRow("2 GiB less one, though it would fit")
        << qint64(2147483647) << (qint64(1) << 50) << "Übertragung abgelehnt: Package zu groß";
}

void TestTransferReceiver::sizeBounds()
{
    QFETCH(qint64, size);
    QFETCH(qint64, free);
    QFETCH(QString, message);

    TransferReceiver receiver(projects);
    QString asked;
    receiver.setFreeSpace([&](const QString &folder) {
        asked = folder;
        return free;
    });
    receiver.begin(designer);
    const TransferReceiver::Outcome outcome =
        receiver.receive(TransferProtocol::header("Demo", size), designer, designerPort);
    if (message.isEmpty()) {
        QCOMPARE(outcome, TransferReceiver::Acknowledge);
        QCOMPARE(asked, projects);
    } else {
        QCOMPARE(outcome, TransferReceiver::Refused);
        QCOMPARE(receiver.message(), message);
        QVERIFY(receiver.isIdle() && !receiver.reason().isEmpty());
        QCOMPARE(treeListing(dir->path()), QStringList{"/projects dir"});
    }
}

void TestTransferReceiver::packageCheck_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QString>("problem"); // the start of the reason; empty when it loads

    const QByteArray document = "<p><pagex>800</pagex><pagey>600</pagey><Pages><page><id>A</id></page></Pages></p>";
    const QByteArray package = packageBytes({{"project", document}, {"icons/a.png", patternBytes(100)}});
    QTest::newRow("loads") << package << QString();
    QTest::newRow("document does not parse") << packageBytes({{"project", document.left(30)}, {"icons/a.png", "P"}})
                                             << "its project document does not parse";
    QTest::newRow("no package") << QByteArray("ABCDEF") << "it does not open as a package";
    QTest::newRow("cut short") << package.chopped(1) << "it is cut short, 1 bytes missing";
}

void TestTransferReceiver::packageCheck()
{
    QFETCH(QByteArray, package);
    QFETCH(QString, problem);

    QVERIFY(writeFile(projects + "Demo.qlxd", package));
    const QString found = TransferReceiver::packageProblem(projects + "Demo.qlxd");
    QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.startsWith(problem), qPrintable(found));
}

void TestTransferReceiver::linkedPackageStaysALink()
{
#ifdef Q_OS_WIN
    QSKIP("Qt makes shortcuts on Windows; a link there is an NTFS link, which needs the right to make");
#endif
    // An administrator keeps the package elsewhere and links it into the projects folder.
    const QString target = dir->path() + QStringLiteral("/elsewhere.qlxd");
    QVERIFY(writeFile(target, "old"));
    QVERIFY(QFile::link(target, projects + "Demo.qlxd"));
    TransferReceiver receiver(projects);
    receiver.setPackageCheck(badIsBroken);
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=3", designer, designerPort), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("new").toBase64(), designer, designerPort), TransferReceiver::Completed);
    QCOMPARE(QFileInfo(projects + "Demo.qlxd").symLinkTarget(), target);
    QCOMPARE(readFile(target), QByteArray("new"));
    QCOMPARE(treeListing(dir->path()), (QStringList{"/elsewhere.qlxd 3", "/projects dir", "/projects/Demo.qlxd link"}));
}

void TestTransferReceiver::unwritableDirectoryFails()
{
    TransferReceiver receiver(dir->path() + QStringLiteral("/missing/"));
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=6", designer, designerPort), TransferReceiver::Failed);
    QCOMPARE(receiver.message(), dir->path() + QStringLiteral("/missing/"));
    QCOMPARE(receiver.receive(QByteArray("abcdef").toBase64(), designer, designerPort), TransferReceiver::Ignored);
}

void TestTransferReceiver::discovery_data()
{
    // Steps: "g<n>" a greeting in n datagrams; "+<ms>" the clock moves on;
    // "<host> <outcome>[,<outcome>...]" answers from 10.0.0.<host>, or from
    // 10.0.0.<a> to .<b> for "<a>-<b>", one per outcome, host by host.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("hosts"); // listed at the end, in order

    QTest::newRow("answers count for 3 s after a greeting that went out, not before the first")
        << QStringList{"1 Unasked", "g0", "1 Unasked", "g1",        "+3000", "2 Added", "1 Added",
                       "2 Known",   "+1", "3 Unasked", "1 Unasked", "g1",    "+2000",   "3 Added"}
        << "2 1 3";
    // clang-format off
    QTest::newRow("two answers a greeting datagram; a sprayer goes for good")
        << QStringList{"g1", "1 Added", "9 Added,Known,Spraying", "1 Known", "g1", "9 Dropped", "1 Known,Known", "g2",
                       "1 Known,Known,Known,Known"} << "1";
    // clang-format on
    QTest::newRow("32 hosts, one line for the first turned away")
        << QStringList{"g1", "1-32 Added", "33 Full", "34-40 Dropped", "5 Known"}
        << "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32";
    QTest::newRow("256 sprayers, then no newcomer; the listed stay")
        << QStringList{"g1", "1 Added", "2-257 Added,Known,Spraying", "258 Full", "259 Dropped", "1 Known"} << "1";
}

void TestTransferReceiver::discovery()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, hosts);

    FakeClock clock;
    DiscoveredHosts heard(std::ref(clock));
    const QStringList outcomes{"Added", "Known", "Unasked", "Dropped", "Full", "Spraying"}; // in enum order
    for (const QString &step : steps) {
        if (step.startsWith('g')) {
            heard.greeted(step.mid(1).toInt());
        } else if (step.startsWith('+')) {
            clock.t += step.mid(1).toLongLong();
        } else {
            const QStringList parts = step.split(' ');
            const QStringList range = parts.at(0).split('-');
            for (int host = range.first().toInt(); host <= range.last().toInt(); ++host) {
                for (const QString &outcome : parts.at(1).split(','))
                    QCOMPARE(outcomes.value(heard.answer(QStringLiteral("10.0.0.%1").arg(host))), outcome);
            }
        }
    }
    QCOMPARE(heard.hosts().join(' ').remove("10.0.0."), hosts);
}

QTEST_GUILESS_MAIN(TestTransferReceiver)
#include "tst_transfer.moc"
