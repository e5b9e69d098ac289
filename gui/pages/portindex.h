#ifndef PORTINDEX_H
#define PORTINDEX_H

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class Item;
class QObject;

// A page's items by the state key they are bound to, so a reported value
// reaches its items without a walk over the page. Items are filed by their
// QObject address too: an item being destroyed is no longer an Item.
class PortIndex
{
public:
    // Files `item` under `port`, out of where it was filed before; an empty
    // port files it nowhere.
    void file(QObject *object, Item *item, const QString &port);
    // Takes the item out of the bucket of the port it was filed under.
    void remove(QObject *object, Item *item);

    QList<Item *> items(const QString &key) const { return m_items.value(key); }
    QStringList keys() const { return m_items.keys(); }

private:
    QHash<QString, QList<Item *>> m_items;
    QHash<QObject *, QString> m_portOf;
};

#endif // PORTINDEX_H
