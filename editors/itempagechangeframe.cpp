#include "editors/itempagechangeframe.h"
#include "ui_itempagechangeframe.h"

#include "items/item.h"
#include "pages/page.h"
#include "storage/xmlelements.h"

#include <QIcon>

ItemPageChangeFrame::ItemPageChangeFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
    // Its page list is what a page offers as link targets, so this form is
    // there from the start; page-change items are few.
    ensureForm();
}

ItemPageChangeFrame::~ItemPageChangeFrame() = default;

void ItemPageChangeFrame::buildForm()
{
    ui.reset(new Ui::ItemPageChangeFrame);
    ui->setupUi(this);
    connect(ui->comboBoxPage, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ItemPageChangeFrame::on_comboBoxPage_currentIndexChanged);
}

void ItemPageChangeFrame::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    FrameUpdater::save(document, element, fileList);
    appendElement(document, element, QStringLiteral("type"), QStringLiteral("PageChange"));
}

void ItemPageChangeFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgActive->setIcon(QIcon(imageActive));
        fillPageList();
    }
}

void ItemPageChangeFrame::on_comboBoxPage_currentIndexChanged(int index)
{
    // While the list is being filled the owner's loaded flag is down, so the
    // list's own index changes are not taken as a choice.
    if (index < 0 || !ui || !owner || !owner->loaded)
        return;
    pageId = ui->comboBoxPage->currentData().toString();
}

void ItemPageChangeFrame::fillPageList()
{
    if (!owner)
        return;
    // Filling the list moves its index; with the flag down that is not a choice.
    const bool wasLoaded = owner->loaded;
    owner->loaded = false;
    ui->comboBoxPage->clear();
    ui->comboBoxPage->addItem(QStringLiteral("--- Bitte wählen ---"), QString());
    if (owner->pages) {
        for (const Page *page : qAsConst(*owner->pages)) {
            ui->comboBoxPage->addItem(page->name(), page->id());
            if (page->id() == pageId)
                ui->comboBoxPage->setCurrentIndex(ui->comboBoxPage->count() - 1);
        }
    }
    owner->loaded = wasLoaded;
}
