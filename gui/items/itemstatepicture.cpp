#include "gui/items/itemstatepicture.h"

#include "gui/pictures/picturecache.h"

ItemStatePicture::ItemStatePicture(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    setPicture(PictureCache::picture(QStringLiteral(":/images/newPictureState")));
    setSize(50, 50);
}

void ItemStatePicture::setValue(double value)
{
    if (value == lastValue())
        return;
    setLastValue(value);
    loadPicture(record().pictureForState(stateForValue(value)));
}
