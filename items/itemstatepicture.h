#ifndef ITEMSTATEPICTURE_H
#define ITEMSTATEPICTURE_H

#include "items/item.h"

// A picture that follows the state of its port.
class ItemStatePicture : public Item
{
    Q_OBJECT

public:
    ItemStatePicture(QList<Item *> *pageList, QList<Page *> *pages);

    void setValue(double value) override;
};

#endif // ITEMSTATEPICTURE_H
