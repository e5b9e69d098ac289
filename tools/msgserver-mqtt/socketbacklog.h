#ifndef SOCKETBACKLOG_H
#define SOCKETBACKLOG_H

// Bytes that wait to be read on a socket of the MQTT library; 0 when none,
// or when the socket cannot tell.
int socketBacklog(int socket);

#endif // SOCKETBACKLOG_H
