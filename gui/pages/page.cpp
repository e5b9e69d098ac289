#include "gui/pages/page.h"
#include "gui/logging/guilogcategories.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QDomDocument>
#include <QKeyEvent>
#include <QtGlobal>
#include <cstdlib>
#include <utility>

#include "gui/items/item.h"
#include "gui/items/itemfactory.h"
#include "gui/items/textbudget.h"
#include "gui/items/truncated.h"
#include "gui/pages/itemclipboard.h"
#include "gui/pages/pageids.h"
#include "gui/pages/pagekeys.h"
#include "core/project/itemkind.h"
#include "core/project/xmlelements.h"

namespace {

struct CreationScope
{
    explicit CreationScope(int &depth)
        : depth(depth)
    {
        ++depth;
    }
    ~CreationScope() { --depth; }
    int &depth;
};

} // namespace

void Page::seedIds(quint32 seed)
{
    PageIds::seed(seed);
}

Page::Page(QList<Item *> *list, QList<Page *> *pages, QWidget *parent)
    : QWidget(parent)
    , m_list(list)
    , m_pages(pages)
{
    // Listeners of `selected` may queue it or spy on it.
    static const int itemPointerType = qRegisterMetaType<Item *>("Item*");
    Q_UNUSED(itemPointerType)
    hide();

    m_scene = new GraphicsScene(this);
    m_scene->setSceneRect(0, 0, 1, 1);
    m_textBudget = new TextBudget(m_scene);
    m_view.setScene(m_scene);
    m_view.setGeometry(0, 0, 500, 500);

    m_view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_view.setParent(this);
    // Set once it has its parent: a style sheet makes every reparenting of
    // the view and its children resolve their styles again, which dominated
    // making the pages of a large project.
    m_view.setStyleSheet(QStringLiteral("border: 0px none;"));
    m_view.show();

    connect(&m_view, &GraphicsView::keyPressed, this, &Page::keyPressed);
    setToolTipDuration(1);

    setId(PageIds::next());
    m_name = QStringLiteral("Neue Seite");

    connect(m_scene, &QGraphicsScene::selectionChanged, this, &Page::selectionChanged);
}

Page::~Page()
{
    // Take the scene down while the page's bookkeeping still exists: its
    // items report their destruction and the scene its selection changes.
    disconnect(m_scene, nullptr, this, nullptr);
    delete m_scene;
    m_scene = nullptr;
}

QString Page::name() const
{
    return m_name;
}

void Page::setName(const QString &name)
{
    m_name = name;
}

QString Page::id() const
{
    return m_id;
}

void Page::setId(const QString &id)
{
    m_id = id;
    setToolTip(id);
    m_textBudget->setName(id);
}

QString Page::background() const
{
    return m_background.name();
}

bool Page::projectBackground() const
{
    return m_background.fromProject();
}

void Page::setPageSize(double scale, int w, int h)
{
    m_scene->setSceneRect(0, 0, w, h);
    m_allInside = false;
    rescale(scale);
}

void Page::setScale(double factor)
{
    m_view.resetTransform();
    m_view.scale(factor, factor);
    rescale(factor);
}

void Page::rescale(double scale)
{
    const int widthLimit = width();
    const int heightLimit = height() - 8;
    qCDebug(lcPages) << this << "Scale" << scale;
    qCDebug(lcPages) << this << "Size" << widthLimit << heightLimit;

    const QRectF rect = m_scene->sceneRect();
    // A page or scene of no usable size gives an empty view, not a negative one.
    const int viewWidth = qMax(0, qMin(truncated(scale * rect.width() + 5.0), widthLimit));
    const int viewHeight = qMax(0, qMin(truncated(scale * rect.height() + 5.0), heightLimit));
    qCDebug(lcPages) << this << "Set GraphicsView" << viewWidth << viewHeight;
    m_view.setFixedSize(viewWidth, viewHeight);

    m_background.refit(m_scene);
}

void Page::setBackground(const QString &name)
{
    m_background.set(m_scene, name);
}

void Page::setPortValue(const QString &key, double value)
{
    // A copy: an item's reaction must not be able to disturb the iteration.
    const QList<Item *> bound = m_portIndex.items(key);
    for (Item *item : bound) {
        if (item->record().port == key)
            item->setValue(value);
    }
}

QList<Item *> Page::boundItems(const QString &key) const
{
    return m_portIndex.items(key);
}

QStringList Page::boundKeys() const
{
    return m_portIndex.keys() + m_pending.ports();
}

void Page::reindexItem(Item *item)
{
    if (!m_itemOf.contains(item))
        return;
    const QString &port = item->record().port;
    m_portIndex.file(item, item, port);
    if (!port.isEmpty())
        emit portBound(port);
}

void Page::forget(QObject *object)
{
    // The item is already gone when this runs: only addresses are compared.
    Item *item = m_itemOf.take(object);
    if (!item)
        return;
    m_portIndex.remove(object, item);
    m_items.removeOne(item);
}

void Page::lockItems()
{
    for (Item *item : std::as_const(m_items)) {
        item->setSelected(false);
        item->setEnabled(true);
        item->setFlag(QGraphicsItem::ItemIsMovable, false);
        item->setFlag(QGraphicsItem::ItemIsFocusable, false);
        item->setFlag(QGraphicsItem::ItemIsSelectable, false);
    }
    m_view.setDragMode(QGraphicsView::NoDrag);
}

void Page::setControlMode()
{
    for (Item *item : std::as_const(m_items))
        item->setLoaded(true);
}

void Page::clearSelection()
{
    m_scene->clearSelection();
}

void Page::keepInside(Item *item)
{
    const QRectF rect = m_scene->sceneRect();
    const QRectF bounds = item->boundingRect();
    int x = truncated(item->pos().x());
    int y = truncated(item->pos().y());
    const int w = truncated(bounds.width() * item->scale());
    const int h = truncated(bounds.height() * item->scale());
    const int rightLimit = truncated(2.0 + rect.width());
    const int bottomLimit = truncated(2.0 + rect.height());

    // An item too large for the scene rests at 0 on that axis: clamping it
    // against the far edge would push it out at the near edge and back.
    if (w >= rightLimit) {
        if (x != 0)
            item->SetPos(0, y);
    } else if (x < 0) {
        item->SetPos(0, y);
    } else if (qint64(x) + w >= rightLimit) {
        item->SetPos(rightLimit - w - 1, y);
    }

    x = truncated(item->pos().x());
    y = truncated(item->pos().y());
    if (h >= bottomLimit) {
        if (y != 0)
            item->SetPos(x, 0);
    } else if (y < 0) {
        item->SetPos(x, 0);
    } else if (qint64(y) + h >= bottomLimit) {
        item->SetPos(x, bottomLimit - h - 1);
    }
}

void Page::keyPressed(QKeyEvent *event)
{
    keyPressEvent(event);
}

void Page::selectionChanged()
{
    // The page's own list: the scene's would be sorted by stacking order on
    // every change, and every item created changes the selection twice.
    for (Item *item : std::as_const(m_items))
        item->hideProperties();
    const QList<Item *> chosen = selectedPageItems();
    emit selected(chosen.size() == 1 ? chosen.first() : nullptr);
}

void Page::itemMoved(Item *itm)
{
    // Clamping one item leaves every other where it was: once all lie inside
    // the scene, only the one that moved needs it. While an item is being
    // made only that one moves, and checking every other item each time
    // would make building a page quadratic in its items.
    if (itm && (m_creating > 0 || m_allInside)) {
        keepInside(itm);
        return;
    }
    // A copy: clamping moves items, which lands here again on the same stack.
    const QList<Item *> items = m_items;
    for (Item *item : items)
        keepInside(item);
    m_allInside = true;
}

void Page::deleteItem()
{
    deleteItems();
}

void Page::copyItem()
{
    copyItems();
}

void Page::pasteItem()
{
    pasteItems();
}

QList<Item *> Page::selectedPageItems() const
{
    QList<Item *> result;
    const QList<QGraphicsItem *> chosen = m_scene->selectedItems();
    for (QGraphicsItem *graphicsItem : chosen) {
        if (Item *item = Item::fromGraphicsItem(graphicsItem))
            result.append(item);
    }
    return result;
}

Item *Page::createItem(int kind)
{
    m_scene->clearSelection();
    const CreationScope creating(m_creating);

    Item *item = ItemFactory::create(kind, m_list, m_pages);
    if (!item)
        return nullptr;

    item->setSelected(true);
    item->SetPos(10, 10);
    connect(item, &Item::itemMoved, this, &Page::itemMoved);
    connect(item, &QObject::destroyed, this, &Page::forget);
    connect(item, &Item::portRebound, this, &Page::reindexItem);
    connect(item, &Item::placementChanged, this, [this] { m_allInside = false; });
    m_items.append(item);
    m_itemOf.insert(item, item);
    m_scene->addItem(item);
    reindexItem(item);
    item->refreshProperties();
    return item;
}

Item *Page::createItemFromXml(const QDomNode &element)
{
    ItemElement read = ItemElement::fromNode(element);
    read.record.resolvePictures();
    return createItemFromElement(read);
}

Item *Page::createItemFromElement(const ItemElement &element)
{
    const int kind = ItemKind::fromTypeName(element.type);
    const CreationScope creating(m_creating);
    // "Link" still clears the selection, as every creation does.
    Item *item = kind >= 0 ? createItem(kind) : nullptr;
    qCDebug(lcPages) << "NEW ITEM" << element.type;
    if (item)
        item->applyElement(element);
    return item;
}

void Page::setValueSource(ValueSource source)
{
    m_valueSource = std::move(source);
}

void Page::setPendingItems(const QList<ItemElement> &elements)
{
    m_pending.set(elements);
    const QStringList ports = m_pending.ports();
    for (const QString &port : ports)
        emit portBound(port);
}

void Page::ensureBuilt()
{
    if (!isBuilt())
        build();
}

void Page::setVisible(bool visible)
{
    if (visible)
        ensureBuilt();
    QWidget::setVisible(visible);
}

void Page::build()
{
    const QList<ItemElement> elements = m_pending.take(m_scene->sceneRect());
    for (const ItemElement &element : elements) {
        if (Item *item = createItemFromElement(element))
            emit itemBuilt(item);
    }
    clearSelection();
    lockItems();
    setControlMode();
    // Values reported while the page was not built yet: the newest of each
    // bound key. A key only pressed, never reported, stays as loaded.
    if (m_valueSource) {
        const QStringList keys = m_portIndex.keys();
        for (const QString &key : keys) {
            double value = 0;
            if (m_valueSource(key, &value))
                setPortValue(key, value);
        }
    }
}

void Page::copyItems()
{
    // Nothing selected is nothing to copy: the operator's clipboard stays. A
    // running panel selects nothing, and Ctrl+C or Ctrl+X would wipe it.
    const QList<Item *> chosen = selectedPageItems();
    if (chosen.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(ItemClipboard::write(chosen));
}

void Page::pasteItems()
{
    QDomDocument document;
    if (!ItemClipboard::read(QGuiApplication::clipboard()->text(), &document))
        return;
    const QDomElement root = document.documentElement();
    QList<Item *> created;
    for (QDomNode node = root.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (Item *item = createItemFromXml(node))
            created.append(item);
    }
    for (Item *item : std::as_const(created))
        item->setSelected(true);
}

void Page::deleteItems()
{
    const QList<Item *> chosen = selectedPageItems();
    for (int i = chosen.size() - 1; i >= 0; --i) {
        Item *item = chosen.at(i);
        m_scene->removeItem(item);
        delete item;
    }
    m_scene->clearSelection();
}

void Page::moveItems(int dy, int dx)
{
    const int step = qMax(std::abs(dx), std::abs(dy));
    if (step == 0)
        return;
    const QList<Item *> chosen = selectedPageItems();
    for (Item *item : chosen) {
        const int x = int(item->pos().x());
        const int y = int(item->pos().y());
        item->SetPos(x - x % step + dx, y - y % step + dy);
        item->refreshProperties();
        itemMoved(item);
    }
}

void Page::keyPressEvent(QKeyEvent *event)
{
    if (m_editingKeys)
        PageKeys::handle(*this, *event);
}
