#include "gui/editors/itemstatepictureframe.h"
#include "ui_itemstatepictureframe.h"


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

void ItemStatePictureFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgError->setIcon(QIcon(owner()->record().imageUnknown));
        ui->pushButtonSelectPort->setText(portButtonText());
    }
}
