#include "core/storage/packagereport.h"

#include <QStringList>

namespace {

const QString documentEntry = QStringLiteral("project");
// A line stays readable even when most of a large package is gone.
constexpr int namesListed = 5;

} // namespace

QString PackageReport::openFailureText(const QString &path, QLXFat::OpenError error)
{
    QString reason;
    switch (error) {
    case QLXFat::OpenError::Missing:
        reason = QStringLiteral("Die Datei gibt es nicht.");
        break;
    case QLXFat::OpenError::Folder:
        reason = QStringLiteral("Es ist ein Ordner, keine Datei.");
        break;
    case QLXFat::OpenError::Empty:
        reason = QStringLiteral("Die Datei ist leer.");
        break;
    case QLXFat::OpenError::NotPackage:
        reason = QStringLiteral("Die Datei ist kein Package oder ihr Kopf ist beschädigt.");
        break;
    case QLXFat::OpenError::Unreadable:
    case QLXFat::OpenError::None:
        reason = QStringLiteral("Die Datei kann nicht gelesen werden.");
        break;
    }
    return QStringLiteral("Das Package \"%1\" kann nicht geöffnet werden. %2").arg(path, reason);
}

QString PackageReport::cutShortLine(const QLXFat &package)
{
    const qint64 missing = package.missingBytes();
    if (missing <= 0)
        return QString();
    const QStringList lost = package.cutEntries();
    QString names = QStringList(lost.mid(0, namesListed)).join(QStringLiteral(", "));
    if (lost.size() > namesListed)
        names += QStringLiteral(" and %1 more").arg(lost.size() - namesListed);
    return QStringLiteral("cut short, %1 bytes missing at its end; left out: %2").arg(missing).arg(names);
}

QString PackageReport::damagedText(const QString &path)
{
    return QStringLiteral("Das Package \"%1\" ist unvollständig oder beschädigt. Geladen wird nur, was darin "
                          "vollständig ist; es fehlen Bilder oder Seiten.")
        .arg(path);
}

QString PackageReport::documentLine(const QLXFat &package, int bytes, const QString &readerError)
{
    if (!package.contains(documentEntry))
        return QStringLiteral("it holds no project document");
    if (!package.isWhole(documentEntry))
        return QString();
    if (bytes == 0)
        return QStringLiteral("its project document is empty");
    return QStringLiteral("its project document does not parse: ") + readerError;
}
