#ifndef ITEMBUTTON_H
#define ITEMBUTTON_H

#include "gui/items/item.h"

// A button that switches its port when pressed.
class ItemButton : public Item
{
    Q_OBJECT

public:
    enum { Type = ItemKind::graphicsType(ItemKind::Button) };

    ItemButton(QList<Item *> *pageList, QList<Page *> *pages);

    int kind() const override { return ItemKind::Button; }
};

#endif // ITEMBUTTON_H
