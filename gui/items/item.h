#ifndef ITEM_H
#define ITEM_H

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QGraphicsItem>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include "core/project/itemelement.h"
#include "core/project/itemkind.h"
#include "core/project/itemrecord.h"

class Page;
class TextBudget;

// One graphic element of a page: a rectangle that shows one picture
// stretched over it. The item holds its property record (what a designer
// sets) and renders from it; its kinds decide how a reported value changes
// the look. An editor form for the record is made only when the properties
// are first shown, by whatever registered a frame factory.
class Item : public QObject, public QGraphicsItem
{
    Q_OBJECT
    Q_INTERFACES(QGraphicsItem)

public:
    Item(QList<Item *> *pageList, QList<Page *> *pages);
    ~Item() override;

    // The kind's number (ItemKind), -1 for the base.
    virtual int kind() const { return -1; }
    // The kind's graphics-item type, so qgraphicsitem_cast finds each kind.
    int type() const override;
    // The item behind a graphics item of any kind; null for other items.
    static Item *fromGraphicsItem(QGraphicsItem *graphicsItem);

    static ItemState stateForValue(double value) { return ItemRecord::stateForValue(value); }

    const ItemRecord &record() const { return m_record; }
    // Takes a new record. Renders nothing: refreshProperties() does, once the
    // caller has made all its changes.
    void setRecord(const ItemRecord &record);

    virtual void setValue(double value);
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    QRectF boundingRect() const override;
    virtual void SetPos(int x, int y);

    void setSize(int w, int h);
    void notifyChanged();
    void loadPicture(const QString &name);
    // The cache key of picture `name` scaled to an item's size.
    static QString scaledKey(const QString &name, int width, int height);
    // The file or resource loadPicture() decodes for a picture name: the
    // project's icon of that name, else the name itself if it exists, else
    // the no-icon picture.
    static QString pictureSource(const QString &name);
    // Renders `text` in one line. The picture is at most maxTextWidth wide
    // and twice the font's height high; what lies beyond is clipped.
    void createText(const QString &text, bool bold, bool italic, int fontSize, int color);
    static constexpr int maxTextWidth = 8192;

    // Reads an item element. The item must already lie on a scene: only a
    // rectangle inside the scene's takes the element's position and size.
    void loadFromXml(const QDomNode &element);
    // The same from an element read before, whose picture names are resolved.
    void applyElement(const ItemElement &element);
    // Whether an item made from `element` takes its position and size in
    // a scene of `sceneRect`; otherwise it keeps where and how large it was
    // made.
    static bool takesPlace(const ItemElement &element, const QRectF &sceneRect);
    // What saveToXml writes: position cut toward zero, size, record, type.
    ItemElement element() const;
    void saveToXml(QDomDocument &document, QDomElement &element, QStringList &fileList) const;

    // The property frame: made by the registered factory on the first show,
    // then kept until the item goes. None is made without a factory.
    using FrameFactory = QWidget *(*)(Item *item);
    static void setFrameFactory(FrameFactory factory);
    QWidget *showProperties();
    QWidget *propertyFrame() const { return m_frame; }
    void hideProperties();
    // Lets the kind re-read its record (the text kinds render their text),
    // then tells a frame, if there is one.
    void refreshProperties();
    QString portCaption(const QString &port) const;

    QPixmap picture() const { return m_picture; }
    // The text whose rendering the picture shows (text kinds).
    QString text() const { return m_text; }
    double lastValue() const { return m_lastValue; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int textPixelSize() const { return m_textPixelSize; }
    // The value shown may be old (no connection to the message server): the
    // picture is drawn greyed and hatched.
    bool isStale() const { return m_stale; }
    void setStale(bool stale);

    // With presses on release (-touch, for the whole process): a press acts
    // when the finger lifts inside the item and not when it leaves the item
    // first, and the item shows that it is pressed while the finger is on
    // it. Off, a press acts when it begins, as ever.
    static void setPressOnRelease(bool on);
    static bool pressOnRelease();
    bool isPressed() const { return m_pressed; }
    // A press sent for the item's port has had no answer from the server:
    // the item is marked ("keine Rückmeldung") until a report comes.
    bool isAwaitingAnswer() const { return m_noAnswer; }
    void setAwaitingAnswer(bool waiting);
    // Whether a press on the item asks for anything: a port or a page.
    bool reactsToPress() const { return !m_record.port.isEmpty() || !m_record.pageId.isEmpty(); }
    // Set by the page once the project is loaded.
    bool isLoaded() const { return m_loaded; }
    void setLoaded(bool loaded) { m_loaded = loaded; }
    QList<Page *> *pages() const { return m_pages; }
    QList<Item *> *pageList() const { return m_pageList; }

signals:
    void itemMoved(Item *item);
    void changePort(QString portName);
    // The record's port changed: whoever files items by port files it anew.
    void portRebound(Item *item);
    // After every refreshProperties(), for a frame to show the record.
    void propertiesRefreshed();
    // The position or scale changed, by whatever means (a drag moves every
    // selected item, announcing only the one under the pointer).
    void placementChanged();

protected:
    // The kind's re-reading of its record; the base does nothing.
    virtual void renderRecord() { }
    // Kinds set their defaults and their look through these.
    ItemRecord &recordForKind() { return m_record; }
    void setPicture(const QPixmap &picture) { m_picture = picture; }
    void setText(const QString &text) { m_text = text; }
    // Shows `text` in the record's font, unless it is shown already.
    void showText(const QString &text);
    void setLastValue(double value) { m_lastValue = value; }

    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    bool sceneEvent(QEvent *event) override;

private:
    // changePort for the port, then for the page, as far as the record has them.
    void emitPress();
    void setPressed(bool pressed);
    // The press ends without acting (the lift elsewhere, the grab lost).
    void disarm();

    ItemRecord m_record;
    QPointer<QWidget> m_frame;
    QPixmap m_picture;
    QString m_text;
    double m_lastValue = -99999999.0;
    QList<Item *> *m_pageList = nullptr;
    QList<Page *> *m_pages = nullptr;
    int m_width = 50;
    int m_height = 50;
    int m_textPixelSize = 10;
    bool m_loaded = false;
    bool m_stale = false;
    bool m_pressed = false;
    bool m_noAnswer = false;
    // The items beneath that a press taken here acts on too.
    QList<QPointer<Item>> m_beneath;
    // The page's budget the text shown is charged to.
    QPointer<TextBudget> m_budget;
};

#endif // ITEM_H
