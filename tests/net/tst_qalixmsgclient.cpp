#include "msgtesthelper.h"
#include "tools/support/msgserversim.h"
#include "net/qalixmsgclient.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The client against a server whose bytes the test controls, and against the simulator.
class TestQalixMsgClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstAttemptOneSecondAfterConstruction();
    void startUpSequence_data();
    void startUpSequence();
    void handshake_data();
    void handshake();
    void handshakeOnLaterConnections();
    void reportsAndErrors_data();
    void reportsAndErrors();
    void loginAnswer_data();
    void loginAnswer();
    void linesSplitAtEveryByte();
    void malformedLinesAreIgnored();
    void lineLengthLimit_data();
    void lineLengthLimit();
    void setPortValueBytes_data();
    void setPortValueBytes();
    void commandWhileUnconnectedConnects();
    void keepAlive();
    void silentServerIsRetried();
    void socketErrorSignal();
    void blockingModeReportsFailure();
    void destructionSendsNothing();
    void simulatorStopsAndStartsAgain();
    void simulatorRefusesLogin();
    void simulatorNotReady();

private:
    // A client of `server` on the fake clock, connected and past its start-up lines.
    void connectClient(bool debugMode = false, bool busMode = true);
    void advance(qint64 msecs) { clock.t += msecs; }
    // Sends `data`, then waits until the client has handled it and everything it wrote has arrived.
    void exchange(const QByteArray &data);

    std::unique_ptr<FakeServer> server;
    std::unique_ptr<QalixMsgClient> client;
    FakeClock clock;
};

void TestQalixMsgClient::init()
{
    server = std::make_unique<FakeServer>();
    QVERIFY(server->server.isListening());
    clock = FakeClock();
}

void TestQalixMsgClient::cleanup()
{
    client.reset();
    server.reset();
}

void TestQalixMsgClient::connectClient(bool debugMode, bool busMode)
{
    QalixMsgClient::Settings settings = loopbackClient(server->port(), "demo", "pw");
    settings.debugMode = debugMode;
    settings.busMode = busMode;
    client = std::make_unique<QalixMsgClient>(settings);
    client->setClock([this] { return clock(); });
    client->connectToServer();
    QVERIFY(server->waitForClient());
    QVERIFY(server->waitFor(busMode ? "CB\n" : "Cb\n"));
    server->take();
}

void TestQalixMsgClient::exchange(const QByteArray &data)
{
    // The client echoes nothing by itself: a report behind the data marks the end,
    // and a line the test makes it send marks the end of what it wrote meanwhile.
    QSignalSpy spy(client.get(), &QalixMsgClient::received);
    server->send(data + "PIN.__end.0=0\n");
    for (int i = 0; i < 100 && (spy.isEmpty() || spy.last().at(0).toString() != "__end"); ++i)
        QVERIFY(spy.wait(5000));
    client->sendCommand('N', "__end");
    QVERIFY(server->waitFor("N__end\n"));
}

void TestQalixMsgClient::firstAttemptOneSecondAfterConstruction()
{
    QElapsedTimer elapsed;
    elapsed.start();
    QalixMsgClient real(loopbackClient(server->port(), "u", "p"));
    QCOMPARE(real.m_socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(real.lastSent() - real.lastReceived(), QalixMsgClient::silenceLimit);
    QVERIFY(server->waitForClient(5000));
    QVERIFY2(elapsed.elapsed() >= 900, qPrintable(QString::number(elapsed.elapsed())));

    // The same on the fake clock: nothing before the second has passed.
    QalixMsgClient fake(loopbackClient(server->port(), "u", "p"));
    fake.setTicking(false);
    fake.setClock([this] { return clock(); });
    fake.onTimeout();
    QCOMPARE(fake.m_socket.state(), QAbstractSocket::UnconnectedState);
    advance(1000);
    fake.onTimeout();
    QVERIFY(fake.m_socket.state() != QAbstractSocket::UnconnectedState);
    QCOMPARE(fake.lastReceived(), clock.t - QalixMsgClient::retryReference);
}

void TestQalixMsgClient::startUpSequence_data()
{
    QTest::addColumn<bool>("debugMode");
    QTest::addColumn<bool>("busMode");
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("modeError");

    QTest::newRow("panel: debug off, bus on") << false << true << QByteArray("N\nLdemo=pw\nCT60\nCd\nCB\n") << false;
    QTest::newRow("debug on, bus off") << true << false << QByteArray("N\nLdemo=pw\nCT60\nCD\nCb\n") << false;
    QTest::newRow("neither") << false << false << QByteArray("N\nLdemo=pw\nCT60\nCd\nCb\n") << true;
}

void TestQalixMsgClient::startUpSequence()
{
    QFETCH(bool, debugMode);
    QFETCH(bool, busMode);
    QFETCH(QByteArray, lines);
    QFETCH(bool, modeError);

    QalixMsgClient::Settings settings = loopbackClient(server->port(), "demo", "pw");
    settings.debugMode = debugMode;
    settings.busMode = busMode;
    client = std::make_unique<QalixMsgClient>(settings);
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    client->connectToServer();
    QVERIFY(server->waitForClient());
    QVERIFY(server->waitFor(lines.right(3)));
    QCOMPARE(server->take(), lines);
    QCOMPARE(client->isStarted(), false);
    QCOMPARE(errors.size(), modeError ? 1 : 0);
    if (modeError)
        QCOMPARE(errors.at(0).at(0).toString(), QString("Weder Debug-Mode noch Bus-Mode aktiviert!"));
}

void TestQalixMsgClient::handshake_data()
{
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<int>("starts");
    QTest::addColumn<bool>("started");

    QTest::newRow("time-out, debug, bus") << QByteArray("CT60\nCd\nCB\n") << 1 << true;
    QTest::newRow("bus, debug") << QByteArray("CB\nCd\n") << 1 << true;
    QTest::newRow("modes refused count as answers") << QByteArray("Cb\nCD\n") << 1 << true;
    QTest::newRow("debug only") << QByteArray("Cd\nCT60\n") << 0 << false;
    QTest::newRow("time-out after both repeats") << QByteArray("CB\nCd\nCT60\n") << 2 << true;
    QTest::newRow("any C after both repeats") << QByteArray("Cd\nCB\nCX\nC\n") << 3 << true;
    QTest::newRow("error 5 before start is dropped") << QByteArray("E5=MsgServer not inited, wait a bit\nCd\n") << 0 << false;
    QTest::newRow("error 5 after start repeats") << QByteArray("Cd\nCB\nE5=MsgServer not inited, wait a bit\n") << 2 << true;
    QTest::newRow("N and B lines change nothing") << QByteArray("NCB\nBCd\nCd\n") << 0 << false;
}

void TestQalixMsgClient::handshake()
{
    QFETCH(QByteArray, answers);
    QFETCH(int, starts);
    QFETCH(bool, started);

    connectClient();
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    exchange(answers);
    const QByteArray sent = server->take();
    QCOMPARE(sent.count("S\n"), starts);
    QCOMPARE(client->isStarted(), started);
    QVERIFY(errors.isEmpty());
}

void TestQalixMsgClient::handshakeOnLaterConnections()
{
    connectClient();
    exchange("CB\nCd\n");
    QVERIFY(client->busConfirmed());
    QVERIFY(!client->debugConfirmed());
    server->take();

    client->connectToServer();
    QVERIFY(!client->isStarted());
    QVERIFY(server->waitForClient());
    QVERIFY(server->waitFor("CB\n"));
    server->take();
    // The answered flags survive the reconnect: the first answer already starts.
    exchange("CT60\n");
    QCOMPARE(server->take().count("S\n"), 1);
    QVERIFY(client->isStarted());
    exchange("Cd\nCb\n");
    QCOMPARE(server->take().count("S\n"), 2);
    QVERIFY(!client->busConfirmed());
}

void TestQalixMsgClient::reportsAndErrors_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<QStringList>("errors");

    QTest::newRow("reports in order")
        << QByteArray("POUT.Kueche.3=1\nPIN.Sensor.0=21.5\nPout.x.1=1\n")
        << QStringList{"Kueche 3 true 1", "Sensor 0 false 21.5", "x 1 false 1"} << QStringList();
    QTest::newRow("errors with their text")
        << QByteArray("E3=Timeout occured\nE0=No Error Occured\nE4=You are not permited to do that\n")
        << QStringList() << QStringList{"Timeout occured", "No Error Occured", "You are not permited to do that"};
    QTest::newRow("error 5 never reaches the owner") << QByteArray("E5=MsgServer not inited, wait a bit\n")
                                                    << QStringList() << QStringList();
    QTest::newRow("unknown and empty lines are skipped")
        << QByteArray("Xfoo\n\n\r\nPIN.a.2=0.25\n") << QStringList{"a 2 false 0.25"} << QStringList();
}

void TestQalixMsgClient::reportsAndErrors()
{
    QFETCH(QByteArray, lines);
    QFETCH(QStringList, reports);
    QFETCH(QStringList, errors);

    connectClient();
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    QSignalSpy errorSpy(client.get(), &QalixMsgClient::error);
    exchange(lines);
    QStringList got;
    for (const QList<QVariant> &args : received) {
        if (args.at(0).toString() != "__end")
            got << QStringLiteral("%1 %2 %3 %4").arg(args.at(0).toString()).arg(args.at(1).toInt())
                       .arg(args.at(2).toBool() ? "true" : "false").arg(args.at(3).toDouble());
    }
    QCOMPARE(got, reports);
    QStringList gotErrors;
    for (const QList<QVariant> &args : errorSpy)
        gotErrors << args.at(0).toString();
    QCOMPARE(gotErrors, errors);
    QCOMPARE(client->m_socket.state(), QAbstractSocket::ConnectedState);
}

void TestQalixMsgClient::loginAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("OK") << QByteArray("LOK\n") << true;
    QTest::newRow("ok") << QByteArray("Lok\n") << false;
    QTest::newRow("empty") << QByteArray("L\n") << false;
    QTest::newRow("refused") << QByteArray("LDENIED\n") << false;
}

void TestQalixMsgClient::loginAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, accepted);

    connectClient();
    client->m_loggedIn = !accepted;
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    QSignalSpy closed(server->peer.data(), &QTcpSocket::disconnected);
    // A report behind a refusal is dropped with the connection.
    server->send(answer + "PIN.after.1=1\n");
    if (accepted) {
        QVERIFY(received.wait(5000));
        QCOMPARE(client->m_socket.state(), QAbstractSocket::ConnectedState);
    } else {
        QVERIFY(closed.wait(5000));
        QCOMPARE(client->m_socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(received.isEmpty());
    }
    QCOMPARE(client->isLoggedIn(), accepted);
    QVERIFY(errors.isEmpty());
}

void TestQalixMsgClient::linesSplitAtEveryByte()
{
    connectClient();
    const QByteArray stream("POUT.Kueche.3=1\r\nE3=Timeout occured\nPIN.Sensor.0=21.5\n");
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    for (int cut = 1; cut < stream.size(); ++cut) {
        for (const QByteArray &part : {stream.left(cut), stream.mid(cut)}) {
            server->send(part);
            // Returns once the part is read and handed to onData.
            QVERIFY(client->m_socket.waitForReadyRead(5000));
        }
    }
    QCOMPARE(received.size(), 2 * (stream.size() - 1));
    QCOMPARE(errors.size(), stream.size() - 1);
    for (int i = 0; i < received.size(); i += 2) {
        QCOMPARE(received.at(i), (QList<QVariant>{"Kueche", 3, true, 1.0}));
        QCOMPARE(received.at(i + 1), (QList<QVariant>{"Sensor", 0, false, 21.5}));
    }
}

void TestQalixMsgClient::malformedLinesAreIgnored()
{
    connectClient();
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    exchange(MsgServerSim::malformedLines() + "POUT.Kueche.1=1\n");
    // Only the valid report and the marker come through; the connection stands.
    QCOMPARE(received.size(), 2);
    QCOMPARE(received.at(0), (QList<QVariant>{"Kueche", 1, true, 1.0}));
    QVERIFY(errors.isEmpty());
    QCOMPARE(client->m_socket.state(), QAbstractSocket::ConnectedState);
}

void TestQalixMsgClient::lineLengthLimit_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("lineFeed");
    QTest::addColumn<bool>("reset");

    // A report padded with trailing blanks up to the length, line feed not counted.
    QTest::newRow("64 KiB complete") << 65536 << true << false;
    QTest::newRow("one byte more") << 65537 << true << true;
    QTest::newRow("grows without end") << 200000 << false << true;
}

void TestQalixMsgClient::lineLengthLimit()
{
    QFETCH(int, length);
    QFETCH(bool, lineFeed);
    QFETCH(bool, reset);

    connectClient();
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    QByteArray line("PIN.big.1=5");
    line += QByteArray(length - line.size(), ' ');
    if (lineFeed)
        line += '\n';
    if (reset)
        QTest::ignoreMessage(QtInfoMsg, "Message server line longer than 65536 bytes dropped, connection reset");
    QPointer<QTcpSocket> first = server->peer;
    server->send(line);
    if (reset) {
        QVERIFY(first.isNull() || first->state() != QAbstractSocket::ConnectedState
                || QSignalSpy(first.data(), &QTcpSocket::disconnected).wait(5000));
        QVERIFY(received.isEmpty());
        QCOMPARE(client->m_socket.state(), QAbstractSocket::UnconnectedState);
        // Not at once, not at the owner's check or a command: on the regular
        // retry timing, by the tick.
        advance(QalixMsgClient::silenceLimit - QalixMsgClient::retryReference);
        client->connectToServer();
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QTcpSocket): device not open");
        client->sendCommand('N', QByteArray());
        client->onTimeout();
        QCOMPARE(client->m_socket.state(), QAbstractSocket::UnconnectedState);
        advance(1);
        client->onTimeout();
        QVERIFY(server->waitForClient());
        QVERIFY(server->waitFor("CB\n"));
    } else {
        QVERIFY(received.wait(5000));
        QCOMPARE(received.at(0), (QList<QVariant>{"big", 1, false, 5.0}));
        QCOMPARE(client->m_socket.state(), QAbstractSocket::ConnectedState);
    }
}

void TestQalixMsgClient::setPortValueBytes_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("output");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("Kueche") << "Kueche" << 3 << true << 1.0 << QByteArray::fromHex("504F55542E4B75656368652E333D310A");
    QTest::newRow("Licht") << "Licht" << 2 << true << 1.0 << QByteArray("POUT.Licht.2=1\n");
    QTest::newRow("half") << "M1" << 3 << true << 0.5 << QByteArray("POUT.M1.3=0.5\n");
    QTest::newRow("21.25") << "M1" << 3 << true << 21.25 << QByteArray("POUT.M1.3=21.25\n");
    QTest::newRow("1234567") << "M1" << 3 << true << 1234567.0 << QByteArray("POUT.M1.3=1.23457e+06\n");
    QTest::newRow("0.1 + 0.2") << "M1" << 3 << true << 0.1 + 0.2 << QByteArray("POUT.M1.3=0.3\n");
    QTest::newRow("input") << "S" << 0 << false << 0.0 << QByteArray("PIN.S.0=0\n");
}

void TestQalixMsgClient::setPortValueBytes()
{
    QFETCH(QString, object);
    QFETCH(int, port);
    QFETCH(bool, output);
    QFETCH(double, value);
    QFETCH(QByteArray, wire);

    connectClient();
    advance(5000);
    client->setPortValue(object, port, output, value);
    QCOMPARE(client->lastSent(), clock.t);
    QVERIFY(server->waitFor("\n"));
    QCOMPARE(server->take(), wire);
}

void TestQalixMsgClient::commandWhileUnconnectedConnects()
{
    client = std::make_unique<QalixMsgClient>(loopbackClient(server->port(), "demo", "pw"));
    client->setClock([this] { return clock(); });
    advance(3000);
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QTcpSocket): device not open");
    client->setPortValue("Kueche", 3, true, 1.0);
    QVERIFY(client->m_socket.state() != QAbstractSocket::UnconnectedState);
    QCOMPARE(client->lastReceived(), clock.t - QalixMsgClient::retryReference);
    QVERIFY(server->waitForClient());
    // The command itself is lost; the new connection starts with its own lines.
    QVERIFY(server->waitFor("CB\n"));
    QCOMPARE(server->take(), QByteArray("N\nLdemo=pw\nCT60\nCd\nCB\n"));
}

void TestQalixMsgClient::keepAlive()
{
    connectClient();
    client->setTicking(false);
    exchange("CB\nCd\n");
    server->take();
    const qint64 start = clock.t;
    client->m_lastSent = start;

    advance(20000);
    client->onTimeout();
    client->sendCommand('N', "mark1");
    QVERIFY(server->waitFor("Nmark1\n"));
    QCOMPARE(server->take(), QByteArray("Nmark1\n"));

    advance(1);
    client->onTimeout();
    QCOMPARE(client->lastSent(), clock.t);
    client->sendCommand('N', "mark2");
    QVERIFY(server->waitFor("Nmark2\n"));
    QCOMPARE(server->take(), QByteArray("N\nNmark2\n"));

    // A port command postpones the keep-alive; other lines do not.
    advance(15000);
    client->setPortValue("a", 1, true, 1.0);
    advance(15000);
    client->sendCommand('C', "T60");
    client->onTimeout();
    client->sendCommand('N', "mark3");
    QVERIFY(server->waitFor("Nmark3\n"));
    QCOMPARE(server->take(), QByteArray("POUT.a.1=1\nCT60\nNmark3\n"));
    QCOMPARE(client->m_socket.state(), QAbstractSocket::ConnectedState);
}

void TestQalixMsgClient::silentServerIsRetried()
{
    connectClient();
    client->setTicking(false);
    // Data holds the silence reconnect off.
    advance(59000);
    exchange("Nping\n");
    QCOMPARE(client->lastReceived(), clock.t);
    advance(60000);
    client->onTimeout();
    QVERIFY(!server->server.hasPendingConnections());
    QCOMPARE(client->m_socket.state(), QAbstractSocket::ConnectedState);

    advance(1);
    client->onTimeout();
    QVERIFY(server->waitForClient());
    QVERIFY(server->waitFor("CB\n"));
    // The server says nothing now: the next attempt follows ten seconds later.
    advance(10000);
    client->onTimeout();
    QVERIFY(!server->server.hasPendingConnections());
    advance(1);
    client->onTimeout();
    QVERIFY(server->waitForClient());
}

void TestQalixMsgClient::socketErrorSignal()
{
    const quint16 closedPort = server->port();
    server.reset();
    client = std::make_unique<QalixMsgClient>(loopbackClient(closedPort, "u", "p"));
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    client->connectToServer();
    QVERIFY(errors.wait(5000));
    QCOMPARE(errors.size(), 1);
    const QString text = errors.at(0).at(0).toString();
    QVERIFY2(text.startsWith("Connection Error [") && text.endsWith("]") && text.size() > 19, qPrintable(text));
    QCOMPARE(client->m_socket.state(), QAbstractSocket::UnconnectedState);
}

void TestQalixMsgClient::blockingModeReportsFailure()
{
    const quint16 closedPort = server->port();
    server.reset();
    QalixMsgClient::Settings settings = loopbackClient(closedPort, "u", "p");
    settings.waitForConnection = true;
    client = std::make_unique<QalixMsgClient>(settings);
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    client->connectToServer();
    QVERIFY(!errors.isEmpty());
    QCOMPARE(errors.last().at(0).toString(), QString("Verbindung zu 127.0.0.1 kann nicht aufgebaut werden!"));
}

void TestQalixMsgClient::destructionSendsNothing()
{
    connectClient();
    QSignalSpy closed(server->peer.data(), &QTcpSocket::disconnected);
    client.reset();
    QVERIFY(closed.wait(5000));
    QCOMPARE(server->take(), QByteArray());
}

void TestQalixMsgClient::simulatorStopsAndStartsAgain()
{
    MsgServerSim sim;
    sim.addPort("OUT.Kueche.3", MsgServerSim::Switch, 0.0);
    QVERIFY(sim.listen(QHostAddress::LocalHost, 0));
    const quint16 port = sim.serverPort();
    client = std::make_unique<QalixMsgClient>(loopbackClient(port, "demo", "demo"));
    client->setTicking(false);
    client->setClock([this] { return clock(); });
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    client->connectToServer();
    QVERIFY(received.wait(5000));
    QCOMPARE(received.at(0), (QList<QVariant>{"Kueche", 3, true, 0.0}));

    client->setPortValue("Kueche", 3, true, 1.0);
    QVERIFY(received.wait(5000));
    QCOMPARE(received.last(), (QList<QVariant>{"Kueche", 3, true, 1.0}));

    // The owner hears of the loss from the client's state signal.
    QSignalSpy states(client.get(), &QalixMsgClient::stateChanged);
    QVERIFY(client->isConnected());
    sim.close();
    QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(states.last().at(0).value<QAbstractSocket::SocketState>(), QAbstractSocket::UnconnectedState);
    QVERIFY(!client->isConnected());

    // While the server is away every attempt fails.
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    client->connectToServer();
    QVERIFY(errors.wait(5000));

    QVERIFY(sim.listen(QHostAddress::LocalHost, port));
    received.clear();
    advance(QalixMsgClient::silenceLimit + 1);
    client->onTimeout();
    QVERIFY(received.wait(5000));
    QCOMPARE(received.last(), (QList<QVariant>{"Kueche", 3, true, 1.0}));
    QVERIFY(client->isConnected());
    QVERIFY(client->isStarted());
}

void TestQalixMsgClient::simulatorRefusesLogin()
{
    MsgServerSim sim;
    sim.addPort("OUT.a.1", MsgServerSim::Switch, 1.0);
    QVERIFY(sim.listen(QHostAddress::LocalHost, 0));
    client = std::make_unique<QalixMsgClient>(loopbackClient(sim.serverPort(), "demo", "wrong"));
    QSignalSpy gone(&client->m_socket, &QTcpSocket::disconnected);
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    client->connectToServer();
    QVERIFY(gone.wait(5000));
    QVERIFY(!client->isLoggedIn());
    QVERIFY(received.isEmpty());

    sim.setCredentials("demo", "wrong");
    client->connectToServer();
    QVERIFY(received.wait(5000));
    QVERIFY(client->isLoggedIn());
}

void TestQalixMsgClient::simulatorNotReady()
{
    MsgServerSim sim;
    sim.addPort("IN.t.1", MsgServerSim::Fixed, 21.5);
    sim.setReadyAfter(600);
    QVERIFY(sim.listen(QHostAddress::LocalHost, 0));
    client = std::make_unique<QalixMsgClient>(loopbackClient(sim.serverPort(), "demo", "demo"));
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    int starts = 0;
    connect(&sim, &MsgServerSim::lineReceived, this, [&starts](const QByteArray &line) { starts += line == "S"; });
    client->connectToServer();
    QVERIFY(received.wait(5000));
    // Error 5 made the client repeat its start request until the server was ready.
    QVERIFY2(starts >= 2, qPrintable(QString::number(starts)));
    QCOMPARE(received.at(0), (QList<QVariant>{"t", 1, false, 21.5}));
    QVERIFY(errors.isEmpty());
}

QTEST_GUILESS_MAIN(TestQalixMsgClient)
#include "tst_qalixmsgclient.moc"
