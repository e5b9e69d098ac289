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
    m_ui.reset(new Ui::ItemButtonFrame);
    m_ui->setupUi(this);
}

void ItemButtonFrame::updateFrame()
{
    if (m_ui) {
        showPosition(m_ui->lineEditX, m_ui->lineEditY);
        showSize(m_ui->lineEditWidth, m_ui->lineEditHeight);
        m_ui->pushButtonImgActive->setIcon(QIcon(owner()->record().imageActive));
        m_ui->pushButtonSelectPort->setText(portButtonText());
    }
}
