#ifndef ITEMSTATETEXT_H
#define ITEMSTATETEXT_H

#include "items/item.h"

// A text that follows the state of its port.
class ItemStateText : public Item
{
    Q_OBJECT

public:
    ItemStateText(QList<Item *> *pageList, QList<Page *> *pages);

    void setValue(double value) override;
};

#endif // ITEMSTATETEXT_H
