#include "qlxfattesthelper.h"

#include "storage/qlxfat.h"
#include "storage/qlxfatthread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace QlxFatTest {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
        && file.flush();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    if (bytes.isNull())
        bytes = QByteArray("");
    return bytes;
}

QByteArray packageBytes(const QStringList &headerLines, const QList<QPair<QString, QByteArray>> &entries)
{
    QByteArray bytes = "SOH\n";
    for (const QString &line : headerLines)
        bytes += line.toLatin1() + '\n';
    bytes += "SOFAT\n";
    for (const auto &entry : entries)
        bytes += entry.first.toLatin1() + '|' + QByteArray::number(entry.second.size()) + '\n';
    bytes += "EOFAT\nEOH\n";
    for (const auto &entry : entries)
        bytes += entry.second;
    return bytes;
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

bool waitForWriter(QLXFat &fat, int timeoutMs)
{
    return fat.writer() && fat.writer()->wait(static_cast<unsigned long>(timeoutMs));
}

} // namespace QlxFatTest
