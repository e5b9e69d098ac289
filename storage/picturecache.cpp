#include "storage/picturecache.h"

#include <QDebug>
#include <QHash>
#include <QList>
#include <QLoggingCategory>

namespace {

// Allocated once and never destroyed: the pictures must outlive every item,
// and QPixmaps must not be torn down after the GUI application is gone.
struct CacheStore
{
    // Held under the text as key() sees it, which names the same entry as
    // its Base64 form without encoding on every look-up.
    QHash<QString, QPixmap *> pictures;
    QList<QPixmap *> displaced;
};

CacheStore &store()
{
    static CacheStore *instance = new CacheStore;
    return *instance;
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

QPixmap *PictureCache::picture(const QString &text)
{
    const QString k = storeKey(text);
    auto &pictures = store().pictures;
    auto it = pictures.find(k);
    const bool debug = debugEnabled();
    if (it == pictures.end()) {
        it = pictures.insert(k, new QPixmap(text));
        if (debug)
            qDebug() << "New PIC" << text << key(text);
    }
    if (debug)
        qDebug() << "Send PIC" << static_cast<const void *>(it.value());
    return it.value();
}

bool PictureCache::contains(const QString &text)
{
    return store().pictures.contains(storeKey(text));
}

void PictureCache::insert(QPixmap *picture, const QString &text)
{
    if (!picture)
        return;
    CacheStore &s = store();
    QPixmap *&slot = s.pictures[storeKey(text)];
    if (slot && slot != picture)
        s.displaced.append(slot);
    slot = picture;
}

int PictureCache::count()
{
    return store().pictures.size();
}
