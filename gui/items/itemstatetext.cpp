#include "gui/items/itemstatetext.h"

ItemStateText::ItemStateText(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    ItemRecord &defaults = recordForKind();
    defaults.textActive = QStringLiteral("Status aktiv");
    defaults.textInactive = QStringLiteral("Qalix-PLUS");
    defaults.textError = QStringLiteral("!!!!!");
}

void ItemStateText::setValue(double value)
{
    showText(record().textForState(stateForValue(value)));
}

void ItemStateText::renderRecord()
{
    ItemRecord &r = recordForKind();
    r.fontSize = qMin(r.fontSize, ItemRecord::fontSizeMaximum);
    createText(r.textActive, r.bold, r.italic, r.fontSize, r.color);
}
