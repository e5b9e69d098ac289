#include "gui/pages/itemclipboard.h"

#include "gui/logging/guilogcategories.h"
#include "core/project/xmlelements.h"
#include "gui/items/item.h"

#include <QDomElement>
#include <QStringList>

namespace {
const char fragmentRoot[] = "QalixPlusDesignerProject";
} // namespace

QString ItemClipboard::write(const QList<Item *> &items)
{
    QDomDocument document;
    QDomElement root = document.createElement(QLatin1String(fragmentRoot));
    document.appendChild(root);
    QStringList files;
    for (Item *item : items) {
        QDomElement element = appendElement(document, root, QStringLiteral("item"), QString());
        item->saveToXml(document, element, files);
    }
    return document.toString(1);
}

bool ItemClipboard::read(const QString &text, QDomDocument *document)
{
    if (!document->setContent(text))
        return false;
    const QString tag = document->documentElement().tagName();
    if (tag != QLatin1String(fragmentRoot)) {
        qCDebug(lcPages) << "Paste ignored, not an item fragment:" << tag;
        return false;
    }
    return true;
}
