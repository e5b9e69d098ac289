#include "net/msgline.h"
#include "net/msgserversession.h"
#include "net/qalixmsgclient.h"
#include "tests/support/testsupport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <memory>

// The server side of a panel connection, against the panel's own client and
// against a peer whose bytes the test controls.
class TestMsgServerSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void panelLogin_data();
    void panelLogin();
    void panelCommand_data();
    void panelCommand();
    void answers_data();
    void answers();
    void lineLength_data();
    void lineLength();
    void portFrames_data();
    void portFrames();

private:
    // The session of the next panel that connects, with credentials demo/pw.
    MsgServerSession *nextSession();
    // A panel client that logs in with `password`; its timer is off.
    void startClient(const QString &password);
    // A raw peer, connected, with its session.
    std::unique_ptr<QTcpSocket> rawPeer(MsgServerSession **session);
    // Sends `lines` and an echoed keep-alive as end mark; everything that came back before it.
    QByteArray roundTrip(QTcpSocket *peer, const QByteArray &lines);

    std::unique_ptr<QTcpServer> server;
    std::unique_ptr<QalixMsgClient> client;
};

void TestMsgServerSession::init()
{
    server = std::make_unique<QTcpServer>();
    QVERIFY(server->listen(QHostAddress::LocalHost, 0));
}

void TestMsgServerSession::cleanup()
{
    client.reset();
    server.reset();
}

MsgServerSession *TestMsgServerSession::nextSession()
{
    if (!server->hasPendingConnections() && !QSignalSpy(server.get(), &QTcpServer::newConnection).wait(5000))
        return nullptr;
    auto *session = new MsgServerSession(server->nextPendingConnection(), server.get());
    session->setCredentials("demo", "pw");
    return session;
}

void TestMsgServerSession::startClient(const QString &password)
{
    client = std::make_unique<QalixMsgClient>(loopbackClient(server->serverPort(), "demo", password));
    client->setTicking(false);
    client->connectToServer();
}

std::unique_ptr<QTcpSocket> TestMsgServerSession::rawPeer(MsgServerSession **session)
{
    auto peer = std::make_unique<QTcpSocket>();
    peer->connectToHost(QHostAddress::LocalHost, server->serverPort());
    *session = peer->waitForConnected(5000) ? nextSession() : nullptr;
    if (*session)
        (*session)->setEchoKeepAlive(true);
    return peer;
}

QByteArray TestMsgServerSession::roundTrip(QTcpSocket *peer, const QByteArray &lines)
{
    peer->write(lines + "N__end\n");
    QByteArray got;
    QSignalSpy more(peer, &QTcpSocket::readyRead);
    while (!got.endsWith("N__end\n") && peer->state() == QAbstractSocket::ConnectedState && more.wait(5000))
        got += peer->readAll();
    return got.endsWith("N__end\n") ? got.chopped(7) : got + "<no end mark>";
}

void TestMsgServerSession::panelLogin_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("refuseAll");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("right password") << "pw" << false << true;
    QTest::newRow("wrong password") << "pW" << false << false;
    QTest::newRow("password longer") << "pw=" << false << false;
    QTest::newRow("every login refused") << "pw" << true << false;
}

void TestMsgServerSession::panelLogin()
{
    QFETCH(QString, password);
    QFETCH(bool, refuseAll);
    QFETCH(bool, accepted);

    startClient(password);
    MsgServerSession *session = nextSession();
    QVERIFY(session);
    session->setRefuseLogin(refuseAll);
    QSignalSpy refused(session, &MsgServerSession::loginRefused);
    QSignalSpy closed(session, &MsgServerSession::closed);
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    QSignalSpy lines(session, &MsgServerSession::lineReceived);
    // The panel sends its start request only once the configuration lines are answered.
    connect(session, &MsgServerSession::startRequested, session, [session] {
        session->acceptStart();
        session->sendPort("Kueche", 3, true, 1.0);
    });

    if (accepted) {
        QVERIFY(received.wait(5000));
        QCOMPARE(received.at(0), (QList<QVariant>{"Kueche", 3, true, 1.0}));
        QVERIFY(session->isLoggedIn() && session->isStarted() && client->isStarted());
        // The keep-alive that opened the connection, and one more, went unanswered.
        client->sendCommand('N', QByteArray());
        QTRY_COMPARE(lines.last().at(0).toByteArray(), QByteArray("N"));
        QCOMPARE(lines.first().at(0).toByteArray(), QByteArray("N"));
        QVERIFY(closed.isEmpty());
        QVERIFY(errors.isEmpty());
        client.reset();
        QTRY_COMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).at(0).toString(), QString("disconnected"));
        session->close(); // once closed, always closed
        QCOMPARE(closed.size(), 1);
    } else {
        QTRY_VERIFY(!client->isConnected() && !client->isLoggedIn());
        QCOMPARE(refused.size(), 1);
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).at(0).toString(), QString("login refused"));
        QVERIFY(!session->isLoggedIn() && !session->isStarted());
        QVERIFY(received.isEmpty());
    }
}

void TestMsgServerSession::panelCommand_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<bool>("output");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("valueText");

    QTest::newRow("switch on") << "Kueche" << true << 1.0 << "1";
    QTest::newRow("input, fraction") << "Sensor" << false << 21.25 << "21.25";
    QTest::newRow("exponent form") << "Zaehler" << true << 1234567.0 << "1.23457e+06";
    QTest::newRow("negative") << "Aussen" << false << -0.5 << "-0.5";
    // The panel writes Latin-1 and reads UTF-8: the name must come back as it went.
    QTest::newRow("umlaut in the object") << QString::fromUtf8("Küche") << true << 0.0 << "0";
}

void TestMsgServerSession::panelCommand()
{
    QFETCH(QString, object);
    QFETCH(bool, output);
    QFETCH(double, value);
    QFETCH(QString, valueText);

    startClient("pw");
    MsgServerSession *session = nextSession();
    QVERIFY(session);
    connect(session, &MsgServerSession::startRequested, session, &MsgServerSession::acceptStart);
    connect(session, &MsgServerSession::portCommand, session,
            [session](const QString &o, int p, bool out, double v) { session->sendPort(o, p, out, v); });
    QSignalSpy commands(session, &MsgServerSession::portCommand);
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    QTRY_VERIFY(session->isStarted());

    client->setPortValue(object, 7, output, value);
    QVERIFY(received.wait(5000));
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.at(0), (QList<QVariant>{object, 7, output, double(valueText.toDouble()), valueText}));
    QCOMPARE(received.at(0), (QList<QVariant>{object, 7, output, double(valueText.toDouble())}));
}

void TestMsgServerSession::answers_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("values"); // of the port commands, as sent

    const QByteArray login = "Ldemo=pw\n";
    const QByteArray e1 = "E1=Configuration not possible\n";
    const QByteArray e2 = "E2=Command not found\n";
    const QByteArray e4 = "E4=You are not permited to do that\n";

    QTest::newRow("keep-alives echoed") << QByteArray("N\n N x \n") << QByteArray("N\nN x\n") << QStringList();
    QTest::newRow("before login") << QByteArray("CT60\nCB\nS\nPOUT.a.1=1\n") << e4 + e4 + e4 + e4 << QStringList();
    QTest::newRow("configuration echoed")
        << login + "CT60\nCd\nCB\n  Cr \r\n" << QByteArray("LOK\nCT60\nCd\nCB\nCr\n") << QStringList();
    QTest::newRow("configuration refused") << login + "CX\nC\nCDB\n" << "LOK\n" + e1 + e1 + e1 << QStringList();
    QTest::newRow("start leaves the answer to the owner") << login + "S\nS\n" << QByteArray("LOK\n") << QStringList();
    QTest::newRow("port commands") << login + "POUT.a.1=1\nPIN.b.0=0.50\n" << QByteArray("LOK\n") << QStringList{"1", "0.50"};
    QTest::newRow("malformed commands passed over")
        << login + "POUT.a.1=x\nPOUT.a=1\nPout.a.1=1\nPOUT..1=1\nPOUT.a.-1=1\nPOUT.a.1\nPOUT.a.1=1\n"
        << "LOK\n" + e2 + e2 + e2 + e2 + e2 + e2 << QStringList{"1"};
    QTest::newRow("unknown letter, empty line") << QByteArray("Xyz\n\n") << e2 + e2 << QStringList();
}

void TestMsgServerSession::answers()
{
    QFETCH(QByteArray, lines);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, values);

    MsgServerSession *session = nullptr;
    const auto peer = rawPeer(&session);
    QVERIFY(session);
    QSignalSpy ported(session, &MsgServerSession::portCommand);
    QSignalSpy closed(session, &MsgServerSession::closed);
    QCOMPARE(roundTrip(peer.get(), lines), answer);
    QStringList sent;
    for (const QList<QVariant> &command : ported)
        sent << command.at(4).toString();
    QCOMPARE(sent, values);
    QVERIFY(closed.isEmpty());
}

void TestMsgServerSession::lineLength_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("lineFeed");
    QTest::addColumn<bool>("dropped");

    // A keep-alive padded with blanks up to the length, line feed not counted.
    QTest::newRow("at the bound") << 65536 << true << false;
    QTest::newRow("one byte more") << 65537 << true << true;
    QTest::newRow("never ends") << 200000 << false << true;
}

void TestMsgServerSession::lineLength()
{
    QFETCH(int, length);
    QFETCH(bool, lineFeed);
    QFETCH(bool, dropped);

    MsgServerSession *other = nullptr;
    const auto bystander = rawPeer(&other);
    MsgServerSession *session = nullptr;
    const auto peer = rawPeer(&session);
    QVERIFY(session && other);
    QSignalSpy tooLong(session, &MsgServerSession::lineTooLong);
    QSignalSpy closed(session, &MsgServerSession::closed);

    const QByteArray line = "N" + QByteArray(length - 1, ' ') + (lineFeed ? "\n" : "");
    if (dropped) {
        peer->write(line);
        QTRY_COMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).at(0).toString(), QString("line too long"));
        QCOMPARE(tooLong.size(), 1);
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    } else {
        QCOMPARE(roundTrip(peer.get(), line), QByteArray("N\n"));
        QVERIFY(closed.isEmpty());
    }
    QCOMPARE(roundTrip(bystander.get(), "Ldemo=pw\n"), QByteArray("LOK\n"));
}

void TestMsgServerSession::portFrames_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("plain") << "Kueche" << 1.0 << QByteArray("POUT.Kueche.3=1\n");
    QTest::newRow("sum rounded") << "a" << 0.1 + 0.2 << QByteArray("POUT.a.3=0.3\n");
    QTest::newRow("UTF-8 object") << QString::fromUtf8("Küche") << 0.0 << QByteArray("POUT.K\xc3\xbc" "che.3=0\n");
    // A report the panel would read with another address, or as two lines.
    QTest::newRow("dot in the object") << "a.b" << 1.0 << QByteArray();
    QTest::newRow("= in the object") << "a=b" << 1.0 << QByteArray();
    QTest::newRow("line feed in the object") << "a\nPOUT.x" << 1.0 << QByteArray();
    QTest::newRow("empty object") << "" << 1.0 << QByteArray();
}

void TestMsgServerSession::portFrames()
{
    QFETCH(QString, object);
    QFETCH(double, value);
    QFETCH(QByteArray, frame);

    QCOMPARE(MsgLine::framePort(object, 3, true, value), frame);
}

QTEST_GUILESS_MAIN(TestMsgServerSession)
#include "tst_msgserversession.moc"
