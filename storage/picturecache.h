#ifndef PICTURECACHE_H
#define PICTURECACHE_H

#include <QPixmap>
#include <QString>

// The one picture store of the process. Items only point into it, so a picture
// shown by many items, or at one size by many items, exists once. Entries are
// never evicted: an item may still point at any picture ever handed out.
// GUI thread only.
class PictureCache
{
public:
    // The cached picture for `text` (a file or resource path, or a derived
    // key), loaded on first request. Never null; a picture that could not be
    // loaded is cached as a null picture and stays so for the run.
    static QPixmap *picture(const QString &text);
    static bool contains(const QString &text);
    // Takes ownership. A picture displaced under the same key stays
    // allocated, since items may still be drawing it.
    static void insert(QPixmap *picture, const QString &text);

    // The map key of `text`: Base64 of its Latin-1 bytes (others become '?').
    static QString key(const QString &text);
    // Number of keys held, for measurements.
    static int count();

private:
    PictureCache() = delete;
};

#endif // PICTURECACHE_H
