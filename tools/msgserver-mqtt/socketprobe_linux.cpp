#include "socketprobe.h"

#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/socket.h>

int socketBacklog(int socket)
{
    int waiting = 0;
    return ::ioctl(socket, FIONREAD, &waiting) == 0 ? waiting : 0;
}

QString socketConnectFailure(int socket)
{
    int err = 0;
    socklen_t length = sizeof err;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &err, &length) != 0)
        return QString();
    if (err == ECONNREFUSED || err == EHOSTUNREACH || err == ENETUNREACH || err == ETIMEDOUT || err == EHOSTDOWN)
        return QString::fromLocal8Bit(std::strerror(err));
    return QString();
}

bool socketNeverConnected(int socket)
{
    sockaddr_storage peer;
    socklen_t length = sizeof peer;
    return ::getpeername(socket, reinterpret_cast<sockaddr *>(&peer), &length) != 0 && errno == ENOTCONN;
}
