#include "mqttpeers.h"

#include "testsupport.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <unistd.h>

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForOutput(QProcess &process, QByteArray &out, const QByteArray &marker, int msecs)
{
    QElapsedTimer clock;
    clock.start();
    // The event loop runs meanwhile: the test's own clients go on talking.
    while (!out.contains(marker) && clock.elapsed() < msecs && process.state() != QProcess::NotRunning) {
        QTest::qWait(10);
        out += process.readAllStandardOutput();
    }
    out += process.readAllStandardOutput();
    return out.contains(marker);
}

void stopProcess(QProcess &process)
{
    process.terminate();
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(5000))
        process.kill(), process.waitForFinished(5000);
}

bool TestBroker::start(const QByteArray &listener, quint16 port)
{
    listenPort = port ? port : freeLoopbackPort();
    QByteArray conf = listener.isEmpty() ? QByteArray("listener @PORT@ 127.0.0.1\nallow_anonymous true\n") : listener;
    conf.replace("@PORT@", QByteArray::number(listenPort));
    // Run as root it would switch to its own user, which cannot write here.
    // A flood published in a burst reaches the bridge whole.
    conf += "max_queued_messages 0\npersistence true\npersistence_location " + dir.toUtf8() + "/\nlog_dest none\n"
        + (::getuid() == 0 ? "user root\n" : "");
    const QString file = dir + QStringLiteral("/mosquitto.conf");
    writeFile(file, conf);
    process.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), file});
    for (int i = 0; i < 100 && process.state() != QProcess::NotRunning; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, listenPort);
        if (probe.waitForConnected(100))
            return true;
        QTest::qWait(50);
    }
    return false;
}

bool TestBroker::publish(const QString &topic, const QByteArray &payload, bool retain) const
{
    QStringList args{"-h", "127.0.0.1", "-p", QString::number(listenPort), "-q", "1", "-t", topic, "-m",
                     QString::fromUtf8(payload)};
    if (retain)
        args << "-r";
    return QProcess::execute(QStringLiteral("mosquitto_pub"), args) == 0;
}

bool TestBridge::start(QByteArray config, quint16 brokerPort, bool untilConnected, const QStringList &arguments)
{
    const QString file = dir + QStringLiteral("/bridge.ini");
    writeFile(file, config.replace("@PORT@", QByteArray::number(brokerPort)));
    process.start(QStringLiteral(QALIX_BUILD_DIR "/msgserver-mqtt"), QStringList{QStringLiteral("--config"), file} + arguments);
    if (!waitForOutput(untilConnected ? QByteArray("connected\n") : QByteArray("listening on ")))
        return false;
    waitForOutput("\n", 1000);
    const int at = out.indexOf("listening on ");
    const QByteArray line = out.mid(at, out.indexOf('\n', at) - at);
    listenPort = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
    return listenPort != 0;
}

QByteArray TestBridge::errors(const QByteArray &marker, int msecs)
{
    QElapsedTimer clock;
    clock.start();
    err += process.readAllStandardError();
    while (!err.contains(marker) && clock.elapsed() < msecs && process.state() != QProcess::NotRunning) {
        QTest::qWait(10);
        err += process.readAllStandardError();
    }
    return err;
}
