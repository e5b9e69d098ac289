#ifndef BACKLIGHT_H
#define BACKLIGHT_H

#include <QByteArray>
#include <QString>

#include <functional>

// The display's backlight, off while the screen saver is up and on again when
// it goes. The first device of the Linux backlight class the panel may write
// is taken: its bl_power, otherwise its brightness (0, then back to the value
// it had). Without one, DPMS as the caller offers it (X11); without that the
// saver only blacks the screen, and whyItStaysOn() says why.
//
// Before a device goes dark the way back on is recorded in a state file, and
// the record is removed once it is on again. A panel that dies in the dark is
// undone by the kiosk launcher before the next start (restoreRecorded), and by
// restoreInEmergency where the dying process still runs code (a fatal signal,
// a lost display connection). The file lives in the user's runtime folder,
// which a power loss empties, as it switches the backlight on again.
//
// That is Linux (backlight_linux.cpp). On Windows (backlight_windows.cpp)
// nothing is switched: whyItStaysOn() says the saver only blacks the screen.
class Backlight
{
public:
    // Switches the display on (true) or off by DPMS; false with the reason.
    using Dpms = std::function<bool(bool on, QString *problem)>;

    // Devices looked at in the class folder; bytes of a state file read.
    static constexpr int maxDevices = 64;
    static constexpr qint64 maxStateBytes = 4096;

    // QALIX_BACKLIGHT_DIR when set (tests, boards with a tree of their own),
    // otherwise /sys/class/backlight.
    static QString defaultClassDirectory();
    // In $XDG_RUNTIME_DIR; without one in the temporary folder, by user id.
    static QString defaultStateFile();

    // `noDpms`: why there is no DPMS, when `dpms` is empty.
    Backlight(const QString &classDirectory, const QString &stateFile, Dpms dpms = {},
              const QString &noDpms = QString());
    // Switches the backlight on again.
    ~Backlight();

    // The file written, "DPMS", or empty when nothing switches.
    QString target() const;
    // Why the backlight stays on, for standard error; empty when it switches.
    QString whyItStaysOn() const { return m_whyNot; }
    bool isOff() const { return m_off; }

    // False with a line for standard error in *problem. A backlight that
    // does not come on again stays isOff(), for the caller to try again.
    bool switchOff(QString *problem);
    bool switchOn(QString *problem);

    // Applies and removes a record a run left behind. True when there was none
    // or it was applied. A record that names no backlight file of
    // `classDirectory` is removed unapplied.
    static bool restoreRecorded(const QString &stateFile, const QString &classDirectory, QString *problem);

    // Writes the recorded way back on, with no allocation or lock: for a
    // process about to end.
    static void restoreInEmergency();

private:
    bool recordAndArm();
    void disarm();

    QString m_stateFile;
    Dpms m_dpms;
    QString m_file;        // bl_power or brightness of the chosen device
    QByteArray m_offValue; // what m_file takes to go dark
    QByteArray m_onValue;  // and to come on again, read when it goes dark
    QString m_whyNot;
    bool m_off = false;
};

#endif // BACKLIGHT_H
