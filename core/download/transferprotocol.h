#ifndef TRANSFERPROTOCOL_H
#define TRANSFERPROTOCOL_H

#include <QByteArray>
#include <QHostAddress>
#include <QString>

// The datagrams exchanged with the designer computer. Plain ASCII, one message
// per datagram, no terminator, length field or checksum.
namespace TransferProtocol {

constexpr quint16 DesignerPort = 64402;  // discovery, transfer request, acknowledgements go here
constexpr quint16 TransferPort = 64403;  // the panel's transfer socket
constexpr quint16 DiscoveryPort = 64404; // the panel's discovery socket

// Anything beyond this is outside the protocol and not read.
constexpr qint64 MaxDatagramSize = 4096;

// Largest package piece whose Base64 form still fits into one datagram.
constexpr int MaxPieceSize = int(MaxDatagramSize / 4 * 3);

inline QByteArray discoveryRequest()
{
    return QByteArrayLiteral("HELLO");
}
inline QByteArray discoveryAnswer()
{
    return QByteArrayLiteral("WAVE");
}
inline QByteArray transferRequest()
{
    return QByteArrayLiteral("START");
}

// The text of a datagram: UTF-8 up to its first NUL byte.
QString datagramText(const QByteArray &datagram);

bool isDiscoveryAnswer(const QByteArray &datagram);

// Dotted decimal form of an IPv4 (or IPv4-mapped) address; empty for others.
QString dottedQuad(const QHostAddress &address);

struct Header
{
    QString name;
    qint64 size = 0;
};

// "name=size". Only a plain file name (see isPlainFileName) and a size from 1
// to INT_MAX make a header; *error gets the reason otherwise.
bool parseHeader(const QByteArray &datagram, Header *header, QString *error);
QByteArray header(const QString &name, qint64 size);

// A name that can become a file in the projects directory as it stands: not
// empty, no path separator, no "..", no drive letter, no control character.
bool isPlainFileName(const QString &name);

QByteArray acknowledgement(qint64 storedBytes);
// The byte count of an acknowledgement: decimal digits only; -1 otherwise.
qint64 parseAcknowledgement(const QByteArray &datagram);

} // namespace TransferProtocol

#endif // TRANSFERPROTOCOL_H
