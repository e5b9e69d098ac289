// Opens arbitrary bytes as a package and reads every entry both ways.
// Seed corpus: tests/data/qlxfat (the fixtures and fuzzed/).

#include "core/storage/qlxfat.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        abort();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return true;
    }();
    Q_UNUSED(quiet);

    const QDir dir(workDir().path());
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
    for (const QString &name : std::as_const(names)) {
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
        QFile::remove(extractPath);
        QLXFat::isSafeEntryPath(name);
    }
    fat.headerValue(QStringLiteral("Author"));
    return 0;
}
