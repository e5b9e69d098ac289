#include "commands.h"

#include "core/files/regularfile.h"
#include "core/package/qlxfat.h"
#include "core/package/qlxfatthread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <limits>

#include <unistd.h>
#include <utility>

namespace {

const QString Command = QStringLiteral("pack");

struct Source
{
    QString path;
    QString name;
    qint64 size;
};

// Table lines are written Latin-1 and read back as UTF-8, so only ASCII names
// survive; "|" and line breaks would break the table line itself.
bool isStorableName(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == QLatin1Char('|'))
            return false;
    }
    return true;
}

// Adds every file directly in DIR/<folder>/ as "<folder>/NAME", in name order.
bool collectFolder(const QString &dir, const QString &folder, QList<Source> &sources)
{
    const QDir source(QDir(dir).filePath(folder));
    if (!source.exists())
        return true;
    const QFileInfoList infos =
        source.entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : infos) {
        if (info.isDir()) {
            standardError() << "qlxd pack: skipping folder " << info.filePath() << " (only the files directly in "
                            << folder << "/ are packed)\n";
            continue;
        }
        sources.append({info.filePath(), folder + QLatin1Char('/') + info.fileName(), info.size()});
    }
    return true;
}

void drawProgress(int percent)
{
    const int width = 40;
    const int filled = width * percent / 100;
    standardError() << "\r[" << QString(filled, QLatin1Char('#')) << QString(width - filled, QLatin1Char('.')) << "] "
                    << qSetFieldWidth(3) << percent << qSetFieldWidth(0) << '%';
    standardError().flush();
}

} // namespace

int runPack(const QStringList &args)
{
    QStringList positional;
    QList<QPair<QString, QString>> header;
    int pause = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--pause") || arg == QLatin1String("--header")) {
            if (i + 1 >= args.size())
                return fail(Command, arg + QStringLiteral(" needs a value"), ExitUsage);
            const QString value = args.at(++i);
            if (arg == QLatin1String("--pause")) {
                bool ok = false;
                pause = value.toInt(&ok);
                if (!ok || pause < 0)
                    return fail(Command, QStringLiteral("--pause wants milliseconds, not \"%1\"").arg(value),
                                ExitUsage);
            } else {
                const int equals = value.indexOf(QLatin1Char('='));
                const QString key = value.left(equals);
                if (equals <= 0 || key.contains(QLatin1Char(':')) || key.startsWith(QLatin1String("SOFAT"))
                    || !isStorableName(key) || !isStorableName(value.mid(equals + 1)))
                    return fail(Command,
                                QStringLiteral("--header wants KEY=VALUE in ASCII, the key without \":\", not \"%1\"")
                                    .arg(printable(value)),
                                ExitUsage);
                header.append({key, value.mid(equals + 1)});
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            return fail(Command, QStringLiteral("unknown option %1").arg(arg), ExitUsage);
        } else {
            positional << arg;
        }
    }
    if (positional.size() != 2)
        return fail(Command, QStringLiteral("usage: qlxd pack OUT.qlxd DIR [--pause MS] [--header KEY=VALUE]..."),
                    ExitUsage);
    const QString out = positional.at(0);
    const QString dir = positional.at(1);

    if (!QFileInfo(dir).isDir())
        return fail(Command, QStringLiteral("%1 is not a folder").arg(dir));
    const QFileInfo project(QDir(dir).filePath(QStringLiteral("project")));
    if (!project.exists() || project.isDir())
        return fail(Command, QStringLiteral("missing project document %1").arg(project.filePath()));

    QList<Source> sources{{project.filePath(), QStringLiteral("project"), project.size()}};
    collectFolder(dir, QStringLiteral("icons"), sources);
    collectFolder(dir, QStringLiteral("background"), sources);
    // An older package inside DIR would be packed into the one replacing it.
    const QString outPath = QFileInfo(out).canonicalFilePath();
    for (int i = sources.size() - 1; i >= 0 && !outPath.isEmpty(); --i) {
        if (QFileInfo(sources.at(i).path).canonicalFilePath() == outPath) {
            if (i == 0)
                return fail(Command, QStringLiteral("the package cannot replace its own project document"));
            standardError() << "qlxd pack: skipping " << sources.at(i).path << " (it is the package being written)\n";
            sources.removeAt(i);
        }
    }

    // Check everything before the output is touched, so a failed pack leaves
    // an existing package alone.
    qint64 total = 0;
    for (const Source &source : std::as_const(sources)) {
        if (!isStorableName(source.name))
            return fail(Command,
                        QStringLiteral("cannot store %1: a package entry name must be ASCII without \"|\"")
                            .arg(printable(source.path)));
        // Not a FIFO or device: reading one would hang or never end.
        QFile file;
        QString why;
        if (!RegularFile::open(file, source.path, &why))
            return fail(Command, QStringLiteral("cannot read %1: %2").arg(source.path, why));
        total += source.size;
    }
    if (total > std::numeric_limits<qint32>::max())
        return fail(Command, QStringLiteral("%1 bytes are too many for one package (at most 2 GiB)").arg(total));
    if (total == 0)
        return fail(Command, QStringLiteral("all files are empty; a package without data bytes cannot be opened"));

    QLXFat fat;
    fat.setStepPause(pause);
    if (!fat.open(out, true))
        return fail(Command, QStringLiteral("cannot create %1").arg(out));
    for (const auto &property : std::as_const(header))
        fat.setHeaderValue(property.first, property.second);
    for (const Source &source : std::as_const(sources))
        fat.addFile(source.path, source.name);
    fat.save();

    const bool terminal = isatty(fileno(stderr));
    int shown = -1;
    while (!fat.writer()->wait(50)) {
        if (terminal && fat.progress() != shown && fat.progress() <= 100)
            drawProgress(shown = fat.progress());
    }
    if (fat.progress() != 100) {
        if (terminal)
            standardError() << '\n';
        // The package it was to replace, if any, is still there, unchanged.
        return fail(Command,
                    QStringLiteral("writing %1 failed (a file changed or could not be read while packing)").arg(out));
    }
    if (terminal) {
        drawProgress(100);
        standardError() << '\n';
        standardError().flush();
    }
    standardOutput() << "packed " << sources.size() << " entries (" << total << " bytes) into " << out << '\n';
    return ExitOk;
}
