// Opens arbitrary bytes as a package and reads every entry every way; what
// extractFile writes, fileData gives and readAt reads is held to the table
// read plainly: the bytes of the first readable entry of that name, and
// nothing when they reach past the end.
// Seed corpus: tests/data/qlxfat (the fixtures and fuzzed/).

#include "core/package/qlxfat.h"
#include "fuzz/fuzzsupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzQuietly();

    const QDir dir(fuzzWorkDir(QStringLiteral("qlxfat")));
    const QString packagePath = dir.filePath(QStringLiteral("input.qlxd"));
    const QString extractPath = dir.filePath(QStringLiteral("extracted"));
    {
        QFile package(packagePath);
        if (!package.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        package.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    QLXFat fat;
    const bool opened = fat.open(packagePath, false);
    QStringList names;
    fat.fileNames(names);
    const qint64 dataSize = qint64(size) - fat.dataStart();
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    for (const QString &name : std::as_const(names)) {
        const FatEntry *first = nullptr;
        for (const FatEntry &entry : fat.entries()) {
            if (entry.name == name && entry.isReadable()) {
                first = &entry;
                break;
            }
        }
        const QByteArray bytes = fat.fileData(name);
        // Every byte handed out comes from the data area of the input.
        if (bytes.size() > 0 && (!opened || bytes.size() > dataSize * names.count(name)))
            abort();
        const bool extracted = fat.extractFile(name, extractPath);
        if (extracted && !opened)
            abort();
        if (extracted && QFile(extractPath).size() > dataSize)
            abort();
        if (!extracted && QFile::exists(extractPath))
            abort(); // a failed extraction leaves no partial file behind
        if (opened && first) {
            const qint64 start = qint64(fat.dataStart()) + first->offset;
            // An empty entry extracts wherever it claims to lie.
            const bool whole = first->size == 0 || start + first->size <= qint64(size);
            if (extracted != whole)
                abort();
            QFile out(extractPath);
            if (whole && (!out.open(QIODevice::ReadOnly) || out.readAll() != input.mid(int(start), first->size)))
                abort();
            // The entry read in one piece, and from another thread's handle,
            // gives the same bytes.
            if (whole) {
                QByteArray read(int(first->size), Qt::Uninitialized);
                if (fat.readAt(start, read.data(), first->size) != first->size
                    || read != input.mid(int(start), first->size) || (names.count(name) == 1 && bytes != read))
                    abort();
            }
        }
        QFile::remove(extractPath);
        QLXFat::isSafeEntryPath(name);
    }
    fat.headerValue(QStringLiteral("Author"));
    return 0;
}
