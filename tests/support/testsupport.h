#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// Helpers shared by every test: files and packages, a message server and a
// datagram peer whose bytes the test controls, a clock under its control.

#include "core/net/qalixmsgclient.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

using PackageEntries = QList<QPair<QString, QByteArray>>;

// Writes `bytes` to `path`, creating the folders on the way; false on failure.
bool writeFile(const QString &path, const QByteArray &bytes);
// The whole file, or "<missing>" when it cannot be read.
QByteArray readFile(const QString &path);

// A package in the container's format, assembled by hand: header lines,
// one table line per entry ("name|size"), then the entries' bytes.
QByteArray packageBytes(const QStringList &headerLines, const PackageEntries &entries);
inline QByteArray packageBytes(const PackageEntries &entries)
{
    return packageBytes({}, entries);
}
bool writePackage(const QString &path, const PackageEntries &entries);
// Bytes that are not a repeating pattern, so misplaced blocks show.
QByteArray patternBytes(int size, int seed = 1);
// Every file and folder below `root` with its size, for before/after checks;
// links are listed, not followed.
QStringList treeListing(const QString &root);

// The panel's client settings for a server on loopback.
QalixMsgClient::Settings loopbackClient(quint16 port, const QString &userName = QStringLiteral("demo"),
                                        const QString &password = QStringLiteral("demo"));

// A message server on a free loopback port whose bytes the test controls.
class FakeServer
{
public:
    FakeServer();
    quint16 port() const { return m_server.serverPort(); }
    // Waits for the next client; the previous one is forgotten.
    bool waitForClient(int msecs = 5000);
    // Waits until the bytes received from the current client contain `marker`.
    bool waitFor(const QByteArray &marker, int msecs = 5000);
    // Everything the current client sent since the last take().
    QByteArray take();
    void send(const QByteArray &data);
    QTcpSocket *peer() const { return m_peer; }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_peer;
    QByteArray m_bytes;
};

// One end of a datagram exchange played by a test, on loopback: by default
// 127.0.0.1, or another loopback address for a host beside it.
class UdpPeer
{
public:
    explicit UdpPeer(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost));
    quint16 port() const { return m_socket.localPort(); }
    bool send(const QByteArray &datagram, quint16 port);
    // The next datagram, or a null array when none comes within msec.
    QByteArray next(int msec = 5000);

private:
    QUdpSocket m_socket;
};

// The projects folder beside the test executable, where the code under test
// reads and writes packages, pictures and settings: emptied when made, removed
// with its contents when destroyed, so a run leaves nothing in the build tree.
class ProjectFolder
{
public:
    ProjectFolder() { reset(); }
    ~ProjectFolder();
    ProjectFolder(const ProjectFolder &) = delete;
    ProjectFolder &operator=(const ProjectFolder &) = delete;
    // Empties it again; false when that failed.
    bool reset();
};

// True when no network but loopback is up, as in a private network namespace:
// only then may a test broadcast.
bool onlyLoopbackIsUp();

// True for the Windows build run under Wine, where a few of Windows' answers
// never come.
bool runsUnderWine();

// Milliseconds under the test's control.
struct FakeClock
{
    qint64 t = 1000000;
    qint64 operator()() const { return t; }
};

#endif // TESTSUPPORT_H
