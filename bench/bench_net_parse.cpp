// Parsing throughput of the message server client: port reports per second from
// the socket to the received signal, and the pure line parser alone.

#include "bench/benchsupport.h"
#include "core/net/msgline.h"
#include "core/net/msglinebuffer.h"
#include "core/net/qalixmsgclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

QByteArray reportLines(int count)
{
    QByteArray lines;
    lines.reserve(count * 24);
    for (int i = 0; i < count; ++i) {
        lines += "PIN.Raum";
        lines += QByteArray::number(i % 500);
        lines += '.';
        lines += QByteArray::number(i % 8);
        lines += '=';
        lines += QByteArray::number(20.0 + (i % 100) / 10.0, 'g', 6);
        lines += '\n';
    }
    return lines;
}

void pureParse(const QByteArray &lines, int count)
{
    MsgLineBuffer buffer;
    QElapsedTimer timer;
    timer.start();
    int parsed = 0;
    double sum = 0;
    for (int at = 0; at < lines.size(); at += 65536) {
        buffer.append(lines.constData() + at, qMin(65536, lines.size() - at));
        const char *data;
        int size;
        while (buffer.takeLine(&data, &size)) {
            const MsgLine line = MsgLine::parse(data, size);
            sum += line.value;
            ++parsed;
        }
    }
    const double secs = timer.nsecsElapsed() / 1e9;
    std::printf("line buffer + parser:     %9d lines in %6.3f s = %10.0f lines/s (check %.0f)\n", parsed, secs,
                parsed / secs, sum);
    if (parsed != count)
        std::printf("  MISMATCH: expected %d\n", count);
}

void throughSocket(const QByteArray &lines, int count)
{
    std::atomic<quint16> port{0};
    std::atomic<bool> ready{false};
    // The server writes from its own thread, so the client's event loop only reads.
    std::thread writer([&] {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port = server.serverPort();
        ready = true;
        if (!server.waitForNewConnection(10000))
            return;
        QTcpSocket *peer = server.nextPendingConnection();
        for (int at = 0; at < lines.size(); at += 1 << 20) {
            peer->write(lines.constData() + at, qMin(1 << 20, lines.size() - at));
            while (peer->bytesToWrite() > 0)
                peer->waitForBytesWritten(10000);
        }
        peer->waitForDisconnected(60000);
        delete peer;
    });
    while (!ready)
        std::this_thread::yield();

    {
        QalixMsgClient::Settings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = port;
        settings.userName = settings.password = QStringLiteral("bench");
        QalixMsgClient client(settings);
        int received = 0;
        QElapsedTimer timer;
        QObject::connect(&client, &QalixMsgClient::stateChanged, [&](QAbstractSocket::SocketState state) {
            if (state == QAbstractSocket::ConnectedState)
                timer.start();
        });
        QObject::connect(&client, &QalixMsgClient::received, [&](const QString &, int, bool, double) {
            if (++received == count)
                QCoreApplication::quit();
        });
        QTimer::singleShot(120000, [] { QCoreApplication::quit(); });
        client.connectToServer();
        QCoreApplication::exec();
        const double secs = timer.nsecsElapsed() / 1e9;
        std::printf("socket -> onData -> received: %5d lines in %6.3f s = %10.0f lines/s, %.1f MB/s\n", received, secs,
                    received / secs, lines.size() / secs / 1e6);
        // Leaving the block drops the connection, which ends the writer.
    }
    writer.join();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    quietLogging();
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 2000000;
    const QByteArray lines = reportLines(count);
    std::printf("%d port reports, %.1f MB, %.1f bytes a line\n", count, lines.size() / 1e6,
                double(lines.size()) / count);
    pureParse(lines, count);
    throughSocket(lines, count);
    return 0;
}
