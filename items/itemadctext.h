#ifndef ITEMADCTEXT_H
#define ITEMADCTEXT_H

#include "items/item.h"

// The analogue value of its port as a number with a fixed count of decimals.
class ItemADCText : public Item
{
    Q_OBJECT

public:
    ItemADCText(QList<Item *> *pageList, QList<Page *> *pages);

    void setValue(double value) override;
};

#endif // ITEMADCTEXT_H
