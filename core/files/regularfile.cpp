#include "core/files/regularfile.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool RegularFile::open(QFile &file, const QString &path, QString *error)
{
    file.close();
    file.setFileName(path);
    // Compiled in, so nobody else's.
    if (path.startsWith(QLatin1Char(':')))
        return file.open(QIODevice::ReadOnly) || fail(error, file.errorString());
#ifdef Q_OS_UNIX
    // Without blocking: a FIFO would wait here for a writer. The file
    // opened is the file looked at.
    int fd;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(error, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(error, notRegularText());
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(error, file.errorString());
    }
    return true;
#else
    if (!QFileInfo(path).isFile())
        return fail(error, QFileInfo::exists(path) ? notRegularText() : QStringLiteral("no such file"));
    return file.open(QIODevice::ReadOnly) || fail(error, file.errorString());
#endif
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
