#include "gui/pages/pendingitems.h"

#include "gui/items/item.h"
#include "gui/storage/picturecache.h"

#include <QSet>
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
    // The pictures the items show first, decoded together before they are made.
    QSet<QString> names;
    QStringList sources;
    for (const ItemElement &element : elements) {
        if (!names.contains(element.record.imageActive)) {
            names.insert(element.record.imageActive);
            sources.append(Item::pictureSource(element.record.imageActive));
        }
    }
    PictureCache::preload(sources);
    return elements;
}
