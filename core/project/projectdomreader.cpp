#include "core/project/projectdomreader.h"

#include "core/project/projectreader.h"
#include "core/project/xmlelements.h"

#include <QDomDocument>

bool ProjectDomReader::read(const QByteArray &document, ProjectReader *result)
{
    *result = ProjectReader();
    QDomDocument dom(QStringLiteral("QalixPlusDesignerFile"));
    QString error;
    int line = 0;
    int column = 0;
    if (!dom.setContent(document, &error, &line, &column)) {
        result->m_error = QStringLiteral("%1 (line %2, column %3)").arg(error).arg(line).arg(column);
        return false;
    }
    const QDomElement root = dom.documentElement();
    const QDomNodeList top = root.childNodes();
    result->m_pageX = ItemRecord::parseInt(childElement(top, QStringLiteral("pagex")).text());
    result->m_pageY = ItemRecord::parseInt(childElement(top, QStringLiteral("pagey")).text());

    const QDomElement connections = childElement(top, QStringLiteral("Connections"));
    if (connections.firstChild().isElement()) {
        const QDomNodeList fields = connections.childNodes();
        ProjectReader::Connection &c = result->m_connection;
        c.host = childElement(fields, QStringLiteral("host")).text();
        c.password = childElement(fields, QStringLiteral("password")).text();
        c.port = ItemRecord::parseInt(childElement(fields, QStringLiteral("port")).text());
        c.username = childElement(fields, QStringLiteral("username")).text();
    }

    const QDomNodeList pages = childElement(top, QStringLiteral("Pages")).childNodes();
    result->m_pageNodes = pages.count();
    for (int i = 0; i < pages.count(); ++i) {
        if (!pages.at(i).isElement())
            continue;
        const QDomNodeList fields = pages.at(i).childNodes();
        ProjectReader::PageRecord page;
        page.node = i;
        page.name = childElement(fields, QStringLiteral("name")).text();
        page.id = childElement(fields, QStringLiteral("id")).text();
        page.background = childElement(fields, QStringLiteral("background")).text();
        const QDomElement components = childElement(fields, QStringLiteral("components"));
        // Nodes that are no element make no item.
        for (QDomNode item = components.firstChild(); !item.isNull(); item = item.nextSibling()) {
            if (item.isElement())
                page.items.append(ItemElement::fromNode(item));
        }
        result->m_pages.append(page);
    }
    return true;
}
