// Package reading speed: extracting every entry of a 50 MiB package compared
// with plain file copies of the same bytes, opening and listing a package of
// 10,000 entries, and unpacking one of 100,000 empty entries as the panel's
// loader and `qlxd extract` do. Packages are written straight in the format,
// not through the stepwise writer. Arguments name the cases to run (big, many,
// empties); none runs all three.

#include "bench/benchsupport.h"
#include "core/package/qlxfat.h"
#include "gui/window/projectloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QTextStream out(stdout);

QByteArray pattern(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = seed * 2654435761u + 1u;
    for (int i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

// Entry sizes between half and one and a half of the mean, summing to `total`.
std::vector<int> entrySizes(int count, qint64 total)
{
    std::vector<int> sizes(count);
    const qint64 mean = total / count;
    quint32 state = 12345;
    qint64 sum = 0;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        sizes[i] = int(mean / 2 + qint64(state >> 8) % mean);
        sum += sizes[i];
    }
    sizes[count - 1] += int(total - sum);
    return sizes;
}

bool writePackage(const QString &path, const QStringList &names, const std::vector<int> &sizes,
                  const QString &sourceDir)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray header = "SOH\nAuthor:bench\nSOFAT\n";
    for (int i = 0; i < names.size(); ++i)
        header += names.at(i).toLatin1() + '|' + QByteArray::number(sizes[i]) + '\n';
    header += "EOFAT\nEOH\n";
    file.write(header);
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray bytes = pattern(sizes[i], quint32(i));
        file.write(bytes);
        if (!sourceDir.isEmpty()) {
            QFile source(QDir(sourceDir).filePath(QString::number(i)));
            if (!source.open(QIODevice::WriteOnly) || source.write(bytes) != bytes.size())
                return false;
        }
    }
    return file.flush();
}

// What a plain copy program does: read and write in large blocks.
bool plainCopy(const QString &from, const QString &to)
{
    QFile source(from);
    QFile target(to);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    static char block[64 * 1024];
    for (;;) {
        const qint64 read = source.read(block, sizeof block);
        if (read < 0)
            return false;
        if (read == 0)
            return true;
        if (target.write(block, read) != read)
            return false;
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool emptyFolder(const QString &path)
{
    QDir(path).removeRecursively();
    return QDir().mkpath(path);
}

const int rounds = 5;

// Extraction of 2,000 entries, 50 MiB.
bool extractBig(const QDir &dir)
{
    const int count = 2000;
    const qint64 total = 50ll * 1024 * 1024;
    const std::vector<int> sizes = entrySizes(count, total);
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("icons/picture%1.png").arg(i, 4, 10, QLatin1Char('0'));
    const QString big = dir.filePath("big.qlxd");
    const QString sources = dir.filePath("sources");
    QDir().mkpath(sources);
    if (!writePackage(big, names, sizes, sources)) {
        out << "cannot write the package\n";
        return false;
    }

    std::vector<double> extractTimes, copyTimes, wholeCopyTimes;
    for (int round = 0; round < rounds; ++round) {
        const QString target = dir.filePath("extracted");
        emptyFolder(target);
        QElapsedTimer timer;
        timer.start();
        QLXFat fat;
        if (!fat.open(big, false))
            return false;
        for (int i = 0; i < count; ++i) {
            if (!fat.extractFile(names.at(i), target + QStringLiteral("/%1").arg(i)))
                return false;
        }
        extractTimes.push_back(timer.nsecsElapsed() / 1e6);

        const QString copies = dir.filePath("copies");
        emptyFolder(copies);
        timer.start();
        for (int i = 0; i < count; ++i) {
            if (!plainCopy(QDir(sources).filePath(QString::number(i)), copies + QStringLiteral("/%1").arg(i)))
                return false;
        }
        copyTimes.push_back(timer.nsecsElapsed() / 1e6);

        const QString whole = dir.filePath("whole.qlxd");
        timer.start();
        if (!plainCopy(big, whole))
            return false;
        wholeCopyTimes.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double extractMs = median(extractTimes);
    const double copyMs = median(copyTimes);
    const double wholeMs = median(wholeCopyTimes);
    out << "Extract 2,000 entries / 50 MiB (median of " << rounds << "):\n"
        << QStringLiteral("  extractFile, every entry      %1 ms (%2 MiB/s)\n")
               .arg(extractMs, 0, 'f', 1)
               .arg(50 / (extractMs / 1000), 0, 'f', 0)
        << QStringLiteral("  plain copy, 2,000 files       %1 ms  -> extraction takes %2x\n")
               .arg(copyMs, 0, 'f', 1)
               .arg(extractMs / copyMs, 0, 'f', 2)
        << QStringLiteral("  plain copy, one 50 MiB file   %1 ms  -> extraction takes %2x\n")
               .arg(wholeMs, 0, 'f', 1)
               .arg(extractMs / wholeMs, 0, 'f', 2);
    out.flush();
    return true;
}

// Opening and listing 10,000 entries.
bool openMany(const QDir &dir)
{
    const int manyCount = 10000;
    QStringList manyNames;
    for (int i = 0; i < manyCount; ++i)
        manyNames << QStringLiteral("icons/picture%1.png").arg(i, 5, 10, QLatin1Char('0'));
    const QString many = dir.filePath("many.qlxd");
    if (!writePackage(many, manyNames, std::vector<int>(manyCount, 100), QString()))
        return false;
    std::vector<double> listTimes;
    for (int round = 0; round < rounds * 4; ++round) {
        QElapsedTimer timer;
        timer.start();
        QLXFat fat;
        QStringList listed;
        if (!fat.open(many, false) || !fat.fileNames(listed) || listed.size() != manyCount)
            return false;
        listTimes.push_back(timer.nsecsElapsed() / 1e6);
    }
    out << QStringLiteral("Open + list 10,000 entries (median of %1): %2 ms\n")
               .arg(rounds * 4)
               .arg(median(listTimes), 0, 'f', 2);
    out.flush();
    return true;
}

// 100,000 empty pictures: the cost per entry, apart from the bytes.
bool unpackEmpties(const QDir &dir)
{
    const int count = 100000;
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("icons/e%1.png").arg(i);
    // A package whose data area is empty does not open.
    names << QStringLiteral("project");
    std::vector<int> sizes(count, 0);
    sizes.push_back(16);
    const QString package = dir.filePath("empties.qlxd");
    if (!writePackage(package, names, sizes, QString()))
        return false;
    std::vector<double> loaderTimes, toolTimes;
    for (int round = 0; round < 3; ++round) {
        const QString projects = dir.filePath("projects");
        emptyFolder(projects);
        QElapsedTimer timer;
        timer.start();
        QLXFat fat;
        if (!fat.open(package, false))
            return false;
        ProjectLoader(nullptr, projects).extractPictures(fat);
        loaderTimes.push_back(timer.nsecsElapsed() / 1e6);
        if (QDir(projects + QStringLiteral("/icons/project")).count() != uint(count) + 2)
            return false;

        const QString target = dir.filePath("tool");
        QDir(target).removeRecursively();
        QProcess tool;
        timer.start();
        tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../qlxd"),
                   {QStringLiteral("extract"), package, target});
        if (!tool.waitForFinished(-1) || tool.exitCode() != 0)
            return false;
        toolTimes.push_back(timer.nsecsElapsed() / 1e6);
    }
    out << QStringLiteral("Unpack 100,000 empty entries (median of 3): loader %1 ms, qlxd extract %2 ms\n")
               .arg(median(loaderTimes), 0, 'f', 0)
               .arg(median(toolTimes), 0, 'f', 0);
    out.flush();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    quietLogging();
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const QDir dir(work.path());
    QStringList cases = app.arguments().mid(1);
    if (cases.isEmpty())
        cases = QStringList{QStringLiteral("big"), QStringLiteral("many"), QStringLiteral("empties")};
    for (const QString &name : cases) {
        bool ok = false;
        if (name == QLatin1String("big"))
            ok = extractBig(dir);
        else if (name == QLatin1String("many"))
            ok = openMany(dir);
        else if (name == QLatin1String("empties"))
            ok = unpackEmpties(dir);
        else
            out << "unknown case " << name << " (big, many, empties)\n";
        if (!ok)
            return 1;
    }
    return 0;
}
