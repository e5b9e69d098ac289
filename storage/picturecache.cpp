#include "storage/picturecache.h"

#include <QDebug>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QVector>

#include <future>
#include <QLoggingCategory>

namespace {

// Allocated once and never destroyed: QPixmaps must not be torn down after
// the GUI application is gone.
QHash<QString, QPixmap> &store()
{
    static auto *pictures = new QHash<QString, QPixmap>;
    return *pictures;
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

// Decoded straight from the file: QPixmap's own loading keeps a second copy
// in the global pixmap cache, which this cache makes redundant. Any thread.
QImage decodedImage(const QString &path)
{
    QImageReader reader(path);
    return reader.read();
}

// GUI thread only.
QPixmap toPixmap(QImage image)
{
    return image.isNull() ? QPixmap() : QPixmap::fromImage(std::move(image));
}

QPixmap decoded(const QString &path)
{
    return toPixmap(decodedImage(path));
}

bool debugEnabled()
{
    const QLoggingCategory *category = QLoggingCategory::defaultCategory();
    return !category || category->isDebugEnabled();
}

} // namespace

QString PictureCache::key(const QString &text)
{
    return QString::fromLatin1(text.toLatin1().toBase64());
}

QPixmap PictureCache::picture(const QString &text)
{
    const QString k = storeKey(text);
    auto &pictures = store();
    auto it = pictures.find(k);
    const bool debug = debugEnabled();
    if (it == pictures.end()) {
        it = pictures.insert(k, decoded(text));
        if (debug)
            qDebug() << "New PIC" << text << key(text);
    }
    if (debug)
        qDebug() << "Send PIC" << it.value().cacheKey();
    return it.value();
}

bool PictureCache::contains(const QString &text)
{
    return store().contains(storeKey(text));
}

bool PictureCache::find(const QString &text, QPixmap *picture)
{
    const auto &pictures = store();
    const auto it = pictures.constFind(storeKey(text));
    if (it == pictures.constEnd())
        return false;
    if (picture)
        *picture = it.value();
    return true;
}

void PictureCache::insert(const QPixmap &picture, const QString &text)
{
    store().insert(storeKey(text), picture);
}

void PictureCache::preload(const QStringList &paths)
{
    QStringList missing;
    for (const QString &path : paths) {
        if (!contains(path) && !missing.contains(path))
            missing.append(path);
    }
    if (missing.isEmpty())
        return;
    const QStringList theirs = missing.mid(missing.size() / 2);
    auto other = std::async(std::launch::async, [theirs] {
        QVector<QImage> images;
        images.reserve(theirs.size());
        for (const QString &path : theirs)
            images.append(decodedImage(path));
        return images;
    });
    const QStringList ours = missing.mid(0, missing.size() / 2);
    for (const QString &path : ours)
        insert(decoded(path), path);
    QVector<QImage> images = other.get();
    for (int i = 0; i < theirs.size(); ++i)
        insert(toPixmap(std::move(images[i])), theirs.at(i));
}

int PictureCache::count()
{
    return store().size();
}
