#include "gui/editors/itemstatepictureframe.h"
#include "ui_itemstatepictureframe.h"

#include <QIcon>

ItemStatePictureFrame::ItemStatePictureFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemStatePictureFrame::~ItemStatePictureFrame() = default;

void ItemStatePictureFrame::buildForm()
{
    m_ui.reset(new Ui::ItemStatePictureFrame);
    m_ui->setupUi(this);
}

void ItemStatePictureFrame::updateFrame()
{
    if (m_ui) {
        showPosition(m_ui->lineEditX, m_ui->lineEditY);
        showSize(m_ui->lineEditWidth, m_ui->lineEditHeight);
        m_ui->pushButtonImgError->setIcon(QIcon(owner()->record().imageUnknown));
        m_ui->pushButtonSelectPort->setText(portButtonText());
    }
}
