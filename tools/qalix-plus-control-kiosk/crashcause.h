#ifndef CRASHCAUSE_H
#define CRASHCAUSE_H

#include <QString>

// How a run of the panel that crashed ended, after "the panel ", from the
// code the process reported: on Linux the signal that killed it ("was killed
// by signal 9 (SIGKILL)"), on Windows the exception's status ("crashed with
// exception 0xC0000005 (access violation)").
QString crashCause(int code);

#endif // CRASHCAUSE_H
