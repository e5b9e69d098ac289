#include "socketbacklog.h"

#include <sys/ioctl.h>

int socketBacklog(int socket)
{
    int waiting = 0;
    return ::ioctl(socket, FIONREAD, &waiting) == 0 ? waiting : 0;
}
