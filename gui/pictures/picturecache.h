#ifndef PICTURECACHE_H
#define PICTURECACHE_H

#include <QByteArray>
#include <QPixmap>
#include <QSize>
#include <QVector>
#include <QString>
#include <QStringList>

#include <functional>

// The one picture store of the process: a picture file is decoded once, and
// a copy scaled to a size is made once per size. Pictures are handed out as
// values; QPixmap shares its data implicitly, so items that show one picture
// hold the same pixels, and dropping an entry never leaves an item with a
// dangling picture: it keeps drawing its own reference.
//
// Text renderings (keys that begin with textPrefix()) are kept within a byte
// budget, the least recently used dropped first: every analogue value never
// shown before is a new rendering, and a panel runs for months. Decoded
// pictures and their scaled copies are not: their number is bounded by the
// project, the items showing them hold them anyway, and dropping one would
// only make the next item that asks for it decode or scale a second copy.
// GUI thread only.
class PictureCache
{
public:
    // 24 MiB hold about 1,700 renderings of a value at 30 pixels, many times
    // what the pages of a project show at once, and keep a panel whose
    // values drift for months within 40 MiB of its memory at the start.
    static constexpr qint64 defaultTextBudget = 24 * 1024 * 1024;
    // A decoded picture, and a scaled copy, hold at most this many bytes
    // (4 per pixel): 4096 x 4096, twice a 4K screen. A picture that declares
    // more is not decoded and shows the fallback picture, with one line; a
    // copy that would be larger is not made.
    static constexpr qint64 maxPictureBytes = 64 * 1024 * 1024;
    static bool fitsBound(const QSize &size);

    // The cached picture for `text` (a file or resource path, or a derived
    // key), loaded on first request. A picture that could not be loaded is
    // cached as a null picture and stays so for the run.
    static QPixmap picture(const QString &text);
    static bool contains(const QString &text);
    // The cached picture for `text` if there is one: no loading.
    static bool find(const QString &text, QPixmap *picture);
    static void insert(const QPixmap &picture, const QString &text);
    // A copy of the picture of `source` scaled (ignoring the aspect ratio,
    // smoothly) to `size`, kept under `key`: what an item of that size asks
    // for when it shows the picture.
    struct Scaled
    {
        QString source;
        QString key;
        QSize size;
    };
    // Decodes the pictures of those paths that are not cached yet, then makes
    // the scaled copies not cached yet, each time on this thread and a second
    // one, and caches them: a page about to be built asks for them all at
    // once. A copy comes out as QPixmap::scaled() makes it.
    static void preload(const QStringList &paths, const QVector<Scaled> &scaled = {});
    // Reads the bytes of those picture files that are not decoded yet and
    // keeps them until they are: a load has every picture its pages name in
    // hand, though the folder be emptied before a page is first shown. A
    // file that cannot be read is kept as missing. Bounded by the pictures
    // a project names; each is given up once decoded.
    static void holdFiles(const QStringList &paths);
    static int heldFileCount();
    // Whether `path` is decoded already or its bytes are held (or the file
    // source knows it).
    static bool inHand(const QString &path);

    // While a load writes the picture files, their pictures are decoded
    // from what the files will hold: a file source gives the bytes of a path
    // it knows (true), or false and the file is read. Called with null bytes
    // it only tells whether it knows the path. An empty function ends it.
    using FileSource = std::function<bool(const QString &path, QByteArray *bytes)>;
    static void setFileSource(FileSource source);
    // Whether `bytes`, the content of the file `path`, decode from memory
    // exactly as the file does: a PNG, JPEG or BMP whose name's suffix
    // says what its first bytes show, and whose name gives it no pixel ratio
    // ("lamp@2x.png" is read at a ratio of 2 from its file only). Null
    // bytes: whether the name allows it at all.
    static bool decodesFromBytes(const QString &path, const QByteArray &bytes = QByteArray());
    // Drops the decoded picture of `path` and the copies scaled from it
    // (keys `path` + "$" + size), so that the next request reads the file
    // again; a doubled "/" counts as one.
    static void forget(const QString &path);

    // The map key of `text`: Base64 of its Latin-1 bytes (others become '?').
    static QString key(const QString &text);
    // Number of keys held, for measurements.
    static int count();

    // The key prefix of text renderings.
    static QString textPrefix() { return QStringLiteral("QLXTEXT_"); }
    // Bytes the text renderings may hold: pixels plus key. A lower budget
    // drops renderings at once; one larger than the budget is not kept.
    static void setTextBudget(qint64 bytes);
    static qint64 textBudget();
    static qint64 textBytes();

private:
    PictureCache() = delete;
    static void decodeAll(const QStringList &paths);
};

#endif // PICTURECACHE_H
