#include "packagetesthelper.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>

QByteArray packageBytes(const PackageEntries &entries)
{
    QByteArray bytes("SOH\nSOFAT\n");
    QByteArray data;
    for (const auto &entry : entries) {
        bytes += entry.first.toUtf8() + '|' + QByteArray::number(entry.second.size()) + '\n';
        data += entry.second;
    }
    bytes += "EOFAT\nEOH\n";
    return bytes + data;
}

bool writePackage(const QString &path, const PackageEntries &entries)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(packageBytes(entries)) >= 0;
}

QByteArray pngBytes(int w, int h, unsigned rgb)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(rgb);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QStringList treeListing(const QString &root)
{
    QStringList listing;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        listing << it.filePath().mid(root.size()) + QLatin1Char(' ')
                + (info.isSymLink() ? QStringLiteral("link")
                                     : info.isDir() ? QStringLiteral("dir") : QString::number(info.size()));
    }
    listing.sort();
    return listing;
}
