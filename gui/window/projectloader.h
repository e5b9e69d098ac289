#ifndef PROJECTLOADER_H
#define PROJECTLOADER_H

#include "core/storage/projectreader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class DialogProgress;
class Item;
class Page;
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
    // "icons/" and "background/" entries.
    void extractPictures(QLXFat &package);

    // Reads `document` and makes one page per page element into `pages`, as
    // children of `pageParent`. A page gets its item elements to build when
    // it is first shown; `itemCreated` hears of every item made then.
    void readDocument(const QByteArray &document, QList<Page *> *pages, QWidget *pageParent,
                      const std::function<void(Item *)> &itemCreated = {});

    // Where an entry lands below `directory` (which ends in "/"), or an empty
    // text when the name cannot be a file inside it: empty, absolute, with a
    // backslash, drive letter, NUL or control character, or a "." or ".."
    // component. A symbolic link on the way also refuses it, so nothing is
    // ever written through a link.
    static QString safeDestination(const QString &directory, const QString &relativeName);

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

private:
    void setProgress(int percent);
    void extractEntry(QLXFat &package, const QString &entry, const QString &prefix,
                      const QString &directory, bool icon);

    DialogProgress *progress;
    QString projectDir;
    int m_pageX = 0;
    int m_pageY = 0;
    QString m_documentError;
    ProjectReader::Connection m_connection;
};

#endif // PROJECTLOADER_H
