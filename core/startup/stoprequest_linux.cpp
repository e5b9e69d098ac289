#include "core/startup/stoprequest.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A signal handler may only write: the byte wakes the event loop. The pipe
// and the handlers stay for the rest of the process, so a signal that comes
// while the program cleans up is a byte nobody reads, not an early end.
int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written; // nothing to do about a full pipe: a request is already pending
}

} // namespace

StopRequest::StopRequest(std::initializer_list<Source> sources, QObject *parent)
    : QObject(parent)
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const Source source : sources)
        ::sigaction(int(source), &action, nullptr);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char number = 0;
        if (::read(signalPipe[0], &number, 1) == 1)
            emit requested(number);
    });
    m_watching = true;
}

StopRequest::~StopRequest() = default;
