#ifndef ITEMPICTURE_H
#define ITEMPICTURE_H

#include "items/item.h"

// A fixed picture.
class ItemPicture : public Item
{
    Q_OBJECT

public:
    ItemPicture(QList<Item *> *pageList, QList<Page *> *pages);
};

#endif // ITEMPICTURE_H
