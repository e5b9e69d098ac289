#include "gui/pages/pendingitems.h"

#include "gui/items/item.h"
#include "gui/storage/picturecache.h"

#include <QHash>
#include <QSet>
#include <QStringList>

void PendingItems::set(const QList<ItemElement> &elements)
{
    m_elements = elements;
    m_xml.clear();
    m_pending = true;
}

void PendingItems::set(const QString &componentsXml)
{
    m_elements.clear();
    m_xml = componentsXml;
    m_pending = true;
}

QList<ItemElement> PendingItems::take()
{
    QList<ItemElement> elements = m_elements;
    if (!m_xml.isEmpty()) {
        elements = ItemElement::readList(m_xml);
        // Each name looked up on disk once for the page.
        QHash<QString, QString> resolved;
        for (ItemElement &element : elements)
            element.record.resolvePictures(&resolved);
    }
    m_elements = QList<ItemElement>();
    m_xml = QString();
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
