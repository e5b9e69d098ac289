#include "items/item.h"

#include "editors/frameupdater.h"
#include "storage/picturecache.h"
#include "storage/projectdirectory.h"

#include <QDebug>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QLoggingCategory>
#include <QPainter>

namespace {
const QString noIcon = QStringLiteral(":/images/noicon");
const QString textFamily = QStringLiteral("Prototype");

// Debug lines are formatted before the filter drops them: skip that work
// on paths every item of a project goes through.
bool debugEnabled()
{
    const QLoggingCategory *category = QLoggingCategory::defaultCategory();
    return !category || category->isDebugEnabled();
}

// Measuring a text shapes it; a project shows the same few texts in the same
// few styles on many items. GUI thread only, like the pictures.
QRect measuredText(const QFont &font, int size, bool bold, bool italic, const QString &text)
{
    static QHash<QString, QRect> measured;
    const QString key = QString::number(size) + QLatin1Char(bold ? 'b' : 'n') + QLatin1Char(italic ? 'i' : 'n')
            + QLatin1Char('_') + text;
    auto it = measured.constFind(key);
    if (it == measured.constEnd())
        it = measured.insert(key, QFontMetrics(font).boundingRect(text));
    return it.value();
}
}

Item::Item(QList<Item *> *pageList, QList<Page *> *pages)
    : picture(PictureCache::picture(noIcon))
    , pageList(pageList)
    , pages(pages)
{
    notifyChanged();
    setFlag(ItemIsMovable, true);
    setFlag(ItemIsFocusable, true);
    setFlag(ItemIsSelectable, true);
    setAcceptHoverEvents(true);
}

Item::~Item()
{
    if (frame) {
        frame->hide();
        delete frame;
        frame = nullptr;
    }
}

ItemState Item::stateForValue(double value)
{
    return value == 0.0 ? StateInactive : StateActive;
}

void Item::setValue(double value)
{
    Q_UNUSED(value)
}

void Item::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    Q_UNUSED(option)
    Q_UNUSED(widget)
    if (picture && !picture->isNull())
        painter->drawPixmap(boundingRect().toRect(), *picture);
}

QRectF Item::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void Item::SetPos(int x, int y)
{
    if (debugEnabled())
        qDebug() << "SetPos" << x << y;
    setPos(x, y);
    emit itemMoved(this);
}

void Item::setSize(int w, int h)
{
    prepareGeometryChange();
    width = qMax(1, w);
    height = qMax(1, h);
    notifyChanged();
}

void Item::notifyChanged()
{
    update(boundingRect());
    emit itemMoved(this);
}

void Item::loadPicture(const QString &name)
{
    const QString projectPath = projectDirectory() + QStringLiteral("/icons/project/") + name;
    const QString scaledKey = name + QLatin1Char('$') + QString::number(width) + QLatin1Char('x')
            + QString::number(height);

    if (PictureCache::contains(scaledKey)) {
        picture = PictureCache::picture(scaledKey);
    } else {
        if (QFileInfo::exists(projectPath))
            picture = PictureCache::picture(projectPath);
        else if (!name.isEmpty() && QFileInfo::exists(name))
            picture = PictureCache::picture(name);
        else
            picture = PictureCache::picture(noIcon);

        if (picture->width() != width || picture->height() != height) {
            auto *scaled = new QPixmap(width, height);
            scaled->fill(Qt::transparent);
            if (!picture->isNull()) {
                QPainter painter(scaled);
                painter.drawPixmap(0, 0, picture->scaled(width, height, Qt::IgnoreAspectRatio,
                                                         Qt::SmoothTransformation));
            }
            PictureCache::insert(scaled, scaledKey);
            picture = scaled;
        }
    }
    notifyChanged();
}

void Item::createText(const QString &newText, bool bold, bool italic, int fontSize, int color)
{
    if (newText.isEmpty())
        return;

    const int size = qMax(5, fontSize);
    textPixelSize = size;

    QFont font(textFamily, size);
    font.setWeight(bold ? 100 : 0);
    font.setItalic(italic);
    font.setPixelSize(size);

    const QString colorName = QLatin1Char('#') + QString::asprintf("%.6X", color);
    const QColor penColor(colorName);

    const QRect bounds = measuredText(font, size, bold, italic, newText);
    const int lineHeight = qMax(1, bounds.height());
    const int pictureWidth = qMax(1, bounds.width() + 5);

    // Everything that changes the rendering is part of the key, so a red
    // alarm text is never served from the white rendering of the same text.
    const QString key = QStringLiteral("QLXTEXT_") + QString::number(lineHeight) + QLatin1Char('_')
            + QString::number(size) + QLatin1Char('_') + QString::number(font.weight())
            + (italic ? QLatin1String("_i_") : QLatin1String("_n_")) + colorName.mid(1)
            + QLatin1Char('_') + font.family() + QLatin1Char('_')
            + QString::fromLatin1(newText.toUtf8().toHex());

    prepareGeometryChange();
    if (PictureCache::contains(key)) {
        picture = PictureCache::picture(key);
    } else {
        qInfo().noquote() << "Create Text" << key << newText;
        auto *rendering = new QPixmap(pictureWidth, lineHeight);
        rendering->fill(Qt::transparent);
        QPainter painter(rendering);
        painter.setFont(font);
        painter.setPen(penColor);
        painter.drawText(0, int(lineHeight * 0.75), newText);
        painter.end();
        PictureCache::insert(rendering, key);
        picture = rendering;
    }
    // Kept in step with the picture on a cache hit too, so `text` always
    // names what is shown.
    text = newText;
    width = picture->width();
    height = picture->height();
    notifyChanged();
}

void Item::loadFromXml(const QDomNode &element)
{
    if (frame)
        frame->load(element);
}

void Item::saveToXml(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    if (frame)
        frame->save(document, element, fileList);
}

void Item::hideProperties()
{
    // Every item's frame is hidden on every change of selection: one already
    // hidden on purpose stays so without the round through the widget.
    if (frame && !(frame->isHidden() && frame->testAttribute(Qt::WA_WState_ExplicitShowHide)))
        frame->hide();
}

void Item::refreshProperties()
{
    if (frame)
        frame->refresh();
}

QString Item::portCaption(const QString &port) const
{
    Q_UNUSED(port)
    return QStringLiteral("NOT IN CONTROL");
}

void Item::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsItem::mouseMoveEvent(event);
    emit itemMoved(this);
    refreshProperties();
}

void Item::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (frame) {
        if (!frame->port.isEmpty())
            emit changePort(frame->port);
        if (!frame->pageId.isEmpty())
            emit changePort(QStringLiteral("PAGE_") + frame->pageId);
    }
    QGraphicsItem::mousePressEvent(event);
}

void Item::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    Q_UNUSED(event)
    qDebug() << "DOPPELKLICK!";
}
