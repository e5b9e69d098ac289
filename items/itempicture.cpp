#include "items/itempicture.h"

#include "editors/itempictureframe.h"
#include "storage/picturecache.h"

ItemPicture::ItemPicture(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    picture = PictureCache::picture(QStringLiteral(":/images/newPicture"));
    setSize(50, 50);
    frame = new ItemPictureFrame(this);
    frame->hide();
}
