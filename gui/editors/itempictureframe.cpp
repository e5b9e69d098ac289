#include "gui/editors/itempictureframe.h"
#include "ui_itempictureframe.h"

#include <QIcon>

ItemPictureFrame::ItemPictureFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemPictureFrame::~ItemPictureFrame() = default;

void ItemPictureFrame::buildForm()
{
    m_ui.reset(new Ui::ItemPictureFrame);
    m_ui->setupUi(this);
}

void ItemPictureFrame::updateFrame()
{
    if (m_ui) {
        showPosition(m_ui->lineEditX, m_ui->lineEditY);
        showSize(m_ui->lineEditWidth, m_ui->lineEditHeight);
        m_ui->pushButtonImgActive->setIcon(QIcon(owner()->record().imageActive));
    }
}
