#include "socketprobe.h"

#include <winsock2.h>

int socketBacklog(int socket)
{
    u_long waiting = 0;
    return ::ioctlsocket(SOCKET(socket), FIONREAD, &waiting) == 0 ? int(waiting) : 0;
}

QString socketConnectFailure(int socket)
{
    int err = 0;
    int length = sizeof err;
    if (::getsockopt(SOCKET(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &length) != 0)
        return QString();
    // Winsock's own codes: the C library's strerror has no text for them.
    if (err == WSAECONNREFUSED || err == WSAEHOSTUNREACH || err == WSAENETUNREACH || err == WSAETIMEDOUT
        || err == WSAEHOSTDOWN)
        return qt_error_string(err).trimmed();
    return QString();
}

bool socketNeverConnected(int socket)
{
    sockaddr_storage peer;
    int length = sizeof peer;
    return ::getpeername(SOCKET(socket), reinterpret_cast<sockaddr *>(&peer), &length) != 0
        && ::WSAGetLastError() == WSAENOTCONN;
}
