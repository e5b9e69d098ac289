#include "editors/itemstatebuttonframe.h"
#include "ui_itemstatebuttonframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemStateButtonFrame::ItemStateButtonFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemStateButtonFrame::~ItemStateButtonFrame() = default;

void ItemStateButtonFrame::buildForm()
{
    ui.reset(new Ui::ItemStateButtonFrame);
    ui->setupUi(this);
}

void ItemStateButtonFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("StateButton"));
}

void ItemStateButtonFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgError->setIcon(QIcon(imageUnknown));
        ui->pushButtonSelectPort->setText(portButtonText());
    }
}
