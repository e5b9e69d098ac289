#include "testsupport.h"

#include "core/package/projectdirectory.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QLibrary>
#include <QSignalSpy>

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    QByteArray bytes = file.readAll();
    return bytes.isNull() ? QByteArray("") : bytes;
}

QByteArray packageBytes(const QStringList &headerLines, const PackageEntries &entries)
{
    QByteArray bytes = "SOH\n";
    for (const QString &line : headerLines)
        bytes += line.toLatin1() + '\n';
    bytes += "SOFAT\n";
    for (const auto &entry : entries)
        bytes += entry.first.toUtf8() + '|' + QByteArray::number(entry.second.size()) + '\n';
    bytes += "EOFAT\nEOH\n";
    for (const auto &entry : entries)
        bytes += entry.second;
    return bytes;
}

bool writePackage(const QString &path, const PackageEntries &entries)
{
    return writeFile(path, packageBytes(entries));
}

QByteArray patternBytes(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = quint32(seed) * 2654435761u + 1u;
    for (int i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

QStringList treeListing(const QString &root)
{
    QStringList listing;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        listing << it.filePath().mid(root.size()) + QLatin1Char(' ')
                + (info.isSymLink()   ? QStringLiteral("link")
                       : info.isDir() ? QStringLiteral("dir")
                                      : QString::number(info.size()));
    }
    listing.sort();
    return listing;
}

QalixMsgClient::Settings loopbackClient(quint16 port, const QString &userName, const QString &password)
{
    QalixMsgClient::Settings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.userName = userName;
    settings.password = password;
    return settings;
}

FakeServer::FakeServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
}

bool FakeServer::waitForClient(int msecs)
{
    if (!m_server.hasPendingConnections()) {
        QSignalSpy spy(&m_server, &QTcpServer::newConnection);
        if (!spy.wait(msecs))
            return false;
    }
    m_peer = m_server.nextPendingConnection();
    m_bytes.clear();
    return m_peer != nullptr;
}

bool FakeServer::waitFor(const QByteArray &marker, int msecs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (m_peer) {
        m_bytes += m_peer->readAll();
        if (m_bytes.contains(marker))
            return true;
        const int left = msecs - int(elapsed.elapsed());
        if (left <= 0)
            return false;
        QSignalSpy spy(m_peer.data(), &QTcpSocket::readyRead);
        if (!m_peer->bytesAvailable() && !spy.wait(left))
            return m_bytes.contains(marker);
    }
    return false;
}

QByteArray FakeServer::take()
{
    if (m_peer)
        m_bytes += m_peer->readAll();
    const QByteArray all = m_bytes;
    m_bytes.clear();
    return all;
}

void FakeServer::send(const QByteArray &data)
{
    m_peer->write(data);
    m_peer->flush();
}

UdpPeer::UdpPeer(const QHostAddress &address)
{
    m_socket.bind(address);
}

bool UdpPeer::send(const QByteArray &datagram, quint16 port)
{
    return m_socket.writeDatagram(datagram, QHostAddress::LocalHost, port) == datagram.size();
}

QByteArray UdpPeer::next(int msec)
{
    if (!m_socket.hasPendingDatagrams()) {
        QSignalSpy arrived(&m_socket, &QUdpSocket::readyRead);
        if (!arrived.wait(msec) && !m_socket.hasPendingDatagrams())
            return QByteArray();
    }
    return m_socket.receiveDatagram().data();
}

ProjectFolder::~ProjectFolder()
{
    QDir(projectDirectory()).removeRecursively();
}

bool ProjectFolder::reset()
{
    return QDir(projectDirectory()).removeRecursively() && QDir().mkpath(projectDirectory());
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

bool runsUnderWine()
{
    // Wine's ntdll has a function Windows' has not.
    static const bool wine = QLibrary::resolve(QStringLiteral("ntdll"), "wine_get_version") != nullptr;
    return wine;
}
