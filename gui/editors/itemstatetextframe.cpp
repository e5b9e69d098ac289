#include "gui/editors/itemstatetextframe.h"
#include "ui_itemstatetextframe.h"


#include <QIcon>

ItemStateTextFrame::ItemStateTextFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemStateTextFrame::~ItemStateTextFrame() = default;

void ItemStateTextFrame::buildForm()
{
    ui.reset(new Ui::ItemStateTextFrame);
    ui->setupUi(this);
}

void ItemStateTextFrame::updateFrame()
{
    if (ui) {
        const ItemRecord &r = owner()->record();
        showPosition(ui->lineEditX, ui->lineEditY);
        showNumber(ui->spinBoxFontsize, r.fontSize);
        showText(ui->lineEditText, r.textActive);
        showText(ui->lineEditTextInactive, r.textInactive);
        showText(ui->lineEditTextError, r.textError);
        showFlag(ui->checkBoxBold, r.bold);
        showFlag(ui->checkBoxItalic, r.italic);
        ui->pushButtonSelectPort->setText(portButtonText());
    }
}
