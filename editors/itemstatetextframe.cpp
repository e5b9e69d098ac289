#include "editors/itemstatetextframe.h"
#include "ui_itemstatetextframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemStateTextFrame::ItemStateTextFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
    textActive = QStringLiteral("Status aktiv");
    textInactive = QStringLiteral("Qalix-PLUS");
    textError = QStringLiteral("!!!!!");
}

ItemStateTextFrame::~ItemStateTextFrame() = default;

void ItemStateTextFrame::buildForm()
{
    ui.reset(new Ui::ItemStateTextFrame);
    ui->setupUi(this);
}

void ItemStateTextFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("StateText"));
}

void ItemStateTextFrame::updateFrame()
{
    fontSize = qMin(fontSize, fontSizeMaximum);
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showNumber(ui->spinBoxFontsize, fontSize);
        showText(ui->lineEditText, textActive);
        showText(ui->lineEditTextInactive, textInactive);
        showText(ui->lineEditTextError, textError);
        showFlag(ui->checkBoxBold, bold);
        showFlag(ui->checkBoxItalic, italic);
        ui->pushButtonSelectPort->setText(portButtonText());
    }
    if (owner)
        owner->createText(textActive, bold, italic, fontSize, color);
}
