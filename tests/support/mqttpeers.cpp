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

bool waitForOutput(QProcess &process, QByteArray &out, const QByteArray &marker, int msecs,
                   QProcess::ProcessChannel channel)
{
    process.setReadChannel(channel);
    const auto done = [&] {
        return (out += process.readAll()).contains(marker) || process.state() == QProcess::NotRunning;
    };
    // The event loop runs meanwhile: the test's own clients go on talking.
    return QTest::qWaitFor(done, msecs) && ((out += process.readAll()).contains(marker));
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
    // A flood published in a burst reaches the bridge whole. Run as root it
    // would switch to its own user, which cannot write here.
    conf.replace("@PORT@", QByteArray::number(listenPort)) += "max_queued_messages 0\npersistence true\n"
                                                              "persistence_location "
        + dir.toUtf8() + "/\nlog_dest none\n" + (::getuid() == 0 ? "user root\n" : "");
    writeFile(dir + QStringLiteral("/mosquitto.conf"), conf);
    process.start(QStringLiteral("/usr/sbin/mosquitto"),
                  {QStringLiteral("-c"), dir + QStringLiteral("/mosquitto.conf")});
    return QTest::qWaitFor(
               [this] {
                   QTcpSocket probe;
                   probe.connectToHost(QHostAddress::LocalHost, listenPort);
                   return probe.waitForConnected(100) || process.state() == QProcess::NotRunning;
               },
               5000)
        && process.state() != QProcess::NotRunning;
}

bool TestBroker::publish(const QString &topic, const QByteArray &payload, bool retain) const
{
    QStringList args = clientArgs + QStringList{"-h", "127.0.0.1", "-p", QString::number(listenPort), "-q", "1",
                                                "-t", topic,       "-m", QString::fromUtf8(payload)};
    return QProcess::execute(QStringLiteral("mosquitto_pub"), retain ? args << "-r" : args) == 0;
}

bool TestBridge::start(QByteArray config, quint16 brokerPort, bool untilConnected, const QStringList &arguments)
{
    writeFile(dir + QStringLiteral("/bridge.ini"), config.replace("@PORT@", QByteArray::number(brokerPort)));
    process.start(QStringLiteral(QALIX_BUILD_DIR "/msgserver-mqtt"),
                  QStringList{QStringLiteral("--config"), dir + QStringLiteral("/bridge.ini")} + arguments);
    // The first line names the port, open or (until the broker is reached) kept.
    if (!waitForOutput(untilConnected ? QByteArray("connected\n") : QByteArray("\n")))
        return false;
    const QByteArray line = out.left(out.indexOf('\n'));
    listenPort = quint16(line.mid(line.lastIndexOf(':') + 1).split(' ').value(0).toUInt());
    return listenPort != 0;
}
