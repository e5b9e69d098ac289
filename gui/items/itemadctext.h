#ifndef ITEMADCTEXT_H
#define ITEMADCTEXT_H

#include "gui/items/item.h"

// An analogue value, shown with a fixed number of decimals.
class ItemADCText : public Item
{
    Q_OBJECT

public:
    enum { Type = ItemKind::graphicsType(ItemKind::ADCText) };

    ItemADCText(QList<Item *> *pageList, QList<Page *> *pages);

    int kind() const override { return ItemKind::ADCText; }
    void setValue(double value) override;

protected:
    void renderRecord() override;
};

#endif // ITEMADCTEXT_H
