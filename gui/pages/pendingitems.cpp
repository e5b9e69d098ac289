#include "gui/pages/pendingitems.h"

#include "gui/items/item.h"
#include "gui/pictures/picturecache.h"

#include <QHash>
#include <QVector>
#include <QStringList>

void PendingItems::set(const QList<ItemElement> &elements)
{
    m_elements = elements;
    m_pending = true;
}

QStringList PendingItems::ports() const
{
    QStringList ports;
    for (const ItemElement &element : m_elements) {
        if (!element.record.port.isEmpty())
            ports.append(element.record.port);
    }
    return ports;
}

QList<ItemElement> PendingItems::take(const QRectF &scene)
{
    const QList<ItemElement> elements = m_elements;
    m_elements = QList<ItemElement>();
    m_pending = false;
    // The pictures the items show first, decoded and scaled to the items'
    // sizes together before they are made. Only the sizes items take: one
    // that does not fit in the scene keeps its own (a document's size is
    // not to be trusted with memory).
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
        if (Item::takesPlace(element, scene))
            scaled.append({*source, Item::scaledKey(name, element.w, element.h), QSize(element.w, element.h)});
    }
    PictureCache::preload(sources, scaled);
    return elements;
}
