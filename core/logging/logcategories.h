#ifndef LOGCATEGORIES_H
#define LOGCATEGORIES_H

#include <QLoggingCategory>

// The core's debug output, one category per subsystem, named
// "qalix.<subsystem>" so QT_LOGGING_RULES can switch each on by itself. The
// panel's message handler drops debug lines, so they show only under a
// debugger or a handler of one's own; information and critical lines keep
// the default category, since standard output and standard error carry them.
Q_DECLARE_LOGGING_CATEGORY(lcDownload)
Q_DECLARE_LOGGING_CATEGORY(lcLive)
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcPackage)
Q_DECLARE_LOGGING_CATEGORY(lcProject)
Q_DECLARE_LOGGING_CATEGORY(lcStartup)
Q_DECLARE_LOGGING_CATEGORY(lcWall)

#endif // LOGCATEGORIES_H
