#include "gui/editors/itemtextframe.h"
#include "ui_itemtextframe.h"


#include <QIcon>

ItemTextFrame::ItemTextFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemTextFrame::~ItemTextFrame() = default;

void ItemTextFrame::buildForm()
{
    ui.reset(new Ui::ItemTextFrame);
    ui->setupUi(this);
}

void ItemTextFrame::updateFrame()
{
    if (ui) {
        const ItemRecord &r = owner()->record();
        showPosition(ui->lineEditX, ui->lineEditY);
        showNumber(ui->spinBoxFontsize, r.fontSize);
        showText(ui->lineEditText, r.textActive);
        showFlag(ui->checkBoxBold, r.bold);
        showFlag(ui->checkBoxItalic, r.italic);
    }
}
