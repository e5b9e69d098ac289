#include "core/startup/threadpriority.h"

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

void lowerPriorityFor(LoadWork work)
{
#ifdef Q_OS_LINUX
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), int(work));
#else
    Q_UNUSED(work)
#endif
}
