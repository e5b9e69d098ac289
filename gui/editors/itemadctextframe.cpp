#include "gui/editors/itemadctextframe.h"
#include "ui_itemadctextframe.h"


#include <QIcon>

ItemADCTextFrame::ItemADCTextFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemADCTextFrame::~ItemADCTextFrame() = default;

void ItemADCTextFrame::buildForm()
{
    ui.reset(new Ui::ItemADCTextFrame);
    ui->setupUi(this);
}

void ItemADCTextFrame::updateFrame()
{
    if (ui) {
        const ItemRecord &r = owner()->record();
        showPosition(ui->lineEditX, ui->lineEditY);
        showNumber(ui->spinBoxFontsize, r.fontSize);
        showNumber(ui->spinBoxDigits, r.digits);
        showFlag(ui->checkBoxBold, r.bold);
        showFlag(ui->checkBoxItalic, r.italic);
        ui->pushButtonSelectPort->setText(portButtonText());
    }
}
