#include "pagetesthelper.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include "storage/xmlelements.h"

QDomElement ElementSpec::build(QDomDocument &document, const QString &tag) const
{
    QDomElement element = document.createElement(tag);
    appendIntElement(document, element, QStringLiteral("x"), x);
    appendIntElement(document, element, QStringLiteral("y"), y);
    appendIntElement(document, element, QStringLiteral("w"), w);
    appendIntElement(document, element, QStringLiteral("h"), h);
    appendElement(document, element, QStringLiteral("font_size"), QStringLiteral("12"));
    appendElement(document, element, QStringLiteral("digits"), QStringLiteral("2"));
    appendElement(document, element, QStringLiteral("text_color"), QStringLiteral("16777215"));
    appendElement(document, element, QStringLiteral("page_id"), pageId);
    appendElement(document, element, QStringLiteral("port"), port);
    for (auto it = extra.constBegin(); it != extra.constEnd(); ++it)
        appendElement(document, element, it.key(), it.value());
    if (!type.isNull())
        appendElement(document, element, QStringLiteral("type"), type);
    return element;
}

bool writePicture(const QString &path, int w, int h, unsigned rgb)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(rgb);
    return image.save(path, "PNG");
}
