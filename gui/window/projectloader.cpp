#include "gui/window/projectloader.h"
#include "gui/logging/guilogcategories.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSet>
#include <QWidget>

#include "gui/dialogs/dialogprogress.h"
#include "core/project/projectreadahead.h"
#include "gui/items/item.h"
#include "gui/pages/page.h"
#include "gui/pictures/picturecache.h"
#include "core/package/packagereport.h"
#include "core/package/projectdirectory.h"
#include "core/package/qlxfat.h"

namespace {

const QString iconsPrefix = QStringLiteral("icons/");
const QString backgroundPrefix = QStringLiteral("background/");

} // namespace

ProjectLoader::MessageFunction ProjectLoader::showMessage = &ProjectLoader::messageBox;

void ProjectLoader::messageBox(const QString &text)
{
    QMessageBox box;
    box.setText(text);
    box.exec();
}

ProjectLoader::ProjectLoader(DialogProgress *progress, const QString &projectDir)
    : progress(progress)
    , projectDir(projectDir.isEmpty() ? projectDirectory() : projectDir)
{
    if (!this->projectDir.endsWith(QLatin1Char('/')))
        this->projectDir.append(QLatin1Char('/'));
}

ProjectLoader::~ProjectLoader() = default;

QString ProjectLoader::failureLine(const QString &path, const QString &problem)
{
    return QStringLiteral("Package %1: %2").arg(path, problem);
}

void ProjectLoader::setProgress(int percent)
{
    // Each step runs the event loop; a package of many pictures would run it
    // once per entry for the same bar.
    if (progress && progress->value() != percent)
        progress->setValue(percent);
}

bool ProjectLoader::emptyDirectory(const QString &root, const QString &relativePath)
{
    const QString path = QDir(root).filePath(relativePath);
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return false;
    // What cannot be removed is overwritten or left beside the new pictures.
    const QFileInfoList entries =
        QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
    return true;
}

void ProjectLoader::extractPictures(QLXFat &package)
{
    QStringList names;
    if (!package.fileNames(names))
        return;

    if (!emptyDirectory(projectDir, QStringLiteral("background/project"))) {
        showMessage(QStringLiteral("Path can not be created! (1)"));
        return;
    }
    if (!emptyDirectory(projectDir, QStringLiteral("icons/project"))) {
        showMessage(QStringLiteral("Path can not be created! (2)"));
        return;
    }

    // Reported once for the whole package, not in a box per entry.
    const QStringList cut = package.cutEntries();
    const QSet<QString> left(cut.cbegin(), cut.cend());
    const qint64 count = names.size();
    int failed = 0;
    QStringList failedNames;
    QString failedText;
    for (qint64 i = 0; i < count; ++i) {
        setProgress(int(25 * i / count));
        const QString &name = names.at(int(i));
        if (left.contains(name))
            continue;
        QString text;
        if (name.startsWith(iconsPrefix))
            text = extractEntry(package, name, iconsPrefix, projectDir + QLatin1String("icons/project/"), true);
        else if (name.startsWith(backgroundPrefix))
            text = extractEntry(package, name, backgroundPrefix, projectDir + QLatin1String("background/project/"), false);
        if (text.isEmpty())
            continue;
        // A box per entry would want one press per entry: 10,000 for a package of 10,000.
        if (failed++ == 0)
            failedText = text;
        if (failedNames.size() < PackageReport::NamesListed)
            failedNames << name;
    }
    if (failed == 0)
        return;
    qCritical().noquote() << failureLine(package.fileName(), PackageReport::unpackLine(failed, failedNames));
    showMessage(failed == 1 ? failedText : PackageReport::unpackText(package.fileName(), failed, failedNames));
}

QString ProjectLoader::extractEntry(QLXFat &package, const QString &entry, const QString &prefix,
                                    const QString &directory, bool icon)
{
    QString relative = entry;
    relative.remove(prefix);
    const QString destination = directory + relative;
    if (icon)
        qCDebug(lcWindow) << "Create Project Icon: " << destination;
    else
        qCDebug(lcWindow) << "Create Project background: " << destination;

    const QString safe = QLXFat::destinationBelow(directory, relative);
    if (safe.isEmpty())
        qCDebug(lcWindow) << "Package entry refused, it names no file inside the picture folder:" << entry;
    if (!safe.isEmpty() && package.extractFile(entry, safe))
        return QString();

    if (icon) {
        return QStringLiteral("Die Datei \"%1\" kann nicht aus dem Package entpackt werden und unter \"%2\" "
                              "gespeichert werden!")
            .arg(entry, destination);
    }
    return QStringLiteral("Die Datei \"%1\" kann nicht aus dem Package entpackt werden!").arg(entry);
}

void ProjectLoader::startReading(const QByteArray &document)
{
    m_readAhead = std::make_unique<ProjectReadAhead>(document);
}

void ProjectLoader::readDocument(const QByteArray &document, QList<Page *> *pages, QWidget *pageParent,
                                 const std::function<void(Item *)> &itemCreated)
{
    // Mostly the very array the reading started with: then no comparison of
    // megabytes.
    const auto sameBytes = [&document](const QByteArray &started) {
        return (started.constData() == document.constData() && started.size() == document.size())
            || started == document;
    };
    if (!m_readAhead || !sameBytes(m_readAhead->document()))
        startReading(document);
    std::unique_ptr<ProjectReadAhead> reading = std::move(m_readAhead);

    // The first page is built from the stream's reading of the part before
    // it while the second thread reads the whole document: that building,
    // mostly decoding pictures, is what the first page waits for.
    QHash<QString, QString> resolved;
    Page *early = nullptr;
    if (reading->readFirstPage()) {
        m_pageX = reading->early().pageX();
        m_pageY = reading->early().pageY();
        early = makePage(reading->early().pages().first(), pages, pageParent, itemCreated, &resolved);
        early->ensureBuilt();
    }

    // A document that does not parse reads as an empty one: no pages.
    m_documentError.clear();
    const bool read = reading->finish();
    ProjectReader &reader = reading->whole();
    if (document.isEmpty())
        m_documentError = QStringLiteral("it holds no project document");
    else if (!read)
        m_documentError = reader.errorString();
    m_pageX = reader.pageX();
    m_pageY = reader.pageY();
    m_connection = reader.connection();
    if (early && !reading->earlyStands()) {
        delete early;
        early = nullptr;
    }

    // The progress counts every child node of "Pages", elements or not.
    const qint64 count = reader.pageNodeCount();
    QList<ProjectReader::PageRecord> records = reader.takePages();
    int next = 0;
    for (qint64 node = 0; node < count; ++node) {
        setProgress(int(25 + 75 * node / count));
        if (next >= records.size() || records.at(next).node != node)
            continue;
        ProjectReader::PageRecord &record = records[next++];
        Page *page = early ? early : makePage(std::move(record), pages, pageParent, itemCreated, &resolved);
        early = nullptr;
        pages->append(page);
    }
    // Every picture a page names is in hand by the end of the load: the
    // folders may be emptied by the next load of a shared projects folder
    // or icon library before a page is first shown. Every name the pages
    // hold went through `resolved`.
    QStringList named = resolved.values();
    named.removeDuplicates();
    PictureCache::holdFiles(named);
}

Page *ProjectLoader::makePage(ProjectReader::PageRecord record, QList<Page *> *pages, QWidget *pageParent,
                              const std::function<void(Item *)> &itemCreated, QHash<QString, QString> *resolved)
{
    // The page's own list object; nothing reads it, it goes with the page.
    // Made with its parent (it stays hidden): given one afterwards, the page
    // and its view resolved the application's style sheet twice.
    auto *list = new QList<Item *>;
    Page *page = new Page(list, pages, pageParent);
    QObject::connect(page, &QObject::destroyed, [list] { delete list; });
    page->setPageSize(1.0, m_pageX, m_pageY);
    page->setName(record.name);
    page->setId(record.id);
    page->setBackground(record.background);
    if (itemCreated)
        QObject::connect(page, &Page::itemBuilt, page, itemCreated);
    // Built when first shown, which also locks it for operation. The
    // pictures are looked up now, while the folders hold this project's.
    for (ItemElement &item : record.items)
        item.record.resolvePictures(resolved);
    page->setPendingItems(record.items);

    page->clearSelection();
    page->lockItems();
    if (pageParent)
        page->setGeometry(pageParent->geometry());
    page->rescale(1.0);
    page->setControlMode();
    return page;
}
