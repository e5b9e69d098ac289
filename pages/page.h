#ifndef PAGE_H
#define PAGE_H

#include <QDomNode>
#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

#include "pages/graphicsscene.h"
#include "pages/graphicsview.h"

class Item;
class QKeyEvent;

// One screen of a project: a view on a scene that holds the page's items.
// The page creates its items (by kind number or from an item element), keeps
// them inside the scene, hands port values to them and offers a small editor
// (keys, clipboard) for the selected ones.
class Page : public QWidget
{
    Q_OBJECT
public:
    // Kind numbers of the factory.
    enum Kind {
        KindPageChange = 0,
        KindPicture,
        KindStatePicture,
        KindButton,
        KindStateButton,
        KindText,
        KindStateText,
        KindADCText,
        KindLink // written by old designers; the page knows no such item
    };

    Page(QList<Item *> *list, QList<Page *> *pages, QWidget *parent = nullptr);
    ~Page() override;

    QString name() const;
    void setName(const QString &name);
    QString id() const;
    void setId(const QString &id);
    QString background() const;
    bool projectBackground() const;

    void setPageSize(double scale, int w, int h);
    void setScale(double factor);
    void rescale(double scale);
    void setBackground(const QString &name);

    // Every item bound to `key` (case-sensitive) gets `value`. Looks the
    // items up in an index by state key, so the cost follows the number of
    // items bound to the key, not the number of items on the page.
    void setPortValue(const QString &key, double value);
    // Re-files `item` under its current port. The page's own operations keep
    // the index current; code that changes an item's port otherwise calls this.
    void reindexItem(Item *item);

    void lockItems();
    void setControlMode();
    void clearSelection();
    void keepInside(Item *item);

    // The page's items in the order they were created.
    const QList<Item *> &items() const { return m_items; }

    Item *createItem(int kind);
    Item *createItemFromXml(const QDomNode &element);
    static int kindForType(const QString &type);

    void copyItems();
    void pasteItems();
    void deleteItems();
    void moveItems(int dy, int dx);

    GraphicsScene *scene;
    GraphicsView view;

signals:
    void selected(Item *itm);

public slots:
    void keyPressed(QKeyEvent *event);
    void selectionChanged();
    void itemMoved(Item *itm);
    void deleteItem();
    void copyItem();
    void pasteItem();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QList<Item *> selectedPageItems() const;
    void forget(QObject *item);
    // Takes the item out of the bucket of the port it was filed under.
    void unindex(QObject *object, Item *item);
    void applyBackgroundBrush(const QString &path);

    QList<Item *> *list;
    QList<Page *> *pages;
    QString m_name;
    QString m_id;
    QString m_background;
    bool m_projectBackground = false;

    QList<Item *> m_items;
    QHash<QString, QList<Item *>> m_portIndex;
    QHash<QObject *, QString> m_indexedPort;
    QHash<QObject *, Item *> m_itemOf;
    int m_creating = 0;

    // The last scaled background, so repeated rescales at one size cost nothing.
    qint64 m_brushSourceKey = 0;
    QSize m_brushSize;
};

#endif // PAGE_H
