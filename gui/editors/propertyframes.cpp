#include "gui/editors/propertyframes.h"

#include "gui/editors/itemadctextframe.h"
#include "gui/editors/itembuttonframe.h"
#include "gui/editors/itempagechangeframe.h"
#include "gui/editors/itempictureframe.h"
#include "gui/editors/itemstatebuttonframe.h"
#include "gui/editors/itemstatepictureframe.h"
#include "gui/editors/itemstatetextframe.h"
#include "gui/editors/itemtextframe.h"

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
    &make<ItemPageChangeFrame>,  &make<ItemPictureFrame>, &make<ItemStatePictureFrame>, &make<ItemButtonFrame>,
    &make<ItemStateButtonFrame>, &make<ItemTextFrame>,    &make<ItemStateTextFrame>,    &make<ItemADCTextFrame>,
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
