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
    m_ui.reset(new Ui::ItemStateTextFrame);
    m_ui->setupUi(this);
}

void ItemStateTextFrame::updateFrame()
{
    if (m_ui) {
        const ItemRecord &r = owner()->record();
        showPosition(m_ui->lineEditX, m_ui->lineEditY);
        showNumber(m_ui->spinBoxFontsize, r.fontSize);
        showText(m_ui->lineEditText, r.textActive);
        showText(m_ui->lineEditTextInactive, r.textInactive);
        showText(m_ui->lineEditTextError, r.textError);
        showFlag(m_ui->checkBoxBold, r.bold);
        showFlag(m_ui->checkBoxItalic, r.italic);
        m_ui->pushButtonSelectPort->setText(portButtonText());
    }
}
