#include "core/files/regularfile.h"

#include <QFileInfo>

bool RegularFile::fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool RegularFile::open(QFile &file, const QString &path, QString *error)
{
    file.close();
    file.setFileName(path);
    // Compiled in, so nobody else's.
    if (path.startsWith(QLatin1Char(':')))
        return file.open(QIODevice::ReadOnly) || fail(error, file.errorString());
    return openOnDisk(file, path, error);
}

bool RegularFile::read(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error)
{
    QFile file;
    if (!open(file, path, error))
        return false;
    // A file that grows while it is read, or claims a false size, ends the
    // reading at the bound all the same.
    const QByteArray read = file.read(maxBytes + 1);
    if (read.size() > maxBytes)
        return fail(error, tooLargeText(maxBytes));
    if (file.error() != QFileDevice::NoError)
        return fail(error, file.errorString());
    if (bytes)
        *bytes = read.isNull() ? QByteArray("") : read;
    return true;
}

QString RegularFile::tooLargeText(qint64 maxBytes)
{
    if (maxBytes > 0 && maxBytes % (1024 * 1024) == 0)
        return QStringLiteral("larger than %1 MiB").arg(maxBytes / (1024 * 1024));
    if (maxBytes > 0 && maxBytes % 1024 == 0)
        return QStringLiteral("larger than %1 KiB").arg(maxBytes / 1024);
    return QStringLiteral("larger than %1 bytes").arg(maxBytes);
}

bool RegularFile::isRegular(const QString &path)
{
    return QFileInfo(path).isFile();
}
