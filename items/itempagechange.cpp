#include "items/itempagechange.h"

#include "editors/itempagechangeframe.h"
#include "storage/picturecache.h"

ItemPageChange::ItemPageChange(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    picture = PictureCache::picture(QStringLiteral(":/images/newLink"));
    setSize(50, 50);
    frame = new ItemPageChangeFrame(this);
    frame->hide();
}
