#include "storage/picturecache.h"

#include <QDebug>
#include <QHash>
#include <QImage>
#include <QImageReader>
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
// in the global pixmap cache, which this cache makes redundant.
QPixmap decoded(const QString &path)
{
    QImageReader reader(path);
    QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(std::move(image));
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

int PictureCache::count()
{
    return store().size();
}
