#ifndef STOPREQUEST_H
#define STOPREQUEST_H

#include <QObject>

#include <initializer_list>

// A request from outside to end the process, handed to the event loop of the
// thread that made the object, so the program ends through its loop and
// cleans up on the way. On Linux the signals SIGTERM, SIGINT and SIGHUP; on
// Windows a console's Ctrl+C and Ctrl+Break (as SIGINT) and its window closed
// (as SIGHUP), where the program has at most 5 s before the system ends it.
// Windows tells a program with Qt's event loop nothing of a logoff or a
// shutdown (it loads user32), and a program without a console (the panel)
// gets no request at all there.
//
// One object at a time in a process: its signal handler has nowhere else to
// write.
class StopRequest : public QObject
{
    Q_OBJECT
public:
    // The numbers are the POSIX signals', on every platform.
    enum Source {
        HangUp = 1,
        Interrupt = 2,
        Terminate = 15,
    };

    // Watches `sources`; the others keep the platform's default, which ends
    // the process at once.
    explicit StopRequest(std::initializer_list<Source> sources, QObject *parent = nullptr);
    ~StopRequest() override;

    // False when the platform refused, and the sources still end the process at once.
    bool isWatching() const { return m_watching; }

signals:
    // Once for each request, with the source's number.
    void requested(int source);

private:
    bool m_watching = false;
};

#endif // STOPREQUEST_H
