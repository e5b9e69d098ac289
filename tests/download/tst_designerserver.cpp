#include "tools/support/designerserver.h"
#include "download/transferreceiver.h"

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
    void servesPanel_data();
    void servesPanel();
    void sendsOnlyWhatIsAsked();
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

void TestDesignerServer::servesPanel_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<int>("pieces");

    QTest::newRow("one byte") << testPackage(1) << 3072 << 1;
    QTest::newRow("one full piece") << testPackage(3072) << 3072 << 1;
    QTest::newRow("piece and a byte") << testPackage(3073) << 3072 << 2;
    QTest::newRow("small pieces, short last") << testPackage(1000) << 300 << 4;
    QTest::newRow("piece size above the datagram's limit") << testPackage(7000) << 5000 << 3;
    // Equal pieces follow each other, as in a picture with a plain background.
    QTest::newRow("20,000 zero bytes") << testPackage(1000) + QByteArray(20000, '\0') + testPackage(500) << 3072
                                       << 7;
}

void TestDesignerServer::servesPanel()
{
    QFETCH(QByteArray, package);
    QFETCH(int, pieceSize);
    QFETCH(int, pieces);

    DesignerServer server(QStringLiteral("Demo"), package);
    server.setPieceSize(pieceSize);
    QCOMPARE(server.pieceCount(), pieces);
    QVERIFY(server.listen(loopback, 0));
    QSignalSpy finished(&server, &DesignerServer::transferFinished);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TransferReceiver receiver(dir.path() + QLatin1Char('/'));
    UdpPeer panel;

    // The panel's side as the dialog runs it: every datagram to the receiver,
    // every acknowledgement it asks for back.
    receiver.begin(loopback);
    QVERIFY(panel.send("START", server.localPort()));
    int acknowledgements = 0;
    for (;;) {
        const QByteArray datagram = panel.next();
        QVERIFY(!datagram.isNull());
        QVERIFY(datagram.size() <= 4096);
        const TransferReceiver::Outcome outcome = receiver.receive(datagram, panel.lastSender());
        if (outcome == TransferReceiver::Completed)
            break;
        QCOMPARE(outcome, TransferReceiver::Acknowledge);
        QVERIFY2(++acknowledgements <= pieces, "the transfer does not advance");
        QVERIFY(panel.send(receiver.acknowledgement(), server.localPort()));
    }
    QCOMPARE(readFile(dir.filePath("Demo.qlxd")), package);
    QCOMPARE(finished.count(), 1);
    // The last piece is not acknowledged, and nothing follows it.
    QVERIFY(panel.next(300).isNull());
}

void TestDesignerServer::sendsOnlyWhatIsAsked()
{
    const QByteArray package = testPackage(10);
    DesignerServer server(QStringLiteral("Demo"), package);
    server.setPieceSize(4);
    server.setTimeout(200);
    QVERIFY(server.listen(loopback, 0));
    QSignalSpy abandoned(&server, &DesignerServer::transferAbandoned);
    UdpPeer panel;
    UdpPeer other;

    // A silent panel gets nothing more than the header, and is given up;
    // then its acknowledgements are nobody's.
    QVERIFY(panel.send("START", server.localPort()));
    QCOMPARE(panel.next(), QByteArray("Demo=10"));
    QVERIFY(abandoned.wait());
    QVERIFY(panel.next(0).isNull());
    QVERIFY(panel.send("0", server.localPort()));

    // Every acknowledgement, repeated or not on a piece boundary, gets the
    // piece at its offset; others' datagrams and offsets that are past the
    // end or no numbers get nothing.
    QVERIFY(panel.send("START", server.localPort()));
    QCOMPARE(panel.next(), QByteArray("Demo=10"));
    QVERIFY(other.send("0", server.localPort()));
    for (const QByteArray &ack : {QByteArray("10"), QByteArray("-4"), QByteArray("x")})
        QVERIFY(panel.send(ack, server.localPort()));
    for (const int offset : {0, 0, 3, 8}) {
        QVERIFY(panel.send(QByteArray::number(offset), server.localPort()));
        QCOMPARE(QByteArray::fromBase64(panel.next()), package.mid(offset, 4));
    }
    QVERIFY(other.next(0).isNull());
    QCOMPARE(abandoned.count(), 1);
}

QTEST_GUILESS_MAIN(TestDesignerServer)
#include "tst_designerserver.moc"
