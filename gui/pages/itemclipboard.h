#ifndef ITEMCLIPBOARD_H
#define ITEMCLIPBOARD_H

#include <QDomDocument>
#include <QList>
#include <QString>

class Item;

// The page editor's clipboard text: the items in a fragment of their own
// root, so XML of any other origin is never taken for a list of items.
class ItemClipboard
{
public:
    static QString write(const QList<Item *> &items);
    // True when `text` is such a fragment; `document` then holds it, one
    // child of its root per item.
    static bool read(const QString &text, QDomDocument *document);
};

#endif // ITEMCLIPBOARD_H
