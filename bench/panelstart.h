#ifndef PANELSTART_H
#define PANELSTART_H

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

struct xcb_connection_t;

// Starts the built panel as an operator does, a new process with a package on
// its command line, and times it from the start to its first page on screen:
// - under X11, on an Xvfb of its own, until the X server reports the page's
//   window drawn whole after it was mapped (the DAMAGE extension);
// - with the offscreen platform, where nothing reaches a screen, until the
//   panel's GUI thread first waits in its event loop after the start, which
//   it does only once the page is shown and painted.
// The panel runs from a copy in a folder of its own, so its projects folder
// is private to the benchmark.
class PanelStart
{
public:
    enum Platform { X11, Offscreen };

    struct Result
    {
        double ms = -1;    // start to the first page on screen
        long peakKiB = 0;  // the process's peak resident memory
        double cpuMs = -1; // its processor time, all threads, to its end just after
        QString error;     // why there is no figure
    };

    explicit PanelStart(const QString &panel);
    ~PanelStart();
    PanelStart(const PanelStart &) = delete;
    PanelStart &operator=(const PanelStart &) = delete;

    // Starts Xvfb and watches its screen; false, with the reason, when there
    // is none to start.
    bool startDisplay(QString *error);

    // Runs the panel on `package` until its page of `page` pixels is on
    // screen, then ends it.
    Result run(Platform platform, const QString &package, const QSize &page);

private:
    pid_t spawn(Platform platform, const QString &package, const QString &errorFile);
    // The moment the page is on screen (milliseconds, monotonic), or -1.
    double pageDrawn(const QSize &page, pid_t panel, double deadline, QString *error);
    double eventLoopWaiting(pid_t panel, double deadline, QString *error);

    QTemporaryDir m_dir;
    QString m_panel;
    pid_t m_server = -1;
    QString m_display;
    xcb_connection_t *m_connection = nullptr;
    int m_damageEvent = -1;
};

#endif // PANELSTART_H
