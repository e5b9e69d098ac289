#include "gui/editors/itemstatebuttonframe.h"
#include "ui_itemstatebuttonframe.h"


#include <QIcon>

ItemStateButtonFrame::ItemStateButtonFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemStateButtonFrame::~ItemStateButtonFrame() = default;

void ItemStateButtonFrame::buildForm()
{
    ui.reset(new Ui::ItemStateButtonFrame);
    ui->setupUi(this);
}

void ItemStateButtonFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgError->setIcon(QIcon(owner()->record().imageUnknown));
        ui->pushButtonSelectPort->setText(portButtonText());
    }
}
