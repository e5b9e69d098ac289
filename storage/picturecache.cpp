#include "storage/picturecache.h"

#include <QDebug>
#include <QList>
#include <QMap>

namespace {

// Allocated once and never destroyed: the pictures must outlive every item,
// and QPixmaps must not be torn down after the GUI application is gone.
struct CacheStore
{
    QMap<QString, QPixmap *> pictures;
    QList<QPixmap *> displaced;
};

CacheStore &store()
{
    static CacheStore *instance = new CacheStore;
    return *instance;
}

} // namespace

QString PictureCache::key(const QString &text)
{
    return QString::fromLatin1(text.toLatin1().toBase64());
}

QPixmap *PictureCache::picture(const QString &text)
{
    const QString k = key(text);
    auto &pictures = store().pictures;
    auto it = pictures.find(k);
    if (it == pictures.end()) {
        it = pictures.insert(k, new QPixmap(text));
        qDebug() << "New PIC" << text << k;
    }
    qDebug() << "Send PIC" << static_cast<const void *>(it.value());
    return it.value();
}

bool PictureCache::contains(const QString &text)
{
    return store().pictures.contains(key(text));
}

void PictureCache::insert(QPixmap *picture, const QString &text)
{
    if (!picture)
        return;
    CacheStore &s = store();
    QPixmap *&slot = s.pictures[key(text)];
    if (slot && slot != picture)
        s.displaced.append(slot);
    slot = picture;
}

int PictureCache::count()
{
    return store().pictures.size();
}
