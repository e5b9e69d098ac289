#include "core/download/transferreceiver.h"
#include "core/startup/logcategories.h"

#include "core/download/transferprotocol.h"

#include <QDebug>
#include <QSaveFile>

#include <chrono>

namespace {

qint64 monotonicMsecs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TransferReceiver::TransferReceiver(const QString &projectsDir, Clock clock)
    : m_projectsDir(projectsDir)
    , m_clock(clock ? std::move(clock) : Clock(monotonicMsecs))
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

TransferReceiver::Outcome TransferReceiver::receive(const QByteArray &datagram,
                                                    const QHostAddress &sender)
{
    if (m_state == Idle)
        return Ignored;
    if (!sender.isEqual(m_host, QHostAddress::TolerantConversion)) {
        qCDebug(lcDownload) << "Datagram from" << sender << "dropped, transfer is with" << m_host;
        return Ignored;
    }
    m_lastHeard = m_clock();
    const QByteArray data = datagram.left(int(TransferProtocol::MaxDatagramSize));
    if (m_state == AwaitingHeader)
        return acceptHeader(data);
    // Pieces carry no offset, so an identical piece is stored like any other:
    // runs of equal bytes are common in packages. A header is never Base64
    // (its "=" stands before the size), so the same header before any piece
    // is the designer asking again for the acknowledgement it missed.
    if (m_storedBytes == 0 && data == m_header)
        return Acknowledge;
    return storePiece(data);
}

TransferReceiver::Outcome TransferReceiver::checkStall()
{
    if (m_state == Idle || m_clock() - m_lastHeard < m_stallLimit)
        return Ignored;
    const QString seconds = QString::number(double(m_stallLimit) / 1000);
    // A host text that is no address sends the request nowhere; say so.
    const QString host = m_host.isNull() ? QStringLiteral("(no address)") : m_host.toString();
    if (m_state == AwaitingHeader) {
        return fail(QStringLiteral("Übertragung fehlgeschlagen: keine Antwort"),
                    QStringLiteral("Transfer failed: no answer from %1 within %2 s")
                        .arg(host, seconds));
    }
    return fail(QStringLiteral("Übertragung fehlgeschlagen: keine Daten mehr"),
                QStringLiteral("Transfer failed: nothing from %1 for %2 s, %3 of %4 bytes received")
                    .arg(host, seconds)
                    .arg(m_storedBytes)
                    .arg(m_totalBytes));
}

TransferReceiver::Outcome TransferReceiver::acceptHeader(const QByteArray &datagram)
{
    qCDebug(lcDownload) << "First Data" << TransferProtocol::datagramText(datagram);
    TransferProtocol::Header header;
    QString error;
    if (!TransferProtocol::parseHeader(datagram, &header, &error)) {
        m_state = Idle;
        m_message = QStringLiteral("Ungültige Projektdaten empfangen");
        m_reason = QStringLiteral("Transfer header refused (%1): %2")
                       .arg(error, QString::fromLatin1(datagram.left(64).toPercentEncoding(" =")));
        return Refused;
    }
    m_projectName = header.name;
    m_totalBytes = header.size;
    m_storedBytes = 0;
    m_fileName = m_projectsDir + header.name + QStringLiteral(".qlxd");
    qCDebug(lcDownload) << "Filename set to " << m_fileName;
    m_file = std::make_unique<QSaveFile>(m_fileName);
    if (!m_file->open(QIODevice::WriteOnly)) {
        qCDebug(lcDownload) << "ERROR: File can not open!";
        return fail(m_projectsDir, QStringLiteral("Can not open %1: %2")
                                       .arg(m_fileName, m_file->errorString()));
    }
    m_header = datagram;
    m_state = Receiving;
    return Acknowledge;
}

TransferReceiver::Outcome TransferReceiver::storePiece(const QByteArray &datagram)
{
    const QByteArray bytes = QByteArray::fromBase64(datagram);
    qCDebug(lcDownload) << "Bytes to end:" << m_totalBytes;
    qCDebug(lcDownload) << "Bytes this time" << datagram.size();
    if (bytes.size() > m_totalBytes - m_storedBytes) {
        return fail(QStringLiteral("Übertragung fehlgeschlagen: zu viele Daten"),
                    QStringLiteral("Transfer failed: %1 bytes past the announced size %2")
                        .arg(m_storedBytes + bytes.size() - m_totalBytes)
                        .arg(m_totalBytes));
    }
    if (m_file->write(bytes) != bytes.size()) {
        return fail(QStringLiteral("Übertragung fehlgeschlagen: Schreibfehler"),
                    QStringLiteral("Transfer failed: %1").arg(m_file->errorString()));
    }
    m_storedBytes += bytes.size();
    if (m_storedBytes < m_totalBytes)
        return Acknowledge;

    if (!m_file->commit()) {
        return fail(QStringLiteral("Übertragung fehlgeschlagen: Schreibfehler"),
                    QStringLiteral("Transfer failed, can not replace %1: %2")
                        .arg(m_fileName, m_file->errorString()));
    }
    m_file.reset();
    m_state = Idle;
    m_header.clear();
    return Completed;
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
