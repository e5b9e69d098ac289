#include "gui/editors/itempictureframe.h"
#include "ui_itempictureframe.h"


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

void ItemPictureFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgActive->setIcon(QIcon(owner()->record().imageActive));
    }
}
