#include "editors/itemstatepictureframe.h"
#include "ui_itemstatepictureframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemStatePictureFrame::ItemStatePictureFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemStatePictureFrame::~ItemStatePictureFrame() = default;

void ItemStatePictureFrame::buildForm()
{
    ui.reset(new Ui::ItemStatePictureFrame);
    ui->setupUi(this);
}

void ItemStatePictureFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("StatePicture"));
}

void ItemStatePictureFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgError->setIcon(QIcon(imageUnknown));
        ui->pushButtonSelectPort->setText(portButtonText());
    }
}
