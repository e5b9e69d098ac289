#include "core/package/projectdirectory.h"

#include <QCoreApplication>

QString projectDirectory()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/projects/");
}
