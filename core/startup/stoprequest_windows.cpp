#include "core/startup/stoprequest.h"

#include <QMetaObject>

#include <algorithm>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <windows.h>

namespace {

// The system calls the handler on a thread of its own, while the object may
// be going: both sides hold the lock.
std::mutex guard;
std::condition_variable released;
StopRequest *current = nullptr;
int watched[3] = {};

BOOL WINAPI onConsoleEvent(DWORD event)
{
    int source = 0;
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        source = StopRequest::Interrupt;
    else if (event == CTRL_CLOSE_EVENT)
        source = StopRequest::HangUp;
    else if (event == CTRL_SHUTDOWN_EVENT)
        source = StopRequest::Terminate;
    std::unique_lock<std::mutex> lock(guard);
    if (!current || !source || std::find(std::begin(watched), std::end(watched), source) == std::end(watched))
        return FALSE; // the next handler, at last the system's: the process ends
    StopRequest *target = current;
    QMetaObject::invokeMethod(
        target, [target, source] { emit target->requested(source); }, Qt::QueuedConnection);
    if (source == StopRequest::Interrupt)
        return TRUE;
    // The system ends the process as soon as this returns: wait until the
    // program has left its loop, within the 5 s the system grants.
    released.wait_for(lock, std::chrono::milliseconds(4500), [] { return current == nullptr; });
    return TRUE;
}

} // namespace

StopRequest::StopRequest(std::initializer_list<Source> sources, QObject *parent)
    : QObject(parent)
{
    std::lock_guard<std::mutex> lock(guard);
    if (current)
        return;
    std::fill(std::begin(watched), std::end(watched), 0);
    int i = 0;
    for (const Source source : sources) {
        if (i < 3)
            watched[i++] = int(source);
    }
    if (!::SetConsoleCtrlHandler(onConsoleEvent, TRUE))
        return;
    current = this;
    m_watching = true;
}

StopRequest::~StopRequest()
{
    if (!m_watching)
        return;
    {
        std::lock_guard<std::mutex> lock(guard);
        current = nullptr;
    }
    released.notify_all();
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}
