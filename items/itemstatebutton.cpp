#include "items/itemstatebutton.h"

#include "editors/itemstatebuttonframe.h"
#include "storage/picturecache.h"

#include <QCursor>

ItemStateButton::ItemStateButton(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    picture = PictureCache::picture(QStringLiteral(":/images/newButtonState"));
    setSize(50, 50);
    setCursor(Qt::PointingHandCursor);
    frame = new ItemStateButtonFrame(this);
    frame->hide();
}

void ItemStateButton::setValue(double value)
{
    if (value == lastValue)
        return;
    lastValue = value;
    loadPicture(frame->pictureForState(stateForValue(value)));
}
