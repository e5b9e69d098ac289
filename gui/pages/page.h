#ifndef PAGE_H
#define PAGE_H

#include <QDomNode>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "gui/pages/graphicsscene.h"
#include "gui/pages/graphicsview.h"
#include "gui/pages/pagebackground.h"
#include "gui/pages/pendingitems.h"
#include "gui/pages/portindex.h"
#include "core/project/itemelement.h"

#include <functional>

class Item;
class QKeyEvent;
class TextBudget;

// One screen of a project: a view on a scene that holds the page's items.
// The page creates its items (by kind number or from an item element), keeps
// them inside the scene, hands port values to them and offers a small editor
// (keys, clipboard) for the selected ones.
//
// A loaded page may be given its item elements to build when it is first
// shown: a project's pages then cost nothing until they are looked at.
class Page : public QWidget
{
    Q_OBJECT
public:
    Page(QList<Item *> *list, QList<Page *> *pages, QWidget *parent = nullptr);
    ~Page() override;

    // Seeds the generator of new pages' identifiers (16 of A-Z, 0-9).
    static void seedIds(quint32 seed);

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
    // The items bound to `key`, from the same index.
    QList<Item *> boundItems(const QString &key) const;
    // Every state key an item of the page is bound to, built or not yet;
    // portBound() tells of keys bound later.
    QStringList boundKeys() const;
    // The newest value reported for a key, false for a key never reported:
    // a page built late takes its bound keys' values from here.
    using ValueSource = std::function<bool(const QString &key, double *value)>;
    void setValueSource(ValueSource source);
    void lockItems();
    void setControlMode();
    void clearSelection();
    void keepInside(Item *item);

    // The page's items in the order they were created.
    const QList<Item *> &items() const { return m_items; }

    // Item elements to build the page from when it is first shown (or
    // ensureBuilt() is called): the items are created, the page is locked
    // for operation and its bound keys take their reported values.
    // The elements' picture names must be resolved already.
    void setPendingItems(const QList<ItemElement> &elements);
    bool isBuilt() const { return !m_pending.isPending(); }
    void ensureBuilt();
    void setVisible(bool visible) override;

    // A new item of a kind number (ItemKind), null for any other number.
    Item *createItem(int kind);
    Item *createItemFromXml(const QDomNode &element);
    // The same from an element read before, picture names resolved.
    Item *createItemFromElement(const ItemElement &element);

    // The selected items to the clipboard; with none selected the clipboard
    // keeps what it holds.
    void copyItems();
    void pasteItems();
    void deleteItems();
    void moveItems(int dy, int dx);
    // The editing keys (copy, cut, paste, delete, move); on unless a locked
    // wall panel turns them off, where a keyboard plugged in must not paste
    // a button bound to any output.
    void setEditingKeys(bool on) { m_editingKeys = on; }

    GraphicsScene *scene() const { return m_scene; }
    GraphicsView *view() { return &m_view; }

signals:
    void selected(Item *itm);
    // An item made from the pending elements when the page was built.
    void itemBuilt(Item *item);
    // An item of the page is bound to `key`, or will be when the page is
    // built; said again for keys bound before.
    void portBound(const QString &key);

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
    // Re-files `item` under its current port; an item announces a new port.
    void reindexItem(Item *item);
    QList<Item *> selectedPageItems() const;
    void forget(QObject *item);
    void build();

    GraphicsScene *m_scene;
    GraphicsView m_view;
    TextBudget *m_textBudget; // the scene's

    QList<Item *> *m_list;
    QList<Page *> *m_pages;
    QString m_name;
    QString m_id;
    PageBackground m_background;

    QList<Item *> m_items;
    PortIndex m_portIndex;
    QHash<QObject *, Item *> m_itemOf;
    int m_creating = 0;
    // Every item lies inside the scene: an item that announces a change of
    // its own (a new picture or text, a new size) then only needs itself
    // clamped. Any change of position or scale, and a new scene rectangle,
    // clear it, so a move clamps every item again.
    bool m_allInside = false;

    PendingItems m_pending;
    ValueSource m_valueSource;
    bool m_editingKeys = true;
};

#endif // PAGE_H
