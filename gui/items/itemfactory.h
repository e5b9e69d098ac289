#ifndef ITEMFACTORY_H
#define ITEMFACTORY_H

#include <QList>

class Item;
class Page;

// Makes an item of a kind number (ItemKind); the constructors complete the
// kind table that ItemKind holds for the core.
class ItemFactory
{
public:
    // A new item of `kind`, or null for a number that names no kind.
    static Item *create(int kind, QList<Item *> *pageList, QList<Page *> *pages);

private:
    ItemFactory() = delete;
};

#endif // ITEMFACTORY_H
