#ifndef ITEMPICTURE_H
#define ITEMPICTURE_H

#include "gui/items/item.h"

// A fixed picture.
class ItemPicture : public Item
{
    Q_OBJECT

public:
    enum { Type = ItemKind::graphicsType(ItemKind::Picture) };

    ItemPicture(QList<Item *> *pageList, QList<Page *> *pages);

    int kind() const override { return ItemKind::Picture; }
};

#endif // ITEMPICTURE_H
