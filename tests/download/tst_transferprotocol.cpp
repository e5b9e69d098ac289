#include "download/transferprotocol.h"

#include <QtTest>

using namespace TransferProtocol;

class TestTransferProtocol : public QObject
{
    Q_OBJECT

private slots:
    void header_data();
    void header();
    void refusedHeaders();
    void datagramTextStopsAtNul();
    void discoveryAnswer_data();
    void discoveryAnswer();
    void dottedQuad_data();
    void dottedQuad();
    void acknowledgement_data();
    void acknowledgement();
    void pieceFitsIntoDatagram();
};

void TestTransferProtocol::header_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");

    QTest::newRow("plain") << QByteArray("Demo=6") << "Demo" << qint64(6);
    QTest::newRow("umlaut and spaces") << QByteArray("Büro 2. OG=1200") << "Büro 2. OG" << qint64(1200);
    QTest::newRow("dots inside a name") << QByteArray("v1.2.final=5") << "v1.2.final" << qint64(5);
    QTest::newRow("extra fields ignored") << QByteArray("Demo=6=x") << "Demo" << qint64(6);
    QTest::newRow("text ends at NUL") << QByteArray("Demo=6\0=9", 9) << "Demo" << qint64(6);
    QTest::newRow("largest size") << QByteArray("Demo=2147483647") << "Demo" << qint64(2147483647);
}

void TestTransferProtocol::header()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, name);
    QFETCH(qint64, size);

    Header header;
    QString error;
    QVERIFY(parseHeader(datagram, &header, &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(header.name, name);
    QCOMPARE(header.size, size);
    // What the designer side writes reads back the same.
    QVERIFY(parseHeader(TransferProtocol::header(name, size), &header, &error));
    QCOMPARE(header.name, name);
    QCOMPARE(header.size, size);
}

void TestTransferProtocol::refusedHeaders()
{
    // Names that leave the projects directory or are no plain file names; sizes
    // that are no positive int.
    const QByteArray refused[] = {"Demo", "=6", "", "../evil=6", "icons/project/x=6", "..\\..\\evil=6", "..=6",
                                  "a..b=6", ".=6", "C:evil=6", "C:\\evil=6", "/tmp/evil=6", "De\nmo=6", "De\tmo=6",
                                  "De\x7fmo=6", "De\xc2\x85mo=6", "Demo=0", "Demo=-6", "Demo=", "Demo=six",
                                  "Demo=0x10", "Demo=6k", "Demo=2147483648", "Demo=99999999999999999999999"};
    for (const QByteArray &datagram : refused) {
        Header header;
        QString error;
        QVERIFY2(!parseHeader(datagram, &header, &error), datagram.constData());
        QVERIFY2(!error.isEmpty(), datagram.constData());
    }
}

void TestTransferProtocol::datagramTextStopsAtNul()
{
    QCOMPARE(datagramText(QByteArray("WAVE\0junk", 9)), QStringLiteral("WAVE"));
    QCOMPARE(datagramText(QByteArray("\0WAVE", 5)), QString());
    QCOMPARE(datagramText("Ölfeld"), QStringLiteral("Ölfeld"));
}

void TestTransferProtocol::discoveryAnswer_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("isAnswer");

    QTest::newRow("exact") << QByteArray("WAVE") << true;
    QTest::newRow("zero padded") << QByteArray("WAVE\0\0\0", 7) << true;
    QTest::newRow("lower case") << QByteArray("wave") << false;
    QTest::newRow("further text") << QByteArray("WAVES") << false;
    QTest::newRow("leading space") << QByteArray(" WAVE") << false;
    QTest::newRow("request") << QByteArray("HELLO") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestTransferProtocol::discoveryAnswer()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, isAnswer);
    QCOMPARE(isDiscoveryAnswer(datagram), isAnswer);
}

void TestTransferProtocol::dottedQuad_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("text");

    QTest::newRow("private") << "192.168.0.10" << "192.168.0.10";
    QTest::newRow("high bytes") << "255.254.253.1" << "255.254.253.1";
    QTest::newRow("v4 mapped") << "::ffff:10.0.0.7" << "10.0.0.7";
    QTest::newRow("ipv6") << "fe80::1" << "";
    QTest::newRow("null") << "" << "";
}

void TestTransferProtocol::dottedQuad()
{
    QFETCH(QString, address);
    QFETCH(QString, text);
    QCOMPARE(TransferProtocol::dottedQuad(QHostAddress(address)), text);
}

void TestTransferProtocol::acknowledgement_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<qint64>("bytes");

    QTest::newRow("zero") << QByteArray("0") << qint64(0);
    QTest::newRow("count") << QByteArray("3072") << qint64(3072);
    QTest::newRow("sign") << QByteArray("+3") << qint64(-1);
    QTest::newRow("negative") << QByteArray("-3") << qint64(-1);
    QTest::newRow("line feed") << QByteArray("3\n") << qint64(-1);
    QTest::newRow("empty") << QByteArray() << qint64(-1);
    QTest::newRow("too long") << QByteArray(20, '9') << qint64(-1);
    QTest::newRow("word") << QByteArray("HELLO") << qint64(-1);
}

void TestTransferProtocol::acknowledgement()
{
    QFETCH(QByteArray, datagram);
    QFETCH(qint64, bytes);
    QCOMPARE(parseAcknowledgement(datagram), bytes);
    if (bytes >= 0)
        QCOMPARE(TransferProtocol::acknowledgement(bytes), datagram);
}

void TestTransferProtocol::pieceFitsIntoDatagram()
{
    QCOMPARE(QByteArray(MaxPieceSize, 'x').toBase64().size(), int(MaxDatagramSize));
    QVERIFY(QByteArray(MaxPieceSize + 1, 'x').toBase64().size() > int(MaxDatagramSize));
}

QTEST_GUILESS_MAIN(TestTransferProtocol)
#include "tst_transferprotocol.moc"
