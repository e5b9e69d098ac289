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
    m_ui.reset(new Ui::ItemTextFrame);
    m_ui->setupUi(this);
}

void ItemTextFrame::updateFrame()
{
    if (m_ui) {
        const ItemRecord &r = owner()->record();
        showPosition(m_ui->lineEditX, m_ui->lineEditY);
        showNumber(m_ui->spinBoxFontsize, r.fontSize);
        showText(m_ui->lineEditText, r.textActive);
        showFlag(m_ui->checkBoxBold, r.bold);
        showFlag(m_ui->checkBoxItalic, r.italic);
    }
}
