#include "msgtesthelper.h"
#include "net/qalixmsgclient.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

// The msgserver-sim executable as the demo starts it.
class TestMsgServerSimTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void help();
    void badOptions_data();
    void badOptions();
    void servesAClient();
    void controlStopAndStart();

private:
    // Starts the tool on a free port; returns the port it prints, 0 on failure.
    quint16 start(const QStringList &arguments);
    bool waitForOutput(const QByteArray &text);

    QString program;
    QProcess process;
    QByteArray output;
};

void TestMsgServerSimTool::initTestCase()
{
    program = QStringLiteral(QALIX_BUILD_DIR "/msgserver-sim");
    QVERIFY2(QFileInfo(program).isExecutable(), "build the msgserver-sim target first");
}

void TestMsgServerSimTool::cleanup()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    output.clear();
}

bool TestMsgServerSimTool::waitForOutput(const QByteArray &text)
{
    for (int i = 0; i < 100; ++i) {
        output += process.readAllStandardOutput();
        if (output.contains(text))
            return true;
        if (!process.waitForReadyRead(5000))
            break;
    }
    output += process.readAllStandardOutput();
    return output.contains(text);
}

quint16 TestMsgServerSimTool::start(const QStringList &arguments)
{
    process.start(program, QStringList{"--port", "0"} + arguments);
    if (!process.waitForStarted(5000) || !waitForOutput("\n"))
        return 0;
    const QRegularExpression listening("listening on 127\\.0\\.0\\.1:(\\d+) with (\\d+) ports");
    const QRegularExpressionMatch match = listening.match(QString::fromLatin1(output));
    return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
}

void TestMsgServerSimTool::help()
{
    process.start(program, {"--help"});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray text = process.readAllStandardOutput();
    for (const char *option : {"--port", "--address", "--user", "--password", "--ports", "--rate", "--silent",
                               "--refuse-login", "--drop-after", "--malformed", "--overlong-after", "--ready-after"})
        QVERIFY2(text.contains(option), option);
}

void TestMsgServerSimTool::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port not a number") << QStringList{"--port", "x"};
    QTest::newRow("port too large") << QStringList{"--port", "70000"};
    QTest::newRow("bad address") << QStringList{"--address", "nowhere"};
    QTest::newRow("missing port list") << QStringList{"--ports", "/nonexistent/ports.txt"};
    QTest::newRow("negative rate") << QStringList{"--rate", "-5"};
}

void TestMsgServerSimTool::badOptions()
{
    QFETCH(QStringList, arguments);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(!process.readAllStandardError().isEmpty());
}

void TestMsgServerSimTool::servesAClient()
{
    QTemporaryFile ports;
    QVERIFY(ports.open());
    ports.write("# test ports\nOUT.Licht.2 switch 0\nIN.Aussen.1 fixed 8.5\n");
    ports.close();
    const quint16 port = start({"--ready-after", "0", "--interval", "0", "--ports", ports.fileName()});
    QVERIFY2(port != 0, output.constData());
    QVERIFY(output.contains("with 2 ports"));

    QalixMsgClient client(loopbackClient(port, "demo", "demo"));
    QSignalSpy received(&client, &QalixMsgClient::received);
    client.connectToServer();
    while (received.size() < 2)
        QVERIFY(received.wait(5000));
    QCOMPARE(received.at(0), (QList<QVariant>{"Licht", 2, true, 0.0}));
    QCOMPARE(received.at(1), (QList<QVariant>{"Aussen", 1, false, 8.5}));

    client.setPortValue("Licht", 2, true, 1.0);
    QVERIFY(received.wait(5000));
    QCOMPARE(received.last(), (QList<QVariant>{"Licht", 2, true, 1.0}));
    QVERIFY(waitForOutput("command OUT.Licht.2=1"));
}

void TestMsgServerSimTool::controlStopAndStart()
{
    const quint16 port = start({"--ready-after", "0", "--interval", "0", "--control"});
    QVERIFY2(port != 0, output.constData());
    QalixMsgClient client(loopbackClient(port, "demo", "demo"));
    QSignalSpy received(&client, &QalixMsgClient::received);
    client.connectToServer();
    QVERIFY(received.wait(5000));

    process.write("stop\n");
    QTRY_VERIFY_WITH_TIMEOUT(!client.isConnected(), 5000);
    process.write("start\n");
    QVERIFY(waitForOutput("ok start"));
    received.clear();
    client.connectToServer();
    QVERIFY(received.wait(5000));
    QVERIFY(client.isConnected());

    process.write("quit\n");
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestMsgServerSimTool)
#include "tst_msgserversimtool.moc"
