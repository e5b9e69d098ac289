#include "gui/items/itembutton.h"

#include "gui/pictures/picturecache.h"

#include <QCursor>

ItemButton::ItemButton(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    setPicture(PictureCache::picture(QStringLiteral(":/images/newButton")));
    setSize(50, 50);
    setCursor(Qt::PointingHandCursor);
}
