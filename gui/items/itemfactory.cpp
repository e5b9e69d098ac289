#include "gui/items/itemfactory.h"

#include "gui/items/itemadctext.h"
#include "gui/items/itembutton.h"
#include "gui/items/itempagechange.h"
#include "gui/items/itempicture.h"
#include "gui/items/itemstatebutton.h"
#include "gui/items/itemstatepicture.h"
#include "gui/items/itemstatetext.h"
#include "gui/items/itemtext.h"

namespace {

using Constructor = Item *(*)(QList<Item *> *, QList<Page *> *);

template<typename Kind>
Item *make(QList<Item *> *pageList, QList<Page *> *pages)
{
    return new Kind(pageList, pages);
}

// Indexed by kind number, as ItemKind's names are.
const Constructor constructors[] = {
    &make<ItemPageChange>,  &make<ItemPicture>, &make<ItemStatePicture>, &make<ItemButton>,
    &make<ItemStateButton>, &make<ItemText>,    &make<ItemStateText>,    &make<ItemADCText>,
};
static_assert(sizeof(constructors) / sizeof(constructors[0]) == ItemKind::Count, "one constructor per kind");
static_assert(int(ItemPageChange::Type) == ItemKind::graphicsType(ItemKind::PageChange)
                  && int(ItemADCText::Type) == ItemKind::graphicsType(ItemKind::ADCText),
              "kinds report their table types");

} // namespace

Item *ItemFactory::create(int kind, QList<Item *> *pageList, QList<Page *> *pages)
{
    if (kind < 0 || kind >= ItemKind::Count)
        return nullptr;
    return constructors[kind](pageList, pages);
}
