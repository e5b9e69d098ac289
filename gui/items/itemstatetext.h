#ifndef ITEMSTATETEXT_H
#define ITEMSTATETEXT_H

#include "gui/items/item.h"

// A text that follows the state of its port.
class ItemStateText : public Item
{
    Q_OBJECT

public:
    enum { Type = ItemKind::graphicsType(ItemKind::StateText) };

    ItemStateText(QList<Item *> *pageList, QList<Page *> *pages);

    int kind() const override { return ItemKind::StateText; }
    void setValue(double value) override;

protected:
    void renderRecord() override;
};

#endif // ITEMSTATETEXT_H
