#include "gui/logging/guilogcategories.h"

Q_LOGGING_CATEGORY(lcDialogs, "qalix.dialogs")
Q_LOGGING_CATEGORY(lcEditors, "qalix.editors")
Q_LOGGING_CATEGORY(lcItems, "qalix.items")
Q_LOGGING_CATEGORY(lcPages, "qalix.pages")
Q_LOGGING_CATEGORY(lcPictures, "qalix.pictures")
Q_LOGGING_CATEGORY(lcWindow, "qalix.window")
