#include "editors/itemstatetextframe.h"
#include "ui_itemstatetextframe.h"

#include "items/item.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemStateTextFrame::ItemStateTextFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
    , ui(new Ui::ItemStateTextFrame)
{
    ui->setupUi(this);
    connectWidgets();
    textActive = QStringLiteral("Status aktiv");
    textInactive = QStringLiteral("Qalix-PLUS");
    textError = QStringLiteral("!!!!!");
}

ItemStateTextFrame::~ItemStateTextFrame() = default;

void ItemStateTextFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("StateText"));
}

void ItemStateTextFrame::updateFrame()
{
    showPosition(ui->lineEditX, ui->lineEditY);
    showNumber(ui->spinBoxFontsize, fontSize);
    ui->lineEditText->setText(textActive);
    ui->lineEditTextInactive->setText(textInactive);
    ui->lineEditTextError->setText(textError);
    showFlag(ui->checkBoxBold, bold);
    showFlag(ui->checkBoxItalic, italic);
    ui->pushButtonSelectPort->setText(portButtonText());
    if (owner)
        owner->createText(textActive, bold, italic, fontSize, color);
}
