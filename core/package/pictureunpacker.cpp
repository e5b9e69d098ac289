#include "core/package/pictureunpacker.h"
#include "core/logging/logcategories.h"

#include "core/startup/threadpriority.h"
#include "core/package/qlxfat.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QVarLengthArray>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

const QString prefixes[] = {QStringLiteral("background/"), QStringLiteral("icons/")};
const QString folderNames[] = {QStringLiteral("background/project"), QStringLiteral("icons/project")};

constexpr qint64 BlockSize = 64 * 1024;
// How often a wait for the writer lets the caller do its own work.
constexpr int MeanwhileInterval = 40;
// Plain pictures written beside the first page at most, and their bytes:
// about as much as is written while a first page is built.
constexpr int MaxAsideCount = 1024;
constexpr qint64 MaxAsideBytes = 16 * 1024 * 1024;

// One path for one file however its separators are doubled: the pages ask
// for their backgrounds as ".../projects//background/project/NAME".
QString singleSlashes(const QString &path)
{
    if (!path.contains(QLatin1String("//")))
        return path;
    QString result;
    result.reserve(path.size());
    for (const QChar c : path) {
        if (c != QLatin1Char('/') || !result.endsWith(QLatin1Char('/')))
            result.append(c);
    }
    return result;
}

bool within(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

PictureUnpacker::PictureUnpacker(const QLXFat &package, const QString &projectDir)
    : m_package(package)
    , m_projectDir(projectDir)
{
}

PictureUnpacker::~PictureUnpacker()
{
    if (m_writer.valid())
        m_writer.wait();
}

QString PictureUnpacker::packageName() const
{
    return m_package.fileName();
}

QString PictureUnpacker::folderPath(Folder folder) const
{
    return m_projectDir + folderNames[folder];
}

bool PictureUnpacker::emptyFolder(const QString &path)
{
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return false;
    // What cannot be removed is overwritten or left beside the new pictures.
    const QFileInfoList entries =
        QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
    return true;
}

bool PictureUnpacker::foldersApart() const
{
    // Where one folder's removing could reach the other's pictures, or the
    // pictures could be read through the common icons while written, the
    // reference order holds: everything emptied, then unpacked in turn.
    const QString backgrounds = QFileInfo(folderPath(Backgrounds)).canonicalFilePath();
    const QString icons = QFileInfo(folderPath(Icons)).canonicalFilePath();
    const QString common = QFileInfo(m_projectDir + QLatin1String("icons")).canonicalFilePath();
    return !backgrounds.isEmpty() && !icons.isEmpty() && !common.isEmpty() && !within(backgrounds, icons)
        && !within(icons, backgrounds) && !within(common, icons) && !within(common, backgrounds);
}

bool PictureUnpacker::start(const std::function<void(int)> &progress)
{
    // As the folders were always emptied: the backgrounds first, and they
    // stay emptied when the icons' folder cannot be made.
    for (const Folder folder : {Backgrounds, Icons}) {
        const QString path = folderPath(folder);
        if (!QDir().mkpath(path) || !QFileInfo(path).isDir()) {
            if (folder == Icons)
                emptyFolder(folderPath(Backgrounds));
            m_failedFolder = folder;
            return false;
        }
    }
    if (!foldersApart()) {
        unpackAll(progress);
        return true;
    }

    // Which file each entry lands in, and which files one entry alone fills.
    const QVector<FatEntry> &table = m_package.entries();
    const QStringList cut = m_package.cutEntries();
    const QSet<QString> left(cut.cbegin(), cut.cend());
    struct Landing
    {
        int index;
        Folder folder;
        QString relative;
    };
    QVector<Landing> landings;
    QHash<QString, int> perFile[2];
    for (int i = 0; i < table.size(); ++i) {
        Folder folder;
        QString relative;
        if (left.contains(table.at(i).name) || !landsIn(table.at(i).name, &folder, &relative))
            continue;
        landings.append({i, folder, relative});
        ++perFile[folder][relative];
    }
    qint64 plainBytes = 0;
    for (const Landing &landing : std::as_const(landings)) {
        const FatEntry &entry = table.at(landing.index);
        if (perFile[landing.folder].value(landing.relative) != 1 || !entry.isReadable()
            || landing.relative.contains(QLatin1Char('/')) || !QLXFat::isSafeEntryPath(landing.relative))
            continue;
        const QString path = folderPath(landing.folder) + QLatin1Char('/') + landing.relative;
        m_plainByName[landing.folder].insert(landing.relative, m_plain.size());
        m_plainByPath.insert(singleSlashes(path), m_plain.size());
        m_plain.append({landing.index, landing.folder, entry.name, path, qint64(m_package.dataStart()) + entry.offset,
                        qint64(entry.size)});
        plainBytes += entry.size;
    }
    m_outcomes = QVector<Outcome>(m_plain.size(), Pending);

    removeOthers(Backgrounds);
    removeOthers(Icons);
    // Writing beside the first page when that takes about as long as the
    // page; a larger package is unpacked in table order, its progress shown.
    // Beside the first page the unpacking shows no progress of its own: the
    // page's follows at once.
    const bool aside = !m_plain.isEmpty() && m_plain.size() <= MaxAsideCount && plainBytes <= MaxAsideBytes;
    const auto step = aside ? std::function<void(int)>() : progress;
    int next = 0;
    for (const Landing &landing : std::as_const(landings)) {
        const int plain = m_plainByName[landing.folder].value(landing.relative, -1);
        if (plain >= 0 && aside)
            continue;
        for (; step && next <= landing.index; ++next)
            step(next);
        if (plain >= 0)
            m_outcomes[plain] = writePlain(m_plain.at(plain));
        else
            unpackEntry(landing.index, landing.folder, landing.relative);
    }
    for (; step && next < table.size(); ++next)
        step(next);
    if (aside) {
        Outcome *outcomes = m_outcomes.data(); // detached here, before two threads write
        m_writer = std::async(std::launch::async, [this, outcomes] {
            lowerPriorityFor(LoadWork::AtTheEnd);
            writeRemaining(outcomes, {});
        });
    }
    return true;
}

void PictureUnpacker::unpackAll(const std::function<void(int)> &progress)
{
    emptyFolder(folderPath(Backgrounds));
    emptyFolder(folderPath(Icons));
    const QVector<FatEntry> &table = m_package.entries();
    const QStringList cut = m_package.cutEntries();
    const QSet<QString> left(cut.cbegin(), cut.cend());
    for (int i = 0; i < table.size(); ++i) {
        if (progress)
            progress(i);
        Folder folder;
        QString relative;
        if (!left.contains(table.at(i).name) && landsIn(table.at(i).name, &folder, &relative))
            unpackEntry(i, folder, relative);
    }
}

void PictureUnpacker::removeOthers(Folder folder)
{
    // Everything but the files the plain pictures may find written already.
    const QFileInfoList entries =
        QDir(folderPath(folder)).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() || !entry.isFile() || !isPlain(folder, entry.fileName())) {
            if (entry.isDir() && !entry.isSymLink())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
    }
}

bool PictureUnpacker::landsIn(const QString &entry, Folder *folder, QString *relative) const
{
    *folder = entry.startsWith(prefixes[Icons]) ? Icons : Backgrounds;
    if (!entry.startsWith(prefixes[*folder]))
        return false;
    // The prefix goes wherever it stands in the name, as it always did.
    *relative = entry;
    relative->remove(prefixes[*folder]);
    if (*folder == Icons)
        qCDebug(lcPackage) << "Create Project Icon: " << folderPath(Icons) + QLatin1Char('/') + *relative;
    else
        qCDebug(lcPackage) << "Create Project background: " << folderPath(Backgrounds) + QLatin1Char('/') + *relative;
    return true;
}

bool PictureUnpacker::unpackEntry(int index, Folder folder, const QString &relative)
{
    const QString &entry = m_package.entries().at(index).name;
    const QString directory = folderPath(folder) + QLatin1Char('/');
    const QString destination = directory + relative;

    const QString safe = QLXFat::destinationBelow(directory, relative);
    if (safe.isEmpty())
        qCDebug(lcPackage) << "Package entry refused, it names no file inside the picture folder:" << entry;
    // The package's own file position moves; nothing else reads it meanwhile.
    if (!safe.isEmpty() && const_cast<QLXFat &>(m_package).extractFile(entry, safe))
        return true;
    m_failures.append({index, entry, destination, folder, m_package.entries().at(index).size, safe.isEmpty()});
    return false;
}

bool PictureUnpacker::isPlain(Folder folder, const QString &name) const
{
    return m_plainByName[folder].contains(name);
}

bool PictureUnpacker::plainBytes(const QString &path, QByteArray *bytes, qint64 maxBytes) const
{
    const auto found = m_plainByPath.constFind(singleSlashes(path));
    if (found == m_plainByPath.constEnd())
        return false;
    const Plain &plain = m_plain.at(*found);
    if (plain.size > maxBytes)
        return false;
    if (!bytes)
        return true;
    QByteArray read(int(plain.size), Qt::Uninitialized);
    if (m_package.readAt(plain.position, read.data(), plain.size) != plain.size)
        return false;
    *bytes = read;
    return true;
}

PictureUnpacker::Outcome PictureUnpacker::writePlain(const Plain &plain) const
{
    const QFileInfo found(plain.path);
    if (!found.isSymLink() && found.isFile() && found.size() == plain.size && holdsBytes(plain))
        return Kept;
    // Written anew, never through what is there: a hard link's other name
    // keeps its bytes.
    if (found.exists() || found.isSymLink())
        QFile::remove(plain.path);
    return writeFile(plain) ? Written : Failed;
}

bool PictureUnpacker::holdsBytes(const Plain &plain) const
{
    QFile file(plain.path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A picture of a few kilobytes needs no block on the heap, nor one
    // filled first.
    QVarLengthArray<char, 8192> held(int(qMin(BlockSize, plain.size)));
    QVarLengthArray<char, 8192> packed(held.size());
    for (qint64 done = 0; done < plain.size;) {
        const qint64 want = qMin(BlockSize, plain.size - done);
        if (file.read(held.data(), want) != want || m_package.readAt(plain.position + done, packed.data(), want) != want
            || std::memcmp(held.data(), packed.data(), size_t(want)) != 0)
            return false;
        done += want;
    }
    return true;
}

bool PictureUnpacker::writeFile(const Plain &plain) const
{
    QFile target(plain.path);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QVarLengthArray<char, 8192> block(int(qMin(BlockSize, plain.size)));
    bool ok = true;
    for (qint64 done = 0; ok && done < plain.size;) {
        // A package that ends early leaves no partial file behind.
        const qint64 read = m_package.readAt(plain.position + done, block.data(), qMin(BlockSize, plain.size - done));
        ok = read > 0 && target.write(block.data(), read) == read;
        done += qMax<qint64>(read, 0);
    }
    ok = ok && target.flush();
    target.close();
    if (!ok)
        target.remove();
    return ok;
}

void PictureUnpacker::writeRemaining(Outcome *outcomes, const std::function<void()> &meanwhile)
{
    QElapsedTimer since;
    since.start();
    for (int i = m_nextPlain.fetch_add(1); i < m_plain.size(); i = m_nextPlain.fetch_add(1)) {
        outcomes[i] = writePlain(m_plain.at(i));
        if (meanwhile && since.hasExpired(MeanwhileInterval)) {
            meanwhile();
            since.restart();
        }
    }
}

void PictureUnpacker::finish(const std::function<void()> &meanwhile)
{
    if (m_writer.valid()) {
        // What the writer has not come to yet is written here: at its low
        // priority it may wait long for a core on a busy machine.
        writeRemaining(m_outcomes.data(), meanwhile);
        while (m_writer.wait_for(std::chrono::milliseconds(MeanwhileInterval)) != std::future_status::ready) {
            if (meanwhile)
                meanwhile();
        }
        m_writer.get();
    }
    for (int i = 0; i < m_outcomes.size(); ++i) {
        const Plain &plain = m_plain.at(i);
        if (m_outcomes.at(i) == Kept)
            ++m_kept;
        else if (m_outcomes.at(i) == Written)
            ++m_written;
        else
            m_failures.append({plain.index, plain.entry, plain.path, plain.folder, plain.size, false});
        m_plainFailed = m_plainFailed || m_outcomes.at(i) == Failed;
    }
    m_outcomes.clear();
    std::sort(m_failures.begin(), m_failures.end(),
              [](const Failure &a, const Failure &b) { return a.index < b.index; });
}
