#ifndef PENDINGITEMS_H
#define PENDINGITEMS_H

#include "core/project/itemelement.h"

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

// The item elements a page is built from when it is first shown, read with
// the document and their picture names resolved.
class PendingItems
{
public:
    void set(const QList<ItemElement> &elements);
    bool isPending() const { return m_pending; }
    // The state keys the pending items are bound to, as often as they occur.
    QStringList ports() const;
    // The elements, picture names resolved and the pictures they show first
    // decoded, with their copies at the size of each item that fits in
    // `scene` (an item that does not keeps its own size); nothing is pending
    // afterwards.
    QList<ItemElement> take(const QRectF &scene);

private:
    QList<ItemElement> m_elements;
    bool m_pending = false;
};

#endif // PENDINGITEMS_H
