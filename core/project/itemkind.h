#ifndef ITEMKIND_H
#define ITEMKIND_H

#include <QString>

// The table of item kinds: the number a page's factory knows a kind by, the
// "type" text its item element carries and the graphics-item type its items
// report. The GUI's factory adds the constructors (ItemFactory), indexed by
// the same numbers.
class ItemKind
{
public:
    enum Number {
        PageChange = 0,
        Picture,
        StatePicture,
        Button,
        StateButton,
        Text,
        StateText,
        ADCText,
        Count,
        // Written by old designers; no kind of this system stands for it.
        Link = Count
    };

    // QGraphicsItem::UserType, which this library may not include.
    static constexpr int graphicsUserType = 65536;
    // Kinds report graphicsUserType + 1 + their number.
    static constexpr int graphicsType(int kind) { return graphicsUserType + 1 + kind; }
    // The kind of a graphics-item type, -1 for a type no kind reports.
    static int fromGraphicsType(int type);

    // The "type" text of a kind; empty for a number that names no kind.
    static QString typeName(int kind);
    // The kind a "type" text selects (case-sensitive): 0 to 7, Link (8) for
    // "Link", -1 for anything else.
    static int fromTypeName(const QString &type);

private:
    ItemKind() = delete;
};

#endif // ITEMKIND_H
