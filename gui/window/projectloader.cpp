#include "gui/window/projectloader.h"
#include "gui/logging/guilogcategories.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QWidget>

#include "gui/dialogs/dialogprogress.h"
#include "gui/dialogs/panelmessagebox.h"
#include "core/project/projectreadahead.h"
#include "gui/items/item.h"
#include "gui/pages/page.h"
#include "gui/pictures/picturecache.h"
#include "core/package/packagereport.h"
#include "core/project/itemelement.h"
#include "core/project/picturenames.h"
#include "core/package/pictureunpacker.h"
#include "core/package/projectdirectory.h"
#include "core/package/qlxfat.h"

#include <limits>

namespace {

// The first failure's reason that the file system can tell, as a paragraph
// of its own after the box's text.
QString reasonParagraph(const QVector<PictureUnpacker::Failure> &failures)
{
    for (const PictureUnpacker::Failure &failure : failures) {
        const QStorageInfo storage(QFileInfo(failure.destination).absolutePath());
        const QString why = PackageReport::unpackReason(failure.destination, failure.size, failure.refused,
                                                        storage.isValid() ? storage.bytesAvailable() : -1);
        if (!why.isEmpty())
            return QStringLiteral("\n\n") + why;
    }
    return QString();
}

} // namespace

ProjectLoader::MessageFunction ProjectLoader::showMessage = &ProjectLoader::messageBox;

void ProjectLoader::messageBox(const QString &text)
{
    PanelMessageBox::tell(text);
}

ProjectLoader::ProjectLoader(DialogProgress *progress, const QString &projectDir)
    : m_progress(progress)
    , m_projectDir(projectDir.isEmpty() ? projectDirectory() : projectDir)
{
    if (!m_projectDir.endsWith(QLatin1Char('/')))
        m_projectDir.append(QLatin1Char('/'));
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
    if (m_progress && m_progress->value() != percent)
        m_progress->setValue(percent);
}

bool ProjectLoader::emptyDirectory(const QString &root, const QString &relativePath)
{
    return PictureUnpacker::emptyFolder(QDir(root).filePath(relativePath));
}

void ProjectLoader::extractPictures(QLXFat &package)
{
    startPictures(package);
    finishPictures();
}

void ProjectLoader::startPictures(QLXFat &package)
{
    m_unpacker = std::make_unique<PictureUnpacker>(package, m_projectDir);
    m_told = false;
    const qint64 count = package.entries().size();
    if (!m_unpacker->start([this, count](int i) { setProgress(int(25 * i / count)); })) {
        showMessage(m_unpacker->failedFolder() == PictureUnpacker::Backgrounds ? tr("Path can not be created! (1)")
                                                                               : tr("Path can not be created! (2)"));
        m_told = true;
    }
}

void ProjectLoader::settlePictures()
{
    m_writingAside = false;
    if (m_unpacker)
        m_unpacker->finish([] { QCoreApplication::processEvents(); });
}

void ProjectLoader::finishPictures()
{
    settlePictures();
    if (!m_unpacker || m_told)
        return;
    m_told = true;
    // Reported once for the whole package, not in a box per entry.
    const QVector<PictureUnpacker::Failure> &failures = m_unpacker->failures();
    if (failures.isEmpty())
        return;
    QStringList names;
    for (int i = 0; i < failures.size() && names.size() < PackageReport::NamesListed; ++i)
        names << failures.at(i).entry;
    const QString path = m_unpacker->packageName();
    qCritical().noquote() << failureLine(path, PackageReport::unpackLine(failures.size(), names));
    // A box per entry would want one press per entry: 10,000 for a package of 10,000.
    const QString why = reasonParagraph(failures);
    if (failures.size() > 1) {
        showMessage(PackageReport::unpackText(path, failures.size(), names) + why);
        return;
    }
    const PictureUnpacker::Failure &failure = failures.first();
    if (failure.folder == PictureUnpacker::Icons) {
        showMessage(tr("Die Datei \"%1\" kann nicht aus dem Package entpackt werden und unter \"%2\" "
                       "gespeichert werden!")
                        .arg(failure.entry, failure.destination)
                    + why);
    } else {
        showMessage(tr("Die Datei \"%1\" kann nicht aus dem Package entpackt werden!").arg(failure.entry) + why);
    }
}

QString ProjectLoader::resolvePicture(const QString &name)
{
    // A name of one plain component leads to a file directly in a folder,
    // which holds nothing but the plain pictures and what start() settled,
    // and to a common icon, which stays unless it is a link.
    if (m_writingAside && !name.isEmpty()) {
        const bool flat = !name.contains(QLatin1Char('/')) && QLXFat::isSafeEntryPath(name);
        if (flat && m_unpacker->isPlain(PictureUnpacker::Icons, name) && PictureCache::decodesFromBytes(name))
            return m_projectDir + QLatin1String("icons/project/") + name;
        if (!flat || m_unpacker->isPlain(PictureUnpacker::Icons, name)
            || QFileInfo(m_projectDir + QLatin1String("icons/") + name).isSymLink())
            settlePictures();
    }
    QString refused;
    const QString path = resolvePictureName(name, &refused);
    if (!refused.isEmpty())
        refusePicture(name, refused);
    return path;
}

void ProjectLoader::refusePicture(const QString &name, const QString &why)
{
    const QString said = QStringLiteral("\"%1\" (%2)").arg(name, why);
    if (!m_refusedPictures.contains(said))
        m_refusedPictures << said;
}

void ProjectLoader::takePageSize(int pageX, int pageY)
{
    m_declaredPageSize = QSize(pageX, pageY);
    m_pageX = pageX > maxPageSide ? 0 : pageX;
    m_pageY = pageY > maxPageSide ? 0 : pageY;
}

QStringList ProjectLoader::documentProblems() const
{
    QStringList problems;
    if (m_clampedItems > 0) {
        problems << QStringLiteral("%1 items placed or sized beyond ±%2 px or lettered above %3 px, brought within "
                                   "(the first on page \"%4\")")
                        .arg(m_clampedItems)
                        .arg(ItemElement::maxExtent)
                        .arg(ItemRecord::fontSizeMaximum)
                        .arg(m_firstClamped);
    }
    if (!m_refusedPictures.isEmpty()) {
        const QStringList shown = m_refusedPictures.mid(0, PackageReport::NamesListed);
        QString line = QStringLiteral("%1 picture names refused, the fallback picture shows for them: %2")
                           .arg(m_refusedPictures.size())
                           .arg(shown.join(QStringLiteral(", ")));
        if (m_refusedPictures.size() > shown.size())
            line += QStringLiteral(" and %1 more").arg(m_refusedPictures.size() - shown.size());
        problems << line;
    }
    return problems;
}

void ProjectLoader::readyForBackground(const QString &name)
{
    if (!m_writingAside || name.isEmpty())
        return;
    const bool flat = !name.contains(QLatin1Char('/')) && QLXFat::isSafeEntryPath(name);
    if (!flat || (m_unpacker->isPlain(PictureUnpacker::Backgrounds, name) && !PictureCache::decodesFromBytes(name)))
        settlePictures();
}

bool ProjectLoader::suppliesBytes(const QString &path, QByteArray *bytes)
{
    // A picture larger than this is read from its file, once written.
    constexpr qint64 largestSupplied = 32 * 1024 * 1024;
    if (!m_writingAside)
        return false;
    if (PictureCache::decodesFromBytes(path)) {
        QByteArray read;
        if (!bytes && m_unpacker->plainBytes(path, nullptr, largestSupplied))
            return true;
        if (bytes && m_unpacker->plainBytes(path, &read, largestSupplied)
            && PictureCache::decodesFromBytes(path, read)) {
            *bytes = read;
            return true;
        }
    }
    // Its file may be half written: read it once it is whole.
    if (m_unpacker->plainBytes(path, nullptr, std::numeric_limits<qint64>::max()))
        settlePictures();
    return false;
}

void ProjectLoader::startReading(const QByteArray &document)
{
    m_readAhead = std::make_unique<ProjectReadAhead>(document);
}

void ProjectLoader::readDocument(const QByteArray &document, QList<Page *> *pages, QWidget *pageParent,
                                 const std::function<void(Item *)> &itemCreated)
{
    // The plain pictures are decoded from the package while written, where
    // the pages find them under the paths they will have.
    m_writingAside = m_unpacker && m_unpacker->isWriting() && m_projectDir == projectDirectory();
    const bool aside = m_writingAside;
    if (aside) {
        PictureCache::setFileSource(
            [this](const QString &path, QByteArray *bytes) { return suppliesBytes(path, bytes); });
    }
    m_resolved.clear();
    buildPages(document, pages, pageParent, itemCreated);
    finishPictures();
    PictureCache::setFileSource({});
    if (aside && m_unpacker->plainFailed()) {
        // A picture the pages had from the package did not reach its file:
        // they are made again from what the folders hold, as though the
        // pictures had been written first.
        for (const PictureUnpacker::Failure &failure : m_unpacker->failures())
            PictureCache::forget(failure.destination);
        qDeleteAll(*pages);
        pages->clear();
        m_resolved.clear();
        buildPages(document, pages, pageParent, itemCreated);
    }
    // Every picture a page names is in hand by the end of the load: the
    // folders may be emptied by the next load of a shared projects folder
    // or icon library before a page is first shown. Every name the pages
    // hold went through `m_resolved`.
    QStringList named = m_resolved.values();
    named.removeDuplicates();
    PictureCache::holdFiles(named);
}

void ProjectLoader::buildPages(const QByteArray &document, QList<Page *> *pages, QWidget *pageParent,
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
    m_clampedItems = 0;
    m_firstClamped.clear();
    m_refusedPictures.clear();

    // The first page is built from the stream's reading of the part before
    // it while the second thread reads the whole document: that building,
    // mostly decoding pictures, is what the first page waits for.
    Page *early = nullptr;
    if (reading->readFirstPage()) {
        takePageSize(reading->early().pageX(), reading->early().pageY());
        early = makePage(reading->early().pages().first(), pages, pageParent, itemCreated);
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
    takePageSize(reader.pageX(), reader.pageY());
    m_connection = reader.connection();
    if (early && !reading->earlyStands()) {
        delete early;
        early = nullptr;
        // Made again below, and counted there.
        m_clampedItems = 0;
        m_firstClamped.clear();
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
        Page *page = early ? early : makePage(std::move(record), pages, pageParent, itemCreated);
        early = nullptr;
        pages->append(page);
    }
}

Page *ProjectLoader::makePage(ProjectReader::PageRecord record, QList<Page *> *pages, QWidget *pageParent,
                              const std::function<void(Item *)> &itemCreated)
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
    readyForBackground(record.background);
    QString refused;
    if (!record.background.isEmpty()
        && pictureFileIn(m_projectDir + QLatin1String("background/project/"), record.background, &refused).isEmpty())
        refusePicture(record.background, refused);
    page->setBackground(record.background);
    if (itemCreated)
        QObject::connect(page, &Page::itemBuilt, page, itemCreated);
    // Built when first shown, which also locks it for operation. The
    // pictures are looked up now, while the folders hold this project's.
    const auto resolve = [this](const QString &name) { return resolvePicture(name); };
    for (ItemElement &item : record.items) {
        item.record.resolvePictures(&m_resolved, resolve);
        if (item.clampToDrawable() && m_clampedItems++ == 0)
            m_firstClamped = record.id;
    }
    page->setPendingItems(record.items);

    page->clearSelection();
    page->lockItems();
    if (pageParent)
        page->setGeometry(pageParent->geometry());
    page->rescale(1.0);
    page->setControlMode();
    return page;
}
