#include "gui/items/itemstatebutton.h"

#include "gui/pictures/picturecache.h"

#include <QCursor>

ItemStateButton::ItemStateButton(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    setPicture(PictureCache::picture(QStringLiteral(":/images/newButtonState")));
    setSize(50, 50);
    setCursor(Qt::PointingHandCursor);
}

void ItemStateButton::setValue(double value)
{
    if (value == lastValue())
        return;
    setLastValue(value);
    loadPicture(record().pictureForState(stateForValue(value)));
}
