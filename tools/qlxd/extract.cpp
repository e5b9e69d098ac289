#include "commands.h"

#include "core/package/qlxfat.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTextStream>

int runExtract(const QStringList &args)
{
    const QString command = QStringLiteral("extract");
    if (args.size() != 2)
        return fail(command, QStringLiteral("usage: qlxd extract PKG DIR"), ExitUsage);
    const QString path = args.at(0);

    QLXFat fat;
    if (!fat.open(path, false))
        return fail(command, QStringLiteral("cannot open %1: missing, unreadable or not a package").arg(path));
    if (!QDir().mkpath(args.at(1)))
        return fail(command, QStringLiteral("cannot create the folder %1").arg(args.at(1)));
    const QString root = QFileInfo(args.at(1)).canonicalFilePath();

    QTextStream &out = standardOutput();
    QHash<QString, int> counts;
    for (const FatEntry &entry : fat.entries())
        ++counts[entry.name];

    int extracted = 0;
    int problems = 0;
    QSet<QString> done;
    for (const FatEntry &entry : fat.entries()) {
        const QString &name = entry.name;
        if (done.contains(name))
            continue;
        done.insert(name);
        const QString shown = printable(name);
        if (!QLXFat::isSafeEntryPath(name)) {
            ++problems;
            standardError() << "qlxd extract: refused entry \"" << shown << "\": it would land outside " << args.at(1)
                            << '\n';
            continue;
        }
        // The name is clean, but what is already below DIR may be a link.
        const QString target = QLXFat::destinationBelow(root, name);
        if (target.isEmpty()) {
            ++problems;
            standardError() << "qlxd extract: refused entry \"" << shown << "\": a symbolic link lies on its way in "
                            << args.at(1) << '\n';
            continue;
        }
        if (!QDir().mkpath(QFileInfo(target).path())) {
            ++problems;
            standardError() << "qlxd extract: cannot extract \"" << shown << "\": its folder cannot be created in "
                            << args.at(1) << '\n';
            continue;
        }
        if (!fat.extractFile(name, target)) {
            ++problems;
            standardError() << "qlxd extract: cannot extract \"" << shown
                            << "\": its bytes are missing from the package or the file cannot be written\n";
            continue;
        }
        ++extracted;
        out << "  " << shown;
        if (counts.value(name) > 1)
            out << "  (name appears " << counts.value(name) << " times; the first was extracted)";
        out << '\n';
    }
    out << "extracted " << extracted << " of " << done.size() << " entries into " << args.at(1) << '\n';
    return problems == 0 ? ExitOk : ExitFailed;
}
