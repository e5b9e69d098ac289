#include "editors/itemtextframe.h"
#include "ui_itemtextframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemTextFrame::ItemTextFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
    textActive = QStringLiteral("Hallo Welt!");
}

ItemTextFrame::~ItemTextFrame() = default;

void ItemTextFrame::buildForm()
{
    ui.reset(new Ui::ItemTextFrame);
    ui->setupUi(this);
}

void ItemTextFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("Text"));
}

void ItemTextFrame::updateFrame()
{
    fontSize = qMin(fontSize, fontSizeMaximum);
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showNumber(ui->spinBoxFontsize, fontSize);
        showText(ui->lineEditText, textActive);
        showFlag(ui->checkBoxBold, bold);
        showFlag(ui->checkBoxItalic, italic);
    }
    if (owner)
        owner->createText(textActive, bold, italic, fontSize, color);
}
