#include "editors/itempictureframe.h"
#include "ui_itempictureframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemPictureFrame::ItemPictureFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemPictureFrame::~ItemPictureFrame() = default;

void ItemPictureFrame::buildForm()
{
    ui.reset(new Ui::ItemPictureFrame);
    ui->setupUi(this);
}

void ItemPictureFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("Picture"));
}

void ItemPictureFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgActive->setIcon(QIcon(imageActive));
    }
}
