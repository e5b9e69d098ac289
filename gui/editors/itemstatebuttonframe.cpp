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
    m_ui.reset(new Ui::ItemStateButtonFrame);
    m_ui->setupUi(this);
}

void ItemStateButtonFrame::updateFrame()
{
    if (m_ui) {
        showPosition(m_ui->lineEditX, m_ui->lineEditY);
        showSize(m_ui->lineEditWidth, m_ui->lineEditHeight);
        m_ui->pushButtonImgError->setIcon(QIcon(owner()->record().imageUnknown));
        m_ui->pushButtonSelectPort->setText(portButtonText());
    }
}
