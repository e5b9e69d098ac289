#ifndef REGULARFILE_H
#define REGULARFILE_H

#include <QByteArray>
#include <QFile>
#include <QString>

// Opening a file that someone else named: a package, a picture, a
// configuration. Only a regular file (or a symbolic link to one) is opened:
// opening a FIFO for reading blocks until a writer comes, and a device such
// as /dev/zero never ends. The check is made on the opened file itself, so a
// name swapped between a look and the open cannot slip through. Qt's
// resources (":/...") are opened as they are.
class RegularFile
{
public:
    // Opens `path` read-only into `file` (its name set to `path`). False, with
    // the reason in *error, for anything but a regular file or when it cannot
    // be opened.
    static bool open(QFile &file, const QString &path, QString *error = nullptr);
    // The whole file when it holds at most `maxBytes`; never more than
    // `maxBytes` + 1 are read, whatever size the file claims. False, with the
    // reason in *error, otherwise.
    static bool read(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error = nullptr);
    // Whether `path` names a regular file, or a link to one, now.
    static bool isRegular(const QString &path);

    static QString notRegularText() { return QStringLiteral("not a regular file"); }
    // What read() says of a file beyond `maxBytes`: "larger than 4 MiB".
    static QString tooLargeText(qint64 maxBytes);

private:
    RegularFile() = delete;
    // open() for a file on disk: one per platform.
    static bool openOnDisk(QFile &file, const QString &path, QString *error);
    static bool fail(QString *error, const QString &text);
};

#endif // REGULARFILE_H
