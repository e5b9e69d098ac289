#include "gui/pages/pendingitems.h"

#include "gui/items/item.h"
#include "gui/storage/picturecache.h"

#include <QHash>
#include <QVector>
#include <QStringList>

void PendingItems::set(const QList<ItemElement> &elements)
{
    m_elements = elements;
    m_pending = true;
}

QList<ItemElement> PendingItems::take()
{
    const QList<ItemElement> elements = m_elements;
    m_elements = QList<ItemElement>();
    m_pending = false;
    // The pictures the items show first, decoded and scaled to the items'
    // sizes together before they are made. An item the scene holds at
    // another size makes its own copy.
    QHash<QString, QString> sourceOf;
    QStringList sources;
    QVector<PictureCache::Scaled> scaled;
    for (const ItemElement &element : elements) {
        const QString &name = element.record.imageActive;
        auto source = sourceOf.constFind(name);
        if (source == sourceOf.constEnd()) {
            source = sourceOf.insert(name, Item::pictureSource(name));
            sources.append(*source);
        }
        scaled.append({*source, Item::scaledKey(name, element.w, element.h), QSize(element.w, element.h)});
    }
    PictureCache::preload(sources, scaled);
    return elements;
}
