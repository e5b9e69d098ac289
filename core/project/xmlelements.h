#ifndef XMLELEMENTS_H
#define XMLELEMENTS_H

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QDomNodeList>
#include <QString>

// Element helpers shared by every reader and writer of the project's XML.

// The first node of the list that is an element named exactly `tag`; a null
// element when there is none.
QDomElement childElement(const QDomNodeList &nodes, const QString &tag);

// Appends a new element `tag` to `parent`. A null `text` leaves the element
// without a child; an empty but not null one gives it an empty text node.
QDomElement appendElement(QDomDocument doc, QDomNode parent, const QString &tag, const QString &text);

// appendElement() with `value` in decimal.
QDomElement appendIntElement(QDomDocument doc, QDomNode parent, const QString &tag, int value);

#endif // XMLELEMENTS_H
