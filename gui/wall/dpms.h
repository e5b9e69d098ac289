#ifndef DPMS_H
#define DPMS_H

#include <QString>

// Powers an X11 display down and up through the X server's DPMS extension:
// the backlight's way out where the panel may write no backlight device. It
// keeps a connection of its own to the display the panel runs on.
class Dpms
{
public:
    // Connects only when `platformName` is X11's ("xcb").
    explicit Dpms(const QString &platformName);
    ~Dpms();
    Dpms(const Dpms &) = delete;
    Dpms &operator=(const Dpms &) = delete;

    bool isAvailable() const { return m_display != nullptr; }
    // Why not, when it is not available.
    QString whyNot() const { return m_whyNot; }

    // While off, the server's own timeouts are held at zero, so they cannot
    // blank the screen behind the panel's back once it is on again; both the
    // timeouts and whether DPMS was enabled are put back when it comes on.
    bool set(bool on, QString *problem);

private:
    void *m_display = nullptr;
    QString m_whyNot;
    bool m_wasEnabled = false;
    unsigned short m_timeouts[3] = {};
};

#endif // DPMS_H
