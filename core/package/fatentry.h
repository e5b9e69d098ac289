#ifndef FATENTRY_H
#define FATENTRY_H

#include <QString>
#include <QtGlobal>

// One entry of a package's table. Writing fills the source fields, reading the
// position fields; a table line the reader cannot place safely (negative size,
// or bytes beyond the 32-bit range of the data area) gets offset and size -1.
class FatEntry
{
public:
    FatEntry() = default;

    // An entry added for writing: bytes come from a file on disk or from text.
    static FatEntry fromFile(const QString &sourcePath, const QString &name);
    static FatEntry fromText(const QString &text, const QString &name);
    // An entry read from a table line.
    static FatEntry atPosition(const QString &name, qint32 offset, qint32 size);
    static FatEntry unreadable(const QString &name);

    bool isReadable() const { return offset >= 0 && size >= 0; }

    bool operator==(const FatEntry &other) const;
    bool operator!=(const FatEntry &other) const { return !(*this == other); }
    QString toString() const;

    QString sourcePath;
    QString name;
    bool inMemory = false;
    QString data;
    qint32 offset = 0;
    qint32 size = 0;
};

#endif // FATENTRY_H
