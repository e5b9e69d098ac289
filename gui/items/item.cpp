#include "gui/items/item.h"
#include "core/startup/logcategories.h"

#include "gui/storage/picturecache.h"
#include "core/storage/projectdirectory.h"

#include <QDebug>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QCache>
#include <QPainter>
#include <QWidget>

#include <limits>

static_assert(ItemKind::graphicsUserType == QGraphicsItem::UserType, "kinds report user types");

namespace {
const QString noIcon = QStringLiteral(":/images/noicon");
const QString textFamily = QStringLiteral("Prototype");

Item::FrameFactory frameFactory = nullptr;

// Cuts a scene coordinate toward zero into the int range.
int truncated(qreal value)
{
    if (!(value == value))
        return 0;
    return int(qBound<qreal>(std::numeric_limits<int>::min(), value, std::numeric_limits<int>::max()));
}

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

// Measuring a text shapes it; a project shows the same few texts in the same
// few styles on many items. Every analogue value never shown before is a new
// text, so the least recently measured go beyond 1 MiB of keys. GUI thread
// only, like the pictures.
QRect measuredText(const QFont &font, int size, bool bold, bool italic, const QString &text)
{
    static QCache<QString, QRect> measured(1024 * 1024);
    const QString key = QString::number(size) + QLatin1Char(bold ? 'b' : 'n') + QLatin1Char(italic ? 'i' : 'n')
            + QLatin1Char('_') + text;
    if (const QRect *found = measured.object(key))
        return *found;
    const QRect bounds = QFontMetrics(font).boundingRect(text);
    measured.insert(key, new QRect(bounds), int(qMin<qint64>(qint64(key.size()) * 2 + 96, 1024 * 1024)));
    return bounds;
}
}

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

void Item::loadPicture(const QString &name)
{
    const QString scaledKey = name + QLatin1Char('$') + QString::number(m_width) + QLatin1Char('x')
            + QString::number(m_height);

    QPixmap chosen;
    if (!PictureCache::find(scaledKey, &chosen)) {
        chosen = PictureCache::picture(pictureSource(name));

        if (chosen.width() != m_width || chosen.height() != m_height) {
            // The scaled copy covers the whole picture, so it is the picture;
            // nothing to scale gives a blank one.
            if (chosen.isNull()) {
                chosen = QPixmap(m_width, m_height);
                chosen.fill(Qt::transparent);
            } else {
                chosen = chosen.scaled(m_width, m_height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            }
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
    const QString projectPath = projectDirectory() + QStringLiteral("/icons/project/") + name;
    if (QFileInfo::exists(projectPath))
        return projectPath;
    if (!name.isEmpty() && QFileInfo::exists(name))
        return name;
    return noIcon;
}

void Item::createText(const QString &newText, bool bold, bool italic, int fontSize, int color)
{
    if (newText.isEmpty())
        return;

    const int size = qMax(5, fontSize);
    m_textPixelSize = size;

    QFont font(textFamily, size);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 weighs on the OpenType scale, 1 to 1000, where Qt 5 had 0 to 99.
    font.setWeight(bold ? QFont::Weight(1000) : QFont::Thin);
#else
    font.setWeight(bold ? 100 : 0);
#endif
    font.setItalic(italic);
    font.setPixelSize(size);

    const QString colorName = QLatin1Char('#') + QString::asprintf("%.6X", color);

    // One line is drawn. Fallback fonts (emoji, CJK) make a line up to an
    // eighth taller than the font's own; a hostile text makes one 20 million
    // pixels wide, which no page shows and no memory holds.
    const QRect bounds = measuredText(font, size, bold, italic, newText);
    const int heightLimit = 2 * QFontMetrics(font).height();
    const int lineHeight = qBound(1, bounds.height(), heightLimit);
    const int pictureWidth = int(qBound(qint64(1), qint64(bounds.width()) + 5, qint64(maxTextWidth)));

    // Everything that changes the rendering is part of the key, so a red
    // alarm text is never served from the white rendering of the same text.
    const QString key = QStringLiteral("QLXTEXT_") + QString::number(lineHeight) + QLatin1Char('_')
            + QString::number(size) + QLatin1Char('_') + QString::number(font.weight())
            + (italic ? QLatin1String("_i_") : QLatin1String("_n_")) + colorName.mid(1)
            + QLatin1Char('_') + font.family() + QLatin1Char('_')
            + QString::fromLatin1(newText.toUtf8().toHex());

    prepareGeometryChange();
    QPixmap rendering;
    if (!PictureCache::find(key, &rendering)) {
        qInfo().noquote() << "Create Text" << key << newText;
        if (lineHeight < bounds.height() || pictureWidth < qint64(bounds.width()) + 5)
            qCDebug(lcItems) << "Text picture clipped to" << pictureWidth << "x" << lineHeight << "from"
                     << qint64(bounds.width()) + 5 << "x" << bounds.height() << "for" << newText.size()
                     << "characters";
        rendering = QPixmap(pictureWidth, lineHeight);
        rendering.fill(Qt::transparent);
        QPainter painter(&rendering);
        painter.setFont(font);
        painter.setPen(QColor(colorName));
        painter.drawText(0, int(lineHeight * 0.75), newText);
        painter.end();
        PictureCache::insert(rendering, key);
    }
    m_picture = rendering;
    // Kept in step with the picture on a cache hit too, so `text` always
    // names what is shown.
    m_text = newText;
    m_width = rendering.width();
    m_height = rendering.height();
    notifyChanged();
}

void Item::loadFromXml(const QDomNode &element)
{
    ItemElement read = ItemElement::fromNode(element);
    read.record.resolvePictures();
    applyElement(read);
}

void Item::applyElement(const ItemElement &element)
{
    qCDebug(lcItems) << "Activename: " << element.record.imageActive;
    setRecord(element.record);

    qCDebug(lcItems) << "Set Pic to " << element.x << element.y << element.w << element.h;
    // Only the right and bottom edges are held against the scene; an item
    // that would reach past them keeps where it was put when created.
    const QGraphicsScene *owner = scene();
    const QRectF sceneRect = owner ? owner->sceneRect() : QRectF();
    if (owner && qint64(element.x) + element.w <= sceneRect.width()
        && qint64(element.y) + element.h <= sceneRect.height()) {
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
}

void Item::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (!m_record.port.isEmpty())
        emit changePort(m_record.port);
    if (!m_record.pageId.isEmpty())
        emit changePort(QStringLiteral("PAGE_") + m_record.pageId);
    QGraphicsItem::mousePressEvent(event);
}

void Item::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    Q_UNUSED(event)
    qCDebug(lcItems) << "DOPPELKLICK!";
}
