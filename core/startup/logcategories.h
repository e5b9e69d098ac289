#ifndef LOGCATEGORIES_H
#define LOGCATEGORIES_H

#include <QLoggingCategory>

// Debug output, one category per subsystem of both libraries, named
// "qalix.<subsystem>" so QT_LOGGING_RULES can switch each on by itself. The
// message handler drops debug lines, so they show only under a debugger or a
// handler of one's own; information and critical lines keep the default
// category, since standard output and standard error carry them.
Q_DECLARE_LOGGING_CATEGORY(lcBus)
Q_DECLARE_LOGGING_CATEGORY(lcDownload)
Q_DECLARE_LOGGING_CATEGORY(lcLive)
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcStartup)
Q_DECLARE_LOGGING_CATEGORY(lcStorage)
Q_DECLARE_LOGGING_CATEGORY(lcWall)
Q_DECLARE_LOGGING_CATEGORY(lcDialogs)
Q_DECLARE_LOGGING_CATEGORY(lcEditors)
Q_DECLARE_LOGGING_CATEGORY(lcItems)
Q_DECLARE_LOGGING_CATEGORY(lcPages)
Q_DECLARE_LOGGING_CATEGORY(lcWindow)

#endif // LOGCATEGORIES_H
