#include "commands.h"

#include "core/package/qlxfat.h"

#include <QFileInfo>
#include <QHash>
#include <QTextStream>

int runList(const QStringList &args)
{
    const QString command = QStringLiteral("list");
    if (args.size() != 1)
        return fail(command, QStringLiteral("usage: qlxd list PKG"), ExitUsage);
    const QString path = args.first();

    QLXFat fat;
    if (!fat.open(path, false)) {
        const QFileInfo info(path);
        if (!info.exists())
            return fail(command, QStringLiteral("cannot open %1: no such file").arg(path));
        if (!info.isFile() || !info.isReadable())
            return fail(command, QStringLiteral("cannot open %1: not a readable file").arg(path));
        // Why it is no package: no SOH line, no EOH line, a header without end, ...
        return fail(command, QStringLiteral("cannot open %1: %2").arg(path, fat.errorString()));
    }

    QTextStream &out = standardOutput();
    const QMap<QString, QString> &header = fat.headerProperties();
    out << "Header properties (" << header.size() << "):\n";
    for (auto it = header.cbegin(); it != header.cend(); ++it)
        out << "  " << printable(it.key()) << ": " << printable(it.value()) << '\n';

    const QVector<FatEntry> &entries = fat.entries();
    const qint64 dataSize = QFileInfo(path).size() - fat.dataStart();
    QHash<QString, int> seen;
    qint64 declared = 0;
    out << "Entries (" << entries.size() << "):\n";
    for (const FatEntry &entry : entries) {
        QString size = QStringLiteral("unreadable");
        QStringList notes;
        if (entry.isReadable()) {
            size = QString::number(entry.size);
            declared += entry.size;
            if (entry.offset + qint64(entry.size) > dataSize)
                notes << QStringLiteral("reaches past the end of the package");
        } else {
            notes << QStringLiteral("size out of range");
        }
        if (seen[entry.name]++ > 0)
            notes << QStringLiteral("duplicate name: extract takes the first");
        if (!QLXFat::isSafeEntryPath(entry.name))
            notes << QStringLiteral("unsafe as a path");
        out << "  " << qSetFieldWidth(10) << size << qSetFieldWidth(0) << "  " << printable(entry.name);
        if (!notes.isEmpty())
            out << "  (" << notes.join(QStringLiteral("; ")) << ')';
        out << '\n';
    }
    out << "Data: " << dataSize << " bytes after the header, " << declared << " bytes declared\n";
    return ExitOk;
}
