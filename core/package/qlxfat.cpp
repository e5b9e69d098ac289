#include "core/package/qlxfat.h"
#include "core/package/storablename.h"

#include "core/files/regularfile.h"
#include "core/package/qlxfatthread.h"

#include <QFileInfo>
#include <QSet>

#include <limits>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {

constexpr qint64 BlockSize = 1024;
constexpr qint64 MaxPosition = std::numeric_limits<qint32>::max();
// What a QByteArray holds at most (its header and terminator aside).
constexpr qint64 MaxArraySize = std::numeric_limits<int>::max() - 64;
// Sizes and running offsets saturate here: far beyond anything readable, far
// below anything that could overflow when added.
constexpr qint64 SizeCeiling = qint64(1) << 40;

// Header and table lines are read as UTF-8, each cut at its first NUL byte.
QString lineText(QByteArray line)
{
    const int nul = line.indexOf('\0');
    if (nul >= 0)
        line.truncate(nul);
    return QString::fromUtf8(line);
}

// A decimal size with optional surrounding white space and sign; anything
// that is not such a number counts as 0.
qint64 parseSize(const QString &field)
{
    const QString text = field.trimmed();
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return 0;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const ushort c = text.at(i).unicode();
        if (c < '0' || c > '9')
            return 0;
        value = qMin(value * 10 + (c - '0'), SizeCeiling);
    }
    return negative ? -value : value;
}

} // namespace

QLXFat::QLXFat(QObject *parent)
    : QObject(parent)
    , m_stepPause(QLXFatThread::DefaultStepPause)
{
}

QLXFat::~QLXFat()
{
    close();
}

bool QLXFat::open(const QString &fileName, bool forWriting)
{
    // The writer of an earlier save() uses the package file and the table.
    close();
    m_table.clear();
    m_firstReadable.clear();
    m_headerProperties.clear();
    m_dataStart = 0;
    m_fileName = fileName;
    m_error.clear();
    m_openError = OpenError::None;
    m_fileSize = 0;
    m_writeMode = forWriting;
    m_file.setFileName(fileName);

    const QFileInfo info(fileName);
    if (!forWriting && !info.exists()) {
        m_error = QStringLiteral("no such file");
        m_openError = OpenError::Missing;
        return false;
    }
    if (info.isDir()) {
        m_error = QStringLiteral("a folder, not a file");
        m_openError = OpenError::Folder;
        return false;
    }
    if (forWriting) {
        // The package is replaced only once it is whole: a pack that fails
        // leaves the package it was to replace, and no partial file.
        m_saveFile.setFileName(fileName);
        if (!m_saveFile.open(QIODevice::WriteOnly)) {
            m_error = QStringLiteral("cannot be created: ") + m_saveFile.errorString();
            m_openError = OpenError::Unreadable;
            return false;
        }
        return true;
    }
    // Only a regular file: a FIFO would hang the panel before its window,
    // a device would never end.
    QString why;
    if (!RegularFile::open(m_file, fileName, &why)) {
        m_error = why == RegularFile::notRegularText() ? why : QStringLiteral("cannot be opened: ") + why;
        m_openError = OpenError::Unreadable;
        return false;
    }
    if (readTable())
        return true;
    // The entries parsed so far stay listed, but nothing is read from a
    // package that failed to open.
    m_file.close();
    return false;
}

bool QLXFat::fail(OpenError error, const QString &text)
{
    m_openError = error;
    m_error = text;
    return false;
}

bool QLXFat::readTable()
{
    if (!m_file.seek(0))
        return fail(OpenError::Unreadable, QStringLiteral("cannot be read: ") + m_file.errorString());
    // A line without an end, or a header without one, is refused at its
    // bound, not read on into memory.
    bool tooLong = false;
    // One buffer for every line: a table of 100,000 entries must not make
    // 100,000 arrays of the bound's size.
    QByteArray buffer(int(MaxHeaderLine) + 2, Qt::Uninitialized);
    const auto nextLine = [this, &tooLong, &buffer] {
        // At most the bound and one byte more: a line that long has no end within it.
        const qint64 read = qMax<qint64>(0, m_file.readLine(buffer.data(), buffer.size()));
        tooLong = read > MaxHeaderLine || m_file.pos() > MaxHeaderSize;
        return lineText(QByteArray::fromRawData(buffer.constData(), int(read)));
    };
    const auto failTooLong = [this] {
        return fail(OpenError::NotPackage,
                    m_file.pos() > MaxHeaderSize ? QStringLiteral("not a package (its header is larger than 16 MiB)")
                                                 : QStringLiteral("not a package (a header line longer than 64 KiB)"));
    };
    const QString first = nextLine();
    if (tooLong)
        return failTooLong();
    if (!first.startsWith(QLatin1String("SOH"))) {
        return m_file.size() == 0 ? fail(OpenError::Empty, QStringLiteral("an empty file"))
                                  : fail(OpenError::NotPackage, QStringLiteral("not a package (no SOH line)"));
    }

    QString line = nextLine();
    bool inTable = false;
    qint64 runningOffset = 0;
    for (;;) {
        if (tooLong)
            return failTooLong();
        if (line.trimmed() == QLatin1String("EOH"))
            break;
        if (m_file.atEnd())
            break;
        if (inTable) {
            if (line.startsWith(QLatin1String("EOFAT"))) {
                inTable = false;
            } else {
                const QStringList parts = line.split(QLatin1Char('|'));
                if (parts.size() == 2) {
                    const qint64 size = parseSize(parts.at(1));
                    // A negative size or bytes past the 32-bit range cannot be
                    // placed: the entry stays listed but yields nothing.
                    if (size >= 0 && runningOffset + size <= MaxPosition) {
                        if (!m_firstReadable.contains(parts.at(0)))
                            m_firstReadable.insert(parts.at(0), m_table.size());
                        m_table.append(FatEntry::atPosition(parts.at(0), qint32(runningOffset), qint32(size)));
                    } else {
                        m_table.append(FatEntry::unreadable(parts.at(0)));
                    }
                    if (size > 0)
                        runningOffset = qMin(runningOffset + size, SizeCeiling);
                }
            }
        } else if (line.startsWith(QLatin1String("SOFAT"))) {
            inTable = true;
        } else {
            const int colon = line.indexOf(QLatin1Char(':'));
            if (colon >= 0) {
                QString value = line.mid(colon + 1);
                if (value.endsWith(QLatin1Char('\n')))
                    value.chop(1);
                m_headerProperties.insert(line.left(colon), value);
            }
        }
        line = nextLine();
    }

    const qint64 position = m_file.pos();
    if (position > MaxPosition)
        return fail(OpenError::NotPackage, QStringLiteral("not a package (its header is too long)"));
    m_dataStart = qint32(position);
    m_fileSize = m_file.size();
    if (line.trimmed() != QLatin1String("EOH"))
        return fail(OpenError::NotPackage, QStringLiteral("not a package (its header has no EOH line)"));
    if (m_file.atEnd())
        return fail(OpenError::NotPackage, QStringLiteral("not a package (no data follows its header)"));
    return true;
}

qint64 QLXFat::missingBytes() const
{
    qint64 end = 0;
    for (const FatEntry &entry : m_table) {
        if (entry.isReadable())
            end = qMax(end, qint64(m_dataStart) + entry.offset + entry.size);
    }
    return qMax(qint64(0), end - m_fileSize);
}

bool QLXFat::contains(const QString &name) const
{
    for (const FatEntry &entry : m_table) {
        if (entry.name == name)
            return true;
    }
    return false;
}

bool QLXFat::reachesPastEnd(const FatEntry &entry) const
{
    return entry.isReadable() && qint64(m_dataStart) + entry.offset + entry.size > m_fileSize;
}

bool QLXFat::isWhole(const QString &name) const
{
    for (const FatEntry &entry : m_table) {
        if (entry.name == name && reachesPastEnd(entry))
            return false;
    }
    return true;
}

QStringList QLXFat::cutEntries() const
{
    QStringList names;
    if (missingBytes() == 0)
        return names;
    QSet<QString> seen;
    for (const FatEntry &entry : m_table) {
        if (reachesPastEnd(entry) && !seen.contains(entry.name)) {
            seen.insert(entry.name);
            names << entry.name;
        }
    }
    return names;
}

bool QLXFat::fileNames(QStringList &names) const
{
    for (const FatEntry &entry : m_table)
        names.append(entry.name);
    return true;
}

QByteArray QLXFat::fileData(const QString &name)
{
    // In write mode the package file belongs to the writer and is write-only.
    if (m_writeMode || !m_file.isOpen())
        return QByteArray();
    QByteArray bytes;
    for (const FatEntry &entry : std::as_const(m_table)) {
        if (entry.name != name || !entry.isReadable() || entry.size == 0)
            continue;
        const qint64 position = qint64(m_dataStart) + entry.offset;
        // An entry that reaches past the end reads as nothing, as reading
        // it block by block would; checked first, so that a table's size
        // never decides what is allocated.
        if (position + entry.size > m_file.size() || qint64(bytes.size()) + entry.size > MaxArraySize
            || !m_file.seek(position))
            return QByteArray();
        // Straight into the array's own memory: a document of megabytes read
        // a block at a time was grown and copied thousands of times.
        const int start = bytes.size();
        bytes.resize(start + entry.size);
        for (qint64 done = 0; done < entry.size;) {
            const qint64 read = m_file.read(bytes.data() + start + done, entry.size - done);
            if (read <= 0)
                return QByteArray();
            done += read;
        }
    }
    return bytes;
}

bool QLXFat::extractFile(const QString &name, const QString &destination)
{
    if (m_writeMode || !m_file.isOpen())
        return false;
    const FatEntry *found = nullptr;
    // Entries before the first readable one of this name cannot match.
    for (int i = m_firstReadable.value(name, m_table.size()); i < m_table.size(); ++i) {
        const FatEntry &entry = m_table.at(i);
        if (entry.name == name && entry.isReadable() && m_file.seek(qint64(m_dataStart) + entry.offset)) {
            found = &entry;
            break;
        }
    }
    if (!found)
        return false;

    QFile target(destination);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    char block[BlockSize];
    qint64 remaining = found->size;
    bool ok = true;
    while (ok && remaining > 0) {
        // A size that reaches past the end of the package leaves no partial file behind.
        if (m_file.atEnd()) {
            ok = false;
            break;
        }
        const qint64 read = m_file.read(block, qMin(remaining, BlockSize));
        ok = read > 0 && target.write(block, read) == read;
        remaining -= read;
    }
    ok = ok && target.flush();
    target.close();
    if (!ok)
        target.remove();
    return ok;
}

qint64 QLXFat::readAt(qint64 position, char *data, qint64 count) const
{
    if (m_writeMode || !m_file.isOpen() || position < 0 || count < 0)
        return -1;
#ifdef Q_OS_UNIX
    // pread leaves the file's position alone, so another thread may read too.
    const int fd = m_file.handle();
    qint64 done = 0;
    while (done < count) {
        const ssize_t read = ::pread(fd, data + done, size_t(count - done), off_t(position + done));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return -1;
        if (read == 0)
            break;
        done += read;
    }
    return done;
#else
    // A handle of its own: the package file's position is the caller's.
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(position))
        return -1;
    return file.read(data, count);
#endif
}

QString QLXFat::headerValue(const QString &key)
{
    const auto it = m_headerProperties.constFind(key);
    if (it != m_headerProperties.constEnd())
        return it.value();
    // Absent keys are remembered with an empty value (and so get written); not
    // while a writer iterates the properties.
    if (!isWriting())
        m_headerProperties.insert(key, QString());
    return QString();
}

bool QLXFat::addFile(const QString &sourcePath, const QString &name)
{
    if (!m_writeMode || isWriting())
        return false;
    m_table.append(FatEntry::fromFile(sourcePath, name));
    return true;
}

bool QLXFat::addData(const QString &text, const QString &name)
{
    if (!m_writeMode || isWriting())
        return false;
    m_table.append(FatEntry::fromText(text, name));
    return true;
}

bool QLXFat::setHeaderValue(const QString &key, const QString &value)
{
    if (isWriting())
        return false;
    if (m_writeMode)
        m_headerProperties.insert(key, value);
    return true;
}

bool QLXFat::save()
{
    // A second writer would interleave its bytes with the first one's.
    if (isWriting())
        return false;
    if (m_writer) {
        m_writer->wait();
        delete m_writer;
    }
    m_writer = new QLXFatThread(&m_table, &m_headerProperties, &m_saveFile, this);
    m_writer->setStepPause(m_stepPause);
    m_writer->start();
    return true;
}

void QLXFat::close()
{
    // Ask the writer to stop and wait for it: it must be done with the package
    // file before the file is closed, and a thread is never terminated.
    if (m_writer && m_writer->isRunning()) {
        m_writer->stop();
        m_writer->wait();
    }
    m_file.close();
    // A package opened for writing and never written whole replaces nothing.
    if (m_saveFile.isOpen()) {
        m_saveFile.cancelWriting();
        m_saveFile.commit();
    }
}

bool QLXFat::isWriting() const
{
    return m_writer && m_writer->isRunning();
}

int QLXFat::progress() const
{
    return m_writer ? m_writer->progress() : 0;
}

void QLXFat::setStepPause(int milliseconds)
{
    m_stepPause = qMax(0, milliseconds);
}

bool QLXFat::isSafeEntryPath(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return false;
    }
    const QStringList components = name.split(QLatin1Char('/'));
    for (const QString &component : components) {
        if (component.isEmpty() || component == QLatin1String(".") || component == QLatin1String("..")
            || !isStorableName(component))
            return false;
    }
    return true;
}

QString QLXFat::destinationBelow(const QString &directory, const QString &name)
{
    if (!isSafeEntryPath(name))
        return QString();
    QString path = directory;
    if (!path.endsWith(QLatin1Char('/')))
        path.append(QLatin1Char('/'));
    const QStringList parts = name.split(QLatin1Char('/'));
    for (int i = 0; i < parts.size(); ++i) {
        path.append(parts.at(i));
        if (QFileInfo(path).isSymLink())
            return QString();
        if (i + 1 < parts.size())
            path.append(QLatin1Char('/'));
    }
    return path;
}
