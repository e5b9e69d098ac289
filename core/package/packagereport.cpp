#include "core/package/packagereport.h"

#include <QFileInfo>
#include <QLocale>
#include <QStringList>

namespace {

const QString documentEntry = QStringLiteral("project");

// A line stays readable even when most of a large package is gone: the first
// few names of `count`, then how many more.
QString listed(const QStringList &names, int count, const QString &quote, const QString &more)
{
    QStringList shown;
    for (const QString &name : names.mid(0, PackageReport::NamesListed))
        shown << quote + name + quote;
    QString text = shown.join(QStringLiteral(", "));
    if (count > shown.size())
        text += more.arg(count - shown.size());
    return text;
}

} // namespace

QString PackageReport::openFailureText(const QString &path, QLXFat::OpenError error)
{
    QString reason;
    switch (error) {
    case QLXFat::OpenError::Missing:
        reason = tr("Die Datei gibt es nicht.");
        break;
    case QLXFat::OpenError::Folder:
        reason = tr("Es ist ein Ordner, keine Datei.");
        break;
    case QLXFat::OpenError::Empty:
        reason = tr("Die Datei ist leer.");
        break;
    case QLXFat::OpenError::NotPackage:
        reason = tr("Die Datei ist kein Package oder ihr Kopf ist beschädigt.");
        break;
    case QLXFat::OpenError::Unreadable:
    case QLXFat::OpenError::None:
        reason = tr("Die Datei kann nicht gelesen werden.");
        break;
    }
    return tr("Das Package \"%1\" kann nicht geöffnet werden. %2").arg(path, reason);
}

QString PackageReport::cutShortLine(const QLXFat &package)
{
    const qint64 missing = package.missingBytes();
    if (missing <= 0)
        return QString();
    const QStringList lost = package.cutEntries();
    return QStringLiteral("cut short, %1 bytes missing at its end; left out: %2")
        .arg(missing)
        .arg(listed(lost, lost.size(), QString(), QStringLiteral(" and %1 more")));
}

QString PackageReport::damagedText(const QString &path)
{
    return tr("Das Package \"%1\" ist unvollständig oder beschädigt. Geladen wird nur, was darin "
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

QString PackageReport::unpackLine(int count, const QStringList &names)
{
    return QStringLiteral("%1 picture %2 cannot be unpacked: %3")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))
        .arg(listed(names, count, QString(), QStringLiteral(" and %1 more")));
}

QString PackageReport::unpackText(const QString &path, int count, const QStringList &names)
{
    return tr("%1 Dateien aus dem Package \"%2\" können nicht entpackt und gespeichert werden: %3. "
              "Diese Bilder fehlen.")
        .arg(count)
        .arg(path, listed(names, count, QStringLiteral("\""), tr(" und %1 weitere")));
}

QString PackageReport::unpackReason(const QString &destination, qint64 size, bool refused, qint64 available)
{
    if (refused)
        return tr("Der Name führt aus dem Bilderordner hinaus.");
    const QFileInfo folder(QFileInfo(destination).absolutePath());
    if (!folder.isDir())
        return tr("Den Ordner \"%1\" gibt es nicht; Unterordner werden nicht angelegt.").arg(folder.filePath());
    if (available >= 0 && available < size)
        return tr("Speicher voll: %1 frei in \"%2\", das Bild braucht %3.")
            .arg(QLocale().formattedDataSize(available, 1, QLocale::DataSizeTraditionalFormat), folder.filePath(),
                 QLocale().formattedDataSize(size, 1, QLocale::DataSizeTraditionalFormat));
    if (!folder.isWritable())
        return tr("Der Ordner \"%1\" darf nicht beschrieben werden.").arg(folder.filePath());
    return QString();
}
