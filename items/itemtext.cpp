#include "items/itemtext.h"

#include "editors/itemtextframe.h"

ItemText::ItemText(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    frame = new ItemTextFrame(this);
    frame->hide();
}
