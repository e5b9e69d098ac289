#ifndef STARTOPTIONS_H
#define STARTOPTIONS_H

#include <QString>
#include <QStringList>

// What the command line asks for. Switches are whole arguments, matched
// case-sensitively, and may stand anywhere; every occurrence is removed before
// the project path is taken, so "-FullScreen" is a path, not a switch.
//
// The wall-panel switches are single words with a value after "=" (-home=30,
// -lock=/etc/panel/pin). One with a bad value is removed too, and ignored with
// a line in `problems`; when one is given more than once, the last good value
// counts.
struct StartOptions
{
    bool fullscreen = false;
    bool topmost = false;
    // False when only the program path is left: the operator picks a project.
    bool hasProjectPath = false;
    QString projectPath;

    // Seconds without input until the first page is shown again, or until the
    // screen saver covers the window; seconds without a connection until the
    // values are shown stale. 0: off.
    int homeSeconds = 0;
    int dimSeconds = 0;
    int staleSeconds = 0;
    // The file holding the PIN for the exit and options buttons (absolute);
    // empty: the buttons are not locked.
    QString pinFile;

    // -touch: a press acts when the finger lifts inside the item, shows while
    // it is down, and an item whose port does not answer it is marked.
    bool touch = false;
    // -wake=KEY,...: the state keys (ITM_Alarm_IN1; the address form
    // IN.Alarm.1 is read too) whose report of a value other than 0 wakes the
    // panel from its screen saver.
    QStringList wakeKeys;
    // -lang=: the language of what the operator reads, "de" (the default) or "en".
    QString language = QStringLiteral("de");
    static const QStringList languages;

    // Set by the kiosk launcher for the panel it starts, which is started
    // again when it ends after saving its options.
    static constexpr char launcherVariable[] = "QALIX_KIOSK_LAUNCHER";
    static bool startedByLauncher();

    // One line per switch given with a bad value, for standard error.
    QStringList problems;

    // arguments as QCoreApplication::arguments(): the program path first.
    static StartOptions parse(QStringList arguments);

    // The largest number of seconds a switch takes: nine digits.
    static constexpr int maxSeconds = 999999999;

    bool operator==(const StartOptions &other) const;
    QString toString() const;
};

#endif // STARTOPTIONS_H
