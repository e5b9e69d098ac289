#include "editors/itemadctextframe.h"
#include "ui_itemadctextframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemADCTextFrame::ItemADCTextFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemADCTextFrame::~ItemADCTextFrame() = default;

void ItemADCTextFrame::buildForm()
{
    ui.reset(new Ui::ItemADCTextFrame);
    ui->setupUi(this);
}

void ItemADCTextFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("ADCText"));
}

void ItemADCTextFrame::updateFrame()
{
    fontSize = qMin(fontSize, fontSizeMaximum);
    digits = qMin(digits, digitsMaximum);
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showNumber(ui->spinBoxFontsize, fontSize);
        showNumber(ui->spinBoxDigits, digits);
        showFlag(ui->checkBoxBold, bold);
        showFlag(ui->checkBoxItalic, italic);
        ui->pushButtonSelectPort->setText(portButtonText());
    }
    if (owner)
        owner->createText(placeholderText(), bold, italic, fontSize, color);
}
