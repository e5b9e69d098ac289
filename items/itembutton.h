#ifndef ITEMBUTTON_H
#define ITEMBUTTON_H

#include "items/item.h"

// A picture that toggles its port when pressed.
class ItemButton : public Item
{
    Q_OBJECT

public:
    ItemButton(QList<Item *> *pageList, QList<Page *> *pages);
};

#endif // ITEMBUTTON_H
