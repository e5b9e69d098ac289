#include "pages/page.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QtGlobal>
#include <cstdlib>
#include <limits>

#include "editors/frameupdater.h"
#include "items/item.h"
#include "items/itemadctext.h"
#include "items/itembutton.h"
#include "items/itempagechange.h"
#include "items/itempicture.h"
#include "items/itemstatebutton.h"
#include "items/itemstatepicture.h"
#include "items/itemstatetext.h"
#include "items/itemtext.h"
#include "storage/picturecache.h"
#include "storage/xmlelements.h"

namespace {

const char fragmentRoot[] = "QalixPlusDesignerProject";

QString backgroundPath(const QString &name)
{
    // The doubled separator is how pictures are named in the cache everywhere.
    return QCoreApplication::applicationDirPath() + QLatin1String("/projects/")
        + QLatin1String("/background/project/") + name;
}

QString randomId()
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString id;
    id.reserve(16);
    for (int i = 0; i < 16; ++i) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        id.append(QLatin1Char(table[qrand() % 36]));
        QT_WARNING_POP
    }
    return id;
}

// Truncation toward zero that saturates instead of overflowing: page sizes
// come from the project document, which may carry any number.
int truncated(double value)
{
    if (!(value > -2147483648.0))
        return value != value ? 0 : std::numeric_limits<int>::min();
    if (value >= 2147483647.0)
        return std::numeric_limits<int>::max();
    return int(value);
}

struct CreationScope
{
    explicit CreationScope(int &depth) : depth(depth) { ++depth; }
    ~CreationScope() { --depth; }
    int &depth;
};

Item *asItem(QGraphicsItem *graphicsItem)
{
    return dynamic_cast<Item *>(graphicsItem);
}

} // namespace

Page::Page(QList<Item *> *list, QList<Page *> *pages, QWidget *parent)
    : QWidget(parent)
    , list(list)
    , pages(pages)
{
    // Listeners of `selected` may queue it or spy on it.
    static const int itemPointerType = qRegisterMetaType<Item *>("Item*");
    Q_UNUSED(itemPointerType)
    hide();

    scene = new GraphicsScene(this);
    scene->setSceneRect(0, 0, 1, 1);
    view.setScene(scene);
    view.setGeometry(0, 0, 500, 500);

    setStyleSheet(QStringLiteral("border: 0px none;"));
    view.setStyleSheet(QStringLiteral("border: 0px none;"));
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    view.setParent(this);
    view.show();

    connect(&view, &GraphicsView::keyPressed, this, &Page::keyPressed);
    setToolTipDuration(1);

    setId(randomId());
    m_name = QStringLiteral("Neue Seite");

    connect(scene, &QGraphicsScene::selectionChanged, this, &Page::selectionChanged);
}

Page::~Page()
{
    // Take the scene down while the page's bookkeeping still exists: its
    // items report their destruction and the scene its selection changes.
    disconnect(scene, nullptr, this, nullptr);
    delete scene;
    scene = nullptr;
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
}

QString Page::background() const
{
    return m_background;
}

bool Page::projectBackground() const
{
    return m_projectBackground;
}

void Page::setPageSize(double scale, int w, int h)
{
    scene->setSceneRect(0, 0, w, h);
    rescale(scale);
}

void Page::setScale(double factor)
{
    view.resetTransform();
    view.scale(factor, factor);
    rescale(factor);
}

void Page::rescale(double scale)
{
    const int widthLimit = width();
    const int heightLimit = height() - 8;
    qDebug() << this << "Scale" << scale;
    qDebug() << this << "Size" << widthLimit << heightLimit;

    const QRectF rect = scene->sceneRect();
    // A page or scene of no usable size gives an empty view, not a negative one.
    const int viewWidth = qMax(0, qMin(truncated(scale * rect.width() + 5.0), widthLimit));
    const int viewHeight = qMax(0, qMin(truncated(scale * rect.height() + 5.0), heightLimit));
    qDebug() << this << "Set GraphicsView" << viewWidth << viewHeight;
    view.setFixedSize(viewWidth, viewHeight);

    if (!m_background.isEmpty()) {
        const QString path = backgroundPath(m_background);
        if (QFile::exists(path))
            applyBackgroundBrush(path);
    }
}

void Page::setBackground(const QString &name)
{
    applyBackgroundBrush(backgroundPath(name));
    m_projectBackground = name.startsWith(QLatin1String("project/"));
    m_background = name;
    m_background.remove(QStringLiteral("project/"));
}

void Page::applyBackgroundBrush(const QString &path)
{
    const QPixmap *source = PictureCache::picture(path);
    const QRectF rect = scene->sceneRect();
    const QSize size(qRound(rect.width()), qRound(rect.height()));
    if (source->isNull()) {
        scene->setBackgroundBrush(QBrush());
        m_brushSourceKey = 0;
        return;
    }
    if (source->cacheKey() == m_brushSourceKey && size == m_brushSize)
        return;
    scene->setBackgroundBrush(QBrush(source->scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    m_brushSourceKey = source->cacheKey();
    m_brushSize = size;
}

void Page::setPortValue(const QString &key, double value)
{
    const auto found = m_portIndex.constFind(key);
    if (found == m_portIndex.constEnd())
        return;
    // A copy: an item's reaction must not be able to disturb the iteration.
    const QList<Item *> bound = found.value();
    for (Item *item : bound) {
        if (item->frame && item->frame->port == key)
            item->setValue(value);
    }
}

void Page::reindexItem(Item *item)
{
    if (!m_itemOf.contains(item))
        return;
    unindex(item, item);
    if (!item->frame || item->frame->port.isEmpty())
        return;
    m_portIndex[item->frame->port].append(item);
    m_indexedPort.insert(item, item->frame->port);
}

void Page::forget(QObject *object)
{
    // The item is already gone when this runs: only addresses are compared.
    Item *item = m_itemOf.take(object);
    if (!item)
        return;
    unindex(object, item);
    m_items.removeOne(item);
}

void Page::unindex(QObject *object, Item *item)
{
    const auto previous = m_indexedPort.constFind(object);
    if (previous == m_indexedPort.constEnd())
        return;
    auto bucket = m_portIndex.find(previous.value());
    if (bucket != m_portIndex.end()) {
        bucket->removeOne(item);
        if (bucket->isEmpty())
            m_portIndex.erase(bucket);
    }
    m_indexedPort.remove(object);
}

void Page::lockItems()
{
    for (Item *item : qAsConst(m_items)) {
        item->setSelected(false);
        item->setEnabled(true);
        item->setFlag(QGraphicsItem::ItemIsMovable, false);
        item->setFlag(QGraphicsItem::ItemIsFocusable, false);
        item->setFlag(QGraphicsItem::ItemIsSelectable, false);
    }
    view.setDragMode(QGraphicsView::NoDrag);
}

void Page::setControlMode()
{
    for (Item *item : qAsConst(m_items))
        item->loaded = true;
}

void Page::clearSelection()
{
    scene->clearSelection();
}

void Page::keepInside(Item *item)
{
    const QRectF rect = scene->sceneRect();
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
    for (Item *item : qAsConst(m_items))
        item->hideProperties();
    const QList<Item *> chosen = selectedPageItems();
    emit selected(chosen.size() == 1 ? chosen.first() : nullptr);
}

void Page::itemMoved(Item *itm)
{
    // While an item is being made only that one moves: checking every other
    // item each time would make loading a page quadratic in its items.
    if (m_creating > 0) {
        if (itm)
            keepInside(itm);
        return;
    }
    // A copy: clamping moves items, which lands here again on the same stack.
    const QList<Item *> items = m_items;
    for (Item *item : items)
        keepInside(item);
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
    const QList<QGraphicsItem *> chosen = scene->selectedItems();
    for (QGraphicsItem *graphicsItem : chosen) {
        if (Item *item = asItem(graphicsItem))
            result.append(item);
    }
    return result;
}

int Page::kindForType(const QString &type)
{
    static const QHash<QString, int> kinds = {
        {QStringLiteral("PageChange"), KindPageChange},
        {QStringLiteral("Picture"), KindPicture},
        {QStringLiteral("StatePicture"), KindStatePicture},
        {QStringLiteral("Button"), KindButton},
        {QStringLiteral("StateButton"), KindStateButton},
        {QStringLiteral("Text"), KindText},
        {QStringLiteral("StateText"), KindStateText},
        {QStringLiteral("ADCText"), KindADCText},
        {QStringLiteral("Link"), KindLink},
    };
    return kinds.value(type, -1);
}

Item *Page::createItem(int kind)
{
    scene->clearSelection();
    const CreationScope creating(m_creating);

    Item *item = nullptr;
    switch (kind) {
    case KindPageChange: item = new ItemPageChange(list, pages); break;
    case KindPicture: item = new ItemPicture(list, pages); break;
    case KindStatePicture: item = new ItemStatePicture(list, pages); break;
    case KindButton: item = new ItemButton(list, pages); break;
    case KindStateButton: item = new ItemStateButton(list, pages); break;
    case KindText: item = new ItemText(list, pages); break;
    case KindStateText: item = new ItemStateText(list, pages); break;
    case KindADCText: item = new ItemADCText(list, pages); break;
    default: return nullptr;
    }

    item->setSelected(true);
    item->SetPos(10, 10);
    connect(item, &Item::itemMoved, this, &Page::itemMoved);
    connect(item, &QObject::destroyed, this, &Page::forget);
    m_items.append(item);
    m_itemOf.insert(item, item);
    scene->addItem(item);
    reindexItem(item);
    item->refreshProperties();
    return item;
}

Item *Page::createItemFromXml(const QDomNode &element)
{
    const QString type = childElement(element.childNodes(), QStringLiteral("type")).text();
    const int kind = kindForType(type);
    const CreationScope creating(m_creating);
    Item *item = kind >= 0 ? createItem(kind) : nullptr;
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug() << "NEW ITEM" << type;
    if (item) {
        item->loadFromXml(element);
        reindexItem(item);
    }
    return item;
}

void Page::copyItems()
{
    QDomDocument document;
    QDomElement root = document.createElement(QLatin1String(fragmentRoot));
    document.appendChild(root);
    QStringList files;
    const QList<Item *> chosen = selectedPageItems();
    for (Item *item : chosen) {
        QDomElement element = appendElement(document, root, QStringLiteral("item"), QString());
        item->saveToXml(document, element, files);
    }
    QGuiApplication::clipboard()->setText(document.toString(1));
}

void Page::pasteItems()
{
    QDomDocument document;
    if (!document.setContent(QGuiApplication::clipboard()->text()))
        return;
    const QDomElement root = document.documentElement();
    // Only fragments this program wrote: other XML on the clipboard is no
    // list of items, whatever its children happen to be called.
    if (root.tagName() != QLatin1String(fragmentRoot)) {
        qDebug() << "Paste ignored, not an item fragment:" << root.tagName();
        return;
    }
    QList<Item *> created;
    for (QDomNode node = root.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (Item *item = createItemFromXml(node))
            created.append(item);
    }
    for (Item *item : qAsConst(created))
        item->setSelected(true);
}

void Page::deleteItems()
{
    const QList<Item *> chosen = selectedPageItems();
    for (int i = chosen.size() - 1; i >= 0; --i) {
        Item *item = chosen.at(i);
        scene->removeItem(item);
        delete item;
    }
    scene->clearSelection();
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
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_C:
        if (ctrl)
            copyItems();
        break;
    case Qt::Key_X:
        if (ctrl) {
            copyItems();
            deleteItems();
        }
        break;
    case Qt::Key_V:
        if (ctrl)
            pasteItems();
        break;
    case Qt::Key_Delete:
        deleteItems();
        break;
    case Qt::Key_Up:
        moveItems(ctrl ? -1 : -10, 0);
        break;
    case Qt::Key_Down:
        moveItems(ctrl ? 1 : 10, 0);
        break;
    case Qt::Key_Left:
        moveItems(0, ctrl ? -1 : -10);
        break;
    case Qt::Key_Right:
        moveItems(0, ctrl ? 1 : 10);
        break;
    default:
        break;
    }
}
