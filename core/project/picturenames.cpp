#include "core/project/picturenames.h"
#include "core/logging/logcategories.h"

#include "core/files/regularfile.h"
#include "core/package/projectdirectory.h"
#include "core/package/qlxfat.h"

#include <QDebug>
#include <QFileInfo>

namespace {
const QString noIcon = QStringLiteral(":/images/noicon");
}

QString pictureFileIn(const QString &folder, const QString &name, QString *refused)
{
    const auto refuse = [refused](const QString &why) {
        if (refused)
            *refused = why;
        return QString();
    };
    // A document may name any path; only what the package could have put
    // there is shown, so no name reaches beyond the picture folders.
    if (!QLXFat::isSafeEntryPath(name))
        return refuse(QStringLiteral("not a plain name below the picture folders"));
    const QString path = folder + name;
    // Opening a FIFO would keep the page from ever being built.
    const QFileInfo file(path);
    if ((file.exists() || file.isSymLink()) && !RegularFile::isRegular(path))
        return refuse(RegularFile::notRegularText());
    return path;
}

QString resolvePictureName(const QString &name, QString *refused)
{
    if (name.isEmpty())
        return noIcon;
    QString why;
    const QString projectPath = pictureFileIn(projectDirectory() + QStringLiteral("icons/project/"), name, &why);
    if (!projectPath.isEmpty() && QFileInfo::exists(projectPath))
        return projectPath;
    const QString commonPath =
        pictureFileIn(projectDirectory() + QStringLiteral("icons/"), name, why.isEmpty() ? &why : nullptr);
    if (!commonPath.isEmpty() && QFileInfo::exists(commonPath)) {
        qCDebug(lcProject) << "Project Item not found" << commonPath;
        return commonPath;
    }
    if (refused)
        *refused = why;
    return noIcon;
}

QString storedPictureName(const QString &path, bool bareName)
{
    QString result = path;
    result.remove(noIcon);
    result.remove(projectDirectory());
    if (result.startsWith(QLatin1Char('/')))
        result.remove(0, 1);
    if (bareName) {
        // Only the picture directory in front goes: a file called
        // projector.png must keep its name.
        static const char *const prefixes[] = {"icons/project/", "icons/", "background/project/", "background/"};
        for (const char *prefix : prefixes) {
            if (result.startsWith(QLatin1String(prefix))) {
                result.remove(0, int(qstrlen(prefix)));
                break;
            }
        }
    }
    return result;
}
