#include "gui/editors/itembuttonframe.h"
#include "ui_itembuttonframe.h"


#include <QIcon>

ItemButtonFrame::ItemButtonFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemButtonFrame::~ItemButtonFrame() = default;

void ItemButtonFrame::buildForm()
{
    ui.reset(new Ui::ItemButtonFrame);
    ui->setupUi(this);
}

void ItemButtonFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgActive->setIcon(QIcon(owner()->record().imageActive));
        ui->pushButtonSelectPort->setText(portButtonText());
    }
}
