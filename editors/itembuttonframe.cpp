#include "editors/itembuttonframe.h"
#include "ui_itembuttonframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemButtonFrame::ItemButtonFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemButtonFrame::~ItemButtonFrame() = default;

void ItemButtonFrame::buildForm()
{
    ui.reset(new Ui::ItemButtonFrame);
    ui->setupUi(this);
}

void ItemButtonFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("Button"));
}

void ItemButtonFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgActive->setIcon(QIcon(imageActive));
        ui->pushButtonSelectPort->setText(portButtonText());
    }
}
