#ifndef PAGETESTHELPER_H
#define PAGETESTHELPER_H

#include <QDomDocument>
#include <QDomElement>
#include <QMap>
#include <QString>

#include "pages/page.h"

// Builds item elements as the designer writes them, for the page tests.
struct ElementSpec
{
    explicit ElementSpec(const QString &type = QString(), int x = 10, int y = 10, int w = 50, int h = 50)
        : type(type), x(x), y(y), w(w), h(h)
    {
    }

    QString type;
    int x = 10;
    int y = 10;
    int w = 50;
    int h = 50;
    QString port;
    QString pageId;
    QMap<QString, QString> extra;

    QDomElement build(QDomDocument &document, const QString &tag = QStringLiteral("component")) const;
};

// Writes a small PNG of one colour, creating the folders on the way.
bool writePicture(const QString &path, int w, int h, unsigned rgb = 0xff8000);

// A page on the usual 800 x 600 scene at scale 1.
struct ScenePage : Page
{
    ScenePage(QList<Item *> *list, QList<Page *> *pages)
        : Page(list, pages)
    {
        setPageSize(1.0, 800, 600);
    }
};

#endif // PAGETESTHELPER_H
