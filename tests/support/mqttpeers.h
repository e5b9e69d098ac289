#ifndef MQTTPEERS_H
#define MQTTPEERS_H

// The MQTT message server's peers in tests: a mosquitto of the test's own on
// a free loopback port, and the bridge program. Both stop, by their process
// id, when they go; their files go to a folder that outlives them.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

quint16 freeLoopbackPort();
// Runs the event loop until `out`, topped up from the process's standard
// output (or error), contains `marker`; false after `msecs` or when it ended.
bool waitForOutput(QProcess &process, QByteArray &out, const QByteArray &marker, int msecs = 10000,
                   QProcess::ProcessChannel channel = QProcess::StandardOutput);
void stopProcess(QProcess &process);

struct TestBroker
{
    explicit TestBroker(const QString &dir)
        : dir(dir)
    {
    }
    ~TestBroker() { stopProcess(process); }
    // `listener`: the configuration's listener part, "@PORT@" for the port;
    // by default plain MQTT for anybody. `port` 0 picks a free one.
    bool start(const QByteArray &listener = QByteArray(), quint16 port = 0);
    void stop() { stopProcess(process); }
    quint16 port() const { return listenPort; }
    bool publish(const QString &topic, const QByteArray &payload, bool retain = false) const;

    QString dir;
    QProcess process;
    quint16 listenPort = 0;
    QStringList clientArgs; // TLS and login for mosquitto_pub, when the listener asks for them
};

struct TestBridge
{
    explicit TestBridge(const QString &dir)
        : dir(dir)
    {
    }
    ~TestBridge() { stopProcess(process); }
    // The configuration with "@PORT@" for the broker's port; true once it
    // listens and, unless `untilConnected` is false, has the broker.
    bool start(QByteArray config, quint16 brokerPort, bool untilConnected = true,
               const QStringList &arguments = {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    void stop() { stopProcess(process); }
    quint16 port() const { return listenPort; }
    bool waitForOutput(const QByteArray &marker, int msecs = 10000)
    {
        return ::waitForOutput(process, out, marker, msecs);
    }
    // Standard error so far, once it contains `marker` (or after 10 s).
    QByteArray errors(const QByteArray &marker = QByteArray())
    {
        ::waitForOutput(process, err, marker, 10000, QProcess::StandardError);
        return err;
    }
    qint64 pid() const { return process.processId(); }

    QString dir;
    QProcess process;
    quint16 listenPort = 0;
    QByteArray out;
    QByteArray err;
};

#endif // MQTTPEERS_H
