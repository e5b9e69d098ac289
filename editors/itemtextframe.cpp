#include "editors/itemtextframe.h"
#include "ui_itemtextframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemTextFrame::ItemTextFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
    , ui(new Ui::ItemTextFrame)
{
    ui->setupUi(this);
    connectWidgets();
    textActive = QStringLiteral("Hallo Welt!");
}

ItemTextFrame::~ItemTextFrame() = default;

void ItemTextFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("Text"));
}

void ItemTextFrame::updateFrame()
{
    showPosition(ui->lineEditX, ui->lineEditY);
    showNumber(ui->spinBoxFontsize, fontSize);
    ui->lineEditText->setText(textActive);
    showFlag(ui->checkBoxBold, bold);
    showFlag(ui->checkBoxItalic, italic);
    if (owner)
        owner->createText(textActive, bold, italic, fontSize, color);
}
