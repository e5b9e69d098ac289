#include "download/transferreceiver.h"

#include "download/transferprotocol.h"

#include <QDebug>
#include <QSaveFile>

TransferReceiver::TransferReceiver(const QString &projectsDir)
    : m_projectsDir(projectsDir)
{
}

TransferReceiver::~TransferReceiver() = default;

void TransferReceiver::begin(const QHostAddress &host)
{
    cancel();
    m_host = host;
    m_state = AwaitingHeader;
}

void TransferReceiver::cancel()
{
    // Without commit() the temporary file goes and the destination stays as it was.
    m_file.reset();
    m_state = Idle;
    m_totalBytes = 0;
    m_storedBytes = 0;
    m_lastDatagram.clear();
}

TransferReceiver::Outcome TransferReceiver::receive(const QByteArray &datagram,
                                                    const QHostAddress &sender)
{
    if (m_state == Idle)
        return Ignored;
    if (!sender.isEqual(m_host, QHostAddress::TolerantConversion)) {
        qDebug() << "Datagram from" << sender << "dropped, transfer is with" << m_host;
        return Ignored;
    }
    const QByteArray data = datagram.left(int(TransferProtocol::MaxDatagramSize));
    if (m_state == AwaitingHeader)
        return acceptHeader(data);
    // Pieces carry no offset: a designer whose acknowledgement got lost sends
    // the same datagram again, and storing it twice would corrupt the package.
    if (data == m_lastDatagram)
        return Acknowledge;
    return storePiece(data);
}

TransferReceiver::Outcome TransferReceiver::acceptHeader(const QByteArray &datagram)
{
    qDebug() << "First Data" << TransferProtocol::datagramText(datagram);
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
    qDebug() << "Filename set to " << m_fileName;
    m_file = std::make_unique<QSaveFile>(m_fileName);
    if (!m_file->open(QIODevice::WriteOnly)) {
        qDebug() << "ERROR: File can not open!";
        return fail(m_projectsDir, QStringLiteral("Can not open %1: %2")
                                       .arg(m_fileName, m_file->errorString()));
    }
    m_lastDatagram = datagram;
    m_state = Receiving;
    return Acknowledge;
}

TransferReceiver::Outcome TransferReceiver::storePiece(const QByteArray &datagram)
{
    const QByteArray bytes = QByteArray::fromBase64(datagram);
    qDebug() << "Bytes to end:" << m_totalBytes;
    qDebug() << "Bytes this time" << datagram.size();
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
    m_lastDatagram = datagram;
    if (m_storedBytes < m_totalBytes)
        return Acknowledge;

    if (!m_file->commit()) {
        return fail(QStringLiteral("Übertragung fehlgeschlagen: Schreibfehler"),
                    QStringLiteral("Transfer failed, can not replace %1: %2")
                        .arg(m_fileName, m_file->errorString()));
    }
    m_file.reset();
    m_state = Idle;
    m_lastDatagram.clear();
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
