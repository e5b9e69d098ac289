#ifndef ITEMPAGECHANGE_H
#define ITEMPAGECHANGE_H

#include "gui/items/item.h"

// A picture that switches to another page when pressed.
class ItemPageChange : public Item
{
    Q_OBJECT

public:
    enum { Type = ItemKind::graphicsType(ItemKind::PageChange) };

    ItemPageChange(QList<Item *> *pageList, QList<Page *> *pages);

    int kind() const override { return ItemKind::PageChange; }
};

#endif // ITEMPAGECHANGE_H
