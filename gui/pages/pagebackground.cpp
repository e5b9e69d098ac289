#include "gui/pages/pagebackground.h"

#include "gui/pictures/picturecache.h"

#include <QBrush>
#include <QCoreApplication>
#include <QFile>
#include <QGraphicsScene>
#include <QPixmap>

QString PageBackground::path(const QString &name)
{
    // The doubled separator is how pictures are named in the cache everywhere.
    return QCoreApplication::applicationDirPath() + QLatin1String("/projects/") + QLatin1String("/background/project/")
        + name;
}

void PageBackground::set(QGraphicsScene *scene, const QString &name)
{
    apply(scene, path(name));
    m_fromProject = name.startsWith(QLatin1String("project/"));
    m_name = name;
    m_name.remove(QStringLiteral("project/"));
}

void PageBackground::refit(QGraphicsScene *scene)
{
    if (m_name.isEmpty())
        return;
    const QString file = path(m_name);
    if (QFile::exists(file))
        apply(scene, file);
}

void PageBackground::apply(QGraphicsScene *scene, const QString &path)
{
    const QPixmap source = PictureCache::picture(path);
    const QRectF rect = scene->sceneRect();
    const QSize size(qRound(rect.width()), qRound(rect.height()));
    if (source.isNull()) {
        scene->setBackgroundBrush(QBrush());
        m_sourceKey = 0;
        return;
    }
    if (source.cacheKey() == m_sourceKey && size == m_size)
        return;
    scene->setBackgroundBrush(QBrush(source.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    m_sourceKey = source.cacheKey();
    m_size = size;
}
