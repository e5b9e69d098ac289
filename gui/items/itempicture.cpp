#include "gui/items/itempicture.h"

#include "gui/pictures/picturecache.h"

ItemPicture::ItemPicture(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    setPicture(PictureCache::picture(QStringLiteral(":/images/newPicture")));
    setSize(50, 50);
}
