#ifndef KIOSKPOLICY_H
#define KIOSKPOLICY_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the kiosk launcher decides between two runs of the panel: the arguments
// of the next run, whether there is one, and how long to wait for it. No
// process handling and no clock: the caller reports how each run ended.
class KioskPolicy
{
public:
    // How one run of the panel ended.
    struct Run
    {
        bool crashed = false; // ended by a signal or an exception, or could not be started
        QString startError;   // why it could not be started; empty when it ran
        int signal = 0;       // the signal that ended it (on Windows its status), when known
        int exitCode = 0;
        bool settingsChanged = false; // settings.ini differs from before the run
        qint64 durationMs = 0;
    };

    // Back-off after failures: 1 s, doubled per failure, at most a minute. A run
    // of at least a minute got past start-up, so its end starts the count anew.
    static constexpr int firstDelayMs = 1000;
    static constexpr int maxDelayMs = 60000;
    static constexpr qint64 healthyRunMs = 60000;

    // always: the exit button restarts the panel too, instead of ending the launcher.
    explicit KioskPolicy(bool always = false);

    // "-fullscreen <projects>/<name>" when settings.ini names a package in
    // projectsDir, "-fullscreen" alone otherwise: the panel then shows its
    // selection dialog, and the project picked there opens full screen too,
    // never as a window of the page's size that a small screen cuts off. The
    // pass-through arguments follow, so none of them is taken as the package.
    static QStringList panelArguments(const QString &projectsDir, const QStringList &passThrough);

    // Whether `argument` is one of the panel's own switches, which the launcher
    // passes on: -fullscreen, -topmost, -touch, or -home, -dim, -stale, -lock,
    // -wake, -lang with a value after "=" (the panel judges the value).
    static bool isPanelSwitch(const QString &argument);

    // A panel on a wall shows what it does not know as unknown: the panel
    // gets -stale with this many seconds unless the arguments give their own;
    // -stale=0 turns it off (and is not passed on).
    static constexpr int defaultStaleSeconds = 15;
    static QStringList withStaleDefault(const QStringList &passThrough);

    // Changes whenever settings.ini is written, even with the same content, or
    // rewritten with other content within one time-stamp tick.
    static QByteArray settingsFingerprint(const QString &projectsDir);

    // Milliseconds until the next run after run ended, or -1: the launcher ends.
    int nextDelay(const Run &run);

    // The line on standard error for a restart nextDelay asked for.
    static QString restartLine(const Run &run, int delayMs);

private:
    bool m_always;
    int m_failures = 0;
};

#endif // KIOSKPOLICY_H
