#include "core/package/fatentry.h"

FatEntry FatEntry::fromFile(const QString &sourcePath, const QString &name)
{
    FatEntry entry;
    entry.sourcePath = sourcePath;
    entry.name = name;
    return entry;
}

FatEntry FatEntry::fromText(const QString &text, const QString &name)
{
    FatEntry entry;
    entry.name = name;
    entry.inMemory = true;
    entry.data = text;
    return entry;
}

FatEntry FatEntry::atPosition(const QString &name, qint32 offset, qint32 size)
{
    FatEntry entry;
    entry.name = name;
    entry.offset = offset;
    entry.size = size;
    return entry;
}

FatEntry FatEntry::unreadable(const QString &name)
{
    return atPosition(name, -1, -1);
}

bool FatEntry::operator==(const FatEntry &other) const
{
    return sourcePath == other.sourcePath && name == other.name && inMemory == other.inMemory && data == other.data
        && offset == other.offset && size == other.size;
}

QString FatEntry::toString() const
{
    if (inMemory)
        return QStringLiteral("%1 (text, %2 characters)").arg(name).arg(data.size());
    if (!sourcePath.isEmpty())
        return QStringLiteral("%1 (file %2)").arg(name, sourcePath);
    if (!isReadable())
        return QStringLiteral("%1 (unreadable)").arg(name);
    return QStringLiteral("%1 @%2+%3").arg(name).arg(offset).arg(size);
}
