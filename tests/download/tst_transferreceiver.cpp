#include "download/transferreceiver.h"

#include <QtTest>

namespace {

const QHostAddress designer(QStringLiteral("192.168.0.10"));
const QHostAddress stranger(QStringLiteral("192.168.0.66"));

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestTransferReceiver : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pieceByPiece();
    void refusedHeaderWritesNothing_data();
    void refusedHeaderWritesNothing();
    void pieceWithoutTransferIsIgnored();
    void datagramsFromStrangersAreDropped();
    void repeatedDatagramIsStoredOnce();
    void dataPastTheSizeFails();
    void brokenTransferKeepsGoodPackage();
    void completedTransferReplacesPackage();
    void newRequestDropsTransferUnderWay();
    void unwritableDirectoryFails();
    void oversizedDatagramIsCut();

private:
    QStringList entries() const;

    QTemporaryDir *dir = nullptr;
    QString projects;
};

void TestTransferReceiver::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    projects = dir->path() + QStringLiteral("/projects/");
    QVERIFY(QDir().mkpath(projects));
}

void TestTransferReceiver::cleanup()
{
    delete dir;
    dir = nullptr;
}

QStringList TestTransferReceiver::entries() const
{
    return QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
           + QDir(projects).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

void TestTransferReceiver::pieceByPiece()
{
    TransferReceiver receiver(projects);
    QVERIFY(!receiver.isAwaitingHeader());
    receiver.begin(designer);
    QVERIFY(receiver.isAwaitingHeader());

    QCOMPARE(receiver.receive("Demo=6", designer), TransferReceiver::Acknowledge);
    QVERIFY(receiver.isReceiving());
    QCOMPARE(receiver.projectName(), QStringLiteral("Demo"));
    QCOMPARE(receiver.fileName(), projects + "Demo.qlxd");
    QCOMPARE(receiver.acknowledgement(), QByteArray("0"));
    QCOMPARE(receiver.percent(), 0);

    QCOMPARE(receiver.receive(QByteArray("abcd").toBase64(), designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.acknowledgement(), QByteArray("4"));
    QCOMPARE(receiver.percent(), 66);
    // Nothing shows under the package's name before it is complete.
    QVERIFY(!QFile::exists(projects + "Demo.qlxd"));

    QCOMPARE(receiver.receive(QByteArray("ef").toBase64(), designer), TransferReceiver::Completed);
    QCOMPARE(receiver.percent(), 100);
    QVERIFY(!receiver.isReceiving());
    QVERIFY(!receiver.isAwaitingHeader());
    QCOMPARE(readFile(projects + "Demo.qlxd"), QByteArray("abcdef"));
    QCOMPARE(QDir(projects).entryList(QDir::Files), QStringList{"Demo.qlxd"});

    // Finished: further pieces belong to no transfer.
    QCOMPARE(receiver.receive(QByteArray("gh").toBase64(), designer), TransferReceiver::Ignored);
    QCOMPARE(readFile(projects + "Demo.qlxd"), QByteArray("abcdef"));
}

void TestTransferReceiver::refusedHeaderWritesNothing_data()
{
    QTest::addColumn<QByteArray>("header");

    QTest::newRow("parent folder") << QByteArray("../evil=6");
    QTest::newRow("two levels up") << QByteArray("../../evil=6");
    QTest::newRow("windows parent") << QByteArray("..\\evil=6");
    QTest::newRow("absolute") << QByteArray("/tmp/evil=6");
    QTest::newRow("drive") << QByteArray("C:evil=6");
    QTest::newRow("sub folder") << QByteArray("sub/evil=6");
    QTest::newRow("empty name") << QByteArray("=6");
    QTest::newRow("control character") << QByteArray("ev\x01il=6");
    QTest::newRow("no size") << QByteArray("evil");
    QTest::newRow("zero size") << QByteArray("evil=0");
    QTest::newRow("negative size") << QByteArray("evil=-1");
    QTest::newRow("size not a number") << QByteArray("evil=abc");
}

void TestTransferReceiver::refusedHeaderWritesNothing()
{
    QFETCH(QByteArray, header);
    const QStringList before = entries();

    TransferReceiver receiver(projects);
    receiver.begin(designer);
    QCOMPARE(receiver.receive(header, designer), TransferReceiver::Refused);
    QVERIFY(!receiver.message().isEmpty());
    QVERIFY(!receiver.reason().isEmpty());
    QVERIFY(!receiver.isReceiving());
    QVERIFY(!receiver.isAwaitingHeader());
    // The pieces that follow a refused header are not stored anywhere.
    QCOMPARE(receiver.receive(QByteArray("abcdef").toBase64(), designer), TransferReceiver::Ignored);
    QCOMPARE(entries(), before);
}

void TestTransferReceiver::pieceWithoutTransferIsIgnored()
{
    TransferReceiver receiver(projects);
    QCOMPARE(receiver.receive(QByteArray("abcd").toBase64(), designer), TransferReceiver::Ignored);
    QCOMPARE(receiver.receive("Demo=4", designer), TransferReceiver::Ignored);
    QCOMPARE(receiver.percent(), 0);
    QVERIFY(QDir(projects).isEmpty());
}

void TestTransferReceiver::datagramsFromStrangersAreDropped()
{
    TransferReceiver receiver(projects);
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Evil=4", stranger), TransferReceiver::Ignored);
    QVERIFY(receiver.isAwaitingHeader());
    QCOMPARE(receiver.receive("Demo=4", designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("EVIL").toBase64(), stranger), TransferReceiver::Ignored);
    QCOMPARE(receiver.receive(QByteArray("ab").toBase64(), QHostAddress("::ffff:192.168.0.10")),
             TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("cd").toBase64(), designer), TransferReceiver::Completed);
    QCOMPARE(readFile(projects + "Demo.qlxd"), QByteArray("abcd"));
    QVERIFY(!QFile::exists(projects + "Evil.qlxd"));
}

void TestTransferReceiver::repeatedDatagramIsStoredOnce()
{
    TransferReceiver receiver(projects);
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=6", designer), TransferReceiver::Acknowledge);
    // The designer missed the acknowledgement of the header and sends it again.
    QCOMPARE(receiver.receive("Demo=6", designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.acknowledgement(), QByteArray("0"));
    QCOMPARE(receiver.receive(QByteArray("abc").toBase64(), designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("abc").toBase64(), designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.acknowledgement(), QByteArray("3"));
    QCOMPARE(receiver.receive(QByteArray("def").toBase64(), designer), TransferReceiver::Completed);
    QCOMPARE(readFile(projects + "Demo.qlxd"), QByteArray("abcdef"));
}

void TestTransferReceiver::dataPastTheSizeFails()
{
    TransferReceiver receiver(projects);
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=4", designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("ab").toBase64(), designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("cde").toBase64(), designer), TransferReceiver::Failed);
    QVERIFY(!receiver.message().isEmpty());
    QVERIFY(!receiver.isReceiving());
    QVERIFY(QDir(projects).isEmpty());
    QCOMPARE(receiver.receive(QByteArray("d").toBase64(), designer), TransferReceiver::Ignored);
}

void TestTransferReceiver::brokenTransferKeepsGoodPackage()
{
    writeFile(projects + "Demo.qlxd", "good package");
    TransferReceiver receiver(projects);
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=6", designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("abcd").toBase64(), designer), TransferReceiver::Acknowledge);
    QCOMPARE(readFile(projects + "Demo.qlxd"), QByteArray("good package"));

    // The operator gives up and asks again: the half package goes, the good one stays.
    receiver.begin(designer);
    QCOMPARE(readFile(projects + "Demo.qlxd"), QByteArray("good package"));
    QCOMPARE(QDir(projects).entryList(QDir::Files | QDir::Hidden), QStringList{"Demo.qlxd"});

    QCOMPARE(receiver.receive("Demo=2", designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("abcd").toBase64(), designer), TransferReceiver::Failed);
    QCOMPARE(readFile(projects + "Demo.qlxd"), QByteArray("good package"));
    QCOMPARE(QDir(projects).entryList(QDir::Files | QDir::Hidden), QStringList{"Demo.qlxd"});
}

void TestTransferReceiver::completedTransferReplacesPackage()
{
    writeFile(projects + "Demo.qlxd", "old package, longer than the new one");
    TransferReceiver receiver(projects);
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=3", designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("new").toBase64(), designer), TransferReceiver::Completed);
    QCOMPARE(readFile(projects + "Demo.qlxd"), QByteArray("new"));
}

void TestTransferReceiver::newRequestDropsTransferUnderWay()
{
    TransferReceiver receiver(projects);
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=6", designer), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("abcd").toBase64(), designer), TransferReceiver::Acknowledge);
    receiver.begin(stranger);
    QVERIFY(receiver.isAwaitingHeader());
    QCOMPARE(receiver.receive(QByteArray("ef").toBase64(), designer), TransferReceiver::Ignored);
    QCOMPARE(receiver.receive("Other=2", stranger), TransferReceiver::Acknowledge);
    QCOMPARE(receiver.receive(QByteArray("xy").toBase64(), stranger), TransferReceiver::Completed);
    QCOMPARE(QDir(projects).entryList(QDir::Files | QDir::Hidden), QStringList{"Other.qlxd"});
}

void TestTransferReceiver::unwritableDirectoryFails()
{
    TransferReceiver receiver(dir->path() + QStringLiteral("/missing/"));
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=6", designer), TransferReceiver::Failed);
    QCOMPARE(receiver.message(), dir->path() + QStringLiteral("/missing/"));
    QCOMPARE(receiver.receive(QByteArray("abcdef").toBase64(), designer), TransferReceiver::Ignored);
}

void TestTransferReceiver::oversizedDatagramIsCut()
{
    // 3072 bytes fill one 4096-byte datagram; whatever follows is not taken.
    const QByteArray package(3072, 'p');
    TransferReceiver receiver(projects);
    receiver.begin(designer);
    QCOMPARE(receiver.receive("Demo=3072", designer), TransferReceiver::Acknowledge);
    const QByteArray datagram = package.toBase64() + QByteArray("AAAA").repeated(100);
    QCOMPARE(receiver.receive(datagram, designer), TransferReceiver::Completed);
    QCOMPARE(readFile(projects + "Demo.qlxd"), package);
}

QTEST_GUILESS_MAIN(TestTransferReceiver)
#include "tst_transferreceiver.moc"
