#include "gui/editors/itempagechangeframe.h"
#include "ui_itempagechangeframe.h"

#include "gui/pages/page.h"

#include <QIcon>
#include <utility>

ItemPageChangeFrame::ItemPageChangeFrame(Item *owner, QWidget *parent)
    : FrameUpdater(owner, parent)
{
}

ItemPageChangeFrame::~ItemPageChangeFrame() = default;

void ItemPageChangeFrame::buildForm()
{
    ui.reset(new Ui::ItemPageChangeFrame);
    ui->setupUi(this);
    connect(ui->comboBoxPage, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ItemPageChangeFrame::on_comboBoxPage_currentIndexChanged);
}

void ItemPageChangeFrame::updateFrame()
{
    if (ui) {
        showPosition(ui->lineEditX, ui->lineEditY);
        showSize(ui->lineEditWidth, ui->lineEditHeight);
        ui->pushButtonImgActive->setIcon(QIcon(owner()->record().imageActive));
        fillPageList();
    }
}

void ItemPageChangeFrame::on_comboBoxPage_currentIndexChanged(int index)
{
    // While the list is being filled the owner's loaded flag is down, so the
    // list's own index changes are not taken as a choice.
    if (index < 0 || !ui || !owner()->isLoaded())
        return;
    // A choice only: the form already shows it, so nothing is refreshed.
    ItemRecord record = owner()->record();
    record.pageId = ui->comboBoxPage->currentData().toString();
    owner()->setRecord(record);
}

void ItemPageChangeFrame::fillPageList()
{
    Item *item = owner();
    // Filling the list moves its index; with the flag down that is not a choice.
    const bool wasLoaded = item->isLoaded();
    item->setLoaded(false);
    ui->comboBoxPage->clear();
    ui->comboBoxPage->addItem(QStringLiteral("--- Bitte wählen ---"), QString());
    if (item->pages()) {
        for (const Page *page : std::as_const(*item->pages())) {
            ui->comboBoxPage->addItem(page->name(), page->id());
            if (page->id() == item->record().pageId)
                ui->comboBoxPage->setCurrentIndex(ui->comboBoxPage->count() - 1);
        }
    }
    item->setLoaded(wasLoaded);
}
