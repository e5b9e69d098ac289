#include "socketbacklog.h"

#include <winsock2.h>

int socketBacklog(int socket)
{
    u_long waiting = 0;
    return ::ioctlsocket(SOCKET(socket), FIONREAD, &waiting) == 0 ? int(waiting) : 0;
}
