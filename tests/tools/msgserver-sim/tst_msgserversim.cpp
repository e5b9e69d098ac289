#include <QProcess>
#include <QtTest>

// msgserver-sim's control commands on its standard input, as a script or a
// terminal writes them: in pieces, several at once, too long.
class TestMsgServerSim : public QObject
{
    Q_OBJECT

private slots:
    void control_data();
    void control();
};

void TestMsgServerSim::control_data()
{
    QTest::addColumn<QByteArrayList>("writes"); // each written and flushed by itself
    QTest::addColumn<QStringList>("answers");   // the lines after "listening on"

    const QString listening = "listening, 0 clients, 0 started, 0 reports sent";
    QTest::newRow("one command") << QByteArrayList{"status\n"} << QStringList{listening};
    QTest::newRow("a line in pieces") << QByteArrayList{"sta", "tu", "s\n"} << QStringList{listening};
    QTest::newRow("two lines at once") << QByteArrayList{"stop\nstatus\n"}
                                       << QStringList{"ok stop", "stopped, 0 clients, 0 started, 0 reports sent"};
    // Past 4 KiB without a line feed the input so far is dropped.
    QTest::newRow("overlong input") << QByteArrayList{QByteArray(4097, 'x'), "status\n"} << QStringList{listening};
}

void TestMsgServerSim::control()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QStringList, answers);
    QProcess sim;
    sim.start(QStringLiteral(QALIX_BUILD_DIR "/msgserver-sim"),
              {"--control", "--port", "0", "--interval", "0", "--ready-after", "0"});
    QVERIFY(sim.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 30000);
    QVERIFY(sim.readLine().startsWith("msgserver-sim listening on 127.0.0.1:"));
    for (const QByteArray &bytes : writes) {
        sim.write(bytes);
        QVERIFY(sim.waitForBytesWritten(5000));
        QTest::qWait(20); // each piece by itself
    }
    sim.write("quit\n");
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(sim.readAllStandardOutput()).remove('\r').split('\n');
    QCOMPARE(lines, answers + QStringList({"ok quit", ""}));
}

QTEST_GUILESS_MAIN(TestMsgServerSim)
#include "tst_msgserversim.moc"
