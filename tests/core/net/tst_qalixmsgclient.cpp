#include "core/net/msgline.h"
#include "core/net/qalixmsgclient.h"
#include "tests/support/testsupport.h"
#include "tools/standins/msgserversim.h"

#include <QLocale>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(MsgLine)

namespace {

MsgLine other(MsgLine::Kind kind, QChar letter)
{
    MsgLine line;
    line.kind = kind;
    line.letter = letter;
    return line;
}

MsgLine port(const QString &object, int port, bool output, double value)
{
    MsgLine line = other(MsgLine::Port, QLatin1Char('P'));
    line.object = object;
    line.port = port;
    line.output = output;
    line.value = value;
    return line;
}

MsgLine noValue(const QString &object, int port, bool output)
{
    MsgLine line = other(MsgLine::NoValue, QLatin1Char('U'));
    line.object = object;
    line.port = port;
    line.output = output;
    return line;
}

MsgLine error(int code, const QString &text)
{
    MsgLine line = other(MsgLine::Error, QLatin1Char('E'));
    line.code = code;
    line.text = text;
    return line;
}

MsgLine login(bool ok)
{
    MsgLine line = other(MsgLine::Login, QLatin1Char('L'));
    line.loginOk = ok;
    return line;
}

MsgLine config(QChar sub, const QString &text = QString())
{
    MsgLine line = other(MsgLine::Config, QLatin1Char('C'));
    line.sub = sub;
    line.text = text;
    return line;
}

} // namespace

// The message lines, and the client against a server whose bytes the test
// controls and against the simulator.
class TestQalixMsgClient : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();

    void init();
    void cleanup();

    void liveOnlyWithProof_data();
    void liveOnlyWithProof();
    void downReasonOncePerBurst_data();
    void downReasonOncePerBurst();
    void resetCalmly_data();
    void resetCalmly();
    void simulatorStopsAndStartsAgain();

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

void TestQalixMsgClient::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<MsgLine>("expected");

    QTest::newRow("P output") << QByteArray("POUT.Kueche.3=1") << port("Kueche", 3, true, 1.0);
    QTest::newRow("P input") << QByteArray("PIN.Sensor.0=21.5") << port("Sensor", 0, false, 21.5);
    QTest::newRow("P not numbers read 0") << QByteArray("POUT.Kueche.drei=ein") << port("Kueche", 0, true, 0.0);
    QTest::newRow("P comma is no decimal point") << QByteArray("PIN.a.7=3,5") << port("a", 7, false, 0.0);
    QTest::newRow("P second = ends the value") << QByteArray("POUT.a.3=1=2") << port("a", 3, true, 1.0);
    QTest::newRow("P CR LF and spaces trimmed") << QByteArray("  POUT.Kueche.3=0.5 \r") << port("Kueche", 3, true, 0.5);
    QTest::newRow("P decoding stops at NUL") << QByteArray("PIN.a.1=12\00034", 13) << port("a", 1, false, 12.0);
    QTest::newRow("P without =") << QByteArray("POUT.Kueche.3") << other(MsgLine::Malformed, QLatin1Char('P'));
    QTest::newRow("P cut by NUL") << QByteArray("P\0OUT.a.1=1", 11) << other(MsgLine::Malformed, QLatin1Char('P'));

    QTest::newRow("U output") << QByteArray("UOUT.Kueche.3") << noValue("Kueche", 3, true);
    QTest::newRow("U read as a report, text after = left") << QByteArray("Uout.a.x=gone") << noValue("a", 0, false);
    QTest::newRow("U without an address") << QByteArray("UKueche") << other(MsgLine::Malformed, QLatin1Char('U'));

    QTest::newRow("E code 5") << QByteArray("E5=MsgServer not inited, wait a bit")
                              << error(5, "MsgServer not inited, wait a bit");
    QTest::newRow("E code not a number") << QByteArray("Ex=text") << error(0, "text");
    QTest::newRow("E text up to the next =") << QByteArray("E2=a=b") << error(2, "a");
    QTest::newRow("E without =") << QByteArray("E5") << other(MsgLine::Malformed, QLatin1Char('E'));

    QTest::newRow("L OK") << QByteArray("LOK") << login(true);
    QTest::newRow("L ok lower case") << QByteArray("Lok") << login(false);

    QTest::newRow("C bus on") << QByteArray("CB") << config(QLatin1Char('B'));
    QTest::newRow("C time-out") << QByteArray("CT60") << config(QLatin1Char('T'), "60");

    QTest::newRow("N ignored") << QByteArray("N") << other(MsgLine::Ignored, QLatin1Char('N'));
    QTest::newRow("B ignored") << QByteArray("B\x01\x02") << other(MsgLine::Ignored, QLatin1Char('B'));
    QTest::newRow("X unknown") << QByteArray("Xfoo") << other(MsgLine::Unknown, QLatin1Char('X'));
    QTest::newRow("empty line") << QByteArray("") << other(MsgLine::Unknown, QChar());
    QTest::newRow("NUL first") << QByteArray("\0P", 2) << other(MsgLine::Unknown, QChar());
    QTest::newRow("Latin-1 letter") << QByteArray("\xc3\xa4OUT") << other(MsgLine::Unknown, QChar(0xE4));
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfeP") << other(MsgLine::Unknown, QChar());
}

void TestQalixMsgClient::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(MsgLine, expected);
    QCOMPARE(MsgLine::parse(bytes), expected);
}

void TestQalixMsgClient::init()
{
    server = std::make_unique<FakeServer>();
    QVERIFY(server->port() != 0);
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

void TestQalixMsgClient::liveOnlyWithProof_data()
{
    // What the server answers to the start-up lines (N, L, three C), and to
    // the start request with the keep-alive behind it.
    QTest::addColumn<QByteArray>("beforeStart");
    QTest::addColumn<QByteArray>("afterStart");
    QTest::addColumn<bool>("live");

    const QByteArray loggedIn("N\nLOK\nCT60\nCd\nCB\n");
    QTest::newRow("reports") << loggedIn << QByteArray("PIN.a.1=1\n") << true;
    QTest::newRow("nothing to report, keep-alive answered") << loggedIn << QByteArray("N\n") << true;
    QTest::newRow("a port's value unknown") << loggedIn << QByteArray("UIN.a.1\n") << true;
    QTest::newRow("start never answered") << loggedIn << QByteArray() << false;
    QTest::newRow("error 5 to every start")
        << loggedIn << QByteArray("E5=MsgServer not inited, wait a bit\nN\n") << false;
    QTest::newRow("no login answer") << QByteArray("N\nCT60\nCd\nCB\n") << QByteArray("N\nPIN.a.1=1\n") << false;
    // The one answer is the first keep-alive's, sent before the start request.
    QTest::newRow("keep-alive answered late") << QByteArray("LOK\nCT60\nCd\nCB\n") << QByteArray("N\n") << false;
}

// Only a server that logged the panel in and then reported or answered after
// the start request makes the connection live; its loss ends it at once.
void TestQalixMsgClient::liveOnlyWithProof()
{
    QFETCH(QByteArray, beforeStart);
    QFETCH(QByteArray, afterStart);
    QFETCH(bool, live);

    connectClient();
    client->setStartProbe(true);
    QSignalSpy changes(client.get(), &QalixMsgClient::liveChanged);
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    server->send(beforeStart);
    QVERIFY(server->waitFor("S\nN\n"));
    // An error line marks the end of what the client has to handle.
    server->send(afterStart + "E3=end\n");
    QVERIFY(errors.wait(5000));
    QCOMPARE(client->isLive(), live);

    server->peer()->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, 5000);
    QVERIFY(!client->isLive());
    QCOMPARE(changes.size(), live ? 2 : 0); // on, then off
}

void TestQalixMsgClient::downReasonOncePerBurst_data()
{
    // What the server does at each of three attempts: nothing listens, it
    // drops the panel, or it answers the start-up lines so.
    QTest::addColumn<QByteArray>("server");
    QTest::addColumn<QString>("banner");
    QTest::addColumn<QString>("line"); // after "Message server 127.0.0.1:PORT "

    QTest::newRow("nothing listens") << QByteArray("closed") << "Server nicht erreichbar"
                                     << "not reachable: Connection refused";
    // A report behind the refusal goes with the connection.
    QTest::newRow("login refused") << QByteArray("N\nLDENIED\nPIN.after.1=1\n") << "Anmeldung abgelehnt"
                                   << "refused the login of user \"demo\"";
    QTest::newRow("login never answered") << QByteArray("N\n") << "Keine Antwort vom Server"
                                          << "does not answer: connected, but no answer to the login within 10 s";
    QTest::newRow("accepts and drops") << QByteArray("drop") << "Verbindung unterbrochen"
                                       << "ended the connection";
}

namespace {
QStringList criticalLines;
}

// Each way of failing is named differently, in one line for the whole run of
// attempts that fail alike.
void TestQalixMsgClient::downReasonOncePerBurst()
{
    QFETCH(QByteArray, server);
    QFETCH(QString, banner);
    QFETCH(QString, line);

    const quint16 port = this->server->port();
    if (server == "closed")
        this->server.reset();
    client = std::make_unique<QalixMsgClient>(loopbackClient(port, "demo", "pw"));
    client->setClock([this] { return clock(); });
    client->setTicking(false);
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    criticalLines.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
            if (type == QtCriticalMsg)
                criticalLines << text;
        });
    for (int attempt = 0; attempt < 3; ++attempt) {
        advance(10000);
        client->connectToServer();
        if (server != "closed" && this->server->waitForClient() && this->server->waitFor("CB\n"))
            server == "drop" ? this->server->peer()->disconnectFromHost() : this->server->send(server);
        QTRY_VERIFY_WITH_TIMEOUT(server == "N\n" || client->state() == QAbstractSocket::UnconnectedState, 5000);
    }
    qInstallMessageHandler(previous);
    QCOMPARE(criticalLines.size(), 1);
    QVERIFY2(criticalLines.first().startsWith(QStringLiteral("Message server 127.0.0.1:%1 ").arg(port) + line),
             qPrintable(criticalLines.first()));
    QCOMPARE(client->downReason().operatorText(), banner);
    QVERIFY(received.isEmpty() && !client->isLive());
}

void TestQalixMsgClient::resetCalmly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reset"); // the line on standard error; empty: no reset

    // A report padded with trailing blanks up to the length, line feed not counted.
    const auto report = [](int length) { return "PIN.big.1=5" + QByteArray(length - 11, ' '); };
    const QString tooLong = "Message server line longer than 65536 bytes dropped, connection reset";
    QTest::newRow("64 KiB complete") << report(65536) + '\n' << QString();
    QTest::newRow("one byte more") << report(65537) + '\n' << tooLong;
    QTest::newRow("grows without end") << report(200000) << tooLong;
    // Each configuration answer is answered with a start request, and the
    // server reads none of them.
    QTest::newRow("configuration flood, never read")
        << "N\nLOK\nCT60\nCd\n" + QByteArray("CB\n").repeated(200000) << "Message server reads nothing: ";
}

void TestQalixMsgClient::resetCalmly()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reset);

    connectClient();
    // Small socket buffers, so what waits unsent is the panel's own queue.
    server->peer()->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    client->m_socket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4096);
    QSignalSpy received(client.get(), &QalixMsgClient::received);
    if (!reset.isEmpty())
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^" + QRegularExpression::escape(reset)));
    QPointer<QTcpSocket> first = server->peer();
    server->send(bytes);
    if (!reset.isEmpty()) {
        QVERIFY(first.isNull() || first->state() != QAbstractSocket::ConnectedState
                || QSignalSpy(first.data(), &QTcpSocket::disconnected).wait(5000));
        QVERIFY(received.isEmpty());
        QCOMPARE(client->m_socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(client->m_socket.bytesToWrite(), 0);
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

    // While the server is away every attempt fails (Wine never tells Qt's
    // Windows sockets of a refused connection; Windows and Linux do).
    QSignalSpy errors(client.get(), &QalixMsgClient::error);
    client->connectToServer();
    QVERIFY(runsUnderWine() || errors.wait(5000));

    QVERIFY(sim.listen(QHostAddress::LocalHost, port));
    received.clear();
    advance(QalixMsgClient::silenceLimit + 1);
    client->onTimeout();
    QVERIFY(received.wait(5000));
    QCOMPARE(received.last(), (QList<QVariant>{"Kueche", 3, true, 1.0}));
    QVERIFY(client->isConnected());
    QVERIFY(client->isStarted());
}

QTEST_GUILESS_MAIN(TestQalixMsgClient)
#include "tst_qalixmsgclient.moc"
