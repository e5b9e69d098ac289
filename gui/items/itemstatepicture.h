#ifndef ITEMSTATEPICTURE_H
#define ITEMSTATEPICTURE_H

#include "gui/items/item.h"

// A picture that follows the state of its port.
class ItemStatePicture : public Item
{
    Q_OBJECT

public:
    enum { Type = ItemKind::graphicsType(ItemKind::StatePicture) };

    ItemStatePicture(QList<Item *> *pageList, QList<Page *> *pages);

    int kind() const override { return ItemKind::StatePicture; }
    void setValue(double value) override;
};

#endif // ITEMSTATEPICTURE_H
