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
    m_ui.reset(new Ui::ItemPageChangeFrame);
    m_ui->setupUi(this);
    connect(m_ui->comboBoxPage, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ItemPageChangeFrame::on_comboBoxPage_currentIndexChanged);
}

void ItemPageChangeFrame::updateFrame()
{
    if (m_ui) {
        showPosition(m_ui->lineEditX, m_ui->lineEditY);
        showSize(m_ui->lineEditWidth, m_ui->lineEditHeight);
        m_ui->pushButtonImgActive->setIcon(QIcon(owner()->record().imageActive));
        fillPageList();
    }
}

void ItemPageChangeFrame::on_comboBoxPage_currentIndexChanged(int index)
{
    // While the list is being filled the owner's loaded flag is down, so the
    // list's own index changes are not taken as a choice.
    if (index < 0 || !m_ui || !owner()->isLoaded())
        return;
    // A choice only: the form already shows it, so nothing is refreshed.
    ItemRecord record = owner()->record();
    record.pageId = m_ui->comboBoxPage->currentData().toString();
    owner()->setRecord(record);
}

void ItemPageChangeFrame::fillPageList()
{
    Item *item = owner();
    // Filling the list moves its index; with the flag down that is not a choice.
    const bool wasLoaded = item->isLoaded();
    item->setLoaded(false);
    m_ui->comboBoxPage->clear();
    m_ui->comboBoxPage->addItem(QStringLiteral("--- Bitte wählen ---"), QString());
    if (item->pages()) {
        for (const Page *page : std::as_const(*item->pages())) {
            m_ui->comboBoxPage->addItem(page->name(), page->id());
            if (page->id() == item->record().pageId)
                m_ui->comboBoxPage->setCurrentIndex(m_ui->comboBoxPage->count() - 1);
        }
    }
    item->setLoaded(wasLoaded);
}
