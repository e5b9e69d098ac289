#include "items/itemstatetext.h"

#include "editors/itemstatetextframe.h"

ItemStateText::ItemStateText(QList<Item *> *pageList, QList<Page *> *pages)
    : Item(pageList, pages)
{
    frame = new ItemStateTextFrame(this);
    frame->hide();
}

void ItemStateText::setValue(double value)
{
    const QString newText = frame->textForState(stateForValue(value));
    if (newText == text)
        return;
    text = newText;
    createText(text, frame->bold, frame->italic, frame->fontSize, frame->color);
}
