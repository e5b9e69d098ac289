#include "gui/pages/pagebackground.h"

#include "gui/pictures/picturecache.h"
#include "core/project/picturenames.h"

#include <QBrush>
#include <QCoreApplication>
#include <QFile>
#include <QGraphicsScene>
#include <QPixmap>

#include <new>

QString PageBackground::path(const QString &name)
{
    // The doubled separator is how pictures are named in the cache everywhere.
    // Only a regular file below the folder: a name with ".." or a FIFO there
    // shows no background.
    return pictureFileIn(QCoreApplication::applicationDirPath() + QLatin1String("/projects/")
                             + QLatin1String("/background/project/"),
                         name);
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
    if (!file.isEmpty() && QFile::exists(file))
        apply(scene, file);
}

void PageBackground::apply(QGraphicsScene *scene, const QString &path)
{
    const QPixmap source = path.isEmpty() ? QPixmap() : PictureCache::picture(path);
    const QRectF rect = scene->sceneRect();
    const QSize size(qRound(rect.width()), qRound(rect.height()));
    QPixmap scaled;
    if (!source.isNull() && source.cacheKey() == m_sourceKey && size == m_size)
        return;
    try {
        if (!source.isNull())
            scaled = source.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    } catch (const std::bad_alloc &) {
        scaled = QPixmap(); // no background rather than no panel
    }
    if (scaled.isNull()) {
        scene->setBackgroundBrush(QBrush());
        m_sourceKey = 0;
        return;
    }
    scene->setBackgroundBrush(QBrush(scaled));
    m_sourceKey = source.cacheKey();
    m_size = size;
}
