#include "core/startup/threadpriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void lowerPriorityFor(LoadWork work)
{
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), int(work));
}
