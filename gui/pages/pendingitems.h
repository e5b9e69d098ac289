#ifndef PENDINGITEMS_H
#define PENDINGITEMS_H

#include "core/storage/itemelement.h"

#include <QList>
#include <QString>

// The item elements a page is built from when it is first shown: either
// read before, picture names resolved, or the text of a "components"
// element, read only when taken.
class PendingItems
{
public:
    void set(const QList<ItemElement> &elements);
    void set(const QString &componentsXml);
    bool isPending() const { return m_pending; }
    // The elements, picture names resolved and the pictures they show first
    // decoded; nothing is pending afterwards.
    QList<ItemElement> take();

private:
    QList<ItemElement> m_elements;
    QString m_xml;
    bool m_pending = false;
};

#endif // PENDINGITEMS_H
