#ifndef PROJECTLOADER_H
#define PROJECTLOADER_H

#include "core/project/projectreader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class DialogProgress;
class Item;
class Page;
class ProjectReadAhead;
class QLXFat;
class QWidget;

// The work of one project load between opening the package and starting the
// panel: unpacking the pictures into the project directory and building the
// pages from the project document. The main window drives it and takes over
// what it read (page size, connection settings).
class ProjectLoader
{
public:
    // How the operator is told about a failure. A modal message box without
    // parent by default; tests put a recorder here.
    using MessageFunction = std::function<void(const QString &text)>;
    static MessageFunction showMessage;
    static void messageBox(const QString &text);

    // `progress` may be null; `projectDir` is the folder that receives the
    // picture directories (the project directory unless a test says otherwise).
    explicit ProjectLoader(DialogProgress *progress, const QString &projectDir = QString());

    // Empties the two picture directories and fills them from the package's
    // "icons/" and "background/" entries. Entries that cannot be unpacked are
    // told once for the package: one line on standard error and one box,
    // the entry's own box when it is the only one.
    void extractPictures(QLXFat &package);

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
    // document proves broken.
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

    // What the document said, once read; why it could not be read (empty
    // when it was).
    QString documentError() const { return m_documentError; }
    int pageX() const { return m_pageX; }
    int pageY() const { return m_pageY; }
    const ProjectReader::Connection &connection() const { return m_connection; }

    ProjectLoader(const ProjectLoader &) = delete;
    ProjectLoader &operator=(const ProjectLoader &) = delete;
    ~ProjectLoader();

private:
    void setProgress(int percent);
    Page *makePage(ProjectReader::PageRecord record, QList<Page *> *pages, QWidget *pageParent,
                   const std::function<void(Item *)> &itemCreated, QHash<QString, QString> *resolved);
    // Empty when the entry was unpacked; the box for it otherwise.
    QString extractEntry(QLXFat &package, const QString &entry, const QString &prefix,
                         const QString &directory, bool icon);

    DialogProgress *progress;
    QString projectDir;
    int m_pageX = 0;
    int m_pageY = 0;
    QString m_documentError;
    ProjectReader::Connection m_connection;
    std::unique_ptr<ProjectReadAhead> m_readAhead;
};

#endif // PROJECTLOADER_H
