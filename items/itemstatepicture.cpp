#include "items/itemstatepicture.h"

#include "editors/itemstatepictureframe.h"
#include "storage/picturecache.h"

ItemStatePicture::ItemStatePicture(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    picture = PictureCache::picture(QStringLiteral(":/images/newPictureState"));
    setSize(50, 50);
    frame = new ItemStatePictureFrame(this);
    frame->hide();
}

void ItemStatePicture::setValue(double value)
{
    if (value == lastValue)
        return;
    lastValue = value;
    loadPicture(frame->pictureForState(stateForValue(value)));
}
