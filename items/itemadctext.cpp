#include "items/itemadctext.h"

#include "editors/itemadctextframe.h"

ItemADCText::ItemADCText(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    text = QStringLiteral("???.?");
    frame = new ItemADCTextFrame(this);
    frame->hide();
}

void ItemADCText::setValue(double value)
{
    // The frame keeps digits within 0 to 6; the bound only guards records
    // set by hand.
    const int decimals = qBound(0, frame->digits, 6);
    const QString newText = QString::asprintf("%.*f", decimals, value);
    if (newText == text)
        return;
    text = newText;
    createText(text, frame->bold, frame->italic, frame->fontSize, frame->color);
}
