#ifndef ITEMSTATEBUTTON_H
#define ITEMSTATEBUTTON_H

#include "gui/items/item.h"

// A button whose picture follows the state of its port.
class ItemStateButton : public Item
{
    Q_OBJECT

public:
    enum { Type = ItemKind::graphicsType(ItemKind::StateButton) };

    ItemStateButton(QList<Item *> *pageList, QList<Page *> *pages);

    int kind() const override { return ItemKind::StateButton; }
    void setValue(double value) override;
};

#endif // ITEMSTATEBUTTON_H
