#ifndef PICTURECACHE_H
#define PICTURECACHE_H

#include <QPixmap>
#include <QString>
#include <QStringList>

// The one picture store of the process: a picture file is decoded once, and
// a copy scaled to a size is made once per size. Pictures are handed out as
// values; QPixmap shares its data implicitly, so items that show one picture
// hold the same pixels, and an entry could be dropped without leaving any
// item with a dangling picture. GUI thread only.
class PictureCache
{
public:
    // The cached picture for `text` (a file or resource path, or a derived
    // key), loaded on first request. A picture that could not be loaded is
    // cached as a null picture and stays so for the run.
    static QPixmap picture(const QString &text);
    static bool contains(const QString &text);
    // The cached picture for `text` if there is one: no loading.
    static bool find(const QString &text, QPixmap *picture);
    static void insert(const QPixmap &picture, const QString &text);
    // Decodes the pictures of those paths that are not cached yet, half of
    // them on a second thread, and caches each under its path: a page about
    // to be built asks for them all at once.
    static void preload(const QStringList &paths);

    // The map key of `text`: Base64 of its Latin-1 bytes (others become '?').
    static QString key(const QString &text);
    // Number of keys held, for measurements.
    static int count();

private:
    PictureCache() = delete;
};

#endif // PICTURECACHE_H
