#include "core/storage/projectdirectory.h"

#include <QCoreApplication>

QString projectDirectory()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/projects/");
}
