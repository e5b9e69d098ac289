#ifndef PICTUREUNPACKER_H
#define PICTUREUNPACKER_H

#include <QHash>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <future>

class QLXFat;

// Brings the two picture folders below a projects folder to one package's
// pictures: afterwards "background/project/" holds exactly the package's
// "background/" entries and "icons/project/" its "icons/" entries, as though
// both had been emptied and every entry unpacked again. A file that holds an
// entry's bytes already is left alone: a kiosk starts the same project at
// every boot, and removing files and creating them again was most of what
// unpacking cost.
//
// start() settles which files the folders will hold: it makes the folders,
// removes what the package does not hold (a symbolic link or folder inside
// them included, never what a link points to) and unpacks, in table order,
// the entries that are not plain pictures (a name with folders in it, two
// entries for one file, an entry that cannot be read). The plain pictures,
// one entry for one file directly in its folder, are compared and written by
// a second thread until finish(); meanwhile plainBytes() gives what each of
// their files will hold, read from the package. Where they are too many or
// too large to be written in the time of a first page, start() writes them
// itself, in table order, with its progress.
//
// A symbolic link at a folder or above it is used as the folder it points
// to. Where the two folders are one, one lies inside the other, or the
// common icons folder lies inside one, both are emptied and everything is
// unpacked on the caller's thread, in table order.
class PictureUnpacker
{
public:
    enum Folder { Backgrounds, Icons };

    struct Failure
    {
        int index = -1; // in the package's table
        QString entry;
        QString destination; // as the entry names it: the folder, then the name
        Folder folder = Icons;
        qint64 size = 0;      // the entry's bytes
        bool refused = false; // its name leads out of the picture folder
    };

    // `projectDir` is the projects folder, ending with "/". The package must
    // outlive the unpacker.
    PictureUnpacker(const QLXFat &package, const QString &projectDir);
    // Waits for the second thread.
    ~PictureUnpacker();

    PictureUnpacker(const PictureUnpacker &) = delete;
    PictureUnpacker &operator=(const PictureUnpacker &) = delete;

    // False when a folder cannot be made (failedFolder() tells which);
    // nothing is unpacked then. Where it unpacks in table order, `progress`
    // hears the index of every table entry as it comes to it.
    bool start(const std::function<void(int index)> &progress = {});
    Folder failedFolder() const { return m_failedFolder; }
    QString packageName() const;

    // Whether plain pictures are being written on the second thread: false
    // before start(), after finish() and where the folders do not lie apart.
    bool isWriting() const { return m_writer.valid(); }
    // Whether `name` becomes a plain picture's file in `folder`.
    bool isPlain(Folder folder, const QString &name) const;
    // The bytes the file at `path` holds once the plain pictures are written,
    // when it is a plain picture's (a doubled "/" counts as one), read from
    // the package; false for any other path, a picture over `maxBytes` or
    // one the package cannot give whole. With null `bytes` it only tells
    // whether `path` is a plain picture's of at most `maxBytes`. Any thread.
    bool plainBytes(const QString &path, QByteArray *bytes, qint64 maxBytes) const;

    // Writes what the second thread has not come to yet and waits for it,
    // calling `meanwhile` about every 40 ms meanwhile.
    void finish(const std::function<void()> &meanwhile = {});
    // After finish(): what could not be unpacked, in table order; whether a
    // plain picture is among it (its file is missing although plainBytes()
    // gave bytes for it).
    const QVector<Failure> &failures() const { return m_failures; }
    bool plainFailed() const { return m_plainFailed; }
    // After finish(): plain pictures written, and found written already.
    int written() const { return m_written; }
    int kept() const { return m_kept; }

    // Empties `path` (made with missing parents when it does not exist): a
    // symbolic link at it or above it is used as the folder it points to;
    // inside, a link is removed, not followed. False when it cannot be made.
    static bool emptyFolder(const QString &path);

private:
    struct Plain
    {
        int index;
        Folder folder;
        QString entry;
        QString path;
        qint64 position; // of the bytes in the package file
        qint64 size;
    };
    enum Outcome { Pending, Kept, Written, Failed };

    QString folderPath(Folder folder) const;
    bool foldersApart() const;
    void unpackAll(const std::function<void(int)> &progress);
    void removeOthers(Folder folder);
    // The folder a table entry lands in and its name there; false for an
    // entry that is no picture.
    bool landsIn(const QString &entry, Folder *folder, QString *relative) const;
    bool unpackEntry(int index, Folder folder, const QString &relative);
    Outcome writePlain(const Plain &plain) const;
    // Writes the plain pictures no thread has taken yet, calling `meanwhile`
    // about every 40 ms.
    void writeRemaining(Outcome *outcomes, const std::function<void()> &meanwhile);
    bool holdsBytes(const Plain &plain) const;
    bool writeFile(const Plain &plain) const;

    const QLXFat &m_package;
    QString m_projectDir;
    Folder m_failedFolder = Icons;
    QVector<Plain> m_plain;
    QHash<QString, int> m_plainByName[2];
    QHash<QString, int> m_plainByPath;
    QVector<Outcome> m_outcomes;     // written by the second thread until finish()
    std::atomic<int> m_nextPlain{0}; // the next plain picture to write
    QVector<Failure> m_failures;
    bool m_plainFailed = false;
    int m_written = 0;
    int m_kept = 0;
    std::future<void> m_writer;
};

#endif // PICTUREUNPACKER_H
