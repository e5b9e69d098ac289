#ifndef ITEMELEMENT_H
#define ITEMELEMENT_H

#include "core/project/itemrecord.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

class QXmlStreamReader;
class QXmlStreamWriter;

// One item as the project document and the clipboard store it: an element
// with one child element per property. Holds what the element says: the
// kind's "type" text, position and size as written, and the property record.
class ItemElement
{
public:
    QString type;
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    ItemRecord record;

    // Reads the element that `reader` is positioned on (its start) up to and
    // including its end. Of several children of one name the first counts;
    // a child's value is its text as readText() gives it. Missing numbers
    // read as 0, missing texts as empty; "BASE64_" texts are decoded and
    // digits below 0 become 2. Picture names are kept as stored
    // (ItemRecord::resolvePictures). `sure` turns false when the element
    // holds what only a parsed document reads for certain (see readText).
    // `Reader` is QXmlStreamReader or XmlScanner.
    template<typename Reader>
    static ItemElement read(Reader &reader, bool *sure = nullptr);
    // The text of the element the reader is on, up to and with its end, as
    // a parsed document's text() gives it: a run of text between two pieces
    // of markup that is only white space (QChar::isSpace) is no text node
    // there and adds nothing. False when the element holds a CDATA section
    // or an entity reference, whose reading only the parsed document fixes.
    template<typename Reader>
    static bool readText(Reader &reader, QString *text);
    // The same from a node of a parsed document; a node that is no element
    // gives an element with empty type.
    static ItemElement fromNode(const QDomNode &node);

    // Appends the property children to `element`, ending with "type" when
    // the type is not empty; adds the project files the written picture
    // names refer to to `fileList`, each once.
    void save(QDomDocument &document, QDomElement &element, QStringList &fileList) const;
    // The same children through a stream writer, inside an element the
    // caller has started.
    void write(QXmlStreamWriter &writer, QStringList &fileList) const;

    // Where and how large an item can be drawn, in pixels: a position
    // within ±maxExtent, a size of at most maxExtent (twice the largest
    // page). Beyond, no page shows it and no picture of it can be made.
    static constexpr int maxExtent = 16384;
    // Brings position and size within maxExtent and the font size down to
    // the editor's top (ItemRecord::fontSizeMaximum); true when anything
    // changed.
    bool clampToDrawable();

    bool operator==(const ItemElement &other) const;
    bool operator!=(const ItemElement &other) const { return !(*this == other); }

private:
    enum Field {
        FieldX,
        FieldY,
        FieldW,
        FieldH,
        FieldImageActive,
        FieldImageInactive,
        FieldImageUnknown,
        FieldTextActive,
        FieldTextInactive,
        FieldTextError,
        FieldTextBold,
        FieldTextItalic,
        FieldTextColor,
        FieldFontSize,
        FieldDigits,
        FieldPageId,
        FieldPort,
        FieldType,
        FieldCount
    };
    // `Tag` is a string view of any kind (the readers' names differ).
    template<typename Tag>
    static int fieldOf(Tag tag);
    static ItemElement fromFields(const QString (&fields)[FieldCount]);
    // The written children as (tag, text) pairs, in the order they are written.
    QList<QPair<QString, QString>> children(QStringList &fileList) const;
};

#endif // ITEMELEMENT_H
