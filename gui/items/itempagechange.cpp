#include "gui/items/itempagechange.h"

#include "gui/pictures/picturecache.h"

ItemPageChange::ItemPageChange(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    setPicture(PictureCache::picture(QStringLiteral(":/images/newLink")));
    setSize(50, 50);
}
