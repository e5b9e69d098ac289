#include "gui/items/itemtext.h"

ItemText::ItemText(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    recordForKind().textActive = QStringLiteral("Hallo Welt!");
}

void ItemText::renderRecord()
{
    // As the editor's spin box would write it back: at most the top of its range.
    ItemRecord &r = recordForKind();
    r.fontSize = qMin(r.fontSize, ItemRecord::fontSizeMaximum);
    createText(r.textActive, r.bold, r.italic, r.fontSize, r.color);
}
