#include "udppeerhelper.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QString qlxd = QStringLiteral(QALIX_BUILD_DIR "/qlxd");

} // namespace

class TestQlxdServe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void usage_data();
    void usage();
    void servesOnePanel();

private:
    // Starts the server on a free loopback port and returns that port (0 on failure).
    quint16 start(const QStringList &options);

    QTemporaryDir *dir = nullptr;
    QString packagePath;
    QProcess *server = nullptr;
};

void TestQlxdServe::initTestCase()
{
    QVERIFY2(QFileInfo(qlxd).isExecutable(), "build the qlxd target first");
}

void TestQlxdServe::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    packagePath = dir->filePath(QStringLiteral("House.qlxd"));
    QFile file(packagePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(testPackage(1000));
}

void TestQlxdServe::cleanup()
{
    if (server) {
        server->kill();
        server->waitForFinished();
        delete server;
        server = nullptr;
    }
    delete dir;
    dir = nullptr;
}

quint16 TestQlxdServe::start(const QStringList &options)
{
    server = new QProcess;
    server->start(qlxd, QStringList{"serve", "--bind", "127.0.0.1", "--port", "0"} + options
                            + QStringList{packagePath});
    if (!server->waitForStarted() || !server->waitForReadyRead())
        return 0;
    const QString line = QString::fromUtf8(server->readLine());
    const QRegularExpressionMatch match = QRegularExpression(" on 127\\.0\\.0\\.1:(\\d+)$").match(line.trimmed());
    return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
}

void TestQlxdServe::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("text");

    QTest::newRow("help") << QStringList{"serve", "-h", "x"} << 0 << "--timeout MSEC";
    QTest::newRow("no package") << QStringList{"serve"} << 2 << "usage: qlxd serve";
    QTest::newRow("unknown option") << QStringList{"serve", "--fast", "x.qlxd"} << 2 << "unknown option --fast";
    QTest::newRow("port out of range") << QStringList{"serve", "--port", "70000", "x.qlxd"} << 2 << "--port";
    QTest::newRow("piece too large") << QStringList{"serve", "--piece-size", "3073", "x.qlxd"} << 2 << "--piece-size";
    QTest::newRow("no timeout") << QStringList{"serve", "--timeout", "0", "x.qlxd"} << 2 << "--timeout";
    QTest::newRow("ipv6 bind") << QStringList{"serve", "--bind", "::1", "x.qlxd"} << 2 << "--bind";
    QTest::newRow("two packages") << QStringList{"serve", "a.qlxd", "b.qlxd"} << 2 << "one package";
    QTest::newRow("missing package") << QStringList{"serve", "missing.qlxd"} << 1 << "can not read missing.qlxd";
    QTest::newRow("name with a path") << QStringList{"serve", "--name", "../x", "PKG"} << 2 << "no plain file name";
    QTest::newRow("name with =") << QStringList{"serve", "--name", "a=b", "PKG"} << 2 << "no plain file name";
}

void TestQlxdServe::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, text);

    args.replaceInStrings(QRegularExpression("^PKG$"), packagePath);
    QProcess process;
    process.start(qlxd, args);
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), exitCode);
    const QString output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    QVERIFY2(output.contains(text), qPrintable(output));
}

void TestQlxdServe::servesOnePanel()
{
    const quint16 port = start({"--once", "--piece-size", "300", "--timeout", "200", "--name", "Other"});
    QVERIFY(port != 0);
    UdpPeer panel;

    QVERIFY(panel.send("HELLO", port));
    QCOMPARE(panel.next(), QByteArray("WAVE"));
    // A panel that does not acknowledge is given up; nothing is sent again unasked.
    QVERIFY(panel.send("START", port));
    QCOMPARE(panel.next(), QByteArray("Other=1000"));
    QString log;
    while (!log.contains("transfer given up") && server->waitForReadyRead())
        log += QString::fromUtf8(server->readAll());
    QVERIFY2(log.contains("No acknowledgement from 127.0.0.1, transfer given up"), qPrintable(log));
    QVERIFY(panel.next(0).isNull());

    QVERIFY(panel.send("START", port));
    QCOMPARE(panel.next(), QByteArray("Other=1000"));
    QByteArray received;
    while (received.size() < 1000) {
        QVERIFY(panel.send(QByteArray::number(received.size()), port));
        const QByteArray piece = QByteArray::fromBase64(panel.next());
        QVERIFY(!piece.isEmpty());
        received += piece;
    }
    QCOMPARE(received, testPackage(1000));
    // --once: the last piece ends the server.
    QVERIFY(server->waitForFinished());
    QCOMPARE(server->exitCode(), 0);
    log += QString::fromUtf8(server->readAll());
    QVERIFY2(log.contains("START from 127.0.0.1:" + QString::number(panel.port())), qPrintable(log));
    QVERIFY2(log.contains("Sent the last piece to 127.0.0.1"), qPrintable(log));
}

QTEST_GUILESS_MAIN(TestQlxdServe)
#include "tst_qlxdserve.moc"
