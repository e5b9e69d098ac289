#include "tools/support/msgserversim.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

// The simulator's server side, seen through a plain socket.
class TestMsgServerSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parsePortLine_data();
    void parsePortLine();
    void loadPortsReportsTheBadLine();
    void answers_data();
    void answers();
    void commandsReachStartedClientsOnly();
    void allOffSwitchesEverySwitchOff();
    void notReadyAnswersError5();
    void silentAnswersNothing();
    void dropAfterStart();
    void overlongLine();
    void burstKeepsNewestValues();
    void reportRate();
    void inputsChange();

private:
    QTcpSocket *connectClient();
    // Sends `lines`, then a marker; returns everything received before the marker's echo.
    QByteArray exchange(QTcpSocket *socket, const QByteArray &lines);
    bool readUntil(QTcpSocket *socket, QByteArray *into, const std::function<bool(const QByteArray &)> &done);

    std::unique_ptr<MsgServerSim> sim;
    QList<QTcpSocket *> sockets;
};

void TestMsgServerSim::init()
{
    sim = std::make_unique<MsgServerSim>();
    sim->addPort("OUT.Kueche.1", MsgServerSim::Switch, 0.0);
    sim->addPort("IN.Aussen.1", MsgServerSim::Temperature, 8.5);
    QVERIFY(sim->listen(QHostAddress::LocalHost, 0));
}

void TestMsgServerSim::cleanup()
{
    qDeleteAll(sockets);
    sockets.clear();
    sim.reset();
}

QTcpSocket *TestMsgServerSim::connectClient()
{
    auto *socket = new QTcpSocket;
    sockets << socket;
    QSignalSpy started(sim.get(), &MsgServerSim::clientConnected);
    socket->connectToHost(QHostAddress::LocalHost, sim->serverPort());
    if (!socket->waitForConnected(5000) || !started.wait(5000))
        return nullptr;
    return socket;
}

bool TestMsgServerSim::readUntil(QTcpSocket *socket, QByteArray *into,
                                 const std::function<bool(const QByteArray &)> &done)
{
    for (int i = 0; i < 1000 && !done(*into); ++i) {
        QSignalSpy ready(socket, &QTcpSocket::readyRead);
        if (!socket->bytesAvailable() && !ready.wait(5000))
            return false;
        *into += socket->readAll();
    }
    return done(*into);
}

QByteArray TestMsgServerSim::exchange(QTcpSocket *socket, const QByteArray &lines)
{
    socket->write(lines + "N__end\n");
    QByteArray reply;
    if (!readUntil(socket, &reply, [](const QByteArray &r) { return r.endsWith("N__end\n"); }))
        return "timeout: " + reply;
    reply.chop(7);
    return reply;
}

void TestMsgServerSim::parsePortLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("value");

    QTest::newRow("switch") << "OUT.Kueche.1 switch" << true << "OUT.Kueche.1" << int(MsgServerSim::Switch) << 0.0;
    QTest::newRow("temperature") << "  IN.Aussen.1   temperature 8.5 " << true << "IN.Aussen.1"
                                 << int(MsgServerSim::Temperature) << 8.5;
    QTest::newRow("contact") << "IN.Tuer.2 contact 1" << true << "IN.Tuer.2" << int(MsgServerSim::Contact) << 1.0;
    QTest::newRow("fixed") << "IN.Bad.2 fixed 55" << true << "IN.Bad.2" << int(MsgServerSim::Fixed) << 55.0;
    QTest::newRow("alloff") << "OUT.Zentral.1 alloff" << true << "OUT.Zentral.1" << int(MsgServerSim::AllOff) << 0.0;
    QTest::newRow("unknown kind") << "IN.a.1 lamp" << false << "" << 0 << 0.0;
    QTest::newRow("bad direction") << "in.a.1 switch" << false << "" << 0 << 0.0;
    QTest::newRow("two address fields") << "IN.a switch" << false << "" << 0 << 0.0;
    QTest::newRow("four address fields") << "IN.a.b.1 switch" << false << "" << 0 << 0.0;
    QTest::newRow("port not a number") << "IN.a.x switch" << false << "" << 0 << 0.0;
    QTest::newRow("negative port") << "IN.a.-1 switch" << false << "" << 0 << 0.0;
    QTest::newRow("value not a number") << "IN.a.1 fixed warm" << false << "" << 0 << 0.0;
    QTest::newRow("too many fields") << "IN.a.1 fixed 1 2" << false << "" << 0 << 0.0;
    QTest::newRow("address only") << "IN.a.1" << false << "" << 0 << 0.0;
}

void TestMsgServerSim::parsePortLine()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(QString, address);
    QFETCH(int, kind);
    QFETCH(double, value);

    MsgServerSim::SimPort port;
    QString error;
    QCOMPARE(MsgServerSim::parsePortLine(line, &port, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (ok) {
        QCOMPARE(port.address, address);
        QCOMPARE(int(port.kind), kind);
        QCOMPARE(port.value, value);
    }
}

void TestMsgServerSim::loadPortsReportsTheBadLine()
{
    MsgServerSim fresh;
    QString error;
    QVERIFY(!fresh.loadPorts("# list\nOUT.a.1 switch\n\nIN.b.1 heater\n", &error));
    QVERIFY2(error.startsWith("line 4:"), qPrintable(error));
    QVERIFY(fresh.ports().empty());

    QVERIFY(fresh.loadPorts("# list\nOUT.a.1 switch 1 # lamp\n\nIN.b.1 contact\n", &error));
    QCOMPARE(int(fresh.ports().size()), 2);
    QCOMPARE(fresh.value("OUT.a.1"), 1.0);
    QCOMPARE(fresh.ports().at(1).kind, MsgServerSim::Contact);
}

void TestMsgServerSim::answers_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray e4("E4=You are not permited to do that\n");
    QTest::newRow("keep-alive") << QByteArray("N\n") << QByteArray("N\n");
    QTest::newRow("keep-alive text echoed") << QByteArray("Nabc\n") << QByteArray("Nabc\n");
    QTest::newRow("login") << QByteArray("Ldemo=demo\n") << QByteArray("LOK\n");
    QTest::newRow("wrong password") << QByteArray("Ldemo=x\n") << QByteArray("LDENIED\n");
    QTest::newRow("login without =") << QByteArray("Ldemo\n") << QByteArray("LDENIED\n");
    QTest::newRow("configuration needs login") << QByteArray("CT60\n") << e4;
    QTest::newRow("start needs login") << QByteArray("S\n") << e4;
    QTest::newRow("command needs login") << QByteArray("POUT.a.1=1\n") << e4;
    QTest::newRow("configuration answers")
        << QByteArray("Ldemo=demo\nCT60\nCd\nCB\nCr\nCX\n")
        << QByteArray("LOK\nCT60\nCd\nCB\nCr\nE1=Configuration not possible\n");
    QTest::newRow("unknown letter") << QByteArray("Xfoo\n\n") << QByteArray("E2=Command not found\nE2=Command not found\n");
    QTest::newRow("reports only after start")
        << QByteArray("Ldemo=demo\nCd\nCB\nS\n") << QByteArray("LOK\nCd\nCB\nPOUT.Kueche.1=0\nPIN.Aussen.1=8.5\n");
    QTest::newRow("command before start is applied, not reported")
        << QByteArray("Ldemo=demo\nPOUT.Kueche.1=1\nS\n") << QByteArray("LOK\nPOUT.Kueche.1=1\nPIN.Aussen.1=8.5\n");
    QTest::newRow("unknown port becomes a switch")
        << QByteArray("Ldemo=demo\nS\nPOUT.Neu.4=0.5\n")
        << QByteArray("LOK\nPOUT.Kueche.1=0\nPIN.Aussen.1=8.5\nPOUT.Neu.4=0.5\n");
    QTest::newRow("malformed commands")
        << QByteArray("Ldemo=demo\nPOUT.a=1\nPOUT.a.1\nPOUT.a.1=x\nPup.a.1=1\n")
        << QByteArray("LOK\nE2=Command not found\nE2=Command not found\nE2=Command not found\nE2=Command not found\n");
}

void TestMsgServerSim::answers()
{
    QFETCH(QByteArray, lines);
    QFETCH(QByteArray, reply);
    QTcpSocket *socket = connectClient();
    QVERIFY(socket);
    QCOMPARE(exchange(socket, lines), reply);
}

void TestMsgServerSim::commandsReachStartedClientsOnly()
{
    QTcpSocket *a = connectClient();
    QTcpSocket *b = connectClient();
    QTcpSocket *c = connectClient();
    QVERIFY(a && b && c);
    QVERIFY(exchange(a, "Ldemo=demo\nS\n").startsWith("LOK\n"));
    QVERIFY(exchange(b, "Ldemo=demo\nS\n").startsWith("LOK\n"));
    QCOMPARE(exchange(c, "Ldemo=demo\n"), QByteArray("LOK\n"));
    QCOMPARE(sim->startedCount(), 2);

    QSignalSpy commands(sim.get(), &MsgServerSim::portCommand);
    QCOMPARE(exchange(a, "POUT.Kueche.1=1\n"), QByteArray("POUT.Kueche.1=1\n"));
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.at(0), (QList<QVariant>{"OUT.Kueche.1", 1.0}));
    QCOMPARE(exchange(b, ""), QByteArray("POUT.Kueche.1=1\n"));
    QCOMPARE(exchange(c, ""), QByteArray());
    QCOMPARE(sim->value("OUT.Kueche.1"), 1.0);
}

void TestMsgServerSim::allOffSwitchesEverySwitchOff()
{
    sim->addPort("OUT.Flur.1", MsgServerSim::Switch, 1.0);
    sim->addPort("OUT.Zentral.1", MsgServerSim::AllOff, 0.0);
    QTcpSocket *socket = connectClient();
    QVERIFY(socket);
    QVERIFY(exchange(socket, "Ldemo=demo\nS\nPOUT.Kueche.1=1\n").endsWith("POUT.Kueche.1=1\n"));
    QCOMPARE(exchange(socket, "POUT.Zentral.1=0\n"), QByteArray("POUT.Zentral.1=0\n"));
    QCOMPARE(exchange(socket, "POUT.Zentral.1=1\n"),
             QByteArray("POUT.Zentral.1=1\nPOUT.Kueche.1=0\nPOUT.Flur.1=0\nPOUT.Zentral.1=0\n"));
    QCOMPARE(sim->value("OUT.Flur.1"), 0.0);
    QCOMPARE(sim->value("IN.Aussen.1"), 8.5);
}

void TestMsgServerSim::notReadyAnswersError5()
{
    sim->close();
    sim->setReadyAfter(300);
    QVERIFY(sim->listen(QHostAddress::LocalHost, 0));
    QTcpSocket *socket = connectClient();
    QVERIFY(socket);
    QCOMPARE(exchange(socket, "Ldemo=demo\n"), QByteArray("LOK\n"));
    socket->write("S\n");
    QByteArray reply;
    QVERIFY(readUntil(socket, &reply, [](const QByteArray &r) { return r.endsWith("\n"); }));
    QCOMPARE(reply, QByteArray("E5=MsgServer not inited, wait a bit\n"));
    // Later the same request is served.
    QByteArray later;
    for (int i = 0; i < 50 && !later.startsWith("P"); ++i) {
        socket->write("S\n");
        later.clear();
        QVERIFY(readUntil(socket, &later, [](const QByteArray &r) { return r.endsWith("\n"); }));
    }
    QVERIFY2(later.startsWith("POUT.Kueche.1=0\n"), later.constData());
}

void TestMsgServerSim::silentAnswersNothing()
{
    QTcpSocket *socket = connectClient();
    QVERIFY(socket);
    sim->setSilent(true);
    QSignalSpy lines(sim.get(), &MsgServerSim::lineReceived);
    socket->write("Ldemo=demo\nN\nS\n");
    while (lines.size() < 3)
        QVERIFY(lines.wait(5000));
    sim->setSilent(false);
    // The first answer on the connection is the one to the line sent now.
    QCOMPARE(exchange(socket, ""), QByteArray());
}

void TestMsgServerSim::dropAfterStart()
{
    sim->setDropAfter(50);
    QTcpSocket *socket = connectClient();
    QVERIFY(socket);
    QSignalSpy gone(socket, &QTcpSocket::disconnected);
    socket->write("Ldemo=demo\nS\n");
    QVERIFY(gone.wait(5000));
    QSignalSpy removed(sim.get(), &MsgServerSim::clientGone);
    QVERIFY(sim->clientCount() == 0 || removed.wait(5000));
}

void TestMsgServerSim::overlongLine()
{
    sim->setOverlongAfter(10);
    QTcpSocket *socket = connectClient();
    QVERIFY(socket);
    socket->write("Ldemo=demo\nS\n");
    QByteArray reply;
    QVERIFY(readUntil(socket, &reply, [](const QByteArray &r) { return r.endsWith(QByteArray(70 * 1024, 'A')); }));
    QVERIFY(reply.startsWith("LOK\nPOUT.Kueche.1=0\nPIN.Aussen.1=8.5\nAAAA"));
}

void TestMsgServerSim::burstKeepsNewestValues()
{
    QTcpSocket *socket = connectClient();
    QVERIFY(socket);
    QVERIFY(exchange(socket, "Ldemo=demo\nS\n").startsWith("LOK"));
    const quint64 before = sim->reportsSent();
    sim->sendBurst(5);
    QCOMPARE(sim->reportsSent() - before, quint64(5));
    QCOMPARE(exchange(socket, ""),
             QByteArray("POUT.Kueche.1=1\nPIN.Aussen.1=2\nPOUT.Kueche.1=3\nPIN.Aussen.1=4\nPOUT.Kueche.1=5\n"));
    QCOMPARE(sim->value("OUT.Kueche.1"), 5.0);
    QCOMPARE(sim->value("IN.Aussen.1"), 4.0);
}

void TestMsgServerSim::reportRate()
{
    QTcpSocket *socket = connectClient();
    QVERIFY(socket);
    QVERIFY(exchange(socket, "Ldemo=demo\nS\n").startsWith("LOK"));
    sim->setReportRate(2000);
    QByteArray reply;
    QVERIFY(readUntil(socket, &reply, [](const QByteArray &r) { return r.count('\n') >= 40; }));
    sim->setReportRate(0);
    for (const QByteArray &line : reply.split('\n')) {
        if (!line.isEmpty())
            QVERIFY2(line == "POUT.Kueche.1=0" || line == "PIN.Aussen.1=8.5", line.constData());
    }
}

void TestMsgServerSim::inputsChange()
{
    MsgServerSim fresh;
    fresh.setSeed(7);
    fresh.addPort("IN.Tuer.1", MsgServerSim::Contact, 0.0);
    fresh.addPort("IN.Aussen.1", MsgServerSim::Temperature, 8.5);
    fresh.addPort("OUT.Licht.1", MsgServerSim::Switch, 1.0);
    int toggles = 0;
    double last = 0.0;
    for (int i = 0; i < 200; ++i) {
        fresh.simulateStep();
        toggles += fresh.value("IN.Tuer.1") != last;
        last = fresh.value("IN.Tuer.1");
        const double t = fresh.value("IN.Aussen.1");
        QVERIFY2(t >= 6.5 - 1e-9 && t <= 10.5 + 1e-9, qPrintable(QString::number(t)));
        QCOMPARE(qRound(t * 10) / 10.0, t);
    }
    QVERIFY2(toggles > 5, qPrintable(QString::number(toggles)));
    QCOMPARE(fresh.value("OUT.Licht.1"), 1.0);
}

QTEST_GUILESS_MAIN(TestMsgServerSim)
#include "tst_msgserversim.moc"
