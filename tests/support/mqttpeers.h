#ifndef MQTTPEERS_H
#define MQTTPEERS_H

// The MQTT message server's peers in tests: a mosquitto of the test's own on
// a free loopback port, and the bridge program itself. Each is stopped, by
// its process id, when it goes.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

quint16 freeLoopbackPort();
// Runs the event loop until `out` (topped up from the process's standard
// output) contains `marker`; false after `msecs` or when the process ended.
bool waitForOutput(QProcess &process, QByteArray &out, const QByteArray &marker, int msecs = 10000);
void stopProcess(QProcess &process);

class TestBroker
{
public:
    // Files go to `dir`, which outlives the broker.
    explicit TestBroker(const QString &dir) : dir(dir) {}
    ~TestBroker() { stop(); }

    // `listener` is the configuration's listener part, "@PORT@" for the
    // port; empty: plain MQTT for anybody. `port` 0 picks a free one.
    bool start(const QByteArray &listener = QByteArray(), quint16 port = 0);
    void stop() { stopProcess(process); }
    quint16 port() const { return listenPort; }
    bool publish(const QString &topic, const QByteArray &payload, bool retain = false) const;

private:
    QString dir;
    QProcess process;
    quint16 listenPort = 0;
};

class TestBridge
{
public:
    explicit TestBridge(const QString &dir) : dir(dir) {}
    ~TestBridge() { stop(); }

    // The configuration with "@PORT@" for the broker's port; true once it
    // listens (and, unless `untilConnected` is false, the broker is connected).
    bool start(QByteArray config, quint16 brokerPort, bool untilConnected = true,
               const QStringList &arguments = {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    void stop() { stopProcess(process); }
    quint16 port() const { return listenPort; }
    bool waitForOutput(const QByteArray &marker, int msecs = 10000) { return ::waitForOutput(process, out, marker, msecs); }
    // Standard error so far; waits until it contains `marker` when one is given.
    QByteArray errors(const QByteArray &marker = QByteArray(), int msecs = 10000);
    qint64 pid() const { return process.processId(); }

    QByteArray out;
    QByteArray err;

private:
    QString dir;
    QProcess process;
    quint16 listenPort = 0;
};

#endif // MQTTPEERS_H
