#include "gui/pages/portindex.h"

void PortIndex::file(QObject *object, Item *item, const QString &port)
{
    remove(object, item);
    if (port.isEmpty())
        return;
    m_items[port].append(item);
    m_portOf.insert(object, port);
}

void PortIndex::remove(QObject *object, Item *item)
{
    const auto previous = m_portOf.constFind(object);
    if (previous == m_portOf.constEnd())
        return;
    auto bucket = m_items.find(previous.value());
    if (bucket != m_items.end()) {
        bucket->removeOne(item);
        if (bucket->isEmpty())
            m_items.erase(bucket);
    }
    m_portOf.remove(object);
}
