#ifndef QLXFAT_H
#define QLXFAT_H

#include "core/package/fatentry.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QVector>

class QLXFatThread;

// A project package: a text header that lists the entries, then their bytes
// back to back. Reading is synchronous and keeps only the table in memory;
// writing runs on a QLXFatThread started by save(), into a file that replaces
// the package only once it is whole.
class QLXFat : public QObject
{
    Q_OBJECT

public:
    // Why a package did not open, for a message the operator reads.
    enum class OpenError { None, Missing, Folder, Unreadable, Empty, NotPackage };

    // A header line (its line feed included) and the whole header, in bytes:
    // a designer writes lines of a few dozen bytes, a header of kilobytes.
    static constexpr qint64 MaxHeaderLine = 64 * 1024;
    static constexpr qint64 MaxHeaderSize = 16 * 1024 * 1024;

    explicit QLXFat(QObject *parent = nullptr);
    ~QLXFat() override;

    bool open(const QString &fileName, bool forWriting);
    bool readTable();
    // Why the last open() failed, for the line that reports it; empty after
    // a successful one.
    QString errorString() const { return m_error; }
    OpenError openError() const { return m_openError; }

    // Bytes the table places past the end of the package file: more than 0
    // when the package was cut short (a copy or transfer that broke off).
    qint64 missingBytes() const;
    // Whether the table lists `name`, and whether every entry of that name
    // lies wholly inside the package file.
    bool contains(const QString &name) const;
    bool isWhole(const QString &name) const;
    // The names of the entries that reach past the end of the file, each
    // once, in table order; empty for a whole package.
    QStringList cutEntries() const;

    bool fileNames(QStringList &names) const;
    QByteArray fileData(const QString &name);
    bool extractFile(const QString &name, const QString &destination);
    // Up to `count` bytes at `position` in the package file, read without
    // moving the file's position, so that other threads may read at the same
    // time: the number read, fewer at the file's end, -1 on failure.
    qint64 readAt(qint64 position, char *data, qint64 count) const;
    QString headerValue(const QString &key);

    bool addFile(const QString &sourcePath, const QString &name);
    bool addData(const QString &text, const QString &name);
    bool setHeaderValue(const QString &key, const QString &value);
    bool save();
    void close();

    // The table as read or as added, in table order.
    const QVector<FatEntry> &entries() const { return m_table; }
    // Header properties ordered by key.
    const QMap<QString, QString> &headerProperties() const { return m_headerProperties; }
    qint32 dataStart() const { return m_dataStart; }
    QString fileName() const { return m_fileName; }
    bool isWriteMode() const { return m_writeMode; }

    // The writer of the last save() (null before); its QThread::finished() marks the end.
    QLXFatThread *writer() const { return m_writer; }
    bool isWriting() const;
    // The writer's progress: 0 before save(), 100 when written, 255 after a failure.
    int progress() const;
    // Pause after every writer step; the default keeps writing gentle on the
    // disk, tools that pack many files may shorten it. Applies to later save() calls.
    void setStepPause(int milliseconds);
    int stepPause() const { return m_stepPause; }

    // True when `name` can be used as a relative path below a directory: whole
    // components that are not empty, "." or "..", no leading "/", no "\\",
    // no drive letter or ":", no control characters.
    static bool isSafeEntryPath(const QString &name);
    // Where entry `name` lands below `directory`, or an empty text when it
    // must not land anywhere: the name is not safe as a path, or a symbolic
    // link lies on its way (a folder or the file itself), so nothing is ever
    // made or written through a link. Missing folders are left to the caller.
    static QString destinationBelow(const QString &directory, const QString &name);

private:
    bool reachesPastEnd(const FatEntry &entry) const;
    // Why reading the table failed, for errorString() and openError().
    bool fail(OpenError error, const QString &text);

    bool m_writeMode = false;
    QFile m_file;         // reading
    QSaveFile m_saveFile; // writing
    QString m_fileName;
    QString m_error;
    OpenError m_openError = OpenError::None;
    qint64 m_fileSize = 0;
    QMap<QString, QString> m_headerProperties;
    QVector<FatEntry> m_table;
    // Read mode: the first readable entry of each name, so that unpacking
    // every entry does not search the table once per entry.
    QHash<QString, int> m_firstReadable;
    QLXFatThread *m_writer = nullptr;
    qint32 m_dataStart = 0;
    int m_stepPause;
};

#endif // QLXFAT_H
