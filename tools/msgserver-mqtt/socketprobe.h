#ifndef SOCKETPROBE_H
#define SOCKETPROBE_H

#include <QString>

// What the bridge asks of the MQTT library's socket, one file per platform.

// Bytes that wait to be read; 0 when none, or when the socket cannot tell.
int socketBacklog(int socket);
// Why the socket's connect failed, when it was refused, found no route or
// timed out; empty otherwise (also while it is still connecting).
QString socketConnectFailure(int socket);
// Whether the socket has no peer because it was never connected.
bool socketNeverConnected(int socket);

#endif // SOCKETPROBE_H
