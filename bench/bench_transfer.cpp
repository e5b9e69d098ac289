// Package download speed: the receiving side alone (Base64 decoding, writing
// a 20 MiB package in full-size pieces, the check that it loads and the copy
// into place), and the whole stop-and-wait exchange with the designer side
// over loopback for a 2 MiB package, where every piece waits for its
// acknowledgement.

#include "bench/benchsupport.h"
#include "tools/standins/designerserver.h"
#include "core/download/transferprotocol.h"
#include "core/download/transferreceiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>
#include <utility>

namespace {

QTextStream out(stdout);

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 1;
    for (int i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

// A package the panel takes: a small project document and `bytes` as a picture.
QByteArray packageOf(const QByteArray &bytes)
{
    const QByteArray document = "<project><pagex>800</pagex><pagey>600</pagey><Pages/></project>";
    return "SOH\nSOFAT\nproject|" + QByteArray::number(document.size()) + "\nicons/bench.png|"
        + QByteArray::number(bytes.size()) + "\nEOFAT\nEOH\n" + document + bytes;
}

void report(const char *what, qint64 bytes, qint64 nsecs, int pieces)
{
    const double seconds = double(nsecs) / 1e9;
    out << what << ": " << bytes / 1024 << " KiB in " << pieces << " pieces, "
        << QString::number(seconds * 1000.0, 'f', 1) << " ms, "
        << QString::number(double(bytes) / 1048576.0 / seconds, 'f', 1) << " MiB/s, "
        << QString::number(double(nsecs) / 1000.0 / pieces, 'f', 1) << " us per piece\n";
    out.flush();
}

void receiverAlone(const QString &projects)
{
    const QByteArray package = packageOf(pattern(20 * 1024 * 1024));
    const int pieceSize = TransferProtocol::MaxPieceSize;
    QList<QByteArray> datagrams;
    for (int offset = 0; offset < package.size(); offset += pieceSize)
        datagrams << package.mid(offset, pieceSize).toBase64();

    const QHostAddress designer(QHostAddress::LocalHost);
    TransferReceiver receiver(projects);
    QElapsedTimer clock;
    clock.start();
    receiver.begin(designer);
    receiver.receive(TransferProtocol::header(QStringLiteral("Bench"), package.size()), designer,
                     TransferProtocol::DesignerPort);
    TransferReceiver::Outcome outcome = TransferReceiver::Ignored;
    for (const QByteArray &datagram : std::as_const(datagrams))
        outcome = receiver.receive(datagram, designer, TransferProtocol::DesignerPort);
    const qint64 nsecs = clock.nsecsElapsed();
    if (outcome != TransferReceiver::Completed)
        out << "receiver: transfer did not complete\n";
    report("receiver alone", package.size(), nsecs, datagrams.size());
}

void overLoopback(const QString &projects)
{
    const QByteArray package = packageOf(pattern(2 * 1024 * 1024));
    DesignerServer server(QStringLiteral("Bench"), package);
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        out << "loopback: " << server.errorString() << '\n';
        return;
    }
    QUdpSocket panel;
    panel.bind(QHostAddress(QHostAddress::LocalHost), 0);
    TransferReceiver receiver(projects);
    QEventLoop loop;
    QObject::connect(&panel, &QUdpSocket::readyRead, [&] {
        while (panel.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = panel.receiveDatagram(TransferProtocol::MaxDatagramSize);
            switch (receiver.receive(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()))) {
            case TransferReceiver::Acknowledge:
                panel.writeDatagram(receiver.acknowledgement(), QHostAddress::LocalHost, server.localPort());
                break;
            case TransferReceiver::Ignored:
                break;
            default:
                loop.quit();
            }
        }
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);

    QElapsedTimer clock;
    clock.start();
    receiver.begin(QHostAddress::LocalHost);
    panel.writeDatagram(TransferProtocol::transferRequest(), QHostAddress::LocalHost, server.localPort());
    loop.exec();
    const qint64 nsecs = clock.nsecsElapsed();
    if (receiver.storedBytes() != package.size())
        out << "loopback: transfer did not complete (" << receiver.reason() << ")\n";
    report("stop-and-wait over loopback", package.size(), nsecs, server.pieceCount());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    quietLogging();
    QTemporaryDir dir;
    const QString projects = dir.path() + QLatin1Char('/');
    receiverAlone(projects);
    overLoopback(projects);
    return 0;
}
