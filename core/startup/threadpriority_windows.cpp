#include "core/startup/threadpriority.h"

#include <windows.h>

void lowerPriorityFor(LoadWork work)
{
    ::SetThreadPriority(::GetCurrentThread(),
                        work == LoadWork::AtTheEnd ? THREAD_PRIORITY_LOWEST : THREAD_PRIORITY_BELOW_NORMAL);
}
