#ifndef ITEMPAGECHANGE_H
#define ITEMPAGECHANGE_H

#include "items/item.h"

// A picture that links to another page of the project.
class ItemPageChange : public Item
{
    Q_OBJECT

public:
    ItemPageChange(QList<Item *> *pageList, QList<Page *> *pages);
};

#endif // ITEMPAGECHANGE_H
