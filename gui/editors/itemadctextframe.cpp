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
    m_ui.reset(new Ui::ItemADCTextFrame);
    m_ui->setupUi(this);
}

void ItemADCTextFrame::updateFrame()
{
    if (m_ui) {
        const ItemRecord &r = owner()->record();
        showPosition(m_ui->lineEditX, m_ui->lineEditY);
        showNumber(m_ui->spinBoxFontsize, r.fontSize);
        showNumber(m_ui->spinBoxDigits, r.digits);
        showFlag(m_ui->checkBoxBold, r.bold);
        showFlag(m_ui->checkBoxItalic, r.italic);
        m_ui->pushButtonSelectPort->setText(portButtonText());
    }
}
