#include "core/download/transferreceiver.h"
#include "core/logging/logcategories.h"

#include "core/download/transferprotocol.h"
#include "core/package/packagereport.h"
#include "core/project/projectreader.h"
#include "core/package/qlxfat.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <chrono>

namespace {

qint64 monotonicMsecs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 bytesAvailable(const QString &folder)
{
    const QStorageInfo storage(folder);
    return storage.isValid() ? storage.bytesAvailable() : -1;
}

QString seconds(qint64 msec)
{
    return QString::number(double(msec) / 1000);
}

} // namespace

TransferReceiver::TransferReceiver(const QString &projectsDir, Clock clock)
    : m_projectsDir(projectsDir)
    , m_clock(clock ? std::move(clock) : Clock(monotonicMsecs))
    , m_freeSpace(bytesAvailable)
    , m_check(packageProblem)
{
}

TransferReceiver::~TransferReceiver() = default;

void TransferReceiver::begin(const QHostAddress &host)
{
    cancel();
    m_host = host;
    m_state = AwaitingHeader;
    m_lastHeard = m_clock();
}

void TransferReceiver::cancel()
{
    // Without commit() the temporary file goes and the destination stays as it was.
    m_file.reset();
    m_state = Idle;
    m_totalBytes = 0;
    m_storedBytes = 0;
    m_header.clear();
}

TransferReceiver::Outcome TransferReceiver::receive(const QByteArray &datagram, const QHostAddress &sender,
                                                    quint16 senderPort)
{
    if (m_state == Idle)
        return Ignored;
    if (!sender.isEqual(m_host, QHostAddress::TolerantConversion)) {
        qCDebug(lcDownload) << "Datagram from" << sender << "dropped, transfer is with" << m_host;
        return Ignored;
    }
    // Any program on the designer's computer can send from its address; the
    // port the header came from is what tells the designer's pieces apart.
    if (m_state == Receiving && senderPort != m_port) {
        qCDebug(lcDownload) << "Datagram from port" << senderPort << "dropped, transfer is with port" << m_port;
        return Ignored;
    }
    m_lastHeard = m_clock();
    const QByteArray data = datagram.left(int(TransferProtocol::MaxDatagramSize));
    if (m_state == AwaitingHeader)
        return acceptHeader(data, senderPort);
    // Pieces carry no offset, so an identical piece is stored like any other:
    // runs of equal bytes are common in packages. A header is never Base64
    // (its "=" stands before the size), so the same header before any piece
    // is the designer asking again for the acknowledgement it missed.
    if (m_storedBytes == 0 && data == m_header)
        return Acknowledge;
    return storePiece(data);
}

qint64 TransferReceiver::deadline(qint64 bytes)
{
    return DeadlineBase + bytes * 1000 / DeadlineRate;
}

TransferReceiver::Outcome TransferReceiver::checkStall()
{
    if (m_state == Idle)
        return Ignored;
    const qint64 now = m_clock();
    // A host text that is no address sends the request nowhere; say so.
    const QString host = m_host.isNull() ? QStringLiteral("(no address)") : m_host.toString();
    if (m_state == Receiving && now - m_started >= deadline(m_totalBytes)) {
        return fail(tr("Übertragung fehlgeschlagen: zu langsam"),
                    QStringLiteral("Transfer failed: %1 of %2 bytes from %3 after %4 s, the most a package of "
                                   "that size may take")
                        .arg(m_storedBytes)
                        .arg(m_totalBytes)
                        .arg(host, seconds(now - m_started)));
    }
    if (now - m_lastHeard < m_stallLimit)
        return Ignored;
    if (m_state == AwaitingHeader) {
        return fail(tr("Übertragung fehlgeschlagen: keine Antwort"),
                    QStringLiteral("Transfer failed: no answer from %1 within %2 s").arg(host, seconds(m_stallLimit)));
    }
    return fail(tr("Übertragung fehlgeschlagen: keine Daten mehr"),
                QStringLiteral("Transfer failed: nothing from %1 for %2 s, %3 of %4 bytes received")
                    .arg(host, seconds(m_stallLimit))
                    .arg(m_storedBytes)
                    .arg(m_totalBytes));
}

TransferReceiver::Outcome TransferReceiver::refuse(const QString &message, const QString &reason)
{
    m_state = Idle;
    m_message = message;
    m_reason = reason;
    return Refused;
}

TransferReceiver::Outcome TransferReceiver::acceptHeader(const QByteArray &datagram, quint16 senderPort)
{
    qCDebug(lcDownload) << "First Data" << TransferProtocol::datagramText(datagram);
    TransferProtocol::Header header;
    QString error;
    if (!TransferProtocol::parseHeader(datagram, &header, &error)) {
        return refuse(tr("Ungültige Projektdaten empfangen"),
                      QStringLiteral("Transfer header refused (%1): %2")
                          .arg(error, QString::fromLatin1(datagram.left(64).toPercentEncoding(" ="))));
    }
    if (header.size > MaxPackageSize) {
        return refuse(tr("Übertragung abgelehnt: Package zu groß"),
                      QStringLiteral("Transfer refused: %1 announces %2 bytes, more than the %3 a package may have")
                          .arg(header.name)
                          .arg(header.size)
                          .arg(MaxPackageSize));
    }
    // The download and its copy into place are both on disk at the end.
    const qint64 needed = 2 * header.size + SpareSpace;
    const qint64 available = m_freeSpace(m_projectsDir);
    if (available >= 0 && available < needed) {
        return refuse(tr("Übertragung abgelehnt: zu wenig Speicherplatz"),
                      QStringLiteral("Transfer refused: %1 announces %2 bytes; %3 needs %4 bytes free for it, "
                                     "%5 are")
                          .arg(header.name)
                          .arg(header.size)
                          .arg(m_projectsDir)
                          .arg(needed)
                          .arg(available));
    }
    m_projectName = header.name;
    m_totalBytes = header.size;
    m_storedBytes = 0;
    m_fileName = m_projectsDir + header.name + QStringLiteral(".qlxd");
    qCDebug(lcDownload) << "Filename set to " << m_fileName;
    // Not a .qlxd name, so the project list never shows a package half there.
    m_file = std::make_unique<QTemporaryFile>(m_fileName + QStringLiteral(".download-XXXXXX"));
    if (!m_file->open()) {
        qCDebug(lcDownload) << "ERROR: File can not open!";
        return fail(m_projectsDir, QStringLiteral("Can not open %1: %2").arg(m_fileName, m_file->errorString()));
    }
    m_header = datagram;
    m_port = senderPort;
    m_started = m_clock();
    m_state = Receiving;
    return Acknowledge;
}

TransferReceiver::Outcome TransferReceiver::storePiece(const QByteArray &datagram)
{
    const QByteArray bytes = QByteArray::fromBase64(datagram);
    qCDebug(lcDownload) << "Bytes to end:" << m_totalBytes;
    qCDebug(lcDownload) << "Bytes this time" << datagram.size();
    if (bytes.size() > m_totalBytes - m_storedBytes) {
        return fail(tr("Übertragung fehlgeschlagen: zu viele Daten"),
                    QStringLiteral("Transfer failed: %1 bytes past the announced size %2")
                        .arg(m_storedBytes + bytes.size() - m_totalBytes)
                        .arg(m_totalBytes));
    }
    if (m_file->write(bytes) != bytes.size()) {
        return fail(tr("Übertragung fehlgeschlagen: Schreibfehler"),
                    QStringLiteral("Transfer failed: %1").arg(m_file->errorString()));
    }
    m_storedBytes += bytes.size();
    if (m_storedBytes < m_totalBytes)
        return Acknowledge;
    return complete();
}

TransferReceiver::Outcome TransferReceiver::complete()
{
    // Every byte arrived; whether they make a project is another matter. A
    // package that would not load never takes a good one's place.
    const QString problem = m_file->flush() ? m_check(m_file->fileName()) : m_file->errorString();
    if (!problem.isEmpty()) {
        return fail(tr("Übertragung fehlgeschlagen: Package beschädigt"),
                    QStringLiteral("Transfer failed: the package received for %1 would not load, %2; %3")
                        .arg(m_projectName, problem,
                             QFile::exists(m_fileName) ? m_fileName + QStringLiteral(" stays as it was")
                                                       : QStringLiteral("nothing is stored")));
    }
    // QSaveFile replaces the package at once, and a linked one behind its link.
    QSaveFile target(m_fileName);
    bool ok = target.open(QIODevice::WriteOnly) && m_file->seek(0);
    QByteArray block;
    while (ok && !m_file->atEnd()) {
        block = m_file->read(64 * 1024);
        ok = !block.isEmpty() && target.write(block) == block.size();
    }
    if (!ok || !target.commit()) {
        return fail(tr("Übertragung fehlgeschlagen: Schreibfehler"),
                    QStringLiteral("Transfer failed, can not replace %1: %2").arg(m_fileName, target.errorString()));
    }
    m_file.reset();
    m_state = Idle;
    m_header.clear();
    return Completed;
}

QString TransferReceiver::packageProblem(const QString &path)
{
    QLXFat package;
    if (!package.open(path, false))
        return QStringLiteral("it does not open as a package: ") + package.errorString();
    const QString cut = PackageReport::cutShortLine(package);
    if (!cut.isEmpty())
        return QStringLiteral("it is ") + cut;
    const QByteArray document = package.fileData(QStringLiteral("project"));
    ProjectReader reader;
    if (document.isEmpty() || !reader.read(document))
        return PackageReport::documentLine(package, document.size(), reader.errorString());
    return QString();
}

TransferReceiver::Outcome TransferReceiver::fail(const QString &message, const QString &reason)
{
    m_message = message;
    m_reason = reason;
    cancel();
    return Failed;
}

int TransferReceiver::percent() const
{
    if (m_totalBytes <= 0)
        return 0;
    return int(m_storedBytes * 100 / m_totalBytes);
}

QByteArray TransferReceiver::acknowledgement() const
{
    return TransferProtocol::acknowledgement(m_storedBytes);
}
