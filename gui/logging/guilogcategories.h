#ifndef GUILOGCATEGORIES_H
#define GUILOGCATEGORIES_H

#include <QLoggingCategory>

// The GUI library's debug output, one category per folder, named as the
// core's are ("qalix.<subsystem>").
Q_DECLARE_LOGGING_CATEGORY(lcDialogs)
Q_DECLARE_LOGGING_CATEGORY(lcEditors)
Q_DECLARE_LOGGING_CATEGORY(lcItems)
Q_DECLARE_LOGGING_CATEGORY(lcPages)
Q_DECLARE_LOGGING_CATEGORY(lcPictures)
Q_DECLARE_LOGGING_CATEGORY(lcWindow)

#endif // GUILOGCATEGORIES_H
