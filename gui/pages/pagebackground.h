#ifndef PAGEBACKGROUND_H
#define PAGEBACKGROUND_H

#include <QSize>
#include <QString>

class QGraphicsScene;

// A page's background picture, stretched over its scene. The last scaled
// picture is kept, so repeated rescales at one size cost nothing.
class PageBackground
{
public:
    // The picture's name as stored: "project/" before it when the project
    // brought it.
    void set(QGraphicsScene *scene, const QString &name);
    // Scales the picture anew to the scene, when it is there.
    void refit(QGraphicsScene *scene);

    QString name() const { return m_name; }
    bool fromProject() const { return m_fromProject; }

private:
    static QString path(const QString &name);
    void apply(QGraphicsScene *scene, const QString &path);

    QString m_name;
    bool m_fromProject = false;
    qint64 m_sourceKey = 0;
    QSize m_size;
};

#endif // PAGEBACKGROUND_H
