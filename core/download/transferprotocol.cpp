#include "core/download/transferprotocol.h"
#include "core/package/storablename.h"

#include <climits>

namespace TransferProtocol {

QString datagramText(const QByteArray &datagram)
{
    const int nul = datagram.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? datagram : datagram.left(nul));
}

bool isDiscoveryAnswer(const QByteArray &datagram)
{
    return datagramText(datagram) == QLatin1String(discoveryAnswer());
}

QString dottedQuad(const QHostAddress &address)
{
    bool ok = false;
    const quint32 ip = address.toIPv4Address(&ok);
    if (!ok)
        return QString();
    return QString::asprintf("%d.%d.%d.%d", int((ip >> 24) & 0xff), int((ip >> 16) & 0xff), int((ip >> 8) & 0xff),
                             int(ip & 0xff));
}

bool isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name.contains(QLatin1String("..")))
        return false;
    for (const QChar c : name) {
        // ':' covers drive letters and alternate data streams alike.
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return false;
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            return false;
    }
    return isStorableName(name);
}

bool parseHeader(const QByteArray &datagram, Header *header, QString *error)
{
    const QStringList fields = datagramText(datagram).split(QLatin1Char('='));
    if (fields.size() < 2) {
        *error = QStringLiteral("header without size");
        return false;
    }
    const QString &name = fields.at(0);
    if (!isPlainFileName(name)) {
        *error = QStringLiteral("name is not a plain file name");
        return false;
    }
    bool ok = false;
    const qint64 size = fields.at(1).toLongLong(&ok, 10);
    if (!ok || size <= 0 || size > INT_MAX) {
        *error = QStringLiteral("size is not a positive number");
        return false;
    }
    header->name = name;
    header->size = size;
    return true;
}

QByteArray header(const QString &name, qint64 size)
{
    return name.toUtf8() + '=' + QByteArray::number(size);
}

QByteArray acknowledgement(qint64 storedBytes)
{
    return QByteArray::number(storedBytes);
}

qint64 parseAcknowledgement(const QByteArray &datagram)
{
    if (datagram.isEmpty() || datagram.size() > 19)
        return -1;
    for (const char c : datagram) {
        if (c < '0' || c > '9')
            return -1;
    }
    return datagram.toLongLong();
}

} // namespace TransferProtocol
