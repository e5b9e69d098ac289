#include "core/logging/logcategories.h"

Q_LOGGING_CATEGORY(lcDownload, "qalix.download")
Q_LOGGING_CATEGORY(lcLive, "qalix.live")
Q_LOGGING_CATEGORY(lcNet, "qalix.net")
Q_LOGGING_CATEGORY(lcPackage, "qalix.package")
Q_LOGGING_CATEGORY(lcProject, "qalix.project")
Q_LOGGING_CATEGORY(lcStartup, "qalix.startup")
Q_LOGGING_CATEGORY(lcWall, "qalix.wall")
