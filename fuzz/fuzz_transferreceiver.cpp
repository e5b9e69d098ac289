// Feeds arbitrary datagram sequences to the panel's receiving side.
// Input: datagrams separated by 0xff bytes; the first byte of each picks the
// sender (bit 0: a stranger; bit 2: another port of the designer's computer)
// and whether the operator asks anew first (bit 1). Once a header is taken,
// only its sender's address and port are heard; a package stored complete
// has the size announced and loads.

#include "core/download/transferreceiver.h"
#include "fuzz/fuzzsupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzQuietly();

    QDir root(fuzzWorkDir(QStringLiteral("transferreceiver")));
    QDir(root.filePath(QStringLiteral("projects"))).removeRecursively();
    if (!root.mkpath(QStringLiteral("projects")))
        abort();
    const QString projects = root.filePath(QStringLiteral("projects")) + QLatin1Char('/');

    const QHostAddress designer(QStringLiteral("10.0.0.1"));
    const QHostAddress stranger(QStringLiteral("10.0.0.2"));
    TransferReceiver receiver(projects);
    receiver.begin(designer);

    quint16 headerPort = 0;
    const QList<QByteArray> datagrams =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)).split(char(0xff));
    for (const QByteArray &datagram : datagrams) {
        if (datagram.isEmpty())
            continue;
        const char control = datagram.at(0);
        if (control & 2)
            receiver.begin(designer);
        const quint16 port = (control & 4) ? 40000 : 64402;
        const bool receiving = receiver.isReceiving();
        const TransferReceiver::Outcome outcome =
            receiver.receive(datagram.mid(1), (control & 1) ? stranger : designer, port);
        if (receiving && port != headerPort && outcome != TransferReceiver::Ignored)
            abort();
        if (!receiving && receiver.isReceiving())
            headerPort = port;
        if (receiver.storedBytes() < 0 || receiver.storedBytes() > receiver.totalBytes() || receiver.percent() < 0
            || receiver.percent() > 100) {
            abort();
        }
        if (outcome == TransferReceiver::Completed
            && (QFile(receiver.fileName()).size() != receiver.totalBytes()
                || !TransferReceiver::packageProblem(receiver.fileName()).isEmpty())) {
            abort();
        }
        if ((control & 1) && outcome != TransferReceiver::Ignored)
            abort();
    }
    // Nothing lands beside the projects directory.
    if (root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden) != QStringList{"projects"})
        abort();
    return 0;
}
