#include "core/project/xmlelements.h"

QDomElement childElement(const QDomNodeList &nodes, const QString &tag)
{
    for (int i = 0; i < nodes.count(); ++i) {
        const QDomNode node = nodes.at(i);
        if (node.isElement() && node.toElement().tagName() == tag)
            return node.toElement();
    }
    return QDomElement();
}

QDomElement appendElement(QDomDocument doc, QDomNode parent, const QString &tag, const QString &text)
{
    QDomElement element = doc.createElement(tag);
    parent.appendChild(element);
    if (!text.isNull())
        element.appendChild(doc.createTextNode(text));
    return element;
}

QDomElement appendIntElement(QDomDocument doc, QDomNode parent, const QString &tag, int value)
{
    return appendElement(doc, parent, tag, QString::number(value));
}
