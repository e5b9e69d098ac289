#include "udppeerhelper.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSignalSpy>

UdpPeer::UdpPeer(const QHostAddress &address, quint16 port)
{
    m_bound = m_socket.bind(address, port);
}

bool UdpPeer::send(const QByteArray &datagram, quint16 port, const QHostAddress &to)
{
    return m_socket.writeDatagram(datagram, to, port) == datagram.size();
}

QByteArray UdpPeer::next(int msec)
{
    if (!m_socket.hasPendingDatagrams()) {
        QSignalSpy arrived(&m_socket, &QUdpSocket::readyRead);
        if (!arrived.wait(msec) && !m_socket.hasPendingDatagrams())
            return QByteArray();
    }
    const QNetworkDatagram datagram = m_socket.receiveDatagram();
    m_lastSender = datagram.senderAddress();
    m_lastSenderPort = quint16(datagram.senderPort());
    return datagram.data();
}

bool onlyLoopbackIsUp()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (interface.flags().testFlag(QNetworkInterface::IsLoopBack)
            || !interface.flags().testFlag(QNetworkInterface::IsUp)) {
            continue;
        }
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return false;
        }
    }
    return true;
}

QByteArray testPackage(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char(i * 7 + i / 256));
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}
