#ifndef ITEMTEXT_H
#define ITEMTEXT_H

#include "items/item.h"

// A fixed text.
class ItemText : public Item
{
    Q_OBJECT

public:
    ItemText(QList<Item *> *pageList, QList<Page *> *pages);
};

#endif // ITEMTEXT_H
