#ifndef ITEMTEXT_H
#define ITEMTEXT_H

#include "gui/items/item.h"

// A fixed text.
class ItemText : public Item
{
    Q_OBJECT

public:
    enum { Type = ItemKind::graphicsType(ItemKind::Text) };

    ItemText(QList<Item *> *pageList, QList<Page *> *pages);

    int kind() const override { return ItemKind::Text; }

protected:
    void renderRecord() override;
};

#endif // ITEMTEXT_H
