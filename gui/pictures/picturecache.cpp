#include "gui/pictures/picturecache.h"
#include "gui/logging/guilogcategories.h"

#include "core/files/regularfile.h"

#include <QBuffer>
#include <QCache>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QVector>

#include <atomic>
#include <future>
#include <limits>
#include <new>

namespace {

// Allocated once and never destroyed: QPixmaps must not be torn down after
// the GUI application is gone.
QHash<QString, QPixmap> &store()
{
    static auto *pictures = new QHash<QString, QPixmap>;
    return *pictures;
}

// The text renderings, least recently used first out; the cost of an entry
// is its bytes.
QCache<QString, QPixmap> &texts()
{
    static auto *renderings = new QCache<QString, QPixmap>(int(PictureCache::defaultTextBudget));
    return *renderings;
}

bool isText(const QString &key)
{
    return key.startsWith(PictureCache::textPrefix());
}

// QCache counts in int.
int cost(const QString &key, const QPixmap &picture)
{
    const qint64 bytes =
        qint64(picture.width()) * picture.height() * qMax(picture.depth(), 1) / 8 + qint64(key.size()) * 2 + 64;
    return int(qMin<qint64>(bytes, std::numeric_limits<int>::max()));
}

// Looks `key` up in its store; a found rendering becomes the most recently
// used.
bool lookUp(const QString &key, QPixmap *picture)
{
    if (isText(key)) {
        const QPixmap *found = texts().object(key);
        if (found && picture)
            *picture = *found;
        return found != nullptr;
    }
    const auto &pictures = store();
    const auto it = pictures.constFind(key);
    if (it == pictures.constEnd())
        return false;
    if (picture)
        *picture = it.value();
    return true;
}

void enter(const QString &key, const QPixmap &picture)
{
    if (isText(key))
        texts().insert(key, new QPixmap(picture), cost(key, picture));
    else
        store().insert(key, picture);
}

// The text reduced to what key() encodes: characters beyond Latin-1 become
// '?'. Most texts are Latin-1 already and come back shared, not copied.
QString storeKey(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return QString::fromLatin1(text.toLatin1());
    }
    return text;
}

// Picture files read at load and not decoded yet, by path; an empty array
// stands for a file that could not be read. GUI thread only.
QHash<QString, QByteArray> &heldFiles()
{
    static auto *files = new QHash<QString, QByteArray>;
    return *files;
}

PictureCache::FileSource &fileSource()
{
    static auto *source = new PictureCache::FileSource;
    return *source;
}

// The bytes of `path` when a load held them (given up now) or the file
// source gives them, else null.
QByteArray takeHeld(const QString &path)
{
    QByteArray bytes = heldFiles().take(path);
    if (bytes.isNull() && fileSource() && !fileSource()(path, &bytes))
        bytes = QByteArray();
    return bytes;
}

const QString noIcon = QStringLiteral(":/images/noicon");

// Decoded straight from the file, or from the bytes held for it: QPixmap's
// own loading keeps a second copy in the global pixmap cache, which this
// cache makes redundant. A picture is read only from a regular file, and
// only when the size its header declares decodes within the bound: a
// 20000 x 20000 PNG packs into a few hundred kilobytes. `refused` says why
// one was not decoded. Any thread.
QImage decodedImage(const QString &path, const QByteArray &held, QString *refused)
{
    QBuffer buffer;
    QFile file;
    QImageReader reader;
    if (!held.isNull()) {
        buffer.setData(held);
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
    } else if (RegularFile::open(file, path)) {
        // A file keeps its name, so its suffix picks the format as before.
        reader.setDevice(&file);
    } else {
        return QImage();
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    reader.setAllocationLimit(int(PictureCache::maxPictureBytes / (1024 * 1024)));
#endif
    const QSize size = reader.size();
    if (!size.isValid()) {
        // Not a picture: a null one, as ever. One that reads but does not
        // say its size could be of any size.
        if (reader.canRead())
            *refused = QStringLiteral("declares no size, so what it decodes to cannot be bounded");
        return QImage();
    }
    if (!PictureCache::fitsBound(size)) {
        *refused = QStringLiteral("declares %1 x %2 pixels, %3 MiB decoded, more than %4 MiB")
                       .arg(size.width())
                       .arg(size.height())
                       .arg(qint64(size.width()) * size.height() * 4 / (1024 * 1024))
                       .arg(PictureCache::maxPictureBytes / (1024 * 1024));
        return QImage();
    }
    try {
        return reader.read();
    } catch (const std::bad_alloc &) {
        *refused = QStringLiteral("does not fit into memory");
        return QImage();
    }
}

// GUI thread only.
QPixmap toPixmap(QImage image)
{
    return image.isNull() ? QPixmap() : QPixmap::fromImage(std::move(image));
}

// A refused picture is told once, when it is first asked for (the cache
// keeps what it stands for), and shows the fallback picture. GUI thread only.
QPixmap fallbackFor(const QString &path, const QString &refused)
{
    qCritical().noquote() << QStringLiteral("Picture %1: %2; the fallback picture shows").arg(path, refused);
    return path == noIcon ? QPixmap() : PictureCache::picture(noIcon);
}

QPixmap decoded(const QString &path)
{
    QString refused;
    QImage image = decodedImage(path, takeHeld(path), &refused);
    return refused.isEmpty() ? toPixmap(std::move(image)) : fallbackFor(path, refused);
}

// Runs `job` for every index below `count`, each once, on this thread and a
// second one; whichever is faster takes more. A thread new to the process
// touches fresh memory for every picture and may take twice as long for
// its share. `job` must only write its own index's results.
template<typename Job>
void shareOut(int count, const Job &job)
{
    if (count == 0)
        return;
    std::atomic<int> next{0};
    const auto work = [&next, count, &job] {
        for (int i = next.fetch_add(1); i < count; i = next.fetch_add(1))
            job(i);
    };
    auto other = std::async(std::launch::async, work);
    work();
    other.get();
}

} // namespace

QString PictureCache::key(const QString &text)
{
    return QString::fromLatin1(text.toLatin1().toBase64());
}

QPixmap PictureCache::picture(const QString &text)
{
    const QString k = storeKey(text);
    QPixmap found;
    if (!lookUp(k, &found)) {
        found = decoded(text);
        enter(k, found);
        qCDebug(lcPictures) << "New PIC" << text << key(text);
    }
    qCDebug(lcPictures) << "Send PIC" << found.cacheKey();
    return found;
}

bool PictureCache::contains(const QString &text)
{
    const QString k = storeKey(text);
    return isText(k) ? texts().contains(k) : store().contains(k);
}

bool PictureCache::find(const QString &text, QPixmap *picture)
{
    return lookUp(storeKey(text), picture);
}

void PictureCache::insert(const QPixmap &picture, const QString &text)
{
    enter(storeKey(text), picture);
}

void PictureCache::preload(const QStringList &paths, const QVector<Scaled> &scaled)
{
    decodeAll(paths);
    // The scaled copies: what the items would each make on the GUI thread.
    QVector<Scaled> jobs;
    QVector<QImage> sources;
    QSet<QString> taken;
    for (const Scaled &want : scaled) {
        QPixmap picture;
        // A copy beyond the bound is not made: the item draws its picture
        // stretched instead.
        if (want.size.isEmpty() || !fitsBound(want.size) || contains(want.key) || taken.contains(want.key)
            || !find(want.source, &picture) || picture.isNull() || picture.size() == want.size)
            continue;
        taken.insert(want.key);
        jobs.append(want);
        // A raster pixmap's scaled copy is its image scaled, made a pixmap
        // again; the image is shared, not copied, and only read.
        sources.append(picture.toImage());
    }
    QVector<QImage> images(jobs.size());
    QImage *scaledImages = images.data(); // detached here, before two threads write
    shareOut(int(jobs.size()), [&](int i) {
        // Memory that runs out leaves the copy unmade; the item tries again.
        try {
            scaledImages[i] = sources.at(i).scaled(jobs.at(i).size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        } catch (const std::bad_alloc &) {
            scaledImages[i] = QImage();
        }
    });
    for (int i = 0; i < jobs.size(); ++i) {
        if (!images.at(i).isNull())
            insert(toPixmap(std::move(images[i])), jobs.at(i).key);
    }
}

void PictureCache::decodeAll(const QStringList &paths)
{
    QStringList missing;
    QSet<QString> seen;
    for (const QString &path : paths) {
        if (!contains(path) && !seen.contains(path)) {
            seen.insert(path);
            missing.append(path);
        }
    }
    QVector<QByteArray> held;
    for (const QString &path : std::as_const(missing))
        held.append(takeHeld(path));
    QVector<QImage> images(missing.size());
    QVector<QString> refused(missing.size());
    QImage *decodedImages = images.data(); // detached here, before two threads write
    QString *refusals = refused.data();
    shareOut(int(missing.size()),
             [&](int i) { decodedImages[i] = decodedImage(missing.at(i), held.at(i), &refusals[i]); });
    for (int i = 0; i < missing.size(); ++i) {
        insert(refused.at(i).isEmpty() ? toPixmap(std::move(images[i])) : fallbackFor(missing.at(i), refused.at(i)),
               missing.at(i));
    }
}

void PictureCache::holdFiles(const QStringList &paths)
{
    QHash<QString, QByteArray> &files = heldFiles();
    for (const QString &path : paths) {
        if (store().contains(storeKey(path)) || files.contains(path))
            continue;
        QFile file;
        QByteArray bytes = RegularFile::open(file, path) ? file.readAll() : QByteArray();
        if (bytes.isNull())
            bytes = QByteArray("");
        files.insert(path, bytes);
    }
}

bool PictureCache::inHand(const QString &path)
{
    if (store().contains(storeKey(path)))
        return true;
    const auto held = heldFiles().constFind(path);
    if (held != heldFiles().constEnd() && !held->isEmpty())
        return true;
    return fileSource() && fileSource()(path, nullptr);
}

void PictureCache::setFileSource(FileSource source)
{
    fileSource() = std::move(source);
}

bool PictureCache::decodesFromBytes(const QString &path, const QByteArray &bytes)
{
    // Read by name, a file goes to the handler its suffix names first; from
    // memory the content decides. Both pick the same one where the two agree.
    static const QHash<QString, QByteArray> signatures{{QStringLiteral("png"), QByteArray("\x89PNG\r\n\x1a\n")},
                                                       {QStringLiteral("jpg"), QByteArray("\xff\xd8\xff")},
                                                       {QStringLiteral("jpeg"), QByteArray("\xff\xd8\xff")},
                                                       {QStringLiteral("bmp"), QByteArray("BM")}};
    const QFileInfo file(path);
    const auto signature = signatures.constFind(file.suffix().toLower());
    if (signature == signatures.constEnd() || file.completeBaseName().contains(QLatin1Char('@')))
        return false;
    return bytes.isNull() || bytes.startsWith(*signature);
}

void PictureCache::forget(const QString &path)
{
    const auto single = [](QString text) {
        while (text.contains(QLatin1String("//")))
            text.replace(QLatin1String("//"), QLatin1String("/"));
        return text;
    };
    const QString file = single(storeKey(path));
    auto &pictures = store();
    for (auto it = pictures.begin(); it != pictures.end();) {
        const QString key = single(it.key());
        if (key == file || key.startsWith(file + QLatin1Char('$')))
            it = pictures.erase(it);
        else
            ++it;
    }
}

bool PictureCache::fitsBound(const QSize &size)
{
    return size.width() > 0 && size.height() > 0 && qint64(size.width()) * size.height() * 4 <= maxPictureBytes;
}

int PictureCache::heldFileCount()
{
    return heldFiles().size();
}

int PictureCache::count()
{
    return store().size() + texts().size();
}

void PictureCache::setTextBudget(qint64 bytes)
{
    texts().setMaxCost(int(qBound(qint64(0), bytes, qint64(std::numeric_limits<int>::max()))));
}

qint64 PictureCache::textBudget()
{
    return texts().maxCost();
}

qint64 PictureCache::textBytes()
{
    return texts().totalCost();
}
