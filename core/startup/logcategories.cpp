#include "core/startup/logcategories.h"

Q_LOGGING_CATEGORY(lcBus, "qalix.bus")
Q_LOGGING_CATEGORY(lcDownload, "qalix.download")
Q_LOGGING_CATEGORY(lcLive, "qalix.live")
Q_LOGGING_CATEGORY(lcNet, "qalix.net")
Q_LOGGING_CATEGORY(lcStartup, "qalix.startup")
Q_LOGGING_CATEGORY(lcStorage, "qalix.storage")
Q_LOGGING_CATEGORY(lcWall, "qalix.wall")
Q_LOGGING_CATEGORY(lcDialogs, "qalix.dialogs")
Q_LOGGING_CATEGORY(lcEditors, "qalix.editors")
Q_LOGGING_CATEGORY(lcItems, "qalix.items")
Q_LOGGING_CATEGORY(lcPages, "qalix.pages")
Q_LOGGING_CATEGORY(lcWindow, "qalix.window")
