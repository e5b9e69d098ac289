#ifndef PROJECTLOADER_H
#define PROJECTLOADER_H

#include "core/project/projectreader.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class DialogProgress;
class Item;
class Page;
class PictureUnpacker;
class ProjectReadAhead;
class QLXFat;
class QWidget;

// The work of one project load between opening the package and starting the
// panel: unpacking the pictures into the project directory and building the
// pages from the project document. The main window drives it and takes over
// what it read (page size, connection settings).
class ProjectLoader
{
    Q_DECLARE_TR_FUNCTIONS(ProjectLoader)

public:
    // How the operator is told about a failure. A modal message box without
    // parent by default; tests put a recorder here.
    using MessageFunction = std::function<void(const QString &text)>;
    static MessageFunction showMessage;
    static void messageBox(const QString &text);

    // `progress` may be null; `projectDir` is the folder that receives the
    // picture directories (the project directory unless a test says otherwise).
    explicit ProjectLoader(DialogProgress *progress, const QString &projectDir = QString());

    // Brings the two picture directories to the package's "icons/" and
    // "background/" entries, as though emptied and filled anew (a file that
    // holds its entry's bytes already is left alone). Entries that cannot be
    // unpacked are told once for the package: one line on standard error and
    // one box, the entry's own box when it is the only one.
    void extractPictures(QLXFat &package);
    // The same, but the plain pictures (PictureUnpacker) are still being
    // written when it returns: readDocument() decodes them from the package
    // meanwhile and waits for them before it returns; finishPictures() waits
    // and tells. The package must outlive the loader.
    void startPictures(QLXFat &package);
    void finishPictures();

    // Starts reading `document` on a second thread, so the reading goes on
    // while the pictures are unpacked; readDocument() with the same bytes
    // takes it up.
    void startReading(const QByteArray &document);

    // Reads `document` and makes one page per page element into `pages`, as
    // children of `pageParent`. A page gets its item elements to build when
    // it is first shown; `itemCreated` hears of every item made then. The
    // first page is built here, from the part of the document before its
    // end, while the rest is read; it is made again from the whole reading
    // when that reads it otherwise, and dropped with the others when the
    // document proves broken. Pictures startPictures() still writes are
    // waited for and told before it returns; should one of them fail whose
    // bytes the pages were given meanwhile, the pages are made again from
    // what the folders hold.
    void readDocument(const QByteArray &document, QList<Page *> *pages, QWidget *pageParent,
                      const std::function<void(Item *)> &itemCreated = {});

    // Empties the folder `relativePath` below `root`, creating it (with
    // missing parents) when it does not exist. A symbolic link at the folder
    // or above it is an administrator's (a shared icon library, say) and is
    // used as the folder it points to: its target is emptied, the link stays.
    // Inside the folder nothing is followed: a link there goes, its target
    // stays untouched.
    static bool emptyDirectory(const QString &root, const QString &relativePath);

    // The one line standard error gets when a load goes wrong: the package,
    // then what is wrong with it.
    static QString failureLine(const QString &path, const QString &problem);

    // A page side no screen holds (8K screens are 7680 x 4320): a page
    // beyond, windowed, would need a window of gigabytes. Such a page size
    // reads as 0, the page size that cannot be used.
    static constexpr int maxPageSide = 8192;

    // What the document said, once read; why it could not be read (empty
    // when it was).
    QString documentError() const { return m_documentError; }
    // The page size to use: a side beyond maxPageSide reads 0.
    int pageX() const { return m_pageX; }
    int pageY() const { return m_pageY; }
    // The page size as the document gives it.
    QSize declaredPageSize() const { return m_declaredPageSize; }
    // What the document asks for that is not done as it says, for standard
    // error, each said once for the package: items beyond what can be drawn,
    // picture names that lead out of the picture folders or to no file.
    QStringList documentProblems() const;
    const ProjectReader::Connection &connection() const { return m_connection; }

    ProjectLoader(const ProjectLoader &) = delete;
    ProjectLoader &operator=(const ProjectLoader &) = delete;
    ~ProjectLoader();

private:
    void setProgress(int percent);
    void buildPages(const QByteArray &document, QList<Page *> *pages, QWidget *pageParent,
                    const std::function<void(Item *)> &itemCreated);
    Page *makePage(ProjectReader::PageRecord record, QList<Page *> *pages, QWidget *pageParent,
                   const std::function<void(Item *)> &itemCreated);
    // While the plain pictures are written, the paths a picture name and a
    // background name lead to are known without the disk where they cannot
    // change meanwhile; anything else waits for the writing first.
    QString resolvePicture(const QString &name);
    void refusePicture(const QString &name, const QString &why);
    void takePageSize(int pageX, int pageY);
    void readyForBackground(const QString &name);
    bool suppliesBytes(const QString &path, QByteArray *bytes);
    // Waits for the plain pictures; from then on the disk is read.
    void settlePictures();

    DialogProgress *m_progress;
    QString m_projectDir;
    int m_pageX = 0;
    int m_pageY = 0;
    QSize m_declaredPageSize;
    int m_clampedItems = 0;
    QString m_firstClamped;        // the page it is on
    QStringList m_refusedPictures; // "name" (why), each once
    QString m_documentError;
    ProjectReader::Connection m_connection;
    std::unique_ptr<ProjectReadAhead> m_readAhead;
    std::unique_ptr<PictureUnpacker> m_unpacker;
    QHash<QString, QString> m_resolved;
    bool m_writingAside = false; // plain pictures decoded from the package
    bool m_told = false;
};

#endif // PROJECTLOADER_H
