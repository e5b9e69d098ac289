#ifndef UDPPEERHELPER_H
#define UDPPEERHELPER_H

#include <QByteArray>
#include <QHostAddress>
#include <QUdpSocket>

// One end of a datagram exchange played by a test, on loopback. Waiting runs
// the event loop, so the other end may live on the test's own thread.
class UdpPeer
{
public:
    explicit UdpPeer(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);

    bool isBound() const { return m_bound; }
    quint16 port() const { return m_socket.localPort(); }

    bool send(const QByteArray &datagram, quint16 port,
              const QHostAddress &to = QHostAddress::LocalHost);

    // The next datagram, or a null array when none comes within msec.
    QByteArray next(int msec = 5000);
    QHostAddress lastSender() const { return m_lastSender; }
    quint16 lastSenderPort() const { return m_lastSenderPort; }

private:
    QUdpSocket m_socket;
    bool m_bound = false;
    QHostAddress m_lastSender;
    quint16 m_lastSenderPort = 0;
};

// True when no network but loopback is up, as in a private network namespace:
// only then may a test broadcast.
bool onlyLoopbackIsUp();

// A package of size bytes that are not all alike.
QByteArray testPackage(int size);
// The file's content, or "<missing>".
QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &content);

#endif // UDPPEERHELPER_H
