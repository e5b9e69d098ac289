#include "editors/itempictureframe.h"
#include "ui_itempictureframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemPictureFrame::ItemPictureFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
    , ui(new Ui::ItemPictureFrame)
{
    ui->setupUi(this);
    connectWidgets();
}

ItemPictureFrame::~ItemPictureFrame() = default;

void ItemPictureFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("Picture"));
}

void ItemPictureFrame::updateFrame()
{
    showPosition(ui->lineEditX, ui->lineEditY);
    showSize(ui->lineEditWidth, ui->lineEditHeight);
    ui->pushButtonImgActive->setIcon(QIcon(imageActive));
}
