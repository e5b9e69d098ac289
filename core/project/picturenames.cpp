#include "core/project/picturenames.h"
#include "core/logging/logcategories.h"

#include "core/package/projectdirectory.h"

#include <QDebug>
#include <QFileInfo>

namespace {
const QString noIcon = QStringLiteral(":/images/noicon");
}

QString resolvePictureName(const QString &name)
{
    if (name.isEmpty())
        return noIcon;
    const QString projectPath = projectDirectory() + QStringLiteral("icons/project/") + name;
    if (QFileInfo::exists(projectPath))
        return projectPath;
    const QString commonPath = projectDirectory() + QStringLiteral("icons/") + name;
    if (QFileInfo::exists(commonPath)) {
        qCDebug(lcProject) << "Project Item not found" << commonPath;
        return commonPath;
    }
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
