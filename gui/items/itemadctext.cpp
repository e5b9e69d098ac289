#include "gui/items/itemadctext.h"

ItemADCText::ItemADCText(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    setText(QStringLiteral("???.?"));
}

void ItemADCText::setValue(double value)
{
    // Rendering keeps digits within 0 to 6; the bound only guards records
    // set by hand.
    const int decimals = qBound(0, record().digits, ItemRecord::digitsMaximum);
    showText(QString::asprintf("%.*f", decimals, value));
}

void ItemADCText::renderRecord()
{
    ItemRecord &r = recordForKind();
    r.fontSize = qMin(r.fontSize, ItemRecord::fontSizeMaximum);
    r.digits = qMin(r.digits, ItemRecord::digitsMaximum);
    createText(r.placeholderText(), r.bold, r.italic, r.fontSize, r.color);
}
