#include "msgtesthelper.h"

#include <QSignalSpy>
#include <QtTest>

FakeServer::FakeServer()
{
    server.listen(QHostAddress::LocalHost, 0);
}

bool FakeServer::waitForClient(int msecs)
{
    if (!server.hasPendingConnections()) {
        QSignalSpy spy(&server, &QTcpServer::newConnection);
        if (!spy.wait(msecs))
            return false;
    }
    peer = server.nextPendingConnection();
    bytes.clear();
    return peer != nullptr;
}

bool FakeServer::waitFor(const QByteArray &marker, int msecs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (peer) {
        bytes += peer->readAll();
        if (bytes.contains(marker))
            return true;
        const int left = msecs - int(elapsed.elapsed());
        if (left <= 0)
            return false;
        QSignalSpy spy(peer.data(), &QTcpSocket::readyRead);
        if (!peer->bytesAvailable() && !spy.wait(left))
            return bytes.contains(marker);
    }
    return false;
}

QByteArray FakeServer::take()
{
    if (peer)
        bytes += peer->readAll();
    const QByteArray all = bytes;
    bytes.clear();
    return all;
}

void FakeServer::send(const QByteArray &data)
{
    peer->write(data);
    peer->flush();
}
