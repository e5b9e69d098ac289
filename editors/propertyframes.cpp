#include "editors/propertyframes.h"

#include "editors/itemadctextframe.h"
#include "editors/itembuttonframe.h"
#include "editors/itempagechangeframe.h"
#include "editors/itempictureframe.h"
#include "editors/itemstatebuttonframe.h"
#include "editors/itemstatepictureframe.h"
#include "editors/itemstatetextframe.h"
#include "editors/itemtextframe.h"

#include <QWidget>

namespace {

QWidget *makeFrame(Item *item)
{
    return createPropertyFrame(item);
}

template<typename Frame>
FrameUpdater *make(Item *item)
{
    return new Frame(item);
}

// Indexed by kind number (ItemKind).
FrameUpdater *(*const frames[])(Item *) = {
    &make<ItemPageChangeFrame>, &make<ItemPictureFrame>, &make<ItemStatePictureFrame>, &make<ItemButtonFrame>,
    &make<ItemStateButtonFrame>, &make<ItemTextFrame>, &make<ItemStateTextFrame>, &make<ItemADCTextFrame>,
};
static_assert(sizeof(frames) / sizeof(frames[0]) == ItemKind::Count, "one frame per kind");

} // namespace

void registerPropertyFrames()
{
    Item::setFrameFactory(&makeFrame);
}

FrameUpdater *createPropertyFrame(Item *item)
{
    const int kind = item ? item->kind() : -1;
    if (kind < 0 || kind >= ItemKind::Count)
        return nullptr;
    FrameUpdater *frame = frames[kind](item);
    frame->hide();
    return frame;
}
