#ifndef MSGTESTHELPER_H
#define MSGTESTHELPER_H

#include "net/qalixmsgclient.h"

#include <QByteArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// The panel's client settings for a server on loopback.
inline QalixMsgClient::Settings loopbackClient(quint16 port, const QString &userName, const QString &password)
{
    QalixMsgClient::Settings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.userName = userName;
    settings.password = password;
    return settings;
}

// A server on a free loopback port whose bytes the test controls exactly.
class FakeServer
{
public:
    FakeServer();
    quint16 port() const { return server.serverPort(); }

    // Waits for the next client; the previous one is forgotten.
    bool waitForClient(int msecs = 5000);
    // Waits until the bytes received from the current client contain `marker`.
    bool waitFor(const QByteArray &marker, int msecs = 5000);
    // Everything the current client sent so far; take() empties it.
    QByteArray received() const { return bytes; }
    QByteArray take();
    void send(const QByteArray &data);

    QTcpServer server;
    QPointer<QTcpSocket> peer;

private:
    QByteArray bytes;
};

// Milliseconds under the test's control.
struct FakeClock {
    qint64 t = 1000000;
    qint64 operator()() const { return t; }
};

#endif // MSGTESTHELPER_H
