#include "gui/items/item.h"
#include "gui/logging/guilogcategories.h"

#include "gui/items/textbudget.h"
#include "gui/items/textrendering.h"
#include "gui/items/truncated.h"
#include "gui/pictures/picturecache.h"
#include "core/files/regularfile.h"
#include "core/package/projectdirectory.h"
#include "core/package/qlxfat.h"

#include <QDebug>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QWidget>

#include <new>

static_assert(ItemKind::graphicsUserType == QGraphicsItem::UserType, "kinds report user types");

namespace {
const QString noIcon = QStringLiteral(":/images/noicon");

Item::FrameFactory frameFactory = nullptr;
bool pressesOnRelease = false;

// Greyed and hatched: an old value must not pass for a current one, on any
// picture. Thin lines, one device pixel at every zoom.
void paintStale(QPainter *painter, const QRect &rect)
{
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->fillRect(rect, QColor(128, 128, 128, 150));
    QPen pen(QColor(40, 40, 40, 210));
    pen.setCosmetic(true);
    painter->setPen(pen);
    const int step = 8;
    for (int d = step / 2; d < rect.width() + rect.height(); d += step)
        painter->drawLine(rect.left() + d, rect.top(), rect.left() + d - rect.height(), rect.bottom() + 1);
    painter->restore();
}

// Lit up under the finger: the press will act if it lifts here.
void paintPressed(QPainter *painter, const QRect &rect)
{
    painter->save();
    painter->fillRect(rect, QColor(255, 255, 255, 90));
    QPen pen(QColor(255, 255, 255, 230), 3);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->drawRect(rect.adjusted(1, 1, -2, -2));
    painter->restore();
}

// An orange dashed frame and, where it fits, the words.
void paintNoAnswer(QPainter *painter, const QRect &rect)
{
    painter->save();
    const QColor orange(255, 150, 0);
    QPen pen(orange, 3, Qt::DashLine);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->drawRect(rect.adjusted(1, 1, -2, -2));
    QFont font(QStringLiteral("Prototype"));
    font.setPixelSize(qBound(6, rect.height() / 5, 14));
    const QFontMetrics metrics(font);
    const QString words = Item::tr("keine Rückmeldung");
    const QString text = metrics.horizontalAdvance(words) <= rect.width() - 4 ? words : QStringLiteral("!");
    const QRect strip(rect.left(), rect.bottom() + 1 - metrics.height() - 2, rect.width(), metrics.height() + 2);
    painter->fillRect(strip.intersected(rect), QColor(0, 0, 0, 180));
    painter->setFont(font);
    painter->setPen(orange);
    painter->drawText(strip, Qt::AlignCenter, text);
    painter->restore();
}

} // namespace

Item::Item(QList<Item *> *pageList, QList<Page *> *pages)
    : m_picture(PictureCache::picture(noIcon))
    , m_pageList(pageList)
    , m_pages(pages)
{
    notifyChanged();
    setFlag(ItemIsMovable, true);
    setFlag(ItemIsFocusable, true);
    setFlag(ItemIsSelectable, true);
    setFlag(ItemSendsGeometryChanges, true);
    setAcceptHoverEvents(true);
}

Item::~Item()
{
    if (m_budget)
        m_budget->release(this);
    if (m_frame) {
        m_frame->hide();
        delete m_frame;
    }
}

int Item::type() const
{
    const int k = kind();
    return k < 0 ? int(UserType) : ItemKind::graphicsType(k);
}

Item *Item::fromGraphicsItem(QGraphicsItem *graphicsItem)
{
    if (!graphicsItem)
        return nullptr;
    const int type = graphicsItem->type();
    if (ItemKind::fromGraphicsType(type) < 0 && type != UserType)
        return nullptr;
    // The base reports the plain user type, which other items may use too.
    return type == UserType ? dynamic_cast<Item *>(graphicsItem) : static_cast<Item *>(graphicsItem);
}

void Item::setRecord(const ItemRecord &record)
{
    const bool rebound = record.port != m_record.port;
    m_record = record;
    if (rebound)
        emit portRebound(this);
}

void Item::setValue(double value)
{
    Q_UNUSED(value)
}

void Item::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    Q_UNUSED(option)
    Q_UNUSED(widget)
    const QRect target = boundingRect().toRect();
    if (!m_picture.isNull())
        painter->drawPixmap(target, m_picture);
    if (m_stale)
        paintStale(painter, target);
    if (m_noAnswer)
        paintNoAnswer(painter, target);
    if (m_pressed)
        paintPressed(painter, target);
}

void Item::setPressOnRelease(bool on)
{
    pressesOnRelease = on;
}

bool Item::pressOnRelease()
{
    return pressesOnRelease;
}

void Item::setAwaitingAnswer(bool waiting)
{
    if (waiting == m_noAnswer)
        return;
    m_noAnswer = waiting;
    update(boundingRect());
}

void Item::setPressed(bool pressed)
{
    if (pressed == m_pressed)
        return;
    m_pressed = pressed;
    update(boundingRect());
}

void Item::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    update(boundingRect());
}

QRectF Item::boundingRect() const
{
    return QRectF(0, 0, m_width, m_height);
}

void Item::SetPos(int x, int y)
{
    qCDebug(lcItems) << "SetPos" << x << y;
    setPos(x, y);
    emit itemMoved(this);
}

void Item::setSize(int w, int h)
{
    prepareGeometryChange();
    m_width = qMax(1, w);
    m_height = qMax(1, h);
    notifyChanged();
}

void Item::notifyChanged()
{
    update(boundingRect());
    emit itemMoved(this);
}

QString Item::scaledKey(const QString &name, int width, int height)
{
    return name + QLatin1Char('$') + QString::number(width) + QLatin1Char('x') + QString::number(height);
}

void Item::loadPicture(const QString &name)
{
    if (m_budget)
        m_budget->release(this);
    const QString scaledKey = Item::scaledKey(name, m_width, m_height);

    QPixmap chosen;
    if (!PictureCache::find(scaledKey, &chosen)) {
        chosen = PictureCache::picture(pictureSource(name));

        // No copy beyond the bound: the item draws its picture stretched
        // (a null one draws nothing). Memory that runs out while the copy
        // is made leaves the fallback picture, never the process ended.
        if ((chosen.width() != m_width || chosen.height() != m_height)
            && PictureCache::fitsBound(QSize(m_width, m_height))) {
            // The scaled copy covers the whole picture, so it is the picture;
            // nothing to scale gives a blank one.
            try {
                if (chosen.isNull()) {
                    chosen = QPixmap(m_width, m_height);
                    chosen.fill(Qt::transparent);
                } else {
                    chosen = chosen.scaled(m_width, m_height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }
            } catch (const std::bad_alloc &) {
                chosen = QPixmap();
            }
            if (chosen.isNull())
                chosen = PictureCache::picture(noIcon);
        }
        // Also a picture that has the size already: the next state change
        // then finds it without asking the file system again. It is the
        // same pixels, shared.
        PictureCache::insert(chosen, scaledKey);
    }
    m_picture = chosen;
    notifyChanged();
}

QString Item::pictureSource(const QString &name)
{
    // No name is the icon folder itself, which shows blank. A name leads
    // only to a file below it, never out of it.
    const QString projectPath = projectDirectory() + QStringLiteral("/icons/project/") + name;
    if (name.isEmpty() ? QFileInfo::exists(projectPath)
                       : QLXFat::isSafeEntryPath(name) && RegularFile::isRegular(projectPath))
        return projectPath;
    // A picture the load read is in hand, though its file be gone since.
    if (!name.isEmpty() && (PictureCache::inHand(name) || RegularFile::isRegular(name)))
        return name;
    return noIcon;
}

void Item::createText(const QString &newText, bool bold, bool italic, int fontSize, int color)
{
    if (newText.isEmpty())
        return;

    m_textPixelSize = qMax(5, fontSize);
    // The page's texts stay within its budget, and memory that runs out
    // while one is drawn leaves the fallback picture, never the process ended.
    TextBudget *budget = TextBudget::of(scene());
    QPixmap rendering;
    bool noMemory = false;
    try {
        rendering = TextRendering::render(newText, bold, italic, m_textPixelSize, color, maxTextWidth,
                                          budget ? budget->room(this) : -1);
    } catch (const std::bad_alloc &) {
        noMemory = true;
        static bool told = false;
        if (!told)
            qCritical().noquote() << "Text of" << newText.size()
                                  << "characters: no memory to draw it; the fallback picture shows";
        told = true;
    }
    // Kept in step with the picture on a cache hit too, so `text` always
    // names what is shown (or would, within the budget).
    m_text = newText;
    if (budget && rendering.isNull()) {
        if (noMemory)
            budget->release(this);
        else
            budget->refuse(this); // a new rendering would not fit
    } else if (budget && !budget->charge(this, rendering)) {
        rendering = QPixmap();
    }
    m_budget = budget;
    if (rendering.isNull()) {
        loadPicture(noIcon);
        return;
    }
    prepareGeometryChange();
    m_picture = rendering;
    m_width = m_picture.width();
    m_height = m_picture.height();
    notifyChanged();
}

void Item::loadFromXml(const QDomNode &element)
{
    ItemElement read = ItemElement::fromNode(element);
    read.record.resolvePictures();
    applyElement(read);
}

bool Item::takesPlace(const ItemElement &element, const QRectF &sceneRect)
{
    return qint64(element.x) + element.w <= sceneRect.width() && qint64(element.y) + element.h <= sceneRect.height();
}

void Item::showText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    createText(text, m_record.bold, m_record.italic, m_record.fontSize, m_record.color);
}

void Item::applyElement(const ItemElement &read)
{
    // Pasted as loaded: nothing beyond what can be drawn (the loader has
    // clamped its elements already, and said so).
    ItemElement element = read;
    element.clampToDrawable();
    qCDebug(lcItems) << "Activename: " << element.record.imageActive;
    setRecord(element.record);

    qCDebug(lcItems) << "Set Pic to " << element.x << element.y << element.w << element.h;
    // Only the right and bottom edges are held against the scene; an item
    // that would reach past them keeps where it was put when created.
    const QGraphicsScene *owner = scene();
    if (owner && takesPlace(element, owner->sceneRect())) {
        qCDebug(lcItems) << "Pic will be Set";
        SetPos(element.x, element.y);
        setSize(element.w, element.h);
        qCDebug(lcItems) << "Pic Set";
    } else {
        qCDebug(lcItems) << "Pic out of range!";
    }

    setToolTip(m_record.pageId);
    qCDebug(lcItems) << "Load File:" << m_record.imageActive;
    loadPicture(m_record.imageActive);
    refreshProperties();
}

ItemElement Item::element() const
{
    ItemElement e;
    e.type = ItemKind::typeName(kind());
    e.x = truncated(x());
    e.y = truncated(y());
    e.w = m_width;
    e.h = m_height;
    e.record = m_record;
    return e;
}

void Item::saveToXml(QDomDocument &document, QDomElement &element, QStringList &fileList) const
{
    this->element().save(document, element, fileList);
}

void Item::setFrameFactory(FrameFactory factory)
{
    frameFactory = factory;
}

QWidget *Item::showProperties()
{
    if (!m_frame && frameFactory)
        m_frame = frameFactory(this);
    if (m_frame)
        m_frame->show();
    return m_frame;
}

void Item::hideProperties()
{
    // Every item's frame is hidden on every change of selection: one already
    // hidden on purpose stays so without the round through the widget.
    if (m_frame && !(m_frame->isHidden() && m_frame->testAttribute(Qt::WA_WState_ExplicitShowHide)))
        m_frame->hide();
}

void Item::refreshProperties()
{
    renderRecord();
    emit propertiesRefreshed();
}

QString Item::portCaption(const QString &port) const
{
    Q_UNUSED(port)
    return QStringLiteral("NOT IN CONTROL");
}

QVariant Item::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionHasChanged || change == ItemScaleHasChanged || change == ItemTransformHasChanged)
        emit placementChanged();
    return QGraphicsItem::itemChange(change, value);
}

void Item::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsItem::mouseMoveEvent(event);
    emit itemMoved(this);
    refreshProperties();
    if (!pressesOnRelease)
        return;
    // A finger that slides off an item has changed its mind: it does not
    // act, even if it comes back.
    QList<QPointer<Item>> acting{this};
    acting += m_beneath;
    for (const QPointer<Item> &item : std::as_const(acting)) {
        if (item && item->isPressed() && !item->boundingRect().contains(item->mapFromScene(event->scenePos())))
            item->setPressed(false);
    }
}

void Item::emitPress()
{
    if (!m_record.port.isEmpty())
        emit changePort(m_record.port);
    if (!m_record.pageId.isEmpty())
        emit changePort(QStringLiteral("PAGE_") + m_record.pageId);
}

void Item::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (!pressesOnRelease) {
        emitPress();
        QGraphicsItem::mousePressEvent(event);
        return;
    }
    QGraphicsItem::mousePressEvent(event);
    if (!reactsToPress() || !scene())
        return; // refused by a locked item: the items beneath are offered it
    // Taken, so that the move and the lift come here. A locked item refuses
    // a press, which then reaches the items beneath it as well: those act
    // with this one, down to the first that takes presses itself.
    event->accept();
    disarm();
    const QList<QGraphicsItem *> under = scene()->items(event->scenePos());
    bool below = false;
    for (QGraphicsItem *graphicsItem : under) {
        if (graphicsItem == this) {
            below = true;
            continue;
        }
        Item *item = below ? fromGraphicsItem(graphicsItem) : nullptr;
        if (!item || !item->isEnabled())
            continue;
        if (item->reactsToPress())
            m_beneath << item;
        if (item->flags() & (ItemIsMovable | ItemIsSelectable))
            break;
    }
    setPressed(true);
    for (Item *item : std::as_const(m_beneath))
        item->setPressed(true);
}

void Item::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsItem::mouseReleaseEvent(event);
    if (!pressesOnRelease)
        return;
    QList<QPointer<Item>> acting;
    for (const QPointer<Item> &item : QList<QPointer<Item>>{this} + m_beneath) {
        if (item && item->isPressed() && item->boundingRect().contains(item->mapFromScene(event->scenePos())))
            acting << item;
    }
    disarm();
    // Top to bottom, as a press would.
    for (const QPointer<Item> &item : std::as_const(acting)) {
        if (item)
            item->emitPress();
    }
}

bool Item::sceneEvent(QEvent *event)
{
    if (event->type() == QEvent::UngrabMouse)
        disarm();
    return QGraphicsItem::sceneEvent(event);
}

void Item::disarm()
{
    setPressed(false);
    for (const QPointer<Item> &item : std::as_const(m_beneath)) {
        if (item)
            item->setPressed(false);
    }
    m_beneath.clear();
}

void Item::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    Q_UNUSED(event)
    qCDebug(lcItems) << "DOPPELKLICK!";
}
