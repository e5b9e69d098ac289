#ifndef ITEM_H
#define ITEM_H

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QGraphicsItem>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>

class Page;
class FrameUpdater;

enum ItemState { StateActive = 0, StateError = 1, StateInactive = 2 };

// One graphic element of a page: a rectangle that shows one picture stretched
// over it. What a designer sets lives in the property record of `frame`;
// the item keeps only what drawing and live updates need.
class Item : public QObject, public QGraphicsItem
{
    Q_OBJECT
    Q_INTERFACES(QGraphicsItem)

public:
    enum { Type = UserType + 1 };

    Item(QList<Item *> *pageList, QList<Page *> *pages);
    ~Item() override;

    int type() const override { return Type; }

    // The state a reported value stands for: exactly 0.0 is inactive,
    // everything else (NaN included) active.
    static ItemState stateForValue(double value);

    virtual void setValue(double value);
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    QRectF boundingRect() const override;
    virtual void SetPos(int x, int y);

    void setSize(int w, int h);
    void notifyChanged();
    void loadPicture(const QString &name);
    void createText(const QString &text, bool bold, bool italic, int fontSize, int color);
    void loadFromXml(const QDomNode &element);
    void saveToXml(QDomDocument &document, QDomElement &element, QStringList &fileList);
    void hideProperties();
    void refreshProperties();
    QString portCaption(const QString &port) const;

    FrameUpdater *frame = nullptr;
    QPixmap *picture = nullptr;
    QString text;
    double lastValue = -99999999.0;
    QList<Item *> *pageList = nullptr;
    QList<Page *> *pages = nullptr;
    int width = 50;
    int height = 50;
    int textPixelSize = 10;
    bool loaded = false;

signals:
    void itemMoved(Item *item);
    void changePort(QString portName);

protected:
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
};

#endif // ITEM_H
