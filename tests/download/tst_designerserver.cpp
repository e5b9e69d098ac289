#include "tools/support/designerserver.h"

#include "udppeerhelper.h"

#include <QtTest>

namespace {

const QHostAddress loopback(QHostAddress::LocalHost);

} // namespace

class TestDesignerServer : public QObject
{
    Q_OBJECT

private slots:
    void answersDiscovery();
    void servesPiecesOnAcknowledgement_data();
    void servesPiecesOnAcknowledgement();
    void repeatsWhenNoAcknowledgementComes();
    void givesUpAfterRetries();
    void ignoresOthers();
};

void TestDesignerServer::answersDiscovery()
{
    DesignerServer server(QStringLiteral("Demo"), testPackage(10));
    QVERIFY(server.listen(loopback, 0));
    UdpPeer panel;
    QVERIFY(panel.isBound());
    QSignalSpy discovered(&server, &DesignerServer::discovered);

    QVERIFY(panel.send("HELLO", server.localPort()));
    QCOMPARE(panel.next(), QByteArray("WAVE"));
    QCOMPARE(discovered.count(), 1);

    QVERIFY(panel.send("HELLOX", server.localPort()));
    QVERIFY(panel.send("hello", server.localPort()));
    QVERIFY(panel.send("HELLO", server.localPort()));
    QCOMPARE(panel.next(), QByteArray("WAVE"));
    QCOMPARE(discovered.count(), 2);
}

void TestDesignerServer::servesPiecesOnAcknowledgement_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<int>("pieces");

    QTest::newRow("one byte") << 1 << 3072 << 1;
    QTest::newRow("one full piece") << 3072 << 3072 << 1;
    QTest::newRow("piece and a byte") << 3073 << 3072 << 2;
    QTest::newRow("small pieces, short last") << 1000 << 300 << 4;
    QTest::newRow("small pieces, exact") << 900 << 300 << 3;
    QTest::newRow("piece size above the datagram's limit") << 7000 << 5000 << 3;
}

void TestDesignerServer::servesPiecesOnAcknowledgement()
{
    QFETCH(int, size);
    QFETCH(int, pieceSize);
    QFETCH(int, pieces);

    const QByteArray bytes = testPackage(size);
    DesignerServer server(QStringLiteral("Demo"), bytes);
    server.setPieceSize(pieceSize);
    QCOMPARE(server.pieceCount(), pieces);
    QVERIFY(server.listen(loopback, 0));
    QSignalSpy finished(&server, &DesignerServer::transferFinished);
    UdpPeer panel;

    QVERIFY(panel.send("START", server.localPort()));
    QCOMPARE(panel.next(), "Demo=" + QByteArray::number(size));
    QByteArray received;
    for (int i = 0; i < pieces; ++i) {
        QVERIFY(panel.send(QByteArray::number(received.size()), server.localPort()));
        const QByteArray piece = panel.next();
        QVERIFY(piece.size() <= 4096);
        received += QByteArray::fromBase64(piece);
    }
    QCOMPARE(received, bytes);
    QCOMPARE(finished.count(), 1);
    // The transfer is over: nothing is repeated.
    QVERIFY(panel.next(300).isNull());
}

void TestDesignerServer::repeatsWhenNoAcknowledgementComes()
{
    DesignerServer server(QStringLiteral("Demo"), testPackage(10));
    server.setPieceSize(4);
    server.setRetryInterval(50);
    QVERIFY(server.listen(loopback, 0));
    UdpPeer panel;

    QVERIFY(panel.send("START", server.localPort()));
    QCOMPARE(panel.next(), QByteArray("Demo=10"));
    QCOMPARE(panel.next(), QByteArray("Demo=10"));
    QVERIFY(panel.send("0", server.localPort()));
    const QByteArray first = panel.next();
    QCOMPARE(QByteArray::fromBase64(first), testPackage(10).left(4));
    // The acknowledgement of the first piece is lost: the same piece again.
    QCOMPARE(panel.next(), first);
    // A repeated acknowledgement asks for the same piece again.
    QVERIFY(panel.send("0", server.localPort()));
    QCOMPARE(panel.next(), first);
    QVERIFY(panel.send("4", server.localPort()));
    QCOMPARE(QByteArray::fromBase64(panel.next()), testPackage(10).mid(4, 4));
}

void TestDesignerServer::givesUpAfterRetries()
{
    DesignerServer server(QStringLiteral("Demo"), testPackage(10));
    server.setRetryInterval(20);
    server.setMaxRetries(2);
    QVERIFY(server.listen(loopback, 0));
    QSignalSpy abandoned(&server, &DesignerServer::transferAbandoned);
    UdpPeer panel;

    QVERIFY(panel.send("START", server.localPort()));
    QVERIFY(abandoned.wait());
    int headers = 0;
    while (!panel.next(100).isNull())
        ++headers;
    QCOMPARE(headers, 3);
}

void TestDesignerServer::ignoresOthers()
{
    DesignerServer server(QStringLiteral("Demo"), testPackage(10));
    server.setPieceSize(4);
    QVERIFY(server.listen(loopback, 0));
    QSignalSpy sent(&server, &DesignerServer::pieceSent);
    UdpPeer panel;
    UdpPeer other;

    // Acknowledgements without a transfer request are nobody's.
    QVERIFY(panel.send("0", server.localPort()));
    QVERIFY(panel.send("START", server.localPort()));
    QCOMPARE(panel.next(), QByteArray("Demo=10"));
    QVERIFY(other.send("0", server.localPort()));
    QVERIFY(other.next(300).isNull());
    // Offsets that are not piece boundaries, past the end, or not numbers.
    for (const QByteArray &ack : {QByteArray("3"), QByteArray("12"), QByteArray("-4"), QByteArray("x")})
        QVERIFY(panel.send(ack, server.localPort()));
    QVERIFY(panel.next(300).isNull());
    QCOMPARE(sent.count(), 0);
    QVERIFY(panel.send("8", server.localPort()));
    QCOMPARE(QByteArray::fromBase64(panel.next()), testPackage(10).mid(8));
}

QTEST_GUILESS_MAIN(TestDesignerServer)
#include "tst_designerserver.moc"
